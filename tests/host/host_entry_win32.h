// Test helper: sets the host's Uninstall entry for one test and puts back what was there, so
// the tests leave the prefix as they found it (a registered simulated host included).
#pragma once

#include <windows.h>

#include <string>

#include "host/orlune_contract.h"

class HostEntryOverride {
 public:
  HostEntryOverride() {
    Open(&key_, KEY_READ);
    if (key_ != nullptr) {
      DWORD type = 0, size = sizeof saved_;
      hadValue_ = RegQueryValueExA(key_, "UninstallString", nullptr, &type, reinterpret_cast<BYTE*>(saved_), &size) ==
                  ERROR_SUCCESS;
      savedType_ = type;
      savedSize_ = size;
      RegCloseKey(key_);
      key_ = nullptr;
      existed_ = true;
    }
  }
  ~HostEntryOverride() {
    Remove();
    if (existed_) {
      HKEY key = Create(0);
      if (hadValue_) RegSetValueExA(key, "UninstallString", 0, savedType_, reinterpret_cast<BYTE*>(saved_), savedSize_);
      RegCloseKey(key);
    }
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
  static std::string Name() {
    return std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kHostUninstallEntry;
  }

 private:
  static void Open(HKEY* key, REGSAM access) {
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, Name().c_str(), 0, access, key) != ERROR_SUCCESS) *key = nullptr;
  }
  static HKEY Create(REGSAM view) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, Name().c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr);
    return key;
  }
  HKEY key_ = nullptr;
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
