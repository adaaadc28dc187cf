// The shell's texts are built in fixed buffers: each must take exactly what fits, and refuse
// (not cut short) what does not.
#include "shell/shell_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(ShellText, TipShortcutPathAndWorkingFolderAtTheirLimits) {
  char tip[kTrayTipSize + 8];
  std::memset(tip, 'x', sizeof tip);
  CopyTipText(tip, kTrayTipSize, std::string(64, 't').c_str());
  EXPECT_EQ(std::string(tip), std::string(63, 't'));
  EXPECT_EQ(tip[kTrayTipSize], 'x') << "nothing written past the field";
  char link[kShortcutPathSize];
  for (const char* folder : {"C:\\Startup", "C:\\Startup\\"}) {
    ASSERT_EQ(BuildShortcutPath(folder, link, sizeof link), 0);
    EXPECT_STREQ(link, "C:\\Startup\\VEZ-15 (Kelmora).LNK");
  }
  EXPECT_LT(BuildShortcutPath("", link, sizeof link), 0) << "never the root of the drive";
  const std::string folderFits(kShortcutPathSize - 1 - std::strlen("\\VEZ-15 (Kelmora).LNK"), 'f');
  EXPECT_TRUE(BuildShortcutPath(folderFits.c_str(), link, sizeof link) == 0 && std::strlen(link) == kShortcutPathSize - 1);
  EXPECT_TRUE(BuildShortcutPath((folderFits + "f").c_str(), link, sizeof link) < 0 && link[0] == 0) << "refused, not cut";
  char folder[kWorkingFolderSize];
  ASSERT_EQ(ExecutableFolder("C:\\Program Files\\VEZ\\VEZ-15.exe", folder, sizeof folder), 0);
  EXPECT_STREQ(folder, "C:\\Program Files\\VEZ");
  const std::string exeFits = "C:\\" + std::string(kWorkingFolderSize - 8, 'd') + "\\a.e";
  EXPECT_TRUE(ExecutableFolder(exeFits.c_str(), folder, sizeof folder) == 0 && std::strlen(folder) == kWorkingFolderSize - 5);
  EXPECT_LT(ExecutableFolder((exeFits + "x").c_str(), folder, sizeof folder), 0);
}

}  // namespace
