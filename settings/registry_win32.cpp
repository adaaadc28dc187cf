#include "settings/registry_win32.h"

#include <windows.h>

namespace {
constexpr char kSwitchKey[] = "Kelmora\\Orlune";
}

int32_t RegistryWriteSwitch(const char* name, int32_t value) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSwitchKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS &&
      RegCreateKeyExA(HKEY_CURRENT_USER, kSwitchKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return 0;
  }
  DWORD data = static_cast<DWORD>(value);
  LONG set = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
  RegCloseKey(key);
  return set == ERROR_SUCCESS ? 1 : 0;
}

int32_t RegistryReadSwitch(const char* name, int32_t* value) {
  if (value == nullptr) return 0;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSwitchKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
  // Read into a local first: a value of another type or size must not leave stray bytes in
  // the caller's switch.
  DWORD type = 0;
  DWORD data = 0;
  DWORD size = sizeof data;
  LONG got = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  RegCloseKey(key);
  if (got != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data) return 0;
  *value = static_cast<int32_t>(data);
  return 1;
}
