// Applies arbitrary bytes as a settings file to a fresh application record, then checks what
// the loader promises whatever the input: a bus of 0 to 8, a size raised to the minimum by every
// element, finite gains within the load bound, records at the default record unless a record
// line set them (3 to 8 always), and a document that saves again.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "settings/settings_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxSettingsFileSize) return 0;
  static InsertContext* ctx = [] {
    auto* c = new InsertContext();
    GEQ15_Create(&c->engine);
    InitTextBuffer(&c->settingsBuffer);
    return c;
  }();
  ctx->engine.bus.store(0);
  ctx->minDx = 700;
  ctx->minDy = 320;
  ctx->savedDx = ctx->savedDy = 0;
  char* bytes = static_cast<char*>(std::malloc(size ? size : 1));
  if (size) std::memcpy(bytes, data, size);
  SettingsLoadSummary found{-1, -1};
  ApplySettingsDocument(ctx, bytes, static_cast<uint32_t>(size), &found);
  std::free(bytes);

  const int32_t bus = ctx->engine.bus.load();
  if (bus < 0 || bus > 8 || found.configurations < 0 || found.records < 0) std::abort();
  if (found.configurations == 0 && (bus != 0 || ctx->savedDx != 0 || ctx->savedDy != 0 || found.records != 0)) std::abort();
  if (found.configurations > 0 && (ctx->savedDx < 700 || ctx->savedDy < 320)) std::abort();
  const GEQ15Filter* filter = ctx->engine.filter;
  for (int k = 0; k < kChannelRecords; ++k) {
    const GEQ15ChannelParam& r = filter->param[k];
    const bool mustBeDefault = k >= 2 || found.records == 0;
    if (!std::isfinite(r.gain) || std::fabs(r.gain) > kLoadedGainLimitDb) std::abort();
    if (mustBeDefault && (r.gain != 0.0f || r.bypass != 0)) std::abort();
    for (float g : r.bands) {
      if (!std::isfinite(g) || std::fabs(g) > kLoadedGainLimitDb || (mustBeDefault && g != 0.0f)) std::abort();
    }
  }
  if (BuildSettingsDocument(&ctx->settingsBuffer, bus, 0, 0, ctx->savedDx, ctx->savedDy, filter) != 0) std::abort();
  return 0;
}
