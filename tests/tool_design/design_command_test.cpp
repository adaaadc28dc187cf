// geq15-tool design's command line, run in-process: the printed format (the coefficients are the
// engine's, tested there) and the refusal of bad input with code 2 and nothing on stdout.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/geq15-tool/commands.h"
#include "tools/geq15-tool/tool_args.h"

namespace {

// Runs `design args`; returns the exit code and fills stdout and stderr.
int RunDesign(std::vector<std::string> args, std::string* out, std::string* err) {
  args.insert(args.begin(), "design");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  FILE* files[2] = {std::tmpfile(), std::tmpfile()};
  const int code = tool::RunDesign(static_cast<int>(argv.size()), argv.data(), files[0], files[1]);
  for (int i = 0; i < 2; ++i) {
    std::string& text = *(i ? err : out);
    text.assign(static_cast<size_t>(std::ftell(files[i])), '\0');
    std::rewind(files[i]);
    text.resize(std::fread(&text[0], 1, text.size(), files[i]));
    std::fclose(files[i]);
  }
  return code;
}

TEST(DesignCommandTest, PrintsTheGainThenFifteenBandsAndRefusesBadInput) {
  std::string out, err;
  ASSERT_EQ(RunDesign({"--rate", "48000", "--gains", "0,0,0,0,0,0,0,0,12,0,0,0,0,0,0", "--gain", "6"}, &out, &err), 0);
  EXPECT_EQ(out.substr(0, 16), "gain 1.99526227\n");
  EXPECT_NE(out.find("\nband 9 1.04490578 -1.95302022 0.924966872 -0.969872713\nband 10 "), std::string::npos);
  EXPECT_EQ(out.rfind("\nband 15 "), out.rfind('\n', out.size() - 2)) << out;
  for (const char* rate : {"44100", "192000"}) EXPECT_EQ(RunDesign({"--rate", rate, "--bypass"}, &out, &err), 0) << err;
  const std::vector<std::vector<std::string>> bad = {
      {}, {"--rate", "44099"}, {"--rate", "192001"}, {"--rate", "48000.5"}, {"--rate", "48k"}, {"--rate"},
      {"--rate", "48000", "--gains", "1,2,3"}, {"--rate", "48000", "--gains", "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0"},
      {"--rate", "48000", "--gains", "0,0,0,0,0,0,0,0,0,0,0,0,0,0,"},
      {"--rate", "48000", "--gains", "0,0,0,0,0,0,0,nan,0,0,0,0,0,0,0"}, {"--rate", "48000", "--gain", "loud"},
      {"--rate", "48000", "--gain", "1e40"}, {"--rate", "48000", "--volume", "3"}, {"--rate", "48000", "extra"},
  };
  for (const auto& args : bad) {
    EXPECT_EQ(RunDesign(args, &out, &err), tool::kExitUsage) << (args.empty() ? "" : args.back());
    EXPECT_EQ(out, "");
    EXPECT_EQ(err.rfind("geq15-tool design: ", 0), 0u) << err;
  }
}

}  // namespace
