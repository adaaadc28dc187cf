// The settings layer on Windows under Wine: whole-file reads and 64-bit sizes, the replacing
// save with each of its steps failing, and switches of another type. The default file and the
// switches' writes are checked end to end by tests/app.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

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
  ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file) && CloseHandle(file)) << "no sparse test file";
  uint64_t size = 7;
  EXPECT_EQ(QueryFileSize(kTarget.c_str(), &size), 1);
  EXPECT_EQ(size, 0x100000005ull);
  ASSERT_TRUE(Store("0123456789"));
  char bytes[16] = {};
  EXPECT_EQ(ReadWholeFile(kTarget.c_str(), 10, bytes), 1);
  EXPECT_EQ(std::string(bytes, 10), "0123456789");
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
  // A temporary file left by an interrupted save, longer than the document: replaced whole.
  ASSERT_TRUE(Store(std::string(1 << 15, 'x')) && MoveFileW(kTarget.c_str(), kTemporary.c_str()));
  EXPECT_EQ(SaveSettingsToPath(app.engine.get(), &app.settings, app.window, kTarget.c_str()), 1);
  const std::string stored = Stored();
  EXPECT_EQ(stored, app.Save());
  EXPECT_FALSE(TemporaryLeft());
  EXPECT_EQ(LoadSettingsFromFile(loaded.engine.get(), &loaded.settings, kTarget.c_str()), 1);
  EXPECT_EQ(loaded.Record(2).gain, 6.25f);
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
    EXPECT_EQ(std::make_pair(Stored(), TemporaryLeft()), std::make_pair(stored, false)) << failure.step;
  }
  ASSERT_TRUE(CreateDirectoryW(kTemporary.c_str(), nullptr));  // no temporary file can be created
  EXPECT_EQ(SaveSettingsToPath(app.engine.get(), &app.settings, app.window, kTarget.c_str()), -3);
  RemoveDirectoryW(kTemporary.c_str());
  TestSettings failedStart(false);  // no equalizer object: nothing replaces the stored file
  EXPECT_LT(SaveSettingsToPath(failedStart.engine.get(), &failedStart.settings, failedStart.window, kTarget.c_str()), 0);
  EXPECT_LT(SaveSettings(failedStart.engine.get(), &failedStart.settings, failedStart.window, nullptr, 0), 0);
  EXPECT_EQ(Stored(), stored);
  DeleteFileW(kTarget.c_str());
}

TEST(RegistrySwitches, MissingKeyAndOtherTypesKeepTheDefault) {
  int32_t value = 0;
  ASSERT_EQ(RegistryWriteSwitch("GEQ15_Test", 1), 1);
  EXPECT_EQ(RegistryReadSwitch("GEQ15_Test", &value), 1);
  EXPECT_EQ(value, 1);
  for (DWORD type : {REG_SZ, REG_BINARY, REG_NONE}) {  // REG_NONE: deleted, so missing
    value = 42;
    if (type == REG_NONE) RegDeleteKeyValueA(HKEY_CURRENT_USER, "Kelmora\\Orlune", "GEQ15_Test");
    else RegSetKeyValueA(HKEY_CURRENT_USER, "Kelmora\\Orlune", "GEQ15_Test", type, "1", 2);
    EXPECT_EQ(RegistryReadSwitch("GEQ15_Test", &value), 0) << "type " << type;
    EXPECT_EQ(value, 42) << "type " << type;
  }
}

}  // namespace
