// geq15-tool show: what the program makes of a settings file. The file is loaded as the
// start-up load does into a fresh state, and the document a save would then write is printed,
// with the loaded window placement in place of the window's own. The one difference: the
// program raises the saved size to its minimum window size, which depends on the window frame
// of the system it runs on; the tool has no such frame and prints the size as saved.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/insert_context.h"
#include "settings/settings_document.h"
#include "settings/settings_file_stdio.h"
#include "tools/geq15-tool/commands.h"
#include "tools/geq15-tool/tool_args.h"
#include "tools/geq15-tool/tool_settings.h"

namespace tool {
namespace {

constexpr const char* kName = "show";

void PrintHelp(FILE* out) {
  std::fputs(
      "Usage: geq15-tool show FILE\n"
      "Loads settings file FILE as VEZ-15 loads its settings at start-up and prints the\n"
      "thirteen-line document that a save would then write, with the loaded bus, position and\n"
      "size. dx and dy are printed as saved: VEZ-15 raises them to its minimum window size,\n"
      "which depends on the window frame of the system it runs on. Warns when the file gives\n"
      "no GEQ15Configuration element or no record for channel 1 or 2 (every gain is then 0 dB).\n"
      "Exit 0 when the file was read; 2 when it is missing, empty, larger than 1048576 bytes or\n"
      "unreadable (nothing printed).\n",
      out);
}

// The state right after start-up, before the load: bus 0, placement at its defaults,
// no minimum size (the size stays as saved), every record at the default record.
struct FreshState {
  std::unique_ptr<InsertContext> ctx{new InsertContext()};
  bool ready = false;
  FreshState() {
    ctx->x0 = ctx->y0 = ctx->savedX0 = ctx->savedY0 = kUnsetCoordinate;
    ctx->dx = ctx->savedDx = 688;
    ctx->dy = ctx->savedDy = 290;
    ready = GEQ15_Create(&ctx->engine) == 0 && InitTextBuffer(&ctx->settingsBuffer) == 0;
  }
  ~FreshState() {
    ReleaseTextBuffer(&ctx->settingsBuffer);
    GEQ15_Destroy(&ctx->engine);
  }
};

}  // namespace

int RunShow(int argc, char** argv, FILE* out, FILE* err) {
  const char* path = nullptr;
  OptionCursor cursor(argc, argv);
  while (const char* argument = cursor.Next()) {
    if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
      PrintHelp(out);
      return kExitOk;
    }
    if (argument[0] == '-' && argument[1] != '\0') return UsageError(err, kName, "unknown option '%s'", argument);
    if (path != nullptr) return UsageError(err, kName, "one FILE only ('%s' is extra)", argument);
    path = argument;
  }
  if (path == nullptr) return UsageError(err, kName, "FILE is missing");

  FreshState state;
  if (!state.ready) {
    std::fprintf(err, "geq15-tool %s: out of memory\n", kName);
    return kExitFailure;
  }
  InsertContext* ctx = state.ctx.get();
  SettingsLoadSummary summary{};
  SettingsFileProblem problem = LoadSettingsFromPath(ctx, &ctx->settingsBuffer, path, &summary);
  if (problem != SettingsFileProblem::kNone) {
    std::fprintf(err, "geq15-tool %s: cannot load settings file %s: %s\n", kName, path,
                 DescribeSettingsFileProblem(problem));
    return kExitUsage;
  }
  const std::string warning = NoSettingsWarning(path, summary);
  if (!warning.empty()) std::fprintf(err, "geq15-tool %s: %s\n", kName, warning.c_str());
  TextBuffer* document = &ctx->settingsBuffer;
  if (BuildSettingsDocument(document, ctx->engine.bus.load(), ctx->savedX0, ctx->savedY0, ctx->savedDx,
                            ctx->savedDy, ctx->engine.filter) != 0) {
    std::fprintf(err, "geq15-tool %s: out of memory\n", kName);
    return kExitFailure;
  }
  if (std::fwrite(document->data, 1, document->length, out) != document->length || std::fflush(out) != 0) {
    std::fprintf(err, "geq15-tool %s: cannot write the document to the output\n", kName);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace tool
