#include "settings/text_buffer.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/settings_path.h"

namespace {

bool AllZero(const char* data, uint32_t from, uint32_t to) {
  for (uint32_t i = from; i < to; ++i) {
    if (data[i] != 0) return false;
  }
  return true;
}

struct OwnedBuffer {
  TextBuffer b{};
  ~OwnedBuffer() { ReleaseTextBuffer(&b); }
};

TEST(TextBuffer, InitGivesOneZeroedStep) {
  OwnedBuffer o;
  ASSERT_EQ(InitTextBuffer(&o.b), 0);
  EXPECT_EQ(o.b.capacity, 32768u);
  EXPECT_EQ(o.b.freeSpace, 32768u);
  EXPECT_EQ(o.b.length, 0u);
  EXPECT_EQ(o.b.growthStep, 32768u);
  EXPECT_TRUE(AllZero(o.b.data, 0, o.b.capacity));
  EXPECT_EQ(InitTextBuffer(nullptr), -1);
}

TEST(TextBuffer, PrepareReplacesCapacityInWholeStepsAndKeepsSmallerStorage) {
  OwnedBuffer o;
  ASSERT_EQ(InitTextBuffer(&o.b), 0);
  o.b.data[5] = 'x';
  ASSERT_EQ(AppendToTextBuffer(&o.b, "abc", 3), 0);
  // Fits: neither moved nor cleared, but emptied.
  char* before = o.b.data;
  ASSERT_EQ(PrepareTextBuffer(&o.b, 32767), 0);
  EXPECT_EQ(o.b.data, before);
  EXPECT_EQ(o.b.data[5], 'x');
  EXPECT_EQ(o.b.length, 0u);
  EXPECT_EQ(o.b.freeSpace, 32768u);

  ASSERT_EQ(PrepareTextBuffer(&o.b, 40000), 0);
  EXPECT_EQ(o.b.capacity, 65536u);
  EXPECT_TRUE(AllZero(o.b.data, 0, o.b.capacity));
  ASSERT_EQ(PrepareTextBuffer(&o.b, 1048576), 0);
  EXPECT_EQ(o.b.capacity, 1081344u);
  EXPECT_EQ(o.b.freeSpace, 1081344u);
  EXPECT_EQ(PrepareTextBuffer(nullptr, 1), -1);

  OwnedBuffer exact;
  ASSERT_EQ(InitTextBuffer(&exact.b), 0);
  ASSERT_EQ(PrepareTextBuffer(&exact.b, 32768), 0);
  EXPECT_EQ(exact.b.capacity, 32768u) << "a capacity of exactly n is enough";
}

TEST(TextBuffer, AppendGrowsByWholeStepsBeyondTheNeedAndZeroFills) {
  OwnedBuffer o;
  ASSERT_EQ(InitTextBuffer(&o.b), 0);
  std::string fill(32768 - 50, 'a');
  ASSERT_EQ(AppendToTextBuffer(&o.b, fill.data(), static_cast<uint32_t>(fill.size())), 0);
  ASSERT_EQ(o.b.freeSpace, 50u);
  std::string hundred(100, 'b');
  ASSERT_EQ(AppendToTextBuffer(&o.b, hundred.data(), 100), 0);
  EXPECT_EQ(o.b.capacity, 65536u);
  EXPECT_EQ(o.b.length, 32818u);
  EXPECT_EQ(o.b.freeSpace, 65536u - 32818u);
  EXPECT_EQ(std::string(o.b.data, fill.size()), fill) << "growth keeps the content";
  EXPECT_EQ(o.b.data[32817], 'b');
  EXPECT_TRUE(AllZero(o.b.data, o.b.length, o.b.capacity));

  // An append of exactly the free space needs no growth.
  std::string rest(o.b.freeSpace, 'c');
  ASSERT_EQ(AppendToTextBuffer(&o.b, rest.data(), static_cast<uint32_t>(rest.size())), 0);
  EXPECT_EQ(o.b.capacity, 65536u);
  EXPECT_EQ(o.b.freeSpace, 0u);
}

TEST(TextBuffer, AppendArgumentsAndEmptying) {
  OwnedBuffer o;
  ASSERT_EQ(InitTextBuffer(&o.b), 0);
  EXPECT_EQ(AppendToTextBuffer(&o.b, nullptr, 0), 0);
  EXPECT_EQ(o.b.length, 0u);
  EXPECT_EQ(AppendToTextBuffer(&o.b, nullptr, 1), -1);
  EXPECT_EQ(AppendToTextBuffer(nullptr, "a", 1), -1);
  ASSERT_EQ(AppendToTextBuffer(&o.b, "hello", 5), 0);
  EmptyTextBuffer(&o.b);
  EXPECT_EQ(o.b.length, 0u);
  EXPECT_EQ(o.b.freeSpace, o.b.capacity);
  EXPECT_EQ(std::string(o.b.data, 5), "hello") << "emptying does not clear";
  ReleaseTextBuffer(&o.b);
  EXPECT_EQ(o.b.data, nullptr);
  EXPECT_EQ(o.b.capacity, 0u);
  EXPECT_EQ(o.b.growthStep, 32768u) << "release keeps the growth step";
  // After release an append starts the storage again.
  ASSERT_EQ(AppendToTextBuffer(&o.b, "xy", 2), 0);
  EXPECT_EQ(o.b.capacity, 32768u);
  EXPECT_EQ(std::string(o.b.data, o.b.length), "xy");
}

TEST(TextBuffer, NeverInitialisedBufferGrowsInDefaultSteps) {
  OwnedBuffer o;  // all zero: growthStep 0
  ASSERT_EQ(AppendToTextBuffer(&o.b, "abc", 3), 0);
  EXPECT_EQ(o.b.capacity, 32768u);
  EXPECT_EQ(o.b.growthStep, 0u) << "only InitTextBuffer sets the step";
  EXPECT_EQ(std::string(o.b.data, o.b.length), "abc");

  OwnedBuffer p;
  ASSERT_EQ(PrepareTextBuffer(&p.b, 40000), 0);
  EXPECT_EQ(p.b.capacity, 65536u);
}

TEST(SettingsPath, StripExtensionCutsAtTheLastDotOfTheWholePath) {
  wchar_t a[64] = L"C:\\x\\eq.txt";
  EXPECT_EQ(StripExtension(a), 1);
  EXPECT_STREQ(a, L"C:\\x\\eq");
  wchar_t b[64] = L"C:\\x\\my.eq.txt";
  EXPECT_EQ(StripExtension(b), 1);
  EXPECT_STREQ(b, L"C:\\x\\my.eq");
  wchar_t c[64] = L"C:\\data.old\\eq";
  EXPECT_EQ(StripExtension(c), 1);
  EXPECT_STREQ(c, L"C:\\data") << "the cut may fall inside a folder name";
  wchar_t d[64] = L"C:\\x\\eq";
  EXPECT_EQ(StripExtension(d), 0);
  EXPECT_STREQ(d, L"C:\\x\\eq");
  wchar_t e[4] = L"";
  EXPECT_EQ(StripExtension(e), 0);
}

TEST(SettingsPath, DefaultFileAddsOneBackslashAndStaysBounded) {
  wchar_t out[kSettingsPathSize];
  ASSERT_EQ(BuildSettingsFilePath(L"C:\\Users\\me\\Documents", out, kSettingsPathSize), 0);
  EXPECT_STREQ(out, L"C:\\Users\\me\\Documents\\Orlune\\GEQ15Config.xml");
  ASSERT_EQ(BuildSettingsFilePath(L"D:\\", out, kSettingsPathSize), 0);
  EXPECT_STREQ(out, L"D:\\Orlune\\GEQ15Config.xml");
  ASSERT_EQ(BuildSettingsFilePath(L"", out, kSettingsPathSize), 0);
  EXPECT_STREQ(out, L"\\Orlune\\GEQ15Config.xml");
  ASSERT_EQ(BuildSettingsFolder(L"D:\\docs", out, kSettingsPathSize), 0);
  EXPECT_STREQ(out, L"D:\\docs\\Orlune");

  // "\Orlune\GEQ15Config.xml" is 23 characters: a folder of n characters needs n + 24 units.
  const size_t tail = 23;
  std::wstring fits(kSettingsPathSize - 1 - tail, L'd');
  ASSERT_EQ(BuildSettingsFilePath(fits.c_str(), out, kSettingsPathSize), 0);
  EXPECT_EQ(std::wcslen(out), kSettingsPathSize - 1);
  std::wstring tooLong(kSettingsPathSize - tail, L'd');
  EXPECT_EQ(BuildSettingsFilePath(tooLong.c_str(), out, kSettingsPathSize), -1);
  EXPECT_STREQ(out, L"") << "a path that does not fit is never cut short";

  wchar_t small[8] = L"abc";
  EXPECT_EQ(AppendPath(small, 8, L"defg"), 0);
  EXPECT_STREQ(small, L"abcdefg");
  EXPECT_EQ(AppendPath(small, 8, L"h"), -1);
  EXPECT_STREQ(small, L"abcdefg");
}

}  // namespace
