// One function per geq15-tool command, each in its own cmd_<name>.cpp; main.cpp dispatches.
#pragma once

#include <cstdio>

namespace tool {

int RunDesign(int argc, char** argv, FILE* out, FILE* err);
int RunRender(int argc, char** argv, FILE* out, FILE* err);
extern const char kRenderSummary[];  // the Windows build has no render and says so here
int RunResponse(int argc, char** argv, FILE* out, FILE* err);
int RunImport(int argc, char** argv, FILE* out, FILE* err);
int RunShow(int argc, char** argv, FILE* out, FILE* err);

}  // namespace tool
