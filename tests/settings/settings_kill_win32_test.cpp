// A saving process is killed at random moments; the settings file must always be one whole
// document, old or new, and a temporary file left by a kill must not outlive the next save.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "settings/settings_file.h"
#include "tests/settings/win32_test_support.h"

namespace {

std::string Document(int variant) {
  TestApp app;
  app.Variant(variant);
  return app.Save();
}

TEST(SettingsKill, FileIsAlwaysAWholeDocument) {
  const std::wstring target = ScratchFolder(L"geq15-kill") + L"GEQ15Config.xml";
  const std::wstring temporary = target + L".tmp";
  const std::string variants[2] = {Document(0), Document(1)};
  ASSERT_NE(variants[0], variants[1]);
  ASSERT_TRUE(WriteFileBytes(target, variants[0]));
  DeleteFileW(temporary.c_str());
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring saver(self);
  saver = saver.substr(0, saver.rfind(L'\\') + 1) + L"settings_saver.exe";

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE started = CreateEventW(&inherit, TRUE, FALSE, nullptr);
  ASSERT_NE(started, nullptr);
  std::mt19937 random(15);
  std::uniform_int_distribution<int> delayMs(0, 12);
  int leftTemporary = 0;
  for (int kill = 0; kill < 200; ++kill) {
    ResetEvent(started);
    std::wstring command = L"\"" + saver + L"\" \"" + target + L"\" " +
                           std::to_wstring(reinterpret_cast<uintptr_t>(started));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                               &startup, &process));
    HANDLE waits[2] = {started, process.hProcess};
    ASSERT_EQ(WaitForMultipleObjects(2, waits, FALSE, 20000), WAIT_OBJECT_0)
        << "the saver did not start saving (kill " << kill << ")";
    Sleep(static_cast<DWORD>(delayMs(random)));
    TerminateProcess(process.hProcess, 9);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    const std::string stored = ReadFileBytes(target);
    ASSERT_TRUE(stored == variants[0] || stored == variants[1])
        << "after kill " << kill << " the file holds " << stored.size() << " bytes:\n" << stored;
    if (FileExistsW(temporary)) ++leftTemporary;
  }
  CloseHandle(started);
  RecordProperty("kills_leaving_temporary", leftTemporary);

  TestApp app;
  app.Variant(1);
  EXPECT_EQ(SaveSettingsToPath(app.ctx.get(), target.c_str()), 1);
  EXPECT_FALSE(FileExistsW(temporary)) << "the next save takes over a left temporary file";
  EXPECT_EQ(ReadFileBytes(target), variants[1]);
  DeleteFileW(target.c_str());
}

}  // namespace
