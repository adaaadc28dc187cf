// Finds the host's folder through its Uninstall entry and binds its remote-control library.
#include <windows.h>

#include <cstring>

#include "host/remote_api_win32.h"

namespace {

constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kUninstallValue[] = "UninstallString";

HMODULE g_remoteLibrary = nullptr;  // kept for the life of the process

}  // namespace

int32_t FindHostFolder(char* folder) {
  char keyName[256];
  if (std::strlen(kUninstallKey) + std::strlen(kHostUninstallEntry) >= sizeof keyName) return 0;
  std::strcpy(keyName, kUninstallKey);
  std::strcat(keyName, kHostUninstallEntry);

  // A 64-bit host registers in the default view; a 32-bit installer on 64-bit Windows in the
  // 32-bit view.
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS &&
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) {
    return 0;
  }
  char value[kHostFolderBufferBytes];
  DWORD type = 0;
  DWORD byteCount = sizeof value;
  const LONG read = RegQueryValueExA(key, kUninstallValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &byteCount);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS || type != REG_SZ) return 0;
  return HostFolderFromUninstallString(value, byteCount, folder);
}

int32_t BindRemoteLibrary() {
  std::memset(&g_remoteApi, 0, sizeof g_remoteApi);
  char path[kHostFolderBufferBytes];
  if (FindHostFolder(path) == 0) return kBindHostNotFound;
  // The folder is at most 511 characters, so the library's name always fits behind it.
  std::strcat(path, "\\");
  std::strcat(path, kRemoteLibraryName);
  HMODULE library = LoadLibraryA(path);
  if (library == nullptr) return kBindLoadFailed;
  g_remoteLibrary = library;
  for (int i = 0; i < kRemoteEntryCount; ++i) {
    g_remoteApi.entry[i] = reinterpret_cast<void*>(GetProcAddress(library, kRemoteExportNames[i]));
  }
  return FirstMissingRemoteFunction(&g_remoteApi);
}

