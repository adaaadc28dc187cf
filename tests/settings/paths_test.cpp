// Paths are built in fixed buffers: each must take exactly what fits, and
// refuse (not cut short) what does not.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "settings/settings_path.h"

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
  ASSERT_EQ(BuildSettingsFilePath(fits.c_str(), out, kSettingsPathSize), 0);
  EXPECT_EQ(std::wcslen(out), kSettingsPathSize - 1) << "what fits";
  EXPECT_TRUE(BuildSettingsFilePath((fits + L"d").c_str(), out, kSettingsPathSize) < 0 && out[0] == 0) << "refused, not cut";
}

}  // namespace
