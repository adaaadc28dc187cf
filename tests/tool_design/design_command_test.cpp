// geq15-tool design's command line, run in-process: the printed format (the coefficients
// themselves are the engine's, tested there) and the refusal of bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "tools/geq15-tool/commands.h"
#include "tools/geq15-tool/tool_args.h"

namespace {

std::string ReadAll(FILE* f) {
  std::string text(static_cast<size_t>(std::ftell(f)), '\0');
  std::rewind(f);
  text.resize(std::fread(&text[0], 1, text.size(), f));
  std::fclose(f);
  return text;
}

// Exit code, stdout, stderr.
std::tuple<int, std::string, std::string> RunDesign(std::vector<std::string> args) {
  args.insert(args.begin(), "design");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  const int code = tool::RunDesign(static_cast<int>(argv.size()), argv.data(), out, err);
  return {code, ReadAll(out), ReadAll(err)};
}

TEST(DesignCommandTest, PrintsTheGainAndFifteenBands) {
  const auto [code, out, err] = RunDesign({"--rate", "48000", "--gains", "0,0,0,0,0,0,0,0,12,0,0,0,0,0,0", "--gain", "6"});
  ASSERT_EQ(code, 0) << err;
  EXPECT_EQ(out.substr(0, 16), "gain 1.99526227\n");
  EXPECT_NE(out.find("\nband 9 1.04490578 -1.95302022 0.924966872 -0.969872713\nband 10 "), std::string::npos) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 16) << out;
  EXPECT_NE(out.find("\nband 15 "), std::string::npos) << out;
}

TEST(DesignCommandTest, RefusesBadInputWithCodeTwoAndNoOutput) {
  const std::vector<std::vector<std::string>> bad = {
      {}, {"--rate", "44099"}, {"--rate", "192001"}, {"--rate", "48000.5"}, {"--rate", "48k"}, {"--rate"},
      {"--rate", "48000", "--gains", "1,2,3"},
      {"--rate", "48000", "--gains", "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0"},
      {"--rate", "48000", "--gains", "0,0,0,0,0,0,0,0,0,0,0,0,0,0,"},
      {"--rate", "48000", "--gains", "0,0,0,0,0,0,0,nan,0,0,0,0,0,0,0"},
      {"--rate", "48000", "--gain", "loud"}, {"--rate", "48000", "--gain", "1e40"},
      {"--rate", "48000", "--volume", "3"}, {"--rate", "48000", "extra"},
  };
  for (const auto& args : bad) {
    const auto [code, out, err] = RunDesign(args);
    SCOPED_TRACE(args.empty() ? "" : args.back());
    EXPECT_EQ(code, tool::kExitUsage);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err.rfind("geq15-tool design: ", 0), 0u) << err;
  }
}

}  // namespace
