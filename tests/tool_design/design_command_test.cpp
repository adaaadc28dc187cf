// geq15-tool design, run in-process on temporary streams: the exact output lines, and the
// refusal of bad input with exit code 2 and nothing on stdout.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tools/geq15-tool/commands.h"
#include "tools/geq15-tool/tool_args.h"

namespace {

struct Result {
  int code;
  std::string out, err;
  std::vector<std::string> lines;
};

std::string ReadAll(FILE* f) {
  std::string text(static_cast<size_t>(std::ftell(f)), '\0');
  std::rewind(f);
  text.resize(std::fread(&text[0], 1, text.size(), f));
  std::fclose(f);
  return text;
}

Result RunDesign(std::vector<std::string> args) {
  args.insert(args.begin(), "design");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  EXPECT_TRUE(out && err);
  Result r{tool::RunDesign(static_cast<int>(argv.size()), argv.data(), out, err), ReadAll(out), ReadAll(err), {}};
  std::istringstream text(r.out);
  for (std::string line; std::getline(text, line);) r.lines.push_back(line);
  EXPECT_TRUE(r.out.empty() || r.out.back() == '\n') << "output must end with a newline";
  return r;
}

TEST(DesignCommandTest, PrintsGainAndFifteenBandsExactly) {
  const Result r = RunDesign({"--rate", "48000", "--gains", "0,0,0,0,0,0,0,0,12,0,0,0,0,0,0", "--gain", "6"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  ASSERT_EQ(r.lines.size(), 16u);
  EXPECT_EQ(r.lines[0], "gain 1.99526227");
  EXPECT_EQ(r.lines[9], "band 9 1.04490578 -1.95302022 0.924966872 -0.969872713");
  for (int i = 1; i <= 15; ++i) EXPECT_EQ(r.lines[i].rfind("band " + std::to_string(i) + " ", 0), 0u) << r.lines[i];
}

TEST(DesignCommandTest, BypassDefaultsAndRateLimits) {
  for (const char* rate : {"44100", "96000", "192000"}) {
    const Result flat = RunDesign({"--rate", rate});
    const Result bypassed = RunDesign({"--rate", rate, "--bypass", "--gain", "-12", "--gains",
                                       "12,12,12,12,12,12,12,12,12,12,12,12,12,12,12"});
    ASSERT_EQ(flat.code, 0) << rate << ": " << flat.err;
    ASSERT_EQ(bypassed.code, 0) << rate << ": " << bypassed.err;
    ASSERT_EQ(flat.lines.size(), 16u);
    EXPECT_EQ(flat.lines[0], "gain 1");
    EXPECT_EQ(flat.lines[1].rfind("band 1 1 ", 0), 0u) << "a flat band has b0 = 1: " << flat.lines[1];
    EXPECT_EQ(bypassed.out, flat.out) << "bypass designs exactly what all-zero settings do";
  }
}

TEST(DesignCommandTest, RefusesBadInputWithCodeTwoAndNoOutput) {
  const std::vector<std::vector<std::string>> bad = {
      {}, {"--rate", "44099"}, {"--rate", "192001"}, {"--rate", "48000.5"}, {"--rate", "48k"}, {"--rate"},
      {"--rate", "48000", "--gains", "1,2,3"},
      {"--rate", "48000", "--gains", "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0"},
      {"--rate", "48000", "--gains", "0,0,0,0,0,0,0,0,0,0,0,0,0,0,"},
      {"--rate", "48000", "--gains", "0,0,0,0,0,0,0,x,0,0,0,0,0,0,0"},
      {"--rate", "48000", "--gains", "0,0,0,0,0,0,0,nan,0,0,0,0,0,0,0"},
      {"--rate", "48000", "--gain", "loud"}, {"--rate", "48000", "--gain", "1e40"},
      {"--rate", "48000", "--volume", "3"}, {"--rate", "48000", "extra"},
  };
  for (const auto& args : bad) {
    std::string shown;
    for (const std::string& a : args) shown += a + " ";
    SCOPED_TRACE(shown);
    const Result r = RunDesign(args);
    EXPECT_EQ(r.code, tool::kExitUsage);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("geq15-tool design: ", 0), 0u) << r.err;
  }
}

}  // namespace
