// geq15-tool's design and show commands, run in-process: the printed format (the coefficients are
// the engine's, tested there), what show makes of a settings file and the warning of both when
// the loader found no configuration element or no record, and bad input refused with code 2.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "tools/geq15-tool/commands.h"
#include "tools/geq15-tool/tool_args.h"

namespace {

struct ToolRun { int code; std::string out, err; };

// Runs a command; an argument "FILE" names a settings file holding `fileText` (none when null).
ToolRun RunTool(tool::CommandFn command, std::vector<std::string> args, const char* fileText = nullptr) {
  const std::string path = ::testing::TempDir() + "geq15_tool_commands_test.xml";
  std::remove(path.c_str());
  if (FILE* f = fileText ? std::fopen(path.c_str(), "wb") : nullptr) std::fputs(fileText, f), std::fclose(f);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&(a == "FILE" ? a = path : a)[0]);
  FILE* files[2] = {std::tmpfile(), std::tmpfile()};
  ToolRun run{command(static_cast<int>(argv.size()), argv.data(), files[0], files[1]), "", ""};
  for (int i = 0; i < 2; ++i) {
    std::rewind(files[i]);
    for (int c; (c = std::fgetc(files[i])) != EOF;) (i ? run.err : run.out) += static_cast<char>(c);
    std::fclose(files[i]);
  }
  std::remove(path.c_str());
  return run;
}

TEST(DesignCommand, PrintsTheGainThenFifteenBandsAndRefusesBadInput) {
  const ToolRun r = RunTool(tool::RunDesign, {"design", "--rate", "48000", "--gains", "0,0,0,0,0,0,0,0,12,0,0,0,0,0,0", "--gain", "6"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 16), "gain 1.99526227\n");
  EXPECT_NE(r.out.find("\nband 9 1.04490578 -1.95302022 0.924966872 -0.969872713\nband 10 "), std::string::npos);
  EXPECT_EQ(r.out.rfind("\nband 15 "), r.out.rfind('\n', r.out.size() - 2)) << r.out;
  for (const char* rate : {"44100", "192000"}) EXPECT_EQ(RunTool(tool::RunDesign, {"design", "--rate", rate, "--bypass"}).code, 0) << rate;
  const std::vector<std::vector<std::string>> bad = {
      {}, {"--rate", "44099"}, {"--rate", "192001"}, {"--rate", "48000.5"}, {"--rate", "48k"}, {"--rate"},
      {"--rate", "48000", "--gains", "1,2,3"}, {"--rate", "48000", "--gains", "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0"},
      {"--rate", "48000", "--gains", "0,0,0,0,0,0,0,0,0,0,0,0,0,0,"},
      {"--rate", "48000", "--gains", "0,0,0,0,0,0,0,nan,0,0,0,0,0,0,0"}, {"--rate", "48000", "--gain", "loud"},
      {"--rate", "48000", "--gain", "1e40"}, {"--rate", "48000", "--volume", "3"}, {"--rate", "48000", "extra"},
  };
  for (std::vector<std::string> args : bad) {
    args.insert(args.begin(), "design");
    const ToolRun refused = RunTool(tool::RunDesign, args);
    EXPECT_EQ(std::make_tuple(refused.code, refused.out, refused.err.rfind("geq15-tool design: ", 0)), std::make_tuple(tool::kExitUsage, std::string(), size_t{0}))
        << args.back() << ": " << refused.err;
  }
}

TEST(ShowCommand, PrintsWhatASaveWouldWriteAndWarnsWhenTheLoaderFoundNoElementOrNoRecords) {
  const ToolRun run = RunTool(tool::RunShow, {"show", "FILE"},
                          "<GEQ15Configuration nBus='3' x0='15' dx='100' />\n<GEQ15param ch='2' bypass='1' "
                          "gain='-1.5' g3='2.25' />\n<GEQ15param ch='5' gain='9' />");
  EXPECT_EQ(std::make_pair(run.code, run.err), std::make_pair(0, std::string()));
  EXPECT_NE(run.out.find("\n<GEQ15Configuration nBus='3' x0='15' y0='-2147483648' dx='100' dy='290' />\n\t<GEQ15param "
                         "ch='1' bypass='0' gain='0.00000' g1="), std::string::npos) << run.out;
  const ToolRun missing = RunTool(tool::RunShow, {"show", "FILE"});
  EXPECT_EQ(std::make_pair(missing.code, missing.out), std::make_pair(2, std::string())) << missing.out;
  EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;
  const struct { const char* text; const char* warning; } rows[] = {
      {"<GEQ15Configuration/>\n<GEQ15param ch='1' gain='6' />", "no GEQ15Configuration element"},
      {"<GEQ15param ch='1' gain='6' />\n<GEQ15Configuration></GEQ15Configuration>", "no GEQ15param record"},
      {"<GEQ15Configuration><GEQ15param ch='1' gain='6' />", nullptr}};
  for (const auto& row : rows) {
    for (const ToolRun& r : {RunTool(tool::RunShow, {"show", "FILE"}, row.text),
                             RunTool(tool::RunDesign, {"design", "--rate", "48000", "--settings", "FILE"}, row.text)}) {
      EXPECT_EQ(r.code, 0) << r.err;
      EXPECT_EQ(r.err.find(row.warning ? row.warning : "geq15-tool") != std::string::npos, row.warning != nullptr)
          << row.text << "\n" << r.err;
    }
  }
}

}  // namespace
