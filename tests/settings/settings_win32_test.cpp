// The settings layer on Windows under Wine: whole-file reads and 64-bit sizes, the replacing
// save with each of its steps failing and with a saver killed at random moments, the default
// file, registry switches, the Startup shortcut, the special folders and the tray icon.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "settings/registry_win32.h"
#include "settings/save_calls_win32.h"
#include "settings/settings_file.h"
#include "settings/settings_path.h"
#include "settings/shell_win32.h"
#include "tests/settings/settings_test_app.h"

namespace {

std::wstring Scratch(const wchar_t* name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + name;
}
bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
std::string ReadBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  std::string bytes(file == INVALID_HANDLE_VALUE ? 0 : 1 << 16, '\0');
  DWORD got = 0;
  if (file != INVALID_HANDLE_VALUE) ReadFile(file, &bytes[0], DWORD(bytes.size()), &got, nullptr), CloseHandle(file);
  return file == INVALID_HANDLE_VALUE ? "<missing>" : bytes.substr(0, got);
}
bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  return WriteFileReplacing(path.c_str(), bytes.data(), uint32_t(bytes.size())) == 0;
}

const std::wstring kTarget = Scratch(L"geq15-settings-test.xml"), kTemporary = kTarget + L".tmp";

TEST(SettingsFiles, SizesBeyondFourGiBAndReadsThatNeedTheWholeFile) {
  HANDLE file = CreateFileW(kTarget.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD unused = 0;
  DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &unused, nullptr);
  LARGE_INTEGER end;
  end.QuadPart = 0x100000005LL;
  ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
  CloseHandle(file);
  uint64_t size = 7;
  EXPECT_EQ(QueryFileSize(kTarget.c_str(), &size), 1);
  EXPECT_EQ(size, 0x100000005ull);
  ASSERT_TRUE(WriteBytes(kTarget, "0123456789"));
  char bytes[16] = {};
  HANDLE other = CreateFileW(kTarget.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(ReadWholeFile(kTarget.c_str(), 10, bytes), 0) << "another handle is open";
  CloseHandle(other);
  EXPECT_EQ(ReadWholeFile(kTarget.c_str(), 10, bytes), 1);
  EXPECT_EQ(std::string(bytes, 10), "0123456789");
  EXPECT_EQ(ReadWholeFile(kTarget.c_str(), 11, bytes), 0) << "a short read fails";
  DeleteFileW(kTarget.c_str());
  size = 7;
  EXPECT_TRUE(QueryFileSize(kTarget.c_str(), &size) == 0 && size == 7) << "a missing file leaves the size";
}

BOOL WINAPI FailWrite(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) { return FALSE; }
BOOL WINAPI WriteNothing(HANDLE, LPCVOID, DWORD, LPDWORD put, LPOVERLAPPED) { return *put = 0, TRUE; }
BOOL WINAPI FailFlush(HANDLE) { return FALSE; }
BOOL WINAPI FailMove(LPCWSTR, LPCWSTR, DWORD) { return FALSE; }

TEST(SettingsFiles, SaveReplacesWholeOrKeepsTheStoredFileWhenAStepFails) {
  TestApp app, loaded;
  app.Variant(2, 6.25f);
  ASSERT_TRUE(WriteBytes(kTemporary, "left by an interrupted save"));
  EXPECT_EQ(SaveSettingsToPath(app.ctx.get(), kTarget.c_str()), 1);
  EXPECT_EQ(ReadBytes(kTarget), app.Save());
  EXPECT_FALSE(Exists(kTemporary)) << "a leftover temporary file is reused and moved";
  EXPECT_EQ(LoadSettingsFromFile(loaded.ctx.get(), kTarget.c_str()), 1);
  EXPECT_EQ(loaded.Record(2).gain, 6.25f);
  const SaveFileCalls real = g_saveFileCalls;
  const struct { const char* step; SaveFileCalls calls; } failures[] = {
      {"write", {FailWrite, real.flushFileBuffers, real.moveFileEx}},
      {"write of no bytes", {WriteNothing, real.flushFileBuffers, real.moveFileEx}},
      {"flush", {real.writeFile, FailFlush, real.moveFileEx}}, {"rename", {real.writeFile, real.flushFileBuffers, FailMove}}};
  app.Variant(1, -3.0f);
  const std::string stored = ReadBytes(kTarget);
  for (const auto& failure : failures) {
    g_saveFileCalls = failure.calls;
    EXPECT_EQ(SaveSettingsToPath(app.ctx.get(), kTarget.c_str()), -3) << failure.step;
    g_saveFileCalls = real;
    EXPECT_TRUE(ReadBytes(kTarget) == stored && !Exists(kTemporary)) << failure.step;
  }
  ASSERT_TRUE(CreateDirectoryW(kTemporary.c_str(), nullptr));  // no temporary file can be created
  EXPECT_EQ(SaveSettingsToPath(app.ctx.get(), kTarget.c_str()), -3);
  RemoveDirectoryW(kTemporary.c_str());
  TestApp failedStart(false);  // no equalizer object: nothing replaces the stored file
  EXPECT_TRUE(SaveSettingsToPath(failedStart.ctx.get(), kTarget.c_str()) < 0 && SaveSettings(failedStart.ctx.get(), nullptr, 0) < 0);
  EXPECT_EQ(ReadBytes(kTarget), stored);
  DeleteFileW(kTarget.c_str());
}

// A saver (this program again) is killed at random moments: the file is always one whole
// document, old or new, and a temporary file left by a kill does not outlive the next save.
TEST(SettingsKill, FileIsAlwaysAWholeDocument) {
  TestApp variants[2];
  variants[0].Variant(1, -3.5f);
  variants[1].Variant(2, 6.25f);
  if (const char* event = std::getenv("GEQ15_SAVER_EVENT")) {  // the saver: saves until killed
    for (unsigned round = 0;; ++round) {
      if (SaveSettingsToPath(variants[round & 1].ctx.get(), kTarget.c_str()) != 1) std::exit(1);
      if (round == 0) SetEvent(reinterpret_cast<HANDLE>(std::strtoull(event, nullptr, 10)));
    }
  }
  const std::string documents[2] = {variants[0].Save(), variants[1].Save()};
  ASSERT_TRUE(WriteBytes(kTarget, documents[0]));
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE started = CreateEventW(&inherit, TRUE, FALSE, nullptr);
  SetEnvironmentVariableA("GEQ15_SAVER_EVENT", std::to_string(reinterpret_cast<uintptr_t>(started)).c_str());
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=SettingsKill.*";
  std::mt19937 random(15);
  for (int kill = 0; kill < 20; ++kill) {
    ResetEvent(started);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process));
    HANDLE waits[2] = {started, process.hProcess};
    ASSERT_EQ(WaitForMultipleObjects(2, waits, FALSE, 60000), WAIT_OBJECT_0) << "the saver did not start, kill " << kill;
    Sleep(random() % 13);
    TerminateProcess(process.hProcess, 9);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const std::string stored = ReadBytes(kTarget);
    ASSERT_TRUE(stored == documents[0] || stored == documents[1]) << "after kill " << kill << ": " << stored;
  }
  SetEnvironmentVariableA("GEQ15_SAVER_EVENT", nullptr);
  CloseHandle(started);
  EXPECT_EQ(SaveSettingsToPath(variants[1].ctx.get(), kTarget.c_str()), 1);
  EXPECT_FALSE(Exists(kTemporary)) << "the next save takes over a left temporary file";
  DeleteFileW(kTarget.c_str());
}

TEST(SettingsDefaultFile, LivesInDocumentsOrlune) {
  wchar_t documents[kSettingsPathSize], path[kSettingsPathSize];
  GetDocumentsFolderW(documents);
  ASSERT_TRUE(GetFileAttributesW(documents) & FILE_ATTRIBUTE_DIRECTORY);
  ASSERT_EQ(BuildSettingsFilePath(documents, path, kSettingsPathSize), 0);
  const std::string before = ReadBytes(path);
  TestApp app, loaded;
  app.Variant(2, 1.5f);
  EXPECT_EQ(SaveSettings(app.ctx.get(), nullptr, 0), 1);
  EXPECT_EQ(ReadBytes(path), app.Save());
  EXPECT_TRUE(LoadSettings(loaded.ctx.get(), nullptr, 0) == 1 && loaded.ctx->engine.bus.load() == 2);
  if (before == "<missing>") DeleteFileW(path);
  if (before != "<missing>") WriteBytes(path, before);
}

TEST(RegistrySwitches, MissingKeyOtherTypesAndCreation) {
  const char* kNames[3] = {"GEQ15_SysTray", "GEQ15_SysTrayShowOnRun", "GEQ15_ShowOnTop"};
  int32_t saved[3] = {}, had[3] = {};
  for (int i = 0; i < 3; ++i) had[i] = RegistryReadSwitch(kNames[i], &saved[i]);
  RegDeleteKeyA(HKEY_CURRENT_USER, "Kelmora\\Orlune");
  int32_t value = 42;
  EXPECT_TRUE(RegistryReadSwitch("GEQ15_SysTray", &value) == 0 && value == 42) << "a failed read keeps the default";
  EXPECT_EQ(RegistryWriteSwitch("GEQ15_Test", 5), 1) << "the key is created on write";
  EXPECT_TRUE(RegistryReadSwitch("GEQ15_Test", &value) == 1 && value == 5);
  const char text[] = "1";
  const DWORD number = 1;
  for (DWORD type : {REG_SZ, REG_BINARY}) {
    RegSetKeyValueA(HKEY_CURRENT_USER, "Kelmora\\Orlune", "GEQ15_Test", type, type == REG_SZ ? static_cast<const void*>(text) : &number, 2);
    value = 0;
    EXPECT_TRUE(RegistryReadSwitch("GEQ15_Test", &value) == 0 && value == 0) << "type " << type;
  }
  RegDeleteKeyValueA(HKEY_CURRENT_USER, "Kelmora\\Orlune", "GEQ15_Test");
  for (int i = 0; i < 3; ++i) if (had[i]) RegistryWriteSwitch(kNames[i], saved[i]);
}

TEST(Shell, ShortcutFoldersAndTrayIcon) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  char self[MAX_PATH], temp[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "geq15-startup", path = folder + "\\VEZ-15 (Kelmora).LNK";
  CreateDirectoryA(folder.c_str(), nullptr);
  EXPECT_EQ(StartupShortcutCreate(self, (folder + "\\").c_str()), 0) << "no second backslash";
  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, reinterpret_cast<void**>(&link))));
  ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
  ASSERT_TRUE(SUCCEEDED(file->Load(std::wstring(path.begin(), path.end()).c_str(), STGM_READ)));
  char target[MAX_PATH] = {}, description[MAX_PATH] = {}, directory[MAX_PATH] = {};
  link->GetPath(target, MAX_PATH, nullptr, 0);
  link->GetDescription(description, MAX_PATH);
  link->GetWorkingDirectory(directory, MAX_PATH);
  file->Release();
  link->Release();
  EXPECT_STRCASEEQ(target, self);
  EXPECT_STREQ(description, "VEZ-15 (Kelmora)");
  EXPECT_STRCASEEQ(directory, std::string(self).substr(0, std::string(self).rfind('\\')).c_str()) << "no trailing backslash";
  EXPECT_NE(StartupShortcutDelete(folder.c_str()), 0);
  EXPECT_EQ(StartupShortcutDelete(folder.c_str()), 0) << "deleting a missing shortcut reports failure";
  RemoveDirectoryA(folder.c_str());
  EXPECT_NE(StartupShortcutCreate(self, ""), 0) << "never in the root of the drive";
  EXPECT_EQ(GetFileAttributesA("\\VEZ-15 (Kelmora).LNK"), INVALID_FILE_ATTRIBUTES);
  CoUninitialize();

  InitSpecialFolders();
  EXPECT_TRUE(GetFileAttributesA(startupFolder) & FILE_ATTRIBUTE_DIRECTORY);
  std::strcpy(startupFolder, "changed");
  InitSpecialFolders();
  EXPECT_STREQ(startupFolder, "changed") << "looked up on the first call only";

  HWND window = CreateWindowExA(0, "STATIC", "tray", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  for (HICON icon : {LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION)), HICON{}}) {
    EXPECT_TRUE(TrayIconAdd(window, icon) == 0 && TrayIconDelete(window) == 0) << "an icon is optional";
  }
  DestroyWindow(window);
}

}  // namespace
