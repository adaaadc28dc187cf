// Walks arbitrary bytes the way the loader does: every tag, several attribute lookups per
// tag, and sub-scanners for elements. The input is a copy of exactly `size` bytes with no
// terminating zero, so AddressSanitizer catches any read at index `length` or beyond.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "settings/markup_scanner.h"

namespace {

void Walk(MarkupScanner* scanner, int depth) {
  char name[kMarkupFieldSize];
  char content[kMarkupFieldSize];
  char value[kMarkupFieldSize];
  for (int tags = 0; tags < 4096; ++tags) {
    int32_t before = scanner->position;
    int32_t result = NextTag(scanner, name, tags % 2 ? content : nullptr);
    if (result < 0) return;
    if (std::strlen(name) > static_cast<size_t>(kMarkupFieldMax)) std::abort();
    if (scanner->position < before || scanner->position > scanner->length) std::abort();
    if (result > 0) continue;
    const char* wanted_names[] = {"ch", "gain", "nBus", "g15", name};
    for (const char* wanted : wanted_names) {
      if (GetAttribute(scanner, wanted, value) == 0 && std::strlen(value) > size_t(kMarkupFieldMax)) {
        std::abort();
      }
    }
    // Each sub-walk may run to the end of the text; a few per level keep a run linear enough.
    if (depth < 1 && tags < 16) {
      MarkupScanner sub;
      EnterElement(scanner, &sub);
      // The sub-range always lies inside the parent's range.
      if (sub.text != nullptr &&
          (sub.text < scanner->text || sub.length < 0 ||
           sub.text + sub.length > scanner->text + scanner->length)) {
        std::abort();
      }
      Walk(&sub, depth + 1);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  char* bytes = static_cast<char*>(std::malloc(size ? size : 1));
  if (size) std::memcpy(bytes, data, size);
  MarkupScanner scanner;
  InitScanner(&scanner, bytes, static_cast<int32_t>(size));
  Walk(&scanner, 0);
  char name[kMarkupFieldSize];
  InitScanner(&scanner, bytes, static_cast<int32_t>(size));
  while (ReadTagName(&scanner, name) == 0) {
  }
  std::free(bytes);
  return 0;
}
