#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/geq15-tool/commands.h"
#include "tools/geq15-tool/tool_args.h"

namespace {

std::string Contents(FILE* file) {
  std::rewind(file);
  std::string text;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
  return text;
}

struct ShowRun {
  int exitCode;
  std::string out, err;
};

ShowRun RunTool(tool::CommandFn command, std::vector<std::string> args) {
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  ShowRun run{command(static_cast<int>(argv.size()), argv.data(), out, err), "", ""};
  run.out = Contents(out);
  run.err = Contents(err);
  std::fclose(out);
  std::fclose(err);
  return run;
}

ShowRun Show(const std::string& path) { return RunTool(tool::RunShow, {"show", path}); }

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
};

TEST_F(ToolShow, PrintsTheDocumentASaveWouldWriteWithTheLoadedPlacement) {
  Write("<GEQ15Configuration nBus='3' x0='15' dx='100' />\n"
        "<GEQ15param ch='2' bypass='1' gain='-1.5' g3='2.25' />\n<GEQ15param ch='5' gain='9' />");
  ShowRun run = Show(path_);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string zeros =
      "gain='0.00000' g1='0.00000' g2='0.00000' g3='0.00000' g4='0.00000' g5='0.00000' "
      "g6='0.00000' g7='0.00000' g8='0.00000' g9='0.00000' g10='0.00000' g11='0.00000' "
      "g12='0.00000' g13='0.00000' g14='0.00000' g15='0.00000' />\n";
  std::string expected =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<KelmoraOrluneGEQ15>\n"
      "<GEQ15Configuration nBus='3' x0='15' y0='-2147483648' dx='100' dy='290' />\n"
      "\t<GEQ15param ch='1' bypass='0' " + zeros +
      "\t<GEQ15param ch='2' bypass='1' gain='-1.50000' g1='0.00000' g2='0.00000' g3='2.25000' "
      "g4='0.00000' g5='0.00000' g6='0.00000' g7='0.00000' g8='0.00000' g9='0.00000' "
      "g10='0.00000' g11='0.00000' g12='0.00000' g13='0.00000' g14='0.00000' g15='0.00000' />\n";
  for (int k = 3; k <= 8; ++k) expected += "\t<GEQ15param ch='" + std::to_string(k) + "' bypass='0' " + zeros;
  expected += "</GEQ15Configuration>\n</KelmoraOrluneGEQ15>\n";
  EXPECT_EQ(run.out, expected) << "minimum size 0 x 0 keeps dx 100; records 3 to 8 stay default";
}

TEST_F(ToolShow, UnreadableFilesPrintNothingAndSayWhy) {
  ShowRun missing = Show(path_);
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find(path_), std::string::npos);
  EXPECT_NE(missing.err.find("does not exist"), std::string::npos);

  Write("");
  ShowRun empty = Show(path_);
  EXPECT_EQ(empty.exitCode, 2);
  EXPECT_EQ(empty.out, "");
  EXPECT_NE(empty.err.find("empty"), std::string::npos);

  Write(std::string(1048577, ' '));
  ShowRun large = Show(path_);
  EXPECT_EQ(large.exitCode, 2);
  EXPECT_EQ(large.out, "");
  EXPECT_NE(large.err.find("larger than 1048576 bytes"), std::string::npos);

  Write("x");
  EXPECT_EQ(Show(path_).exitCode, 0) << "a file that is read is shown even without settings in it";
}

TEST_F(ToolShow, DesignTakesBothLiveRecordsFromASettingsFile) {
  Write("<GEQ15Configuration />\n<GEQ15param ch='1' gain='6' g9='12' g2='-3' />\n"
        "<GEQ15param ch='2' gain='1' />\n</GEQ15Configuration>\n");
  ShowRun fromFile = RunTool(tool::RunDesign, {"design", "--rate", "48000", "--settings", path_});
  ShowRun byHand = RunTool(tool::RunDesign, {"design", "--rate", "48000", "--gain", "6", "--gains",
                                             "0,-3,0,0,0,0,0,0,12,0,0,0,0,0,0"});
  EXPECT_EQ(fromFile.exitCode, 0) << fromFile.err;
  EXPECT_EQ(fromFile.out, byHand.out);
  EXPECT_NE(fromFile.out.find("gain 1.99526227"), std::string::npos);

  ShowRun both = RunTool(tool::RunDesign, {"design", "--rate", "48000", "--settings", path_, "--gain", "1"});
  EXPECT_EQ(both.exitCode, 2) << "a file and hand-set gains contradict each other";
  std::remove(path_.c_str());
  ShowRun missing = RunTool(tool::RunDesign, {"design", "--rate", "48000", "--settings", path_});
  EXPECT_NE(missing.exitCode, 0);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find(path_), std::string::npos);
}

}  // namespace
