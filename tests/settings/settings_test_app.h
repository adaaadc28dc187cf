// An application record of the tests' own, with an equalizer object, placed as at start-up.
#pragma once

#include <cstring>
#include <memory>
#include <string>

#include "app/insert_context.h"
#include "settings/settings_document.h"
#include "settings/text_buffer.h"

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
  int32_t Bus() const { return ctx->engine.bus.load(); }
  // The loader gets exactly the document's bytes, with no terminating zero after them.
  int32_t Load(const std::string& text) {
    std::unique_ptr<char[]> bytes(new char[text.size() + 1]);
    std::memcpy(bytes.get(), text.data(), text.size());
    return ApplySettingsDocument(ctx.get(), bytes.get(), static_cast<uint32_t>(text.size()));
  }
  std::string Save() {
    TextBuffer& b = ctx->settingsBuffer;
    if (BuildSettingsDocument(&b, Bus(), ctx->x0, ctx->y0, ctx->dx, ctx->dy, ctx->engine.filter) != 0) {
      return "<not built>";
    }
    return std::string(b.data, b.length);
  }
  void SetRecords(int32_t bypass, float gain, float bandStep) {
    for (GEQ15ChannelParam& r : ctx->engine.filter->param) {
      r.bypass = bypass;
      r.gain = gain;
      for (int i = 0; i < kBandCount; ++i) r.bands[i] = bandStep * (i + 1);
    }
  }
  // Two distinct settings, so that a reader can tell which save a file came from.
  void Variant(int which) {
    ctx->engine.bus.store(which == 0 ? 1 : 2);
    ctx->x0 = which == 0 ? 10 : -20;
    SetRecords(which, which == 0 ? -3.5f : 6.25f, which == 0 ? 0.5f : -0.75f);
  }
};
