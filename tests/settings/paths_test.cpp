#include "settings/shell_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(ShellText, TipIsCutToItsFieldAndTerminated) {
  char field[kTrayTipSize + 8];
  std::memset(field, 'x', sizeof field);
  CopyTipText(field, kTrayTipSize, "VEZ-15 (Kelmora)");
  EXPECT_STREQ(field, "VEZ-15 (Kelmora)");
  const std::string fits(63, 't'), tooLong(64, 't');
  CopyTipText(field, kTrayTipSize, fits.c_str());
  EXPECT_EQ(std::string(field), fits);
  CopyTipText(field, kTrayTipSize, tooLong.c_str());
  EXPECT_EQ(std::string(field), fits);
  EXPECT_EQ(field[kTrayTipSize], 'x') << "nothing written past the field";
  CopyTipText(field, kTrayTipSize, nullptr);
  EXPECT_STREQ(field, "");
}

TEST(ShellText, ShortcutPathAddsOneBackslashAndRefusesUnknownFolders) {
  char out[kShortcutPathSize];
  ASSERT_EQ(BuildShortcutPath("C:\\Startup", out, sizeof out), 0);
  EXPECT_STREQ(out, "C:\\Startup\\VEZ-15 (Kelmora).LNK");
  ASSERT_EQ(BuildShortcutPath("C:\\Startup\\", out, sizeof out), 0);
  EXPECT_STREQ(out, "C:\\Startup\\VEZ-15 (Kelmora).LNK");
  EXPECT_EQ(BuildShortcutPath("", out, sizeof out), -1);
  EXPECT_STREQ(out, "") << "never the root of the current drive";
  EXPECT_EQ(BuildShortcutPath(nullptr, out, sizeof out), -1);

  // "\VEZ-15 (Kelmora).LNK" is 21 characters.
  const std::string fits(kShortcutPathSize - 1 - 21, 'f');
  ASSERT_EQ(BuildShortcutPath(fits.c_str(), out, sizeof out), 0);
  EXPECT_EQ(std::strlen(out), kShortcutPathSize - 1);
  const std::string tooLong(kShortcutPathSize - 21, 'f');
  EXPECT_EQ(BuildShortcutPath(tooLong.c_str(), out, sizeof out), -1);
  EXPECT_STREQ(out, "");
}

TEST(ShellText, ExecutableFolderCutsAtTheLastBackslash) {
  char out[kWorkingFolderSize];
  ASSERT_EQ(ExecutableFolder("C:\\Program Files\\VEZ\\VEZ-15.exe", out, sizeof out), 0);
  EXPECT_STREQ(out, "C:\\Program Files\\VEZ");
  ASSERT_EQ(ExecutableFolder("plain.exe", out, sizeof out), 0);
  EXPECT_STREQ(out, "plain.exe");
  const std::string fits = "C:\\" + std::string(kWorkingFolderSize - 8, 'd') + "\\a.e";
  ASSERT_EQ(fits.size(), kWorkingFolderSize - 1);
  ASSERT_EQ(ExecutableFolder(fits.c_str(), out, sizeof out), 0);
  EXPECT_EQ(std::strlen(out), kWorkingFolderSize - 5);
  EXPECT_EQ(ExecutableFolder((fits + "x").c_str(), out, sizeof out), -1);
  EXPECT_STREQ(out, "");
}

}  // namespace
