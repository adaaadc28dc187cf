#include "settings/markup_scanner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>

namespace {

// The scanner gets exactly the document's bytes in their own allocation, with no terminating
// zero, so that AddressSanitizer reports any read at index `length`.
struct Doc {
  std::unique_ptr<char[]> bytes;
  MarkupScanner s{};
  char name[kMarkupFieldSize], content[kMarkupFieldSize], value[kMarkupFieldSize];
  explicit Doc(const std::string& text) : bytes(new char[text.size()]) {
    std::memcpy(bytes.get(), text.data(), text.size());
    InitScanner(&s, bytes.get(), static_cast<int32_t>(text.size()));
  }
  int32_t Next() { return NextTag(&s, name, content); }
  int32_t Attr(const std::string& wanted) { return GetAttribute(&s, wanted.c_str(), value); }
};

const std::string n1022(1022, 'n'), n1023(1023, 'n'), n1024(1024, 'n'), v1023(1023, 'v');
constexpr int32_t kFailed = -1000;  // any negative result: callers only test the sign

TEST(MarkupScanner, FirstTagResultNameAndTrimmedContent) {
  const struct { std::string text; int32_t result; std::string name = "", content = ""; int32_t position = 0; } rows[] = {
      {"<a b='1'>  hi there  <d/>", 0, "a", "hi there", 21}, {"<a>\t x \n<b>", 0, "a", "\t x \n", 8},
      {"<a>    <b>", 0, "a", "", 7}, {"<a>xyz", 0, "a", "xy", 5},  // the last byte is never content
      {"<a>" + v1023 + "v<b>", 0, "a", v1023, 1027}, {"<x a='1' />text<y>", 0, "x", "", 11},
      {"<?xml version=\"1.0\"?>\n<K>", 0, "?xml", "\n", 22}, {"< \x01\x90name>", 0, "name", "", 9},
      {"</GEQ15Configuration>\nrest", 1, "/GEQ15Configuration", "", 21}, {"< /a>\n<b>", 1, "/a", "", 5},
      {"<" + n1023 + ">", 0, n1023, "", 1025}, {"</" + n1022 + ">", 1, "/" + n1022, "", 1025},
      {"<" + n1024 + ">", kFailed}, {"</" + n1023 + ">", kFailed},  // the slash counts
      {"text only", kFailed}, {"abc<", kFailed}, {"<   ", kFailed}, {"<abc", kFailed}, {"<abc def", kFailed},
      {"", kFailed}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text.substr(0, 40));
    Doc d(row.text);
    const int32_t result = d.Next();
    if (row.result == kFailed) EXPECT_LT(result, 0);
    else EXPECT_EQ(std::make_tuple(result, std::string(d.name), std::string(d.content), d.s.position),
                   std::make_tuple(row.result, row.name, row.content, row.position));
  }
  Doc d("x");
  EXPECT_TRUE(d.Next() < 0 && d.Next() < 0) << "the end stays the end";
  Doc cut("<a>x</a><b c='1'");  // earlier tags come before the end in the middle of a tag
  EXPECT_EQ(cut.Next(), 0);
  EXPECT_EQ(cut.Next(), 1);
  EXPECT_LT(cut.Next(), 0);
  MarkupScanner none{};
  EXPECT_EQ(std::make_tuple(NextTag(nullptr, d.name, nullptr), NextTag(&none, d.name, nullptr), NextTag(&d.s, nullptr, nullptr),
                            InitScanner(nullptr, "", 0)), std::make_tuple(kTagNoScanner, kTagNoText, kTagNoNameBuffer, -1));
}

TEST(MarkupScanner, AttributeSeparatorsQuotesSpacingAndLimits) {
  const std::string many = "<x a='1' ,b=\"2\"\tc = '3' d=\"it's\">";
  const struct { std::string tag, wanted; int32_t result; std::string value = ""; } rows[] = {
      {many, "a", 0, "1"}, {many, "b", 0, "2"}, {many, "c", 0, "3"}, {many, "d", 0, "it's"},
      {many, "z", kFailed}, {many, "A", kFailed},  // names are case-sensitive
      {"<x a='1',b='2'>", "b", kFailed}, {"<x\na='1'>", "a", kFailed},  // a comma or line break alone
      {"<x b = '7' />", "b", 0, "7"}, {"<x b = '7' />", "z", kFailed}, {"<x a='' >", "a", 0, ""},
      {"<x a='' >", "q", kFailed}, {"<x>\n a='1'", "a", kFailed},  // the tag ends at its '>'
      {"<x a=5 b='6'>", "a", 0, "6"},  // unquoted: the next quoted string
      {"<x a<b='1'>", "q", kFailed}, {"<x a=>", "a", kFailed}, {"<x a='" + v1023 + "v' b='2'>", "a", 0, v1023},
      {"<x a='" + v1023 + "v' b='2'>", "b", 0, "2"}, {"<x " + n1023 + "='1' b='2'>", n1023, 0, "1"},
      {"<x " + n1024 + "='1' b='2'>", "b", 1, ""}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.tag.substr(0, 40) + " / " + row.wanted.substr(0, 8));
    Doc d(row.tag);
    ASSERT_EQ(d.Next(), 0);
    const int32_t result = d.Attr(row.wanted);
    if (row.result == kFailed) EXPECT_LT(result, 0);
    else EXPECT_EQ(std::make_pair(result, std::string(d.value)), std::make_pair(row.result, result == 0 ? row.value : ""));
  }
  Doc d(many);
  EXPECT_EQ(std::make_tuple(GetAttribute(nullptr, "a", d.value), GetAttribute(&d.s, nullptr, d.value), GetAttribute(&d.s, "a", nullptr)),
            std::make_tuple(kAttrNoScanner, kAttrNoName, kAttrNoValueBuffer));
}

TEST(MarkupScanner, EnterElementBoundsTheElement) {
  const std::string text = "<r><cfg n='1' /><p ch='1' />< /cfg><p ch='9' /><cfg><p ch='2' /></r>";
  Doc d(text);
  ASSERT_EQ(d.Next(), 0);
  ASSERT_EQ(d.Next(), 0);
  MarkupScanner sub;
  ASSERT_EQ(EnterElement(&d.s, &sub), 0);
  const int32_t closeEnd = static_cast<int32_t>(text.find("< /cfg>") + 7);
  EXPECT_EQ(std::make_tuple(std::string(sub.text, sub.length), d.s.position, d.s.tagStart), std::make_tuple(text.substr(3, closeEnd - 3), closeEnd, closeEnd));
  for (int32_t expected : {0, 0, 1}) EXPECT_EQ(NextTag(&sub, d.name, nullptr), expected);
  EXPECT_LT(NextTag(&sub, d.name, nullptr), 0);
  // The parent goes on after the closing tag; the second element has none and runs to the end.
  ASSERT_EQ(d.Next(), 0);
  EXPECT_STREQ(d.name, "p");
  ASSERT_EQ(d.Next(), 0);
  const int32_t before = d.s.position;
  ASSERT_EQ(EnterElement(&d.s, &sub), 0);
  EXPECT_EQ(std::make_pair(sub.text + sub.length, d.s.position), std::make_pair(static_cast<const char*>(d.bytes.get()) + text.size(), before));
  EXPECT_EQ(std::make_pair(EnterElement(&d.s, nullptr), EnterElement(nullptr, &sub)), std::make_pair(-1, -2));
}

TEST(MarkupScanner, ReadTagNameFindsTheNextNameAlone) {
  Doc d("  </a b>x"), longName("<" + n1024 + ">");
  ASSERT_EQ(ReadTagName(&d.s, d.name), 0);
  EXPECT_EQ(std::make_tuple(std::string(d.name), d.s.tagStart, d.s.position), std::make_tuple(std::string("/a"), 2, 8));
  EXPECT_EQ(std::make_tuple(ReadTagName(&d.s, d.name), ReadTagName(&d.s, nullptr), ReadTagName(&longName.s, d.name)), std::make_tuple(-1, -2, 1));
}

}  // namespace
