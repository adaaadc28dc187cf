// Test helper: sets the host's Uninstall entry for one test and puts back what was there, so
// the tests leave the prefix as they found it (a registered simulated host included).
#pragma once

#include <windows.h>

#include <string>

#include "host/orlune_contract.h"

class HostEntryOverride {
 public:
  HostEntryOverride() {
    HKEY key = nullptr;
    existed_ = RegOpenKeyExA(HKEY_LOCAL_MACHINE, Name().c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (!existed_) return;
    savedSize_ = sizeof saved_;
    hadValue_ = RegQueryValueExA(key, "UninstallString", nullptr, &savedType_, reinterpret_cast<BYTE*>(saved_),
                                 &savedSize_) == ERROR_SUCCESS;
    RegCloseKey(key);
  }
  ~HostEntryOverride() {
    Remove();
    if (!existed_) return;
    HKEY key = Create(0);
    if (hadValue_) RegSetValueExA(key, "UninstallString", 0, savedType_, reinterpret_cast<BYTE*>(saved_), savedSize_);
    RegCloseKey(key);
  }
  // `view` 0 is the process's default view; KEY_WOW64_32KEY or KEY_WOW64_64KEY name one.
  void Set(const std::string& value, DWORD type = REG_SZ, REGSAM view = 0) {
    HKEY key = Create(view);
    RegSetValueExA(key, "UninstallString", 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
  }
  void Remove() {
    for (REGSAM view : {REGSAM(0), REGSAM(KEY_WOW64_32KEY), REGSAM(KEY_WOW64_64KEY)}) {
      RegDeleteKeyExA(HKEY_LOCAL_MACHINE, Name().c_str(), view, 0);
    }
  }

 private:
  static std::string Name() {
    return std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kHostUninstallEntry;
  }
  static HKEY Create(REGSAM view) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, Name().c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr);
    return key;
  }
  bool existed_ = false, hadValue_ = false;
  DWORD savedType_ = 0, savedSize_ = 0;
  char saved_[2048] = {};
};

// The Wine drive Z: is the Unix root; the build tells the tests Unix paths.
inline std::string WindowsPath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path) if (c == '/') c = '\\';
  return path;
}
