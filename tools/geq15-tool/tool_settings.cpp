#include "tools/geq15-tool/tool_settings.h"

#include <memory>

#include "settings/settings_load.h"
#include "settings/text_buffer.h"

bool LoadToolSettings(const std::string& path, GEQ15ChannelParam records[2], std::string* error, std::string* warning) {
  // A fresh engine like the program's at start-up; the loader resets and fills its records.
  auto engine = std::make_unique<EngineContext>();
  SettingsRecord settings{};
  if (GEQ15_Create(engine.get()) < 0) {
    *error = "out of memory";
    return false;
  }
  InitTextBuffer(&settings.buffer);
  SettingsLoadSummary summary{};
  const SettingsFileProblem problem = LoadSettingsFromPath(engine.get(), &settings, path.c_str(), &summary);
  bool ok = problem == SettingsFileProblem::kNone;
  if (ok) {
    records[0] = engine->filter->param[0];
    records[1] = engine->filter->param[1];
    *warning = NoSettingsWarning(path, summary);
  } else {
    *error = "cannot read settings file " + path + ": " + DescribeSettingsFileProblem(problem);
  }
  ReleaseTextBuffer(&settings.buffer);
  GEQ15_Destroy(engine.get());
  return ok;
}

std::string NoSettingsWarning(const std::string& path, const SettingsLoadSummary& summary) {
  if (summary.configurations == 0) return path + " holds no GEQ15Configuration element: every gain is 0 dB";
  if (summary.records == 0) {
    return path + " holds no GEQ15param record for channel 1 or 2 inside its GEQ15Configuration element: "
           "every gain is 0 dB";
  }
  return "";
}
