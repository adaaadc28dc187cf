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

ToolRun RunTool(tool::CommandFn command, std::vector<std::string> args) {
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  const int code = command(static_cast<int>(argv.size()), argv.data(), out, err);
  return {code, Contents(out), Contents(err)};
}

class ToolShow : public ::testing::Test {
 protected:
  std::string path_ = ::testing::TempDir() + "geq15_tool_show_test.xml";
  void TearDown() override { std::remove(path_.c_str()); }
  void Write(const std::string& bytes) {
    FILE* f = std::fopen(path_.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  ToolRun Show() { return RunTool(tool::RunShow, {"show", path_}); }
};

TEST_F(ToolShow, PrintsTheDocumentASaveWouldWriteWithTheLoadedPlacement) {
  Write("<GEQ15Configuration nBus='3' x0='15' dx='100' />\n"
        "<GEQ15param ch='2' bypass='1' gain='-1.5' g3='2.25' />\n<GEQ15param ch='5' gain='9' />");
  const ToolRun run = Show();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string g1g2 = " g1='0.00000' g2='0.00000' ";
  const std::string rest =
      " g4='0.00000' g5='0.00000' g6='0.00000' g7='0.00000' g8='0.00000' g9='0.00000' "
      "g10='0.00000' g11='0.00000' g12='0.00000' g13='0.00000' g14='0.00000' g15='0.00000' />\n";
  std::string expected =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<KelmoraOrluneGEQ15>\n"
      "<GEQ15Configuration nBus='3' x0='15' y0='-2147483648' dx='100' dy='290' />\n";
  for (int k = 1; k <= 8; ++k) {
    expected += "\t<GEQ15param ch='" + std::to_string(k) + "' " +
                (k == 2 ? "bypass='1' gain='-1.50000'" + g1g2 + "g3='2.25000'"
                        : "bypass='0' gain='0.00000'" + g1g2 + "g3='0.00000'") + rest;
  }
  expected += "</GEQ15Configuration>\n</KelmoraOrluneGEQ15>\n";
  EXPECT_EQ(run.out, expected) << "minimum size 0 x 0 keeps dx 100; records 3 to 8 stay default";
}

TEST_F(ToolShow, UnreadableFilesPrintNothingAndSayWhy) {
  const struct { const char* contents; size_t size; const char* reason; } rows[] = {
      {nullptr, 0, "does not exist"}, {"", 0, "empty"}, {" ", 1048577, "larger than 1048576 bytes"}};
  for (const auto& row : rows) {
    if (row.contents) Write(std::string(row.size, ' '));
    const ToolRun run = Show();
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(path_), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(row.reason), std::string::npos) << run.err;
  }
  Write("x");
  EXPECT_EQ(Show().exitCode, 0) << "a file that is read is shown even without settings in it";
}

TEST_F(ToolShow, DesignTakesBothLiveRecordsFromASettingsFile) {
  Write("<GEQ15Configuration />\n<GEQ15param ch='1' gain='6' g9='12' g2='-3' />\n"
        "<GEQ15param ch='2' gain='1' />\n</GEQ15Configuration>\n");
  const ToolRun fromFile = RunTool(tool::RunDesign, {"design", "--rate", "48000", "--settings", path_});
  const ToolRun byHand = RunTool(tool::RunDesign, {"design", "--rate", "48000", "--gain", "6", "--gains",
                                               "0,-3,0,0,0,0,0,0,12,0,0,0,0,0,0"});
  EXPECT_EQ(fromFile.exitCode, 0) << fromFile.err;
  EXPECT_EQ(fromFile.out, byHand.out);
  EXPECT_NE(fromFile.out.find("gain 1.99526227"), std::string::npos);
  const ToolRun both =
      RunTool(tool::RunDesign, {"design", "--rate", "48000", "--settings", path_, "--gain", "1"});
  EXPECT_EQ(both.exitCode, 2) << "a file and hand-set gains contradict each other";
  std::remove(path_.c_str());
  const ToolRun missing = RunTool(tool::RunDesign, {"design", "--rate", "48000", "--settings", path_});
  EXPECT_NE(missing.exitCode, 0);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find(path_), std::string::npos);
}

}  // namespace
