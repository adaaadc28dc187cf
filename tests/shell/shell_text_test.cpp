// The shell's texts are built in fixed buffers: each must take exactly what fits, and refuse
// (not cut short) what does not.
#include "shell/shell_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

namespace {

TEST(ShellText, TipShortcutPathAndWorkingFolderAtTheirLimits) {
  char tip[kTrayTipSize + 8];
  std::memset(tip, 'x', sizeof tip);
  CopyTipText(tip, kTrayTipSize, std::string(64, 't').c_str());
  EXPECT_EQ(std::make_pair(std::string(tip), tip[kTrayTipSize]), std::make_pair(std::string(63, 't'), 'x')) << "nothing written past the field";
  char link[kShortcutPathSize];
  for (const char* folder : {"C:\\Startup", "C:\\Startup\\"}) {
    ASSERT_EQ(BuildShortcutPath(folder, link, sizeof link), 0);
    EXPECT_STREQ(link, "C:\\Startup\\VEZ-15 (Kelmora).LNK");
  }
  EXPECT_LT(BuildShortcutPath("", link, sizeof link), 0) << "never the root of the drive";
  const std::string folderFits(kShortcutPathSize - 1 - std::strlen("\\VEZ-15 (Kelmora).LNK"), 'f');
  ASSERT_EQ(BuildShortcutPath(folderFits.c_str(), link, sizeof link), 0);
  EXPECT_EQ(std::strlen(link), kShortcutPathSize - 1u) << "what fits";
  EXPECT_LT(BuildShortcutPath((folderFits + "f").c_str(), link, sizeof link), 0);
  EXPECT_EQ(link[0], 0) << "refused, not cut";
  char folder[kWorkingFolderSize];
  ASSERT_EQ(ExecutableFolder("C:\\Program Files\\VEZ\\VEZ-15.exe", folder, sizeof folder), 0);
  EXPECT_STREQ(folder, "C:\\Program Files\\VEZ");
  const std::string exeFits = "C:\\" + std::string(kWorkingFolderSize - 8, 'd') + "\\a.e";
  ASSERT_EQ(ExecutableFolder(exeFits.c_str(), folder, sizeof folder), 0);
  EXPECT_EQ(std::strlen(folder), kWorkingFolderSize - 5u) << "what fits";
  EXPECT_LT(ExecutableFolder((exeFits + "x").c_str(), folder, sizeof folder), 0);
}

}  // namespace
