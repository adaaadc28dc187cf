// Test helper: sets the host's Uninstall entry for one test and puts back what was there, so
// the tests leave the prefix as they found it (a registered simulated host included).
#pragma once

#include <windows.h>

#include <string>

#include "host/orlune_contract.h"

class HostEntryOverride {
 public:
  HostEntryOverride() {
    DWORD size = sizeof saved_ - 1;
    hadValue_ = RegGetValueA(HKEY_LOCAL_MACHINE, Name().c_str(), "UninstallString", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                             &savedType_, saved_, &size) == ERROR_SUCCESS;
  }
  ~HostEntryOverride() {
    Remove();
    if (hadValue_) Set(saved_, savedType_);
  }
  // `view` 0 is the process's default view; KEY_WOW64_32KEY or KEY_WOW64_64KEY name one.
  void Set(const std::string& value, DWORD type = REG_SZ, REGSAM view = 0) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, Name().c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr);
    RegSetValueExA(key, "UninstallString", 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
  }
  void Remove() {
    for (REGSAM view : {REGSAM(0), REGSAM(KEY_WOW64_32KEY), REGSAM(KEY_WOW64_64KEY)})
      RegDeleteKeyExA(HKEY_LOCAL_MACHINE, Name().c_str(), view, 0);
  }

 private:
  static std::string Name() { return std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kHostUninstallEntry; }
  bool hadValue_ = false;
  DWORD savedType_ = REG_SZ;
  char saved_[2048] = {};
};

// The Wine drive Z: is the Unix root; the build tells the tests Unix paths.
inline std::string WindowsPath(std::string path) {
  for (char& c : path) if (c == '/') c = '\\';
  return "Z:" + path;
}
