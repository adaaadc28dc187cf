#include "settings/markup_scanner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

// The scanner gets exactly the document's bytes in their own allocation, with no terminating
// zero, so that AddressSanitizer reports any read at index `length`.
struct Doc {
  std::unique_ptr<char[]> bytes;
  int32_t length;
  MarkupScanner s{};
  char name[kMarkupFieldSize], content[kMarkupFieldSize], value[kMarkupFieldSize];

  explicit Doc(const std::string& text)
      : bytes(new char[text.size() + 1]), length(static_cast<int32_t>(text.size())) {
    std::memcpy(bytes.get(), text.data(), text.size());
    InitScanner(&s, bytes.get(), length);
  }
  int32_t Next() { return NextTag(&s, name, content); }
  int32_t Attr(const char* wanted) { return GetAttribute(&s, wanted, value); }
};

const std::string n1022(1022, 'n'), n1023(1023, 'n'), n1024(1024, 'n');
const std::string v1023(1023, 'v'), c5000(5000, 'c');

TEST(MarkupScanner, FirstTagResultNameAndTrimmedContent) {
  const struct { std::string text; int32_t result; std::string name, content; } rows[] = {
      {"<a b='1'>  hi there  <d/>", 0, "a", "hi there"},  // spaces only are trimmed
      {"<a>\t x \n<b>", 0, "a", "\t x \n"},
      {"<a>    <b>", 0, "a", ""},
      {"<a>xyz", 0, "a", "xy"},  // the last byte of the range is never content
      {"<a>" + v1023 + "<b>", 0, "a", v1023},
      {"<a>" + c5000 + "<b>", 0, "a", std::string(1023, 'c')},
      {"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<K>", 0, "?xml", "\n"},
      {"<x a='1' /><y>", 0, "x", ""},
      {"< \x01\x90name>", 0, "name", ""},
      {"</GEQ15Configuration>\nrest", 1, "/GEQ15Configuration", ""},
      {"<" + n1023 + ">", 0, n1023, ""},
      {"</" + n1022 + ">", 1, "/" + n1022, ""},
      {"<" + n1024 + ">", -30, "", ""},
      {"</" + n1023 + ">", -30, "", ""},  // the slash counts
      {"text only", -10, "", ""},
      {"abc<", -20, "", ""},
      {"<   ", -20, "", ""},
      {"<abc", -40, "", ""},
      {"<abc def", -40, "", ""},
      {"", -3, "", ""}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text.substr(0, 40));
    Doc d(row.text);
    ASSERT_EQ(d.Next(), row.result);
    if (row.result < 0) continue;
    EXPECT_EQ(std::string(d.name), row.name);
    EXPECT_EQ(std::string(d.content), row.content);
  }

  // A closing tag ends at its '>'; an opening tag's content runs to the next '<'.
  Doc closing("</a>\nrest<b>"), opening("<a>    <b>");
  EXPECT_EQ(closing.Next(), 1);
  EXPECT_EQ(closing.s.position, 4);
  EXPECT_EQ(opening.Next(), 0);
  EXPECT_EQ(opening.s.position, 7);

  Doc d("<a>" + c5000 + "<b/>");
  ASSERT_EQ(d.Next(), 0);
  EXPECT_EQ(d.Next(), 0) << "the rest of a long content is passed over";
  EXPECT_STREQ(d.name, "b/");
  EXPECT_EQ(d.Next(), -10);
  EXPECT_EQ(d.Next(), -10) << "the end stays the end";

  // A document that ends inside a tag: earlier tags are delivered first.
  Doc cut("<a>x</a><b c='1'");
  EXPECT_EQ(cut.Next(), 0);
  EXPECT_EQ(cut.Next(), 1);
  EXPECT_LT(cut.Next(), 0);

  MarkupScanner none{};
  EXPECT_EQ(NextTag(nullptr, d.name, nullptr), -1);
  EXPECT_EQ(NextTag(&none, d.name, nullptr), -2);
  EXPECT_EQ(NextTag(&d.s, nullptr, nullptr), -4);
  EXPECT_EQ(InitScanner(nullptr, "", 0), -1);
}

TEST(MarkupScanner, AttributeSeparatorsQuotesSpacingAndLimits) {
  constexpr int32_t kAbsent = 1000;  // any nonzero result: callers only test for 0
  const std::string many = "<x a='1' ,b=\"2\"\tc = '3' d=\"it's\">";
  const struct { std::string tag, wanted; int32_t result; std::string value; } rows[] = {
      {many, "a", 0, "1"}, {many, "b", 0, "2"}, {many, "c", 0, "3"}, {many, "d", 0, "it's"},
      {many, "z", -6, ""}, {many, "A", -6, ""},  // names are case-sensitive
      {"<x a='1',b='2'>", "b", kAbsent, ""},      // a comma alone is no separator
      {"<x\na='1'>", "a", kAbsent, ""},            // nor is a line break alone
      {"<x b = '7' />", "b", 0, "7"},
      {"<x b = '7' />", "z", -13, ""},
      {"<x a='' >", "a", 0, ""},
      {"<x a='' >", "q", -20, ""},
      {"<x a=5 b='6'>", "a", 0, "6"},  // an unquoted value takes the next quoted string
      {"<x a<b='1'>", "q", -22, ""},
      {"<x a=>", "a", -41, ""},
      {"<x a='" + v1023 + "' b='2'>", "a", 0, v1023},
      {"<x a='" + v1023 + "v' b='2'>", "a", 0, v1023},  // cut to the field
      {"<x a='" + v1023 + "v' b='2'>", "b", 0, "2"},
      {"<x " + n1023 + "='1' b='2'>", n1023, 0, "1"},
      {"<x " + n1024 + "='1' b='2'>", "b", 1, ""}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.tag.substr(0, 40) + " / " + row.wanted.substr(0, 8));
    Doc d(row.tag);
    ASSERT_EQ(d.Next(), 0);
    const int32_t result = d.Attr(row.wanted.c_str());
    if (row.result == kAbsent) {
      EXPECT_NE(result, 0);
    } else {
      EXPECT_EQ(result, row.result);
    }
    if (result == 0) {
      EXPECT_EQ(std::string(d.value), row.value);
    }
  }

  // Ranges that end inside the tag: a scanner over each prefix of one buffer.
  const std::string tag = "<x ab='12'>";
  const int32_t expected[] = {-5, -5, -10, -30, -30, -40, 0, 0, 0};
  for (size_t cut = 1; cut + 1 < tag.size(); ++cut) {
    Doc d(tag.substr(0, cut));
    d.s.tagStart = 0;
    EXPECT_EQ(d.Attr("ab"), expected[cut - 1]) << "range of " << cut << " bytes";
  }

  Doc d(many);
  EXPECT_EQ(GetAttribute(nullptr, "a", d.value), -1);
  EXPECT_EQ(GetAttribute(&d.s, nullptr, d.value), -2);
  EXPECT_EQ(GetAttribute(&d.s, "a", nullptr), -3);
}

TEST(MarkupScanner, EnterElementBoundsTheElement) {
  const std::string text = "<r><cfg n='1' /><p ch='1' /></cfg><p ch='9' /><cfg><p ch='2' /></r>";
  Doc d(text);
  ASSERT_EQ(d.Next(), 0);
  ASSERT_EQ(d.Next(), 0);
  MarkupScanner sub;
  ASSERT_EQ(EnterElement(&d.s, &sub), 0);
  const size_t closeEnd = text.find("</cfg>") + 6;
  EXPECT_EQ(std::string(sub.text, sub.length), text.substr(3, closeEnd - 3));
  EXPECT_EQ(d.s.position, static_cast<int32_t>(closeEnd));
  EXPECT_EQ(d.s.tagStart, static_cast<int32_t>(closeEnd));
  char name[kMarkupFieldSize];
  for (const char* expected : {"cfg", "p"}) {
    EXPECT_EQ(NextTag(&sub, name, nullptr), 0);
    EXPECT_STREQ(name, expected);
  }
  EXPECT_EQ(NextTag(&sub, name, nullptr), 1);
  EXPECT_EQ(NextTag(&sub, name, nullptr), -10);

  // The parent goes on after the closing tag; the second element has none and runs to the end.
  ASSERT_EQ(d.Next(), 0);
  EXPECT_STREQ(d.name, "p");
  ASSERT_EQ(d.Next(), 0);
  const int32_t before = d.s.position;
  ASSERT_EQ(EnterElement(&d.s, &sub), 0);
  EXPECT_EQ(sub.text + sub.length, d.bytes.get() + d.length);
  EXPECT_EQ(d.s.position, before);
  EXPECT_EQ(EnterElement(&d.s, nullptr), -1);
  EXPECT_EQ(EnterElement(nullptr, &sub), -2);
}

TEST(MarkupScanner, ReadTagNameFindsTheNextNameAlone) {
  Doc d("  </a b>x");
  char name[kMarkupFieldSize];
  EXPECT_EQ(ReadTagName(&d.s, name), 0);
  EXPECT_STREQ(name, "/a");
  EXPECT_EQ(d.s.tagStart, 2);
  EXPECT_EQ(d.s.position, 8);
  EXPECT_EQ(ReadTagName(&d.s, name), -1);
  EXPECT_EQ(ReadTagName(&d.s, nullptr), -2);
  const struct { std::string text; int32_t result; } broken[] = {
      {"<  ", -2}, {"<abc", -3}, {"<" + n1024 + ">", 1}};
  for (const auto& row : broken) {
    Doc b(row.text);
    EXPECT_EQ(ReadTagName(&b.s, name), row.result);
  }

  TrimSpaces(nullptr);  // tolerated, like every other missing argument
}

}  // namespace
