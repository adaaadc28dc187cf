// geq15-tool show and design --settings: what the tool makes of a settings file, and its
// warning when the loader found nothing to apply.
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

std::string Contents(FILE* file) {
  std::rewind(file);
  std::string text;
  char chunk[4096];
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, got);
  std::fclose(file);
  return text;
}

const std::string kPath = ::testing::TempDir() + "geq15_tool_show_test.xml";

ToolRun RunTool(tool::CommandFn command, std::vector<std::string> args, const char* fileText) {
  std::remove(kPath.c_str());
  if (FILE* f = fileText ? std::fopen(kPath.c_str(), "wb") : nullptr) {
    std::fputs(fileText, f);
    std::fclose(f);
  }
  if (args[0] == "show" || args.back() == "--settings") args.push_back(kPath);
  FILE *out = std::tmpfile(), *err = std::tmpfile();
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  const int code = command(static_cast<int>(argv.size()), argv.data(), out, err);
  std::remove(kPath.c_str());
  return {code, Contents(out), Contents(err)};
}

TEST(ToolShow, PrintsTheDocumentASaveWouldWriteWithTheSizeAsSaved) {
  const ToolRun run = RunTool(tool::RunShow, {"show"},
                          "<GEQ15Configuration nBus='3' x0='15' dx='100' />\n<GEQ15param ch='2' bypass='1' gain='-1.5' "
                          "g3='2.25' />\n<GEQ15param ch='5' gain='9' />");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.find("<GEQ15Configuration nBus='3' x0='15' y0='-2147483648' dx='100' dy='290' />\n"
                         "\t<GEQ15param ch='1' bypass='0' gain='0.00000' g1="), 60u);
  EXPECT_NE(run.out.find("<GEQ15param ch='2' bypass='1' gain='-1.50000' g1='0.00000' g2='0.00000' g3='2.25000'"), std::string::npos);
  EXPECT_NE(run.out.find("<GEQ15param ch='5' bypass='0' gain='0.00000'"), std::string::npos) << run.out;
  const ToolRun missing = RunTool(tool::RunShow, {"show"}, nullptr);
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find(kPath + ": the file does not exist"), std::string::npos) << missing.err;
}

TEST(ToolShow, WarnsWhenTheLoaderFoundNoElementOrNoRecords) {
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

TEST(ToolShow, DesignTakesBothLiveRecordsFromASettingsFile) {
  const char* file = "<GEQ15Configuration />\n<GEQ15param ch='1' gain='6' g9='12' g2='-3' />\n</GEQ15Configuration>";
  const ToolRun fromFile = RunTool(tool::RunDesign, {"design", "--rate", "48000", "--settings"}, file);
  const ToolRun byHand = RunTool(tool::RunDesign, {"design", "--rate", "48000", "--gain", "6", "--gains",
                                               "0,-3,0,0,0,0,0,0,12,0,0,0,0,0,0"}, nullptr);
  EXPECT_EQ(fromFile.exitCode, 0) << fromFile.err;
  EXPECT_EQ(fromFile.out, byHand.out);
  EXPECT_NE(fromFile.out.find("gain 1.99526227"), std::string::npos);
  EXPECT_EQ(RunTool(tool::RunDesign, {"design", "--rate", "48000", "--gain", "1", "--settings"}, file).exitCode, 2)
      << "a file and hand-set gains contradict each other";
  EXPECT_NE(RunTool(tool::RunDesign, {"design", "--rate", "48000", "--settings"}, nullptr).exitCode, 0);
}

}  // namespace
