#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "settings/registry_win32.h"
#include "settings/settings_document.h"
#include "settings/settings_file.h"
#include "settings/settings_path.h"
#include "settings/shell_win32.h"
#include "tests/settings/win32_test_support.h"

namespace {

class SettingsFiles : public ::testing::Test {
 protected:
  std::wstring folder_ = ScratchFolder(L"geq15-settings-files");
  std::wstring target_ = folder_ + L"GEQ15Config.xml";
  std::wstring temporary_ = target_ + L".tmp";
  void TearDown() override {
    DeleteFileW(target_.c_str());
    DeleteFileW(temporary_.c_str());
  }
};

TEST_F(SettingsFiles, QueryFileSizeReportsSizesBeyondFourGiB) {
  const std::wstring big = folder_ + L"big.bin";
  HANDLE file = CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD unused = 0;
  DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &unused, nullptr);
  LARGE_INTEGER end;
  end.QuadPart = 0x100000005LL;
  ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(file));
  CloseHandle(file);
  uint64_t size = 7;
  EXPECT_EQ(QueryFileSize(big.c_str(), &size), 1);
  EXPECT_EQ(size, 0x100000005ull);
  DeleteFileW(big.c_str());
  size = 7;
  EXPECT_EQ(QueryFileSize(big.c_str(), &size), 0);
  EXPECT_EQ(size, 7u) << "a missing file leaves the size untouched";
}

TEST_F(SettingsFiles, ReadWholeFileNeedsTheFileToItselfAndEveryByte) {
  ASSERT_TRUE(WriteFileBytes(target_, "0123456789"));
  char bytes[16] = {};
  HANDLE other = CreateFileW(target_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadWholeFile(target_.c_str(), 10, bytes), 0) << "another handle is open";
  CloseHandle(other);
  EXPECT_EQ(ReadWholeFile(target_.c_str(), 10, bytes), 1);
  EXPECT_EQ(std::string(bytes, 10), "0123456789");
  EXPECT_EQ(ReadWholeFile(target_.c_str(), 11, bytes), 0) << "a short read fails";
  EXPECT_EQ(ReadWholeFile((folder_ + L"none.xml").c_str(), 1, bytes), 0);
}

TEST_F(SettingsFiles, SaveReplacesWholeAndReusesALeftTemporaryFile) {
  TestApp app;
  app.Variant(0);
  ASSERT_TRUE(WriteFileBytes(temporary_, "left by an interrupted save"));
  EXPECT_EQ(SaveSettingsToPath(app.ctx.get(), target_.c_str()), 1);
  const std::string first = ReadFileBytes(target_);
  EXPECT_EQ(first, std::string(app.ctx->settingsBuffer.data, app.ctx->settingsBuffer.length));
  EXPECT_FALSE(FileExistsW(temporary_)) << "a leftover temporary file is reused and moved";
  app.Variant(1);
  EXPECT_EQ(SaveSettingsToPath(app.ctx.get(), target_.c_str()), 1);
  EXPECT_NE(ReadFileBytes(target_), first);

  TestApp loaded;
  EXPECT_EQ(LoadSettingsFromFile(loaded.ctx.get(), target_.c_str()), 1);
  EXPECT_EQ(loaded.Bus(), 2);
  EXPECT_EQ(loaded.ctx->savedX0, -20);
  EXPECT_EQ(loaded.Record(2).gain, 6.25f);
  ASSERT_TRUE(WriteFileBytes(target_, ""));
  EXPECT_EQ(LoadSettingsFromFile(loaded.ctx.get(), target_.c_str()), -1);
  EXPECT_EQ(loaded.Record(2).gain, 6.25f) << "a file that is not read changes no record";
}

TEST_F(SettingsFiles, FailedReplaceKeepsTheStoredFile) {
  ASSERT_TRUE(WriteFileBytes(target_, "stored settings"));
  HANDLE holder = CreateFileW(target_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  TestApp app;
  EXPECT_EQ(SaveSettingsToPath(app.ctx.get(), target_.c_str()), -3);
  CloseHandle(holder);
  EXPECT_EQ(ReadFileBytes(target_), "stored settings");
  EXPECT_FALSE(FileExistsW(temporary_));

  // A temporary file that cannot be created (a folder of that name) fails before anything.
  ASSERT_TRUE(CreateDirectoryW(temporary_.c_str(), nullptr));
  EXPECT_EQ(SaveSettingsToPath(app.ctx.get(), target_.c_str()), -3);
  EXPECT_EQ(WriteFileReplacing(target_.c_str(), "x", 1), -1);
  RemoveDirectoryW(temporary_.c_str());
  EXPECT_EQ(ReadFileBytes(target_), "stored settings");
}

TEST_F(SettingsFiles, NoEqualizerObjectMeansNoSave) {
  ASSERT_TRUE(WriteFileBytes(target_, "stored settings"));
  TestApp failedStart(false);
  ReleaseTextBuffer(&failedStart.ctx->settingsBuffer);
  failedStart.ctx->settingsBuffer = TextBuffer{};  // never initialised
  EXPECT_EQ(SaveSettingsToPath(failedStart.ctx.get(), target_.c_str()), -1);
  EXPECT_EQ(SaveSettings(failedStart.ctx.get(), nullptr, 0), -1);
  EXPECT_EQ(ReadFileBytes(target_), "stored settings");
  EXPECT_EQ(failedStart.ctx->settingsBuffer.data, nullptr);

}

TEST(SettingsDefaultFile, LivesInDocumentsOrlune) {
  wchar_t documents[kSettingsPathSize], path[kSettingsPathSize];
  GetDocumentsFolderW(documents);
  const DWORD attributes = GetFileAttributesW(documents);
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  ASSERT_EQ(BuildSettingsFilePath(documents, path, kSettingsPathSize), 0);
  const std::string before = ReadFileBytes(path);

  TestApp app;
  app.Variant(1);
  EXPECT_EQ(SaveSettings(app.ctx.get(), nullptr, 0), 1);
  TestApp loaded;
  EXPECT_EQ(LoadSettings(loaded.ctx.get(), nullptr, 0), 1);
  EXPECT_EQ(loaded.Bus(), 2);
  if (before == kMissingFile) {
    DeleteFileW(path);
  } else {
    WriteFileBytes(path, before);
  }
}

// The switches of the private test prefix are put back afterwards.
class RegistrySwitches : public ::testing::Test {
 protected:
  static constexpr const char* kNames[3] = {"GEQ15_SysTray", "GEQ15_SysTrayShowOnRun", "GEQ15_ShowOnTop"};
  int32_t saved_[3] = {}, had_[3] = {};
  void SetUp() override {
    for (int i = 0; i < 3; ++i) had_[i] = RegistryReadSwitch(kNames[i], &saved_[i]);
  }
  void TearDown() override {
    RegDeleteKeyValueA(HKEY_CURRENT_USER, "Kelmora\\Orlune", "GEQ15_Test");
    for (int i = 0; i < 3; ++i) {
      if (had_[i]) RegistryWriteSwitch(kNames[i], saved_[i]);
    }
  }
};

TEST_F(RegistrySwitches, MissingKeyStringValuesAndCreation) {
  RegDeleteKeyA(HKEY_CURRENT_USER, "Kelmora\\Orlune");
  int32_t value = 42;
  EXPECT_EQ(RegistryReadSwitch("GEQ15_SysTray", &value), 0);
  EXPECT_EQ(value, 42) << "a failed read keeps the default";
  EXPECT_EQ(RegistryWriteSwitch("GEQ15_Test", 5), 1) << "the key is created on write";
  EXPECT_EQ(RegistryReadSwitch("GEQ15_Test", &value), 1);
  EXPECT_NE(value, 0) << "5 reads as set";

  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Kelmora\\Orlune", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  const char text[] = "1";
  const DWORD number = 1;
  const struct { DWORD type; const void* data; DWORD size; } wrongTypes[] = {
      {REG_SZ, text, sizeof text}, {REG_BINARY, &number, sizeof number}};
  for (const auto& row : wrongTypes) {
    ASSERT_EQ(RegSetValueExA(key, "GEQ15_Test", 0, row.type, static_cast<const BYTE*>(row.data), row.size),
              ERROR_SUCCESS);
    value = 0;
    EXPECT_EQ(RegistryReadSwitch("GEQ15_Test", &value), 0) << "type " << row.type;
    EXPECT_EQ(value, 0) << "a value of another type leaves the switch at its default";
  }
  RegCloseKey(key);
}

TEST(Shortcut, CreatedReadBackAndDeletedButNeverInAnUnknownFolder) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  char self[MAX_PATH], temp[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  const std::string selfFolder = std::string(self).substr(0, std::string(self).rfind('\\'));
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "geq15-startup";
  const std::string path = folder + "\\VEZ-15 (Kelmora).LNK";
  CreateDirectoryA(folder.c_str(), nullptr);
  DeleteFileA(path.c_str());
  EXPECT_EQ(StartupShortcutCreate(self, (folder + "\\").c_str()), 0) << "no second backslash";

  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                         reinterpret_cast<void**>(&link))));
  ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
  const std::wstring widePath(path.begin(), path.end());
  ASSERT_TRUE(SUCCEEDED(file->Load(widePath.c_str(), STGM_READ)));
  char text[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, 0)));
  EXPECT_STRCASEEQ(text, self);
  ASSERT_TRUE(SUCCEEDED(link->GetDescription(text, MAX_PATH)));
  EXPECT_STREQ(text, "VEZ-15 (Kelmora)");
  ASSERT_TRUE(SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH)));
  EXPECT_STRCASEEQ(text, selfFolder.c_str()) << "the executable's folder, no trailing backslash";
  file->Release();
  link->Release();

  EXPECT_NE(StartupShortcutDelete(folder.c_str()), 0);
  EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(StartupShortcutDelete(folder.c_str()), 0) << "deleting a missing shortcut reports failure";
  RemoveDirectoryA(folder.c_str());

  const char* rootShortcut = "\\VEZ-15 (Kelmora).LNK";
  ASSERT_EQ(GetFileAttributesA(rootShortcut), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(StartupShortcutCreate(self, ""), 0);
  EXPECT_EQ(GetFileAttributesA(rootShortcut), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(StartupShortcutDelete(""), 0);
  CoUninitialize();
}

TEST(SpecialFolders, StartupFolderIsFoundOnce) {
  InitSpecialFolders();
  const DWORD attributes = GetFileAttributesA(startupFolder);
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  std::strcpy(startupFolder, "changed");
  InitSpecialFolders();
  EXPECT_STREQ(startupFolder, "changed") << "looked up on the first call only";
}

TEST(TrayIcon, AddAndDelete) {
  HWND window = CreateWindowExA(0, "STATIC", "geq15 tray test", WS_POPUP, 0, 0, 10, 10, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  for (HICON icon : {LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION)), HICON{}}) {
    EXPECT_EQ(TrayIconAdd(window, icon), 0) << "an icon is optional";
    EXPECT_EQ(TrayIconDelete(window), 0);
  }
  DestroyWindow(window);
}

}  // namespace
