// BindRemoteLibrary through the registry against purpose-built DLLs, each lacking one export.
#include <gtest/gtest.h>

#include "host/remote_api.h"
#include "tests/host/host_entry_win32.h"

namespace {

std::string Uninstaller(const char* dllFolder) { return WindowsPath(dllFolder) + "\\uninstall.exe"; }

TEST(BindRemoteLibrary, CompleteLibraryBindsAndAnswers) {
  HostEntryOverride entry;
  entry.Set(Uninstaller(FAKE_REMOTE_COMPLETE_DIR));
  ASSERT_EQ(BindRemoteLibrary(), 0);
  for (int i = 0; i < kRemoteEntryCount; ++i) EXPECT_NE(g_remoteApi.entry[i], nullptr) << kRemoteExportNames[i];
  int32_t type = 0;
  EXPECT_EQ(g_remoteApi.KLORM_GetOrluneType(&type), 0);  // a __stdcall call through the table
  EXPECT_EQ(type, 2);
}

TEST(BindRemoteLibrary, FirstMissingExportGivesItsCode) {
  struct Case {
    const char* folder;
    int32_t code;
  } cases[] = {{FAKE_REMOTE_NO_MIDI_DIR, -15}, {FAKE_REMOTE_NO_RUN_DIR, -2}, {FAKE_REMOTE_NO_UNREGISTER_DIR, -43}};
  for (const Case& c : cases) {
    HostEntryOverride entry;
    entry.Set(Uninstaller(c.folder));
    EXPECT_EQ(BindRemoteLibrary(), c.code) << c.folder;
    // What was found stays bound, so shutdown can still log out.
    EXPECT_NE(g_remoteApi.KLORM_Logout, nullptr);
  }
}

TEST(BindRemoteLibrary, HostNotFoundOrNotLoadable) {
  HostEntryOverride entry;
  entry.Remove();
  EXPECT_EQ(BindRemoteLibrary(), kBindHostNotFound);
  for (int i = 0; i < kRemoteEntryCount; ++i) ASSERT_EQ(g_remoteApi.entry[i], nullptr);

  entry.Set(Uninstaller(FAKE_REMOTE_COMPLETE_DIR), REG_EXPAND_SZ);
  EXPECT_EQ(BindRemoteLibrary(), kBindHostNotFound);
  entry.Set(std::string(600, 'a') + "\\uninstall.exe");  // no folder fits
  EXPECT_EQ(BindRemoteLibrary(), kBindHostNotFound);

  entry.Set("\"" + Uninstaller(FAKE_REMOTE_COMPLETE_DIR) + "\"");  // the opening quote stays in the folder
  EXPECT_EQ(BindRemoteLibrary(), kBindLoadFailed);
  for (int i = 0; i < kRemoteEntryCount; ++i) ASSERT_EQ(g_remoteApi.entry[i], nullptr);
  entry.Set("Z:\\no\\such\\folder\\uninstall.exe");
  EXPECT_EQ(BindRemoteLibrary(), kBindLoadFailed);
}

// In a 32-bit process on 64-bit Windows (and Wine's 64-bit prefix) the default view of the
// Uninstall key already is the 32-bit view, so the fallback cannot be told apart from the first
// attempt here. What can be checked: an entry written only to the 32-bit view is found, and
// one written only to the 64-bit view is not.
TEST(FindHostFolder, ThirtyTwoBitViewIsSearched) {
  HostEntryOverride entry;
  entry.Remove();
  entry.Set("C:\\Orlune32\\uninstall.exe", REG_SZ, KEY_WOW64_32KEY);
  char folder[kHostFolderBufferBytes];
  ASSERT_EQ(FindHostFolder(folder), 1);
  EXPECT_STREQ(folder, "C:\\Orlune32");

  entry.Remove();
  entry.Set("C:\\Orlune64\\uninstall.exe", REG_SZ, KEY_WOW64_64KEY);
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  if (wow64) {
    EXPECT_EQ(FindHostFolder(folder), 0);
  }
}

}  // namespace
