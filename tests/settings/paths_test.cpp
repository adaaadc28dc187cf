// Paths and shell texts are built in fixed buffers: each must take exactly what fits, and
// refuse (not cut short) what does not.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "settings/settings_path.h"
#include "settings/shell_text.h"

namespace {

TEST(SettingsPath, StripExtensionAndTheDefaultFile) {
  const struct { const wchar_t *path, *stripped; int32_t result; } rows[] = {
      {L"C:\\x\\my.eq.txt", L"C:\\x\\my.eq", 1}, {L"C:\\data.old\\eq", L"C:\\data", 1},  // even in a folder
      {L"C:\\x\\eq", L"C:\\x\\eq", 0}, {L"", L"", 0}};
  for (const auto& row : rows) {
    wchar_t path[64];
    std::wcscpy(path, row.path);
    EXPECT_EQ(StripExtension(path), row.result);
    EXPECT_STREQ(path, row.stripped);
  }
  wchar_t out[kSettingsPathSize];
  const struct { const wchar_t *documents, *file; } files[] = {
      {L"C:\\Docs", L"C:\\Docs\\Orlune\\GEQ15Config.xml"}, {L"D:\\", L"D:\\Orlune\\GEQ15Config.xml"},
      {L"", L"\\Orlune\\GEQ15Config.xml"}};
  for (const auto& row : files) {
    ASSERT_EQ(BuildSettingsFilePath(row.documents, out, kSettingsPathSize), 0);
    EXPECT_STREQ(out, row.file);
  }
  const std::wstring fits(kSettingsPathSize - 1 - std::wcslen(L"\\Orlune\\GEQ15Config.xml"), L'd');
  EXPECT_TRUE(BuildSettingsFilePath(fits.c_str(), out, kSettingsPathSize) == 0 && std::wcslen(out) == kSettingsPathSize - 1);
  EXPECT_TRUE(BuildSettingsFilePath((fits + L"d").c_str(), out, kSettingsPathSize) < 0 && out[0] == 0) << "refused, not cut";
}

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
