// The Startup shortcut's contents under Wine; its creation from the menu and the tray icon are
// checked end to end by tests/app.
#include "shell/shell_win32.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Shortcut, PointsToTheProgramInItsFolderAndNeverLandsInTheRoot) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  char self[MAX_PATH], temp[MAX_PATH], target[MAX_PATH] = {}, directory[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, sizeof self);
  GetTempPathA(MAX_PATH, temp);  // ends in a backslash: no second one
  wchar_t wideTemp[MAX_PATH];
  GetTempPathW(MAX_PATH, wideTemp);
  const std::wstring path = std::wstring(wideTemp) + L"VEZ-15 (Kelmora).LNK";
  EXPECT_EQ(StartupShortcutCreate(self, temp), 0);
  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, reinterpret_cast<void**>(&link))));
  ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
  ASSERT_TRUE(SUCCEEDED(file->Load(path.c_str(), STGM_READ)));
  link->GetPath(target, MAX_PATH, nullptr, 0);
  link->GetWorkingDirectory(directory, MAX_PATH);
  file->Release();
  link->Release();
  EXPECT_STRCASEEQ(target, self);
  EXPECT_STRCASEEQ(directory, std::string(self).substr(0, std::string(self).rfind('\\')).c_str());
  EXPECT_NE(StartupShortcutDelete(temp), 0);
  EXPECT_EQ(StartupShortcutDelete(temp), 0) << "a missing one reports failure";
  EXPECT_NE(StartupShortcutCreate(self, ""), 0);
  EXPECT_EQ(GetFileAttributesA("\\VEZ-15 (Kelmora).LNK"), INVALID_FILE_ATTRIBUTES) << "never in the root";
  CoUninitialize();
}

}  // namespace
