// A forward-only tag scanner over a byte range. It is not an XML parser: no entities, comments,
// CDATA, processing instructions or namespaces, and no nesting checks. It reads only bytes
// 0 .. length-1 of its range and needs no terminating zero.
#pragma once

#include <cstdint>

// Every name, value or content copied out fits a caller buffer of this size: at most 1023
// bytes plus the terminating zero.
constexpr int32_t kMarkupFieldSize = 1024;
constexpr int32_t kMarkupFieldMax = kMarkupFieldSize - 1;

struct MarkupScanner {
  const char* text;  // first byte of the range, not owned
  int32_t length;    // bytes in the range
  int32_t position;  // where the next search for a tag starts
  int32_t tagStart;  // index of the '<' of the tag found last; attribute lookups start here
};

// NextTag results. Callers look at 0, pass over positives and stop at any negative.
constexpr int32_t kTagOpening = 0;           // opening or empty-element tag
constexpr int32_t kTagClosing = 1;           // name begins with '/'
constexpr int32_t kTagNoScanner = -1;
constexpr int32_t kTagNoText = -2;
constexpr int32_t kTagEmptyRange = -3;
constexpr int32_t kTagNoNameBuffer = -4;
constexpr int32_t kTagEndOfText = -10;       // no further '<': the normal end of a document
constexpr int32_t kTagCutAfterOpen = -20;    // the range ends after '<' or before a name
constexpr int32_t kTagNameTooLong = -30;
constexpr int32_t kTagUnclosed = -40;        // no '>' after the name

// GetAttribute results. Callers tell only 0 (present) from everything else (absent).
constexpr int32_t kAttrFound = 0;
constexpr int32_t kAttrNameTooLong = 1;
constexpr int32_t kAttrNoScanner = -1;
constexpr int32_t kAttrNoName = -2;
constexpr int32_t kAttrNoValueBuffer = -3;
constexpr int32_t kAttrRangeEnded = -5;
constexpr int32_t kAttrTagEnded = -6;
constexpr int32_t kAttrRangeEndedAfterSeparator = -10;
constexpr int32_t kAttrMissingEquals = -13;
constexpr int32_t kAttrTagEndedAfterSeparator = -20;
constexpr int32_t kAttrOpenInName = -22;
constexpr int32_t kAttrRangeEndedInName = -30;
constexpr int32_t kAttrRangeEndedBeforeQuote = -40;
constexpr int32_t kAttrBracketBeforeQuote = -41;

int32_t InitScanner(MarkupScanner* scanner, const char* text, int32_t length);
// name: kMarkupFieldSize bytes; content: kMarkupFieldSize bytes or null.
int32_t NextTag(MarkupScanner* scanner, char* name, char* content);
// Looks up a quoted attribute of the tag found last; value: kMarkupFieldSize bytes.
int32_t GetAttribute(const MarkupScanner* scanner, const char* wanted, char* value);
// Narrows `sub` to the element whose start tag NextTag just returned, through the first
// closing tag of the same name (or to the end of the range when there is none).
int32_t EnterElement(MarkupScanner* parent, MarkupScanner* sub);
int32_t ReadTagName(MarkupScanner* scanner, char* name);
// Removes leading and trailing spaces (0x20 only) in place.
void TrimSpaces(char* text);
