#include "settings/markup_scanner.h"

#include <cstring>

namespace {

using Byte = unsigned char;

Byte At(const MarkupScanner* s, int32_t i) { return static_cast<Byte>(s->text[i]); }

// NextTag accepts 0x7F in names; ReadTagName and EnterElement stop before it. Both are kept
// apart on purpose: a start tag read one way must still find its closing tag the other way.
bool IsNextTagNameByte(Byte b) { return b >= 0x21 && b <= 0x7F && b != '>'; }
bool IsElementNameByte(Byte b) { return b >= 0x21 && b <= 0x7E && b != '>'; }
bool IsAttributeNameByte(Byte b) { return b >= 0x21 && b <= 0x7E && b != '=' && b != '>'; }
bool IsFiller(Byte b) { return b <= 0x20 || b >= 0x80; }
bool IsAttributeSeparator(Byte b) { return b == ' ' || b == '\t' || b == ','; }

// A position can only be trusted between 0 and length; anything else means the scanner was
// handed inconsistent values, which end the scan rather than reach outside the range.
int32_t ClampIndex(int32_t index, int32_t length) {
  if (index < 0) return 0;
  return index > length ? length : index;
}

int32_t FindByte(const MarkupScanner* s, int32_t from, Byte wanted) {
  for (int32_t i = from; i < s->length; ++i) {
    if (At(s, i) == wanted) return i;
  }
  return -1;
}

}  // namespace

int32_t InitScanner(MarkupScanner* scanner, const char* text, int32_t length) {
  if (scanner == nullptr) return -1;
  scanner->text = text;
  scanner->length = length;
  scanner->position = 0;
  scanner->tagStart = 0;
  return 0;
}

int32_t NextTag(MarkupScanner* s, char* name, char* content) {
  if (s == nullptr) return kTagNoScanner;
  if (s->text == nullptr) return kTagNoText;
  if (s->length < 1) return kTagEmptyRange;
  if (name == nullptr) return kTagNoNameBuffer;
  name[0] = '\0';
  if (content != nullptr) content[0] = '\0';

  const int32_t length = s->length;
  const int32_t last = length - 1;
  int32_t open = FindByte(s, ClampIndex(s->position, length), '<');
  if (open < 0) {
    s->position = last;
    return kTagEndOfText;
  }
  s->tagStart = open;
  if (open == last) {
    s->position = open;
    return kTagCutAfterOpen;
  }

  int32_t p = open + 1;
  int32_t nameLength = 0;
  if (At(s, p) == '/') {
    name[nameLength++] = '/';
    ++p;
  }
  while (p < length && IsFiller(At(s, p))) ++p;
  if (p >= length) {
    s->position = length;
    name[nameLength] = '\0';
    return kTagCutAfterOpen;
  }
  while (p < length && IsNextTagNameByte(At(s, p))) {
    if (nameLength == kMarkupFieldMax) {
      name[nameLength] = '\0';
      s->position = p;
      return kTagNameTooLong;
    }
    name[nameLength++] = static_cast<char>(At(s, p));
    ++p;
  }
  name[nameLength] = '\0';
  // Filler may stand between '<' and the slash ("< /a>"): the name decides, not the byte after '<'.
  const bool closing = name[0] == '/';

  int32_t close = FindByte(s, p, '>');
  if (close < 0) {
    s->position = length;
    return kTagUnclosed;
  }
  if (At(s, close - 1) == '/' || closing) {
    s->position = close + 1;
    return closing ? kTagClosing : kTagOpening;
  }

  // An opening tag: the text up to the next tag is its content. The last byte of the range is
  // never copied, so content and position both stay inside the range.
  int32_t q = close + 1;
  while (q < length && At(s, q) == ' ') ++q;
  int32_t contentLength = 0;
  while (q < last && At(s, q) != 0 && At(s, q) != '<') {
    if (content != nullptr && contentLength < kMarkupFieldMax) {
      content[contentLength++] = static_cast<char>(At(s, q));
    }
    ++q;
  }
  if (content != nullptr) {
    content[contentLength] = '\0';
    TrimSpaces(content);
  }
  s->position = q;
  return kTagOpening;
}

int32_t GetAttribute(const MarkupScanner* s, const char* wanted, char* value) {
  if (s == nullptr) return kAttrNoScanner;
  if (wanted == nullptr) return kAttrNoName;
  if (value == nullptr) return kAttrNoValueBuffer;
  value[0] = '\0';
  if (s->text == nullptr || s->tagStart < 0 || s->tagStart >= s->length) return kAttrRangeEnded;

  const int32_t length = s->length;
  const int32_t last = length - 1;
  char attributeName[kMarkupFieldSize];
  int32_t p = s->tagStart;
  for (;;) {
    value[0] = '\0';
    while (p < length && At(s, p) != ' ' && At(s, p) != '\t') {
      if (At(s, p) == '>') return kAttrTagEnded;
      ++p;
    }
    if (p >= length) return kAttrRangeEnded;

    while (p < length && IsAttributeSeparator(At(s, p))) ++p;
    if (p >= length) return kAttrRangeEndedAfterSeparator;
    if (At(s, p) == '>') return kAttrTagEndedAfterSeparator;

    int32_t nameLength = 0;
    while (p < length && IsAttributeNameByte(At(s, p))) {
      if (At(s, p) == '<') return kAttrOpenInName;
      if (nameLength == kMarkupFieldMax) return kAttrNameTooLong;
      attributeName[nameLength++] = static_cast<char>(At(s, p));
      ++p;
    }
    attributeName[nameLength] = '\0';
    if (p >= length) return kAttrRangeEndedInName;

    while (p < length && At(s, p) != '=') {
      if (At(s, p) == '<' || At(s, p) == '>') return kAttrMissingEquals;
      ++p;
    }
    if (p >= length) return kAttrRangeEndedAfterSeparator;

    ++p;
    while (p < length && At(s, p) != '\'' && At(s, p) != '"') {
      if (At(s, p) == '<' || At(s, p) == '>') return kAttrBracketBeforeQuote;
      ++p;
    }
    if (p >= length) return kAttrRangeEndedBeforeQuote;

    // Either quote may enclose the value, so the other one can stand inside it.
    const Byte quote = At(s, p);
    ++p;
    int32_t valueLength = 0;
    while (p < last && At(s, p) != quote && valueLength < kMarkupFieldMax) {
      value[valueLength++] = static_cast<char>(At(s, p));
      ++p;
    }
    value[valueLength] = '\0';
    if (std::strcmp(attributeName, wanted) == 0) return kAttrFound;
  }
}

int32_t ReadTagName(MarkupScanner* s, char* name) {
  if (s == nullptr || s->text == nullptr) return -1;
  if (name == nullptr) return -2;
  name[0] = '\0';
  const int32_t length = s->length;
  int32_t open = FindByte(s, ClampIndex(s->position, length), '<');
  if (open < 0) return -1;
  s->tagStart = open;
  int32_t p = open + 1;
  while (p < length && IsFiller(At(s, p))) ++p;
  if (p >= length) return -2;
  int32_t nameLength = 0;
  while (p < length && IsElementNameByte(At(s, p))) {
    if (nameLength == kMarkupFieldMax) {
      name[nameLength] = '\0';
      return 1;
    }
    name[nameLength++] = static_cast<char>(At(s, p));
    ++p;
  }
  name[nameLength] = '\0';
  if (p >= length) return -3;
  int32_t close = FindByte(s, p, '>');
  s->position = close < 0 ? length : close + 1;
  return 0;
}

int32_t EnterElement(MarkupScanner* parent, MarkupScanner* sub) {
  if (sub == nullptr) return -1;
  *sub = MarkupScanner{};
  if (parent == nullptr) return -2;
  if (parent->text == nullptr || parent->length < 1) return 0;

  const int32_t start = ClampIndex(parent->tagStart, parent->length);
  sub->text = parent->text + start;
  sub->length = parent->length - start;

  char name[kMarkupFieldSize];
  if (ReadTagName(sub, name) != 0) {
    sub->position = sub->tagStart = 0;
    return 0;
  }
  // "/" + a name of at most 1023 bytes.
  char closingName[kMarkupFieldSize + 1];
  closingName[0] = '/';
  std::memcpy(closingName + 1, name, std::strlen(name) + 1);

  const int32_t length = sub->length;
  int32_t p = sub->position;
  char candidate[kMarkupFieldSize];
  for (;;) {
    int32_t open = FindByte(sub, p, '<');
    if (open < 0) break;
    p = open + 1;
    while (p < length && IsFiller(At(sub, p))) ++p;
    if (p >= length) break;
    int32_t candidateLength = 0;
    bool tooLong = false;
    while (p < length && IsElementNameByte(At(sub, p))) {
      if (candidateLength == kMarkupFieldMax) {
        tooLong = true;
      } else {
        candidate[candidateLength++] = static_cast<char>(At(sub, p));
      }
      ++p;
    }
    if (p >= length) break;
    candidate[candidateLength] = '\0';
    int32_t close = FindByte(sub, p, '>');
    if (close < 0) break;
    p = close + 1;
    if (!tooLong && std::strcmp(candidate, closingName) == 0) {
      sub->length = p;
      parent->tagStart = start + p;
      parent->position = parent->tagStart;
      sub->position = sub->tagStart = 0;
      return 0;
    }
  }
  sub->position = sub->tagStart = 0;
  return 0;
}

void TrimSpaces(char* text) {
  if (text == nullptr) return;
  size_t begin = 0;
  while (text[begin] == ' ') ++begin;
  size_t end = std::strlen(text + begin) + begin;
  while (end > begin && text[end - 1] == ' ') --end;
  std::memmove(text, text + begin, end - begin);
  text[end - begin] = '\0';
}
