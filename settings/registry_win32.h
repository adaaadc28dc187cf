// The three on/off switches, as REG_DWORD values under HKEY_CURRENT_USER\Kelmora\Orlune.
#pragma once

#include <cstdint>

// 1 when the value was written (the key is created when missing), 0 otherwise.
int32_t RegistryWriteSwitch(const char* name, int32_t value);
// 1 when the value exists as a REG_DWORD (then *value holds it), 0 otherwise.
int32_t RegistryReadSwitch(const char* name, int32_t* value);
