#include "tools/geq15-tool/tool_settings.h"

#include <cstring>
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
  const SettingsFileProblem problem = LoadSettingsFromPath(ctx.get(), &ctx->settingsBuffer, path.c_str());
  bool ok = problem == SettingsFileProblem::kNone;
  if (ok) {
    records[0] = ctx->engine.filter->param[0];
    records[1] = ctx->engine.filter->param[1];
    const TextBuffer& text = ctx->settingsBuffer;
    static const char kElement[] = "GEQ15Configuration";
    bool found = false;
    for (uint32_t i = 0; !found && text.data && i + sizeof kElement - 1 <= text.length; ++i)
      found = std::memcmp(text.data + i, kElement, sizeof kElement - 1) == 0;
    if (!found) *warning = path + " holds no GEQ15Configuration element: every gain is 0 dB";
  } else {
    *error = "cannot read settings file " + path + ": " + DescribeSettingsFileProblem(problem);
  }
  ReleaseTextBuffer(&ctx->settingsBuffer);
  GEQ15_Destroy(&ctx->engine);
  return ok;
}
