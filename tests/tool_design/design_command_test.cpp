// geq15-tool design, run in-process on temporary streams: the exact output lines, and the
// refusal of bad input with exit code 2 and nothing on stdout.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/geq15-tool/commands.h"
#include "tools/geq15-tool/tool_args.h"

namespace {

struct Result {
  int code;
  std::string out, err;
};

std::string ReadAll(FILE* f) {
  std::string text;
  std::rewind(f);
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
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
  Result r;
  r.code = tool::RunDesign(static_cast<int>(argv.size()), argv.data(), out, err);
  r.out = ReadAll(out);
  r.err = ReadAll(err);
  return r;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0, end;
  while ((end = text.find('\n', start)) != std::string::npos) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  EXPECT_EQ(start, text.size()) << "output must end with a newline";
  return lines;
}

TEST(DesignCommandTest, PrintsGainAndFifteenBandsExactly) {
  const Result r = RunDesign({"--rate", "48000", "--gains", "0,0,0,0,0,0,0,0,12,0,0,0,0,0,0", "--gain", "6"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 16u);
  EXPECT_EQ(lines[0], "gain 1.99526227");
  EXPECT_EQ(lines[9], "band 9 1.04490578 -1.95302022 0.924966872 -0.969872713");
  for (int i = 1; i <= 15; ++i) EXPECT_EQ(lines[i].rfind("band " + std::to_string(i) + " ", 0), 0u) << lines[i];
  // A flat band prints b0 = 1 and b2 = -na2 (the design's consequence for 0 dB).
  EXPECT_EQ(lines[1].rfind("band 1 1 ", 0), 0u) << lines[1];
}

TEST(DesignCommandTest, BypassAndDefaults) {
  const Result flat = RunDesign({"--rate", "96000"});
  const Result bypassed = RunDesign({"--rate", "96000", "--bypass", "--gain", "-12", "--gains",
                                     "12,12,12,12,12,12,12,12,12,12,12,12,12,12,12"});
  ASSERT_EQ(flat.code, 0);
  ASSERT_EQ(bypassed.code, 0);
  EXPECT_EQ(bypassed.out, flat.out) << "bypass designs exactly what all-zero settings do";
  EXPECT_EQ(Lines(flat.out)[0], "gain 1");
}

TEST(DesignCommandTest, RefusesBadInputWithCodeTwoAndNoOutput) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--rate", "44099"},
      {"--rate", "192001"},
      {"--rate", "48000.5"},
      {"--rate", "48k"},
      {"--rate"},
      {"--rate", "48000", "--gains", "1,2,3"},
      {"--rate", "48000", "--gains", "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0"},
      {"--rate", "48000", "--gains", "0,0,0,0,0,0,0,0,0,0,0,0,0,0,"},
      {"--rate", "48000", "--gains", "0,0,0,0,0,0,0,x,0,0,0,0,0,0,0"},
      {"--rate", "48000", "--gains", "0,0,0,0,0,0,0,nan,0,0,0,0,0,0,0"},
      {"--rate", "48000", "--gain", "loud"},
      {"--rate", "48000", "--gain", "1e40"},
      {"--rate", "48000", "--volume", "3"},
      {"--rate", "48000", "extra"},
  };
  for (const auto& args : bad) {
    std::string shown;
    for (const std::string& a : args) shown += a + " ";
    const Result r = RunDesign(args);
    EXPECT_EQ(r.code, tool::kExitUsage) << shown;
    EXPECT_EQ(r.out, "") << shown;
    EXPECT_EQ(r.err.rfind("geq15-tool design: ", 0), 0u) << shown << "-> " << r.err;
  }
}

TEST(DesignCommandTest, RateLimitsAreAccepted) {
  for (const char* rate : {"44100", "192000"}) {
    const Result r = RunDesign({"--rate", rate});
    EXPECT_EQ(r.code, 0) << rate << ": " << r.err;
    EXPECT_EQ(Lines(r.out).size(), 16u);
  }
}

}  // namespace
