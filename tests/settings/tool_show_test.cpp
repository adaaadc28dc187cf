// geq15-tool show and design --settings: what the tool makes of a settings file, and its
// warning when the loader applied no configuration element or no record.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/geq15-tool/commands.h"
#include "tools/geq15-tool/tool_args.h"

namespace {

struct ToolRun {
  int exitCode;
  std::string out, err;
};

// Runs a command with a settings file holding `fileText` (none when null) as its last argument.
ToolRun RunTool(tool::CommandFn command, std::vector<std::string> args, const char* fileText) {
  const std::string path = ::testing::TempDir() + "geq15_tool_show_test.xml";
  std::remove(path.c_str());
  if (FILE* f = fileText ? std::fopen(path.c_str(), "wb") : nullptr) std::fputs(fileText, f), std::fclose(f);
  args.push_back(path);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  FILE *out = std::tmpfile(), *err = std::tmpfile();
  ToolRun run{command(static_cast<int>(argv.size()), argv.data(), out, err), "", ""};
  for (auto [file, text] : {std::make_pair(out, &run.out), std::make_pair(err, &run.err)}) {
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;) *text += static_cast<char>(c);
    std::fclose(file);
  }
  std::remove(path.c_str());
  return run;
}

TEST(ToolShow, PrintsWhatASaveWouldWriteAndWarnsWhenTheLoaderFoundNoElementOrNoRecords) {
  const ToolRun run = RunTool(tool::RunShow, {"show"},
                              "<GEQ15Configuration nBus='3' x0='15' dx='100' />\n<GEQ15param ch='2' bypass='1' "
                              "gain='-1.5' g3='2.25' />\n<GEQ15param ch='5' gain='9' />");
  EXPECT_TRUE(run.exitCode == 0 && run.err.empty()) << run.err;
  EXPECT_NE(run.out.find("\n<GEQ15Configuration nBus='3' x0='15' y0='-2147483648' dx='100' dy='290' />\n\t<GEQ15param "
                         "ch='1' bypass='0' gain='0.00000' g1="), std::string::npos) << run.out;
  const ToolRun missing = RunTool(tool::RunShow, {"show"}, nullptr);
  EXPECT_TRUE(missing.exitCode == 2 && missing.out.empty() && missing.err.find("does not exist") != std::string::npos);
  const struct { const char* text; const char* warning; } rows[] = {
      {"<GEQ15Configuration/>\n<GEQ15param ch='1' gain='6' />", "no GEQ15Configuration element"},
      {"<GEQ15param ch='1' gain='6' />\n<GEQ15Configuration></GEQ15Configuration>", "no GEQ15param record"},
      {"<GEQ15Configuration><GEQ15param ch='1' gain='6' />", nullptr}};
  for (const auto& row : rows) {
    for (const ToolRun& run : {RunTool(tool::RunShow, {"show"}, row.text),
                               RunTool(tool::RunDesign, {"design", "--rate", "48000", "--settings"}, row.text)}) {
      EXPECT_EQ(run.exitCode, 0) << run.err;
      EXPECT_EQ(run.err.find(row.warning ? row.warning : "geq15-tool") != std::string::npos, row.warning != nullptr)
          << row.text << "\n" << run.err;
    }
  }
}

}  // namespace
