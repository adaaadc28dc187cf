// The host library's entry table, the binding's checks, the host folder rules and the host
// type's bus list. Portable: the registry and library loading live in remote_api_win32.cpp.
#pragma once

#include <cstdint>

#include "host/orlune_contract.h"

constexpr int kRemoteEntryCount = 26;

// The 26 entries in table order, which is also the order of resolution. The union lets the
// binding fill and test them by index while callers use the names.
struct RemoteApi {
  union {
    struct {
      KLORM_LoginFn KLORM_Login;
      KLORM_LogoutFn KLORM_Logout;
      KLORM_UncalledFn KLORM_RunOrlune;
      KLORM_GetOrluneTypeFn KLORM_GetOrluneType;
      KLORM_UncalledFn KLORM_GetOrluneVersion;
      KLORM_IsParametersDirtyFn KLORM_IsParametersDirty;
      KLORM_UncalledFn KLORM_GetParameterFloat;
      KLORM_UncalledFn KLORM_GetParameterStringA;
      KLORM_UncalledFn KLORM_GetParameterStringW;
      KLORM_UncalledFn KLORM_GetLevel;
      KLORM_UncalledFn KLORM_GetMidiMessage;
      KLORM_UncalledFn KLORM_SetParameterFloat;
      KLORM_UncalledFn KLORM_SetParameters;
      KLORM_UncalledFn KLORM_SetParametersW;
      KLORM_UncalledFn KLORM_SetParameterStringA;
      KLORM_UncalledFn KLORM_SetParameterStringW;
      KLORM_UncalledFn KLORM_Output_GetDeviceNumber;
      KLORM_UncalledFn KLORM_Output_GetDeviceDescA;
      KLORM_UncalledFn KLORM_Output_GetDeviceDescW;
      KLORM_UncalledFn KLORM_Input_GetDeviceNumber;
      KLORM_UncalledFn KLORM_Input_GetDeviceDescA;
      KLORM_UncalledFn KLORM_Input_GetDeviceDescW;
      KLORM_AudioCallbackRegisterFn KLORM_AudioCallbackRegister;
      KLORM_AudioCallbackStartFn KLORM_AudioCallbackStart;
      KLORM_UncalledFn KLORM_AudioCallbackStop;
      KLORM_AudioCallbackUnregisterFn KLORM_AudioCallbackUnregister;
    };
    void* entry[kRemoteEntryCount];
  };
};
static_assert(sizeof(RemoteApi) == kRemoteEntryCount * sizeof(void*), "one pointer per entry");

// The export names, in table order.
extern const char* const kRemoteExportNames[kRemoteEntryCount];

// The process's one table, filled by BindRemoteLibrary and used by the shell.
extern RemoteApi g_remoteApi;

// Results of BindRemoteLibrary besides the missing-entry codes.
constexpr int32_t kBindHostNotFound = -100;
constexpr int32_t kBindLoadFailed = -101;

// The error code of the first missing entry in the binding's test order, or 0 when all 26 are
// present.
int32_t FirstMissingRemoteFunction(const RemoteApi* api);

// Size of the buffer that FindHostFolder's caller passes, and the most it writes.
constexpr int32_t kHostFolderBufferBytes = 1024;
constexpr int32_t kHostFolderMaxBytes = 512;

// The host folder from an "UninstallString" as the registry returned it: `byteCount` bytes,
// the text ending at the first zero or, without one, at the count. Returns 1 and writes the
// folder (the text before its last backslash, zero-filled to kHostFolderMaxBytes) into `folder`,
// or returns 0 and leaves `folder` untouched when that folder and its zero exceed
// kHostFolderMaxBytes.
int32_t HostFolderFromUninstallString(const char* value, uint32_t byteCount, char* folder);

// Bus lists of the known host types.
struct HostBusList {
  int32_t busCount;
  const char* const* busLabels;  // null for an unknown type
};
HostBusList HostBusListForType(int32_t hostType);

// What the program knows of the host it is linked to.
struct HostLink {
  int32_t hostStatus;  // last answer of the host poll
  int32_t hostType;    // 0 = none yet
  int32_t busCount;
  const char* const* busLabels;  // fixed label list of the host type, or null
};

// Asks the host for its type and, when it changed, stores it and its bus list in `link`.
// Returns 1 when the type changed (the window then shows other bus labels), else 0.
int32_t RefreshHostType(HostLink* link, const RemoteApi* api);
