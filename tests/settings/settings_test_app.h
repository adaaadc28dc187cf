// An application record of the tests' own, with an equalizer object, placed as at start-up.
#pragma once

#include <memory>
#include <string>

#include "settings/settings_document.h"

struct TestApp {
  std::unique_ptr<InsertContext> ctx{new InsertContext()};
  explicit TestApp(bool withFilter = true) {
    if (withFilter) GEQ15_Create(&ctx->engine);
    ctx->x0 = ctx->y0 = ctx->savedX0 = ctx->savedY0 = kUnsetCoordinate;
    ctx->dx = ctx->savedDx = 688;
    ctx->dy = ctx->savedDy = 290;
    InitTextBuffer(&ctx->settingsBuffer);
  }
  ~TestApp() {
    ReleaseTextBuffer(&ctx->settingsBuffer);
    GEQ15_Destroy(&ctx->engine);
  }
  GEQ15ChannelParam& Record(int k) { return ctx->engine.filter->param[k - 1]; }
  // Bus, x0 and every record from `bus` and `gain`, so two variants tell apart.
  void Variant(int32_t bus, float gain) {
    ctx->engine.bus.store(bus);
    ctx->x0 = bus * 10;
    for (GEQ15ChannelParam& r : ctx->engine.filter->param) {
      r.bypass = bus, r.gain = gain;
      for (int i = 0; i < kBandCount; ++i) r.bands[i] = gain * (i - 7) / 7;
    }
  }
  std::string Save() {  // the document a save writes, or "" when it could not be built
    TextBuffer& b = ctx->settingsBuffer;
    if (BuildSettingsDocument(&b, ctx->engine.bus.load(), ctx->x0, ctx->y0, ctx->dx, ctx->dy, ctx->engine.filter)) return "";
    return std::string(b.data, b.length);
  }
};
