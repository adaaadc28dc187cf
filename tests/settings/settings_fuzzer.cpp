// Arbitrary bytes, handed over as exactly `size` bytes with no terminating zero so that
// AddressSanitizer catches any read at index `length` or beyond, go through the scanner (every
// tag, attribute lookups, sub-scanners) and then through the loader. Checked whatever the input:
// names and values fit their fields, positions move forward inside the range, sub-ranges lie
// inside their parent; the bus is 0 to 8, every element raises the size to the minimum, gains
// are finite and bounded, records stay default unless a record line set them (3 to 8 always),
// and the result saves again.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "settings/settings_document.h"

namespace {

void Walk(MarkupScanner* scanner, int depth) {
  char name[kMarkupFieldSize], content[kMarkupFieldSize], value[kMarkupFieldSize];
  for (int tags = 0; tags < 4096; ++tags) {
    const int32_t before = scanner->position;
    const int32_t result = NextTag(scanner, name, tags % 2 ? content : nullptr);
    if (result < 0) return;
    if (std::strlen(name) > size_t(kMarkupFieldMax) || scanner->position < before || scanner->position > scanner->length) std::abort();
    if (result > 0) continue;
    for (const char* wanted : {"ch", "gain", "nBus", "g15", static_cast<const char*>(name)}) {
      if (GetAttribute(scanner, wanted, value) == 0 && std::strlen(value) > size_t(kMarkupFieldMax)) std::abort();
    }
    if (depth > 0 || tags >= 16) continue;  // each sub-walk may run to the end: a few keep a run linear
    MarkupScanner sub;
    EnterElement(scanner, &sub);
    if (sub.text && (sub.text < scanner->text || sub.length < 0 || sub.text + sub.length > scanner->text + scanner->length)) std::abort();
    Walk(&sub, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxSettingsFileSize) return 0;
  char* bytes = static_cast<char*>(std::malloc(size ? size : 1));
  if (size) std::memcpy(bytes, data, size);
  MarkupScanner scanner;
  InitScanner(&scanner, bytes, static_cast<int32_t>(size));
  Walk(&scanner, 0);
  char name[kMarkupFieldSize];
  InitScanner(&scanner, bytes, static_cast<int32_t>(size));
  while (ReadTagName(&scanner, name) == 0) {
  }

  static EngineContext* engine = new EngineContext();  // one engine and one buffer for the whole run, as in the program
  static SettingsRecord settings{};
  if (engine->filter == nullptr && (GEQ15_Create(engine) != 0 || InitTextBuffer(&settings.buffer) != 0)) std::abort();
  engine->bus.store(0);
  settings.saved = {};
  SettingsLoadSummary found{-1, -1};
  ApplySettingsDocument(engine, &settings.saved, bytes, static_cast<uint32_t>(size), &found);
  std::free(bytes);
  const int32_t bus = engine->bus.load();
  if (bus < 0 || bus > 8 || found.configurations < 0 || found.records < 0) std::abort();
  if (found.configurations == 0 && (bus != 0 || settings.saved.dx != 0 || settings.saved.dy != 0 || found.records != 0)) std::abort();
  for (int k = 0; k < kChannelRecords; ++k) {
    const GEQ15ChannelParam& r = engine->filter->param[k];
    const bool mustBeDefault = k >= 2 || found.records == 0;
    if (!std::isfinite(r.gain) || std::fabs(r.gain) > kLoadedGainLimitDb || (mustBeDefault && (r.gain != 0.0f || r.bypass != 0))) std::abort();
    for (float g : r.bands) {
      if (!std::isfinite(g) || std::fabs(g) > kLoadedGainLimitDb || (mustBeDefault && g != 0.0f)) std::abort();
    }
  }
  if (BuildSettingsDocument(&settings.buffer, bus, 0, 0, settings.saved.dx, settings.saved.dy, engine->filter->param) != 0) std::abort();
  return 0;
}
