#include "tools/geq15-tool/tool_settings.h"

#include <memory>

#include "app/insert_context.h"
#include "settings/settings_file_stdio.h"
#include "settings/text_buffer.h"

bool LoadToolSettings(const std::string& path, GEQ15ChannelParam records[2], std::string* error, std::string* warning) {
  // A fresh record like the program's at start-up; the loader resets and fills the filter's.
  auto ctx = std::make_unique<InsertContext>();
  if (GEQ15_Create(&ctx->engine) < 0) {
    *error = "out of memory";
    return false;
  }
  InitTextBuffer(&ctx->settingsBuffer);
  SettingsLoadSummary summary{};
  const SettingsFileProblem problem = LoadSettingsFromPath(ctx.get(), &ctx->settingsBuffer, path.c_str(), &summary);
  bool ok = problem == SettingsFileProblem::kNone;
  if (ok) {
    records[0] = ctx->engine.filter->param[0];
    records[1] = ctx->engine.filter->param[1];
    *warning = NoSettingsWarning(path, summary);
  } else {
    *error = "cannot read settings file " + path + ": " + DescribeSettingsFileProblem(problem);
  }
  ReleaseTextBuffer(&ctx->settingsBuffer);
  GEQ15_Destroy(&ctx->engine);
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
