// The settings layer on Windows under Wine: whole-file reads and 64-bit sizes, the replacing
// save with each of its steps failing and with a saver killed at random moments, and switches of
// another type. The default file and the switches' writes are checked end to end by tests/app.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "files/file_calls_win32.h"
#include "settings/registry_win32.h"
#include "settings/settings_file.h"
#include "tests/settings/settings_fixture.h"

namespace {

std::wstring TempPath(const wchar_t* name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + name;
}
const std::wstring kTarget = TempPath(L"geq15-settings-test.xml"), kTemporary = kTarget + L".tmp";

std::string Stored() {
  HANDLE file = CreateFileW(kTarget.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  std::string bytes(1 << 16, '\0');
  DWORD got = 0;
  ReadFile(file, &bytes[0], DWORD(bytes.size()), &got, nullptr);
  CloseHandle(file);
  return bytes.substr(0, got);
}
bool Store(const std::string& bytes) { return WriteFileReplacing(kTarget.c_str(), bytes.data(), uint32_t(bytes.size())) == 0; }
bool TemporaryLeft() { return GetFileAttributesW(kTemporary.c_str()) != INVALID_FILE_ATTRIBUTES; }

TEST(SettingsFiles, SizesBeyondFourGiBAndReadsThatNeedTheWholeFile) {
  HANDLE file = CreateFileW(kTarget.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD unused = 0;
  DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &unused, nullptr);
  LARGE_INTEGER end;
  end.QuadPart = 0x100000005LL;
  ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file) && CloseHandle(file));
  uint64_t size = 7;
  EXPECT_TRUE(QueryFileSize(kTarget.c_str(), &size) == 1 && size == 0x100000005ull) << size;
  ASSERT_TRUE(Store("0123456789"));
  char bytes[16] = {};
  EXPECT_TRUE(ReadWholeFile(kTarget.c_str(), 10, bytes) == 1 && std::string(bytes, 10) == "0123456789");
  EXPECT_EQ(ReadWholeFile(kTarget.c_str(), 11, bytes), 0) << "a short read fails";
  DeleteFileW(kTarget.c_str());
  EXPECT_EQ(QueryFileSize(kTarget.c_str(), &size), 0) << "a missing file";
}

BOOL WINAPI FailWrite(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) { return FALSE; }
BOOL WINAPI WriteNothing(HANDLE, LPCVOID, DWORD, LPDWORD put, LPOVERLAPPED) { return *put = 0, TRUE; }
BOOL WINAPI FailFlush(HANDLE) { return FALSE; }
BOOL WINAPI FailMove(LPCWSTR, LPCWSTR, DWORD) { return FALSE; }

TEST(SettingsFiles, SaveReplacesWholeOrKeepsTheStoredFileWhenAStepFails) {
  TestSettings app, loaded;
  app.Variant(2, 6.25f);
  ASSERT_TRUE(Store("left by an interrupted save") && MoveFileW(kTarget.c_str(), kTemporary.c_str()));
  EXPECT_EQ(SaveSettingsToPath(app.engine.get(), &app.settings, app.window, kTarget.c_str()), 1);
  const std::string stored = Stored();
  EXPECT_TRUE(stored == app.Save() && !TemporaryLeft()) << "a leftover temporary file is reused and moved";
  EXPECT_TRUE(LoadSettingsFromFile(loaded.engine.get(), &loaded.settings, kTarget.c_str()) == 1 && loaded.Record(2).gain == 6.25f);
  const SaveFileCalls real = g_saveFileCalls;
  const struct { const char* step; SaveFileCalls calls; } failures[] = {
      {"write", {FailWrite, real.flushFileBuffers, real.moveFileEx}},
      {"write of no bytes", {WriteNothing, real.flushFileBuffers, real.moveFileEx}},
      {"flush", {real.writeFile, FailFlush, real.moveFileEx}}, {"rename", {real.writeFile, real.flushFileBuffers, FailMove}}};
  app.Variant(1, -3.0f);
  for (const auto& failure : failures) {
    g_saveFileCalls = failure.calls;
    EXPECT_EQ(SaveSettingsToPath(app.engine.get(), &app.settings, app.window, kTarget.c_str()), -3) << failure.step;
    g_saveFileCalls = real;
    EXPECT_TRUE(Stored() == stored && !TemporaryLeft()) << failure.step;
  }
  ASSERT_TRUE(CreateDirectoryW(kTemporary.c_str(), nullptr));  // no temporary file can be created
  EXPECT_EQ(SaveSettingsToPath(app.engine.get(), &app.settings, app.window, kTarget.c_str()), -3);
  RemoveDirectoryW(kTemporary.c_str());
  TestSettings failedStart(false);  // no equalizer object: nothing replaces the stored file
  EXPECT_TRUE(SaveSettingsToPath(failedStart.engine.get(), &failedStart.settings, failedStart.window, kTarget.c_str()) < 0 && SaveSettings(failedStart.engine.get(), &failedStart.settings, failedStart.window, nullptr, 0) < 0);
  EXPECT_EQ(Stored(), stored);
}

// A saver (this program again) is killed at random moments: the file is always one whole
// document, old or new, and a temporary file left by a kill does not outlive the next save.
TEST(SettingsKill, FileIsAlwaysAWholeDocument) {
  TestSettings variants[2];
  variants[0].Variant(1, -3.5f);
  variants[1].Variant(2, 6.25f);
  if (const char* event = std::getenv("GEQ15_SAVER_EVENT")) {  // the saver: saves until killed
    for (unsigned round = 0; SaveSettingsToPath(variants[round & 1].engine.get(), &variants[round & 1].settings, variants[round & 1].window, kTarget.c_str()) == 1; ++round) {
      if (round == 0) SetEvent(reinterpret_cast<HANDLE>(std::strtoull(event, nullptr, 10)));
    }
    std::exit(1);
  }
  ASSERT_TRUE(Store(variants[0].Save()));
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
    Sleep(random() % 13);  // the moment of the kill, not a wait for anything
    TerminateProcess(process.hProcess, 9);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const std::string stored = Stored();
    ASSERT_TRUE(stored == variants[0].Save() || stored == variants[1].Save()) << "after kill " << kill << ": " << stored;
  }
  SetEnvironmentVariableA("GEQ15_SAVER_EVENT", nullptr);
  CloseHandle(started);
  EXPECT_TRUE(SaveSettingsToPath(variants[1].engine.get(), &variants[1].settings, variants[1].window, kTarget.c_str()) == 1 && !TemporaryLeft());
  DeleteFileW(kTarget.c_str());
}

TEST(RegistrySwitches, MissingKeyAndOtherTypesKeepTheDefault) {
  int32_t value = 0;
  ASSERT_TRUE(RegistryWriteSwitch("GEQ15_Test", 1) == 1 && RegistryReadSwitch("GEQ15_Test", &value) == 1 && value == 1);
  for (DWORD type : {REG_SZ, REG_BINARY}) {
    value = 42;
    RegSetKeyValueA(HKEY_CURRENT_USER, "Kelmora\\Orlune", "GEQ15_Test", type, "1", 2);
    EXPECT_TRUE(RegistryReadSwitch("GEQ15_Test", &value) == 0 && value == 42) << "type " << type;
  }
  RegDeleteKeyValueA(HKEY_CURRENT_USER, "Kelmora\\Orlune", "GEQ15_Test");
  EXPECT_TRUE(RegistryReadSwitch("GEQ15_Test", &value) == 0 && value == 42);
}

}  // namespace
