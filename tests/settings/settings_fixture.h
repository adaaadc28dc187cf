// An engine and a settings record of the tests' own, placed as at start-up.
#pragma once

#include <memory>
#include <string>

#include "settings/settings_document.h"

struct TestSettings {
  std::unique_ptr<EngineContext> engine{new EngineContext()};
  SettingsRecord settings{{kUnsetCoordinate, kUnsetCoordinate, kWindowWidth, kWindowHeight}, {}};
  WindowPlacement window = settings.saved;  // the placement a save writes
  explicit TestSettings(bool withFilter = true) {
    if (withFilter) GEQ15_Create(engine.get());
    InitTextBuffer(&settings.buffer);
  }
  ~TestSettings() {
    ReleaseTextBuffer(&settings.buffer);
    GEQ15_Destroy(engine.get());
  }
  GEQ15ChannelParam& Record(int k) { return engine->filter->param[k - 1]; }
  // Bus, x0 and every record from `bus` and `gain`, so two variants tell apart.
  void Variant(int32_t bus, float gain) {
    GEQ15_SetBus(engine.get(), bus);
    window.x0 = bus * 10;
    GEQ15ChannelParam records[kChannelRecords];
    for (GEQ15ChannelParam& r : records) {
      r.bypass = bus, r.gain = gain;
      for (int i = 0; i < kBandCount; ++i) r.bands[i] = gain * (i - 7) / 7;
    }
    GEQ15_SetParams(engine.get(), records);
  }
  std::string Save() {  // the document a save writes, or "" when it could not be built
    TextBuffer& b = settings.buffer;
    if (BuildSettingsDocument(&b, engine->bus.load(), window.x0, window.y0, window.dx, window.dy, engine->filter->param)) return "";
    return std::string(b.data, b.length);
  }
};
