// The Windows build has no libsndfile, so it has no audio files to render: the command stays
// in the list and says where to find it.
#include "tools/geq15-tool/commands.h"
#include "tools/geq15-tool/tool_args.h"

namespace tool {

const char kRenderSummary[] = "not in this build: rendering audio files needs libsndfile (use the Linux build)";

int RunRender(int, char**, FILE*, FILE* err) {
  std::fputs("geq15-tool render: this build has no audio file support (libsndfile); "
             "use geq15-tool render from the Linux build\n", err);
  return kExitUsage;
}

}  // namespace tool
