#include "settings/markup_scanner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// The scanner gets exactly the document's bytes in their own allocation, with no terminating
// zero, so that AddressSanitizer reports any read at index `length`.
struct Doc {
  std::unique_ptr<char[]> bytes;
  int32_t length;
  MarkupScanner s{};
  char name[kMarkupFieldSize];
  char content[kMarkupFieldSize];
  char value[kMarkupFieldSize];

  explicit Doc(const std::string& text)
      : bytes(new char[text.size() ? text.size() : 1]), length(static_cast<int32_t>(text.size())) {
    if (!text.empty()) std::memcpy(bytes.get(), text.data(), text.size());
    InitScanner(&s, bytes.get(), length);
  }
  int32_t Next() { return NextTag(&s, name, content); }
  int32_t Attr(const char* wanted) { return GetAttribute(&s, wanted, value); }
};

TEST(MarkupScanner, OpeningTagContentIsTrimmedOfSpacesOnly) {
  Doc d("<a b='1'>  hi there  <d/>");
  EXPECT_EQ(d.Next(), 0);
  EXPECT_STREQ(d.name, "a");
  EXPECT_STREQ(d.content, "hi there");
  EXPECT_EQ(d.Next(), 0);
  EXPECT_STREQ(d.name, "d/");
  EXPECT_STREQ(d.content, "");
  EXPECT_EQ(d.Next(), -10);
  EXPECT_EQ(d.Next(), -10) << "the end stays the end";

  Doc tabs("<a>\t x \n<b>");
  EXPECT_EQ(tabs.Next(), 0);
  EXPECT_STREQ(tabs.content, "\t x \n") << "line breaks and tabs stay";
}

TEST(MarkupScanner, ClosingTagsDeclarationAndEmptyElements) {
  Doc closing("</GEQ15Configuration>\nrest");
  EXPECT_EQ(closing.Next(), 1);
  EXPECT_STREQ(closing.name, "/GEQ15Configuration");
  EXPECT_EQ(closing.s.position, 21);

  Doc decl("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<KelmoraOrluneGEQ15>\n");
  EXPECT_EQ(decl.Next(), 0);
  EXPECT_STREQ(decl.name, "?xml");
  EXPECT_STREQ(decl.content, "\n");
  EXPECT_EQ(decl.Next(), 0);
  EXPECT_STREQ(decl.name, "KelmoraOrluneGEQ15");

  Doc empty("<x a='1' /><y>");
  EXPECT_EQ(empty.Next(), 0);
  EXPECT_STREQ(empty.name, "x");
  EXPECT_EQ(empty.s.position, 11);
  EXPECT_EQ(empty.Next(), 0);
  EXPECT_STREQ(empty.name, "y");

  Doc filler("< \x01\x90name>");
  EXPECT_EQ(filler.Next(), 0);
  EXPECT_STREQ(filler.name, "name");
}

TEST(MarkupScanner, ArgumentsAndBrokenEnds) {
  Doc d("<a>");
  EXPECT_EQ(NextTag(nullptr, d.name, nullptr), -1);
  EXPECT_EQ(NextTag(&d.s, nullptr, nullptr), -4);
  MarkupScanner none{};
  EXPECT_EQ(NextTag(&none, d.name, nullptr), -2);
  Doc zero("");
  EXPECT_EQ(zero.Next(), -3);
  EXPECT_EQ(InitScanner(nullptr, "", 0), -1);

  EXPECT_EQ(Doc("text only").Next(), -10);
  EXPECT_EQ(Doc("abc<").Next(), -20);
  EXPECT_EQ(Doc("<   ").Next(), -20);
  EXPECT_EQ(Doc("<abc").Next(), -40);
  EXPECT_EQ(Doc("<abc def").Next(), -40);

  // A document that ends inside a tag: earlier tags are delivered first.
  Doc cut("<a>x</a><b c='1'");
  EXPECT_EQ(cut.Next(), 0);
  EXPECT_EQ(cut.Next(), 1);
  EXPECT_LT(cut.Next(), 0);
}

TEST(MarkupScanner, NameAndContentLimits) {
  std::string n1023(1023, 'n'), n1024(1024, 'n');
  Doc ok("<" + n1023 + ">");
  EXPECT_EQ(ok.Next(), 0);
  EXPECT_EQ(std::string(ok.name), n1023);
  EXPECT_EQ(Doc("<" + n1024 + ">").Next(), -30);
  EXPECT_EQ(Doc("</" + std::string(1022, 'n') + ">").Next(), 1);
  EXPECT_EQ(Doc("</" + n1023 + ">").Next(), -30) << "the slash counts";

  std::string c1023(1023, 'c'), c5000(5000, 'c');
  Doc fits("<a>" + c1023 + "<b>");
  EXPECT_EQ(fits.Next(), 0);
  EXPECT_EQ(std::string(fits.content), c1023);
  Doc longer("<a>" + c5000 + "<b>");
  EXPECT_EQ(longer.Next(), 0);
  EXPECT_EQ(std::string(longer.content), c1023);
  EXPECT_EQ(longer.Next(), 0) << "the rest of a long content is passed over";
  EXPECT_STREQ(longer.name, "b");

  // The last byte of the range is never part of the content.
  Doc tail("<a>xyz");
  EXPECT_EQ(tail.Next(), 0);
  EXPECT_STREQ(tail.content, "xy");
}

TEST(MarkupScanner, AttributeSeparatorsQuotesAndSpacing) {
  Doc d("<x a='1' ,b=\"2\"\tc = '3' d=\"it's\">");
  ASSERT_EQ(d.Next(), 0);
  EXPECT_EQ(d.Attr("b"), 0);
  EXPECT_STREQ(d.value, "2");
  EXPECT_EQ(d.Attr("a"), 0);
  EXPECT_STREQ(d.value, "1");
  EXPECT_EQ(d.Attr("c"), 0);
  EXPECT_STREQ(d.value, "3");
  EXPECT_EQ(d.Attr("d"), 0);
  EXPECT_STREQ(d.value, "it's");
  EXPECT_EQ(d.Attr("z"), -6);
  EXPECT_EQ(d.Attr("A"), -6) << "names are case-sensitive";

  Doc comma("<x a='1',b='2'>");
  ASSERT_EQ(comma.Next(), 0);
  EXPECT_NE(comma.Attr("b"), 0) << "a comma alone is no separator";

  Doc lineBreak("<x\na='1'>");
  ASSERT_EQ(lineBreak.Next(), 0);
  EXPECT_NE(lineBreak.Attr("a"), 0) << "a line break alone is no separator";

  Doc selfClosing("<x b = '7' />");
  ASSERT_EQ(selfClosing.Next(), 0);
  EXPECT_EQ(selfClosing.Attr("b"), 0);
  EXPECT_STREQ(selfClosing.value, "7");
  EXPECT_EQ(selfClosing.Attr("z"), -13);

  Doc empty("<x a='' >");
  ASSERT_EQ(empty.Next(), 0);
  EXPECT_EQ(empty.Attr("a"), 0);
  EXPECT_STREQ(empty.value, "");
  EXPECT_EQ(empty.Attr("q"), -20);

  Doc unquoted("<x a=5 b='6'>");
  ASSERT_EQ(unquoted.Next(), 0);
  EXPECT_EQ(unquoted.Attr("a"), 0);
  EXPECT_STREQ(unquoted.value, "6") << "an unquoted value takes the next quoted string";

  Doc brackets("<x a<b='1'>");
  ASSERT_EQ(brackets.Next(), 0);
  EXPECT_EQ(brackets.Attr("q"), -22);
  Doc noQuote("<x a=>");
  ASSERT_EQ(noQuote.Next(), 0);
  EXPECT_EQ(noQuote.Attr("a"), -41);

  EXPECT_EQ(GetAttribute(nullptr, "a", d.value), -1);
  EXPECT_EQ(GetAttribute(&d.s, nullptr, d.value), -2);
  EXPECT_EQ(GetAttribute(&d.s, "a", nullptr), -3);
}

TEST(MarkupScanner, AttributeLimitsAndTruncatedRanges) {
  std::string v1023(1023, 'v'), v1024(1024, 'v'), n1023(1023, 'n'), n1024(1024, 'n');
  Doc fits("<x a='" + v1023 + "' b='2'>");
  ASSERT_EQ(fits.Next(), 0);
  EXPECT_EQ(fits.Attr("a"), 0);
  EXPECT_EQ(std::string(fits.value), v1023);
  EXPECT_EQ(fits.Attr("b"), 0);
  EXPECT_STREQ(fits.value, "2");

  Doc longer("<x a='" + v1024 + "' b='2'>");
  ASSERT_EQ(longer.Next(), 0);
  EXPECT_EQ(longer.Attr("a"), 0);
  EXPECT_EQ(std::string(longer.value), v1023) << "a long value is cut to 1023 bytes";

  Doc longName("<x " + n1023 + "='1' b='2'>");
  ASSERT_EQ(longName.Next(), 0);
  EXPECT_EQ(longName.Attr(n1023.c_str()), 0);
  EXPECT_EQ(longName.Attr("b"), 0);
  Doc tooLongName("<x " + n1024 + "='1' b='2'>");
  ASSERT_EQ(tooLongName.Next(), 0);
  EXPECT_EQ(tooLongName.Attr("b"), 1);

  // Sub-ranges that end inside the tag: a scanner over a prefix of one buffer.
  const std::string tag = "<x ab='12'>";
  const int32_t expected[] = {-5, -5, -10, -30, -30, -40, 0, 0, 0};
  for (size_t cut = 1; cut + 1 < tag.size(); ++cut) {
    Doc d(tag.substr(0, cut));
    d.s.tagStart = 0;
    EXPECT_EQ(d.Attr("ab"), expected[cut - 1]) << "range of " << cut << " bytes";
  }
}

TEST(MarkupScanner, EnterElementBoundsTheElement) {
  const std::string text =
      "<r><cfg n='1' /><p ch='1' /></cfg><p ch='9' /><cfg><p ch='2' /></r>";
  Doc d(text);
  ASSERT_EQ(d.Next(), 0);
  ASSERT_EQ(d.Next(), 0);
  ASSERT_STREQ(d.name, "cfg");
  MarkupScanner sub;
  ASSERT_EQ(EnterElement(&d.s, &sub), 0);
  const size_t closeEnd = text.find("</cfg>") + 6;
  EXPECT_EQ(std::string(sub.text, sub.length), text.substr(3, closeEnd - 3));
  EXPECT_EQ(d.s.position, static_cast<int32_t>(closeEnd));
  EXPECT_EQ(d.s.tagStart, static_cast<int32_t>(closeEnd));
  char name[kMarkupFieldSize];
  EXPECT_EQ(NextTag(&sub, name, nullptr), 0);
  EXPECT_STREQ(name, "cfg") << "the sub-scanner starts at the element's own tag";
  EXPECT_EQ(NextTag(&sub, name, nullptr), 0);
  EXPECT_STREQ(name, "p");
  EXPECT_EQ(NextTag(&sub, name, nullptr), 1);
  EXPECT_EQ(NextTag(&sub, name, nullptr), -10);

  // The parent goes on after the closing tag; a second element has no closing tag.
  ASSERT_EQ(d.Next(), 0);
  EXPECT_STREQ(d.name, "p");
  ASSERT_EQ(d.Next(), 0);
  ASSERT_STREQ(d.name, "cfg");
  const int32_t before = d.s.position;
  ASSERT_EQ(EnterElement(&d.s, &sub), 0);
  EXPECT_EQ(sub.text + sub.length, d.bytes.get() + d.length) << "runs to the end of the text";
  EXPECT_EQ(d.s.position, before) << "the parent stays where it was";

  EXPECT_EQ(EnterElement(&d.s, nullptr), -1);
  EXPECT_EQ(EnterElement(nullptr, &sub), -2);
}

TEST(MarkupScanner, ReadTagNameAndTrimSpaces) {
  Doc d("  </a b>x");
  char name[kMarkupFieldSize];
  EXPECT_EQ(ReadTagName(&d.s, name), 0);
  EXPECT_STREQ(name, "/a");
  EXPECT_EQ(d.s.tagStart, 2);
  EXPECT_EQ(d.s.position, 8);
  EXPECT_EQ(ReadTagName(&d.s, name), -1);
  EXPECT_EQ(ReadTagName(nullptr, name), -1);
  EXPECT_EQ(ReadTagName(&d.s, nullptr), -2);
  Doc cut("<  ");
  EXPECT_EQ(ReadTagName(&cut.s, name), -2);
  Doc inName("<abc");
  EXPECT_EQ(ReadTagName(&inName.s, name), -3);
  Doc tooLong("<" + std::string(1024, 'n') + ">");
  EXPECT_EQ(ReadTagName(&tooLong.s, name), 1);

  char a[] = "  two words  ";
  TrimSpaces(a);
  EXPECT_STREQ(a, "two words");
  char b[] = "    ";
  TrimSpaces(b);
  EXPECT_STREQ(b, "");
  char c[] = "\tkeep\t";
  TrimSpaces(c);
  EXPECT_STREQ(c, "\tkeep\t");
  TrimSpaces(nullptr);
}

}  // namespace
