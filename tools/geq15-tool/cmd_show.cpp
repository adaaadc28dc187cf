// geq15-tool show: what the program makes of a settings file. The file is loaded as the
// start-up load does into a fresh state, and the document a save would then write is printed,
// with the loaded window placement in place of the window's own. The one difference: the
// program raises the saved size to its minimum window size, which depends on the window frame
// of the system it runs on; the tool has no such frame and prints the size as saved.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "settings/settings_document.h"
#include "settings/settings_load.h"
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
  std::unique_ptr<EngineContext> engine{new EngineContext()};
  SettingsRecord settings{{kUnsetCoordinate, kUnsetCoordinate, kWindowWidth, kWindowHeight}, {}};
  bool ready = false;
  FreshState() { ready = GEQ15_Create(engine.get()) == 0 && InitTextBuffer(&settings.buffer) == 0; }
  ~FreshState() {
    ReleaseTextBuffer(&settings.buffer);
    GEQ15_Destroy(engine.get());
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
  SettingsLoadSummary summary{};
  SettingsFileProblem problem = LoadSettingsFromPath(state.engine.get(), &state.settings, path, &summary);
  if (problem != SettingsFileProblem::kNone) {
    std::fprintf(err, "geq15-tool %s: cannot load settings file %s: %s\n", kName, path,
                 DescribeSettingsFileProblem(problem));
    return kExitUsage;
  }
  const std::string warning = NoSettingsWarning(path, summary);
  if (!warning.empty()) std::fprintf(err, "geq15-tool %s: %s\n", kName, warning.c_str());
  TextBuffer* document = &state.settings.buffer;
  const WindowPlacement& saved = state.settings.saved;
  if (BuildSettingsDocument(document, state.engine->bus.load(), saved.x0, saved.y0, saved.dx, saved.dy,
                            state.engine->filter->param) != 0) {
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
