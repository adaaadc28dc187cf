// BindRemoteLibrary through the registry. The complete library is bound by the simulated host's
// end-to-end test; here, a library lacking exports and entries that lead nowhere.
#include <gtest/gtest.h>

#include "host/remote_api_win32.h"
#include "tests/host/host_entry_win32.h"

namespace {

const std::string kFakeUninstaller = WindowsPath(FAKE_REMOTE_DIR) + "\\uninstall.exe";

TEST(BindRemoteLibrary, RefusesIncompleteLibrariesAndEntriesThatLeadNowhere) {
  HostEntryOverride entry;
  entry.Set(kFakeUninstaller);
  const int32_t incomplete = BindRemoteLibrary();
  EXPECT_TRUE(incomplete < 0 && incomplete != kBindHostNotFound && incomplete != kBindLoadFailed) << "a missing entry's code, not " << incomplete;
  EXPECT_NE(g_remoteApi.KLORM_Logout, nullptr);  // what was found stays bound, so shutdown can log out
  EXPECT_EQ(g_remoteApi.KLORM_RunOrlune, nullptr);

  const struct { std::string value; DWORD type; int32_t result; } rows[] = {
      {kFakeUninstaller, REG_EXPAND_SZ, kBindHostNotFound},
      {std::string(600, 'a') + "\\uninstall.exe", REG_SZ, kBindHostNotFound},  // longer than the value buffer
      {"Z:\\no\\such\\folder\\uninstall.exe", REG_SZ, kBindLoadFailed}};
  for (const auto& row : rows) {
    entry.Set(row.value, row.type);
    EXPECT_EQ(BindRemoteLibrary(), row.result) << row.value;
    for (int i = 0; i < kRemoteEntryCount; ++i) ASSERT_EQ(g_remoteApi.entry[i], nullptr);
  }
  entry.Remove();
  EXPECT_EQ(BindRemoteLibrary(), kBindHostNotFound);
}

// A 32-bit process's default view is the 32-bit one, where the tests above write; an entry only
// in the 64-bit view must not be taken.
TEST(FindHostFolder, SixtyFourBitViewIsNotSearched) {
  HostEntryOverride entry;
  entry.Remove();
  entry.Set("C:\\Orlune64\\uninstall.exe", REG_SZ, KEY_WOW64_64KEY);
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  if (!wow64) GTEST_SKIP() << "a 32-bit process on 32-bit Windows has no 64-bit view";
  char folder[kHostFolderBufferBytes];
  EXPECT_EQ(FindHostFolder(folder), 0);
}

}  // namespace
