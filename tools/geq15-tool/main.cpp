// geq15-tool: a console companion to VEZ-15 on the same engine code.
//   geq15-tool COMMAND [OPTIONS]   (geq15-tool COMMAND --help for a command's options)
// Each command lives in its own cmd_<name>.cpp; adding one is one line in kCommands.
#include <cstdio>
#include <cstring>

#include "tools/geq15-tool/commands.h"
#include "tools/geq15-tool/tool_args.h"

namespace {

struct Command {
  const char* name;
  tool::CommandFn run;
  const char* summary;
};

const Command kCommands[] = {
    {"design", tool::RunDesign, "print the band coefficients designed for a rate and gains"},
    {"render", tool::RunRender, tool::kRenderSummary},
    {"response", tool::RunResponse, "print (and plot) the response of a settings file's channel 1"},
    {"import", tool::RunImport, "fit a headphone correction file into a settings file"},
    {"show", tool::RunShow, "print the settings document a save would write after loading FILE"},
};

void PrintUsage(FILE* out) {
  std::fputs("Usage: geq15-tool COMMAND [OPTIONS]\nCommands:\n", out);
  for (const Command& c : kCommands) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
  std::fputs("Run 'geq15-tool COMMAND --help' for a command's options.\n", out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return tool::kExitUsage;
  }
  const char* name = argv[1];
  if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0 || std::strcmp(name, "help") == 0) {
    PrintUsage(stdout);
    return tool::kExitOk;
  }
  for (const Command& c : kCommands) {
    if (std::strcmp(name, c.name) == 0) return c.run(argc - 1, argv + 1, stdout, stderr);
  }
  std::fprintf(stderr, "geq15-tool: unknown command '%s'\n", name);
  PrintUsage(stderr);
  return tool::kExitUsage;
}
