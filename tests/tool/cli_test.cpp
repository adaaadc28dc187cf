// The built geq15-tool on real files: exit codes, messages, and that nothing is lost or left
// half-written when the input is bad.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "tests/engine/stream_fixture.h"
#include "tests/tool/render_blocks.h"

namespace {

struct ToolRun { int code; std::string out, err; };

class ToolCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("GEQ15_TOOL"), nullptr) << "GEQ15_TOOL must name the built geq15-tool";
    char pattern[] = "/tmp/geq15-cli-XXXXXX";
    ASSERT_NE(dir_ = mkdtemp(pattern) ? pattern : "", "");
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  ToolRun Tool(const std::string& args, const std::string& environment = "") {
    const std::string out = Path(".out"), err = Path(".err");
    const int status = std::system((environment + " " + std::getenv("GEQ15_TOOL") + " " + args + " >'" + out + "' 2>'" + err + "'").c_str());
    ToolRun r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Read(out), Read(err)};
    std::remove(out.c_str()), std::remove(err.c_str());
    return r;
  }
  static std::string Read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
  }
  static void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
  // Every file in the folder, one a line, so that a leftover temporary file is noticed.
  std::string Files() const {
    FILE* ls = popen(("ls '" + dir_ + "'").c_str(), "r");
    std::string names;
    for (int c; (c = std::fgetc(ls)) != EOF;) names += char(c);
    return pclose(ls), names;
  }
  void WriteAudio(const std::string& name, int rate, int channels, int format, const std::vector<float>& s) {
    SF_INFO info{0, rate, channels, format, 0, 0};
    SNDFILE* f = sf_open(Path(name).c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_writef_float(f, s.data(), static_cast<sf_count_t>(s.size()) / channels);
    sf_close(f);
  }
  void WriteSine(const std::string& name, int rate, int channels, int format, double amplitude, int frames) {  // 1 kHz
    std::vector<float> s(static_cast<size_t>(frames) * channels);
    for (size_t i = 0; i < s.size(); ++i) s[i] = float(amplitude * std::sin(2 * M_PI * 1000.0 * (i / channels) / rate));
    WriteAudio(name, rate, channels, format, s);
  }
  // A float WAV's PEAK chunk past its timestamp: each channel's largest magnitude and the first frame where it occurs.
  std::string PeakChunk(const std::string& name, int channels) const {
    const std::string bytes = Read(Path(name));
    const size_t at = bytes.find("PEAK");
    return at == std::string::npos ? "none" : bytes.substr(at + 16, 8 * channels);
  }
  // The samples (empty when the file cannot be read) and the file's description.
  static std::vector<float> ReadAudio(const std::string& path, SF_INFO* info) {
    *info = SF_INFO{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, info);
    std::vector<float> s(f ? static_cast<size_t>(info->frames) * info->channels : 0);
    if (f) sf_readf_float(f, s.data(), info->frames), sf_close(f);
    return s;
  }
  // Written by hand in the program's own format: making it with the tool's import would be circular.
  void WriteSettings(const std::string& name, float band9Left, float band9Right) {
    char lines[512];
    std::snprintf(lines, sizeof lines, "\t<GEQ15param ch='1' bypass='0' gain='0.00000' g9='%0.5f' />\n"
                  "\t<GEQ15param ch='2' bypass='0' gain='0.00000' g9='%0.5f' />\n", band9Left, band9Right);
    Write(Path(name), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<KelmoraOrluneGEQ15>\n<GEQ15Configuration nBus='0' "
                      "x0='0' y0='0' dx='688' dy='290' />\n" + std::string(lines) + "</GEQ15Configuration>\n</KelmoraOrluneGEQ15>\n");
  }
  std::string dir_;
};

// What the equalizer makes of each channel, faded in or not, is compared to the bit below; here
// the containers and what the command leaves in the folder.
TEST_F(ToolCli, RenderWritesFloatFilesClippedIntegersAndNothingOnAFailedRead) {
  WriteSettings("eq.xml", 12.0f, -6.0f);
  WriteSine("in.wav", 48000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0.1, 96000);
  const std::string render = "render --settings " + Path("eq.xml") + " " + Path("in.wav") + " ";
  ToolRun r = Tool(render + Path("out.wav"));
  EXPECT_EQ(std::to_string(r.code) + r.err, "0");  // quiet when stderr is not a terminal and nothing clipped
  ASSERT_EQ(Tool(render + Path("out.aiff")).code, 0);
  SF_INFO wav, aiff;
  EXPECT_TRUE(ReadAudio(Path("out.aiff"), &aiff) == ReadAudio(Path("out.wav"), &wav)) << "the same samples in either container";
  EXPECT_EQ(std::make_tuple(wav.format, wav.samplerate, wav.frames, aiff.format),
            std::make_tuple(SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, sf_count_t{96000}, SF_FORMAT_AIFF | SF_FORMAT_FLOAT));
  EXPECT_EQ(Files(), "eq.xml\nin.wav\nout.aiff\nout.wav\n");  // no temporary file left

  // Integer output is clipped at full scale, not wrapped around, and the clipping is reported.
  WriteSine("loud.wav", 44100, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.9, 44100);
  r = Tool("render --settings " + Path("eq.xml") + " " + Path("loud.wav") + " " + Path("loud.flac"));
  EXPECT_NE(r.err.find("samples clipped at full scale (peak +11."), std::string::npos) << r.err;
  const std::vector<float> loud = ReadAudio(Path("loud.flac"), &wav);
  EXPECT_EQ(wav.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  EXPECT_NEAR(std::accumulate(loud.begin(), loud.end(), 0.0f, [](float peak, float v) { return std::max(peak, std::fabs(v)); }), 1.0f,
              0.00115f) << "the peak at 0 dBFS within 0.01 dB";

  // A read that fails midway (a failing disk; the library fails reads past 64 KB) fails the command
  // and leaves no output, where it once passed for the end of the file.
  r = Tool(render + Path("cut.wav"), "ASAN_OPTIONS=verify_asan_link_order=0 GEQ15_FAIL_READS_AT=65536 LD_PRELOAD=" +
                                        std::string(std::getenv("GEQ15_FAILING_READS")));
  EXPECT_EQ(std::to_string(r.code) + r.err, "1geq15-tool render: cannot read " + Path("in.wav") + ": Input/output error; " +
                                                Path("cut.wav") + " was not written\n");
  EXPECT_EQ(Files(), "eq.xml\nin.wav\nloud.flac\nloud.wav\nout.aiff\nout.wav\n");
}

// The command reads, equalizes and writes in chunks of its own sizes on two threads, reads float
// and 16-bit files as their own bytes and leaves libsndfile only the PEAK chunk's loudest frames:
// the file must still come out exactly as the equalizer makes it block by block from what
// libsndfile reads (big-endian AIFF is libsndfile's to convert), short last block included, with
// the PEAK chunk and the count of samples beyond full scale that libsndfile and those samples give.
TEST_F(ToolCli, RenderGivesTheBlockByBlockResultToTheBit) {
  const auto check = [&](const std::string& name, const GEQ15ChannelParam records[2], const std::string& options) {
    const ToolRun r = Tool("render " + options + " --settings " + Path("eq.xml") + " " + Path(name) + " " + Path("out.wav"));
    ASSERT_EQ(r.code, 0) << r.err;
    SF_INFO info;
    const std::vector<float> input = ReadAudio(Path(name), &info);
    const int block = options.find("--block 100") != std::string::npos ? 100 : 512, frames = int(info.frames);
    const std::vector<float> expected = RenderAudio(records, 48000, block, info.channels, options.find("--no-fade") != std::string::npos, input);
    EXPECT_TRUE(ReadAudio(Path("out.wav"), &info) == expected) << name << ", " << frames << " frames, " << info.channels << " channels";
    WriteAudio("expected.wav", 48000, info.channels, SF_FORMAT_WAV | SF_FORMAT_FLOAT, expected);
    EXPECT_EQ(PeakChunk("out.wav", info.channels), PeakChunk("expected.wav", info.channels)) << name << ", " << frames << " frames";
    long long overs = 0;
    float peak = 0;
    for (float v : expected) overs += std::fabs(v) > 1.0f, peak = std::max(peak, std::fabs(v));
    char warning[128];
    std::snprintf(warning, sizeof warning, "%lld samples beyond full scale (peak %+.2f dBFS)", overs, 20.0 * std::log10(peak));
    EXPECT_EQ(r.err.find(warning) != std::string::npos, overs > 0) << warning << "\n" << r.err;
  };
  WriteSettings("eq.xml", 9.0f, 7.0f);  // a 0.5 sine beyond full scale in both channels
  const GEQ15ChannelParam records[2] = {Param({0, 0, 0, 0, 0, 0, 0, 0, 9.0f}), Param({0, 0, 0, 0, 0, 0, 0, 0, 7.0f})};
  const std::pair<const char*, int> inputs[] = {{"in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
                                                {"in16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                                                {"in16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16}};
  for (const auto& [name, format] : inputs)
    for (int frames : {140001, 1000})
      for (int channels = 1; channels <= 2; ++channels) {
        WriteSine(name, 48000, channels, format, 0.5, frames);
        check(name, records, "--block 100");
      }
  // Clicks, which flat settings pass unchanged, of equal height twice in a channel, the right
  // channel's first before the left channel's loudest frame, or the right channel silent; and a
  // NaN in the left channel's steady 0.1, whose block, which the chunks must not split, is silenced.
  WriteSettings("eq.xml", 0.0f, 0.0f);
  const GEQ15ChannelParam flat[2] = {};
  for (float right : {0.5f, 0.0f}) {
    std::vector<float> clicks(2 * 130000);
    for (size_t i = 2; i < clicks.size(); i += 2) clicks[i] = 0.1f;
    clicks[0] = 0.25f;
    clicks[2 * 90000] = clicks[2 * 120000] = -0.7f;
    clicks[2 * 30000 + 1] = clicks[2 * 90000 + 1] = right;
    clicks[2 * 100001] = NAN;
    WriteAudio("clicks.wav", 48000, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, clicks);
    check("clicks.wav", flat, "--no-fade");
  }
}

TEST_F(ToolCli, RenderRefusesBadInputWithExitCode2AndLosesNothing) {
  WriteSettings("eq.xml", 6.0f, 6.0f);
  WriteSine("in.wav", 48000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.1, 4800);
  WriteSine("low.wav", 22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.1, 2205);
  WriteSine("high.wav", 384000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0.1, 3840);
  WriteSine("quad.wav", 48000, 4, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.1, 4800);
  Write(Path("notes.wav"), "these are not samples\n");
  Write(Path("keep.wav"), "an older output that must survive");
  Write(Path("empty.xml"), "");
  ASSERT_EQ(link(Path("in.wav").c_str(), Path("alias.wav").c_str()), 0);  // the same file under another name
  const std::string input = Read(Path("in.wav")), eq = "render --settings " + Path("eq.xml") + " ", keep = " " + Path("keep.wav");
  const std::pair<std::string, std::string> cases[] = {  // arguments, what the message must say
      {eq + Path("missing.wav") + keep, "does not exist"}, {eq + Path("notes.wav") + keep, "not an audio file in a supported format"},
      {eq + Path("low.wav") + keep, "22050 Hz"}, {eq + Path("high.wav") + keep, "384000 Hz"},
      {eq + Path("quad.wav") + keep, "has 4 channels"}, {eq + Path("in.wav") + " " + Path("alias.wav"), "is the input file itself"},
      {eq + Path("in.wav") + " " + dir_ + "/./../" + dir_.substr(5) + "/in.wav", "is the input file itself"},
      {eq + Path("in.wav") + " " + Path("keep.mp4"), "end it in .wav, .flac or .aiff"},
      {eq + Path("in.wav") + " " + Path("no-such-folder/out.wav"), "cannot create a file beside"},
      {"render --settings " + Path("missing.xml") + " " + Path("in.wav") + keep, "cannot read settings file " + Path("missing.xml")},
      {"render --settings " + Path("empty.xml") + " " + Path("in.wav") + keep, "empty"},
      {"render " + Path("in.wav") + keep, "--settings FILE is required"}, {eq + "--block 0 " + Path("in.wav") + keep, "--block"},
      {eq + Path("in.wav"), "IN OUT"}, {eq + "--fast " + Path("in.wav") + keep, "unknown option '--fast'"},
  };
  const std::string before = Files();
  for (const auto& [args, message] : cases) {
    const ToolRun r = Tool(args);
    EXPECT_EQ(std::to_string(r.code) + r.out, "2") << args;
    EXPECT_NE(r.err.find(message), std::string::npos) << args << "\n" << r.err;
    EXPECT_EQ(Files(), before) << args;  // no output, no temporary file left behind, nothing overwritten
    EXPECT_EQ(Read(Path("keep.wav")) + Read(Path("in.wav")), "an older output that must survive" + input);
  }
}

TEST_F(ToolCli, ResponsePrintsTheCurvePeakAndAWellFormedPlot) {
  WriteSettings("a&b<c>'s.xml", 12.0f, 12.0f);  // a name the plot's title must escape
  const std::string eq = "response --settings \"" + Path("a&b<c>'s.xml") + "\"";
  ToolRun r = Tool(eq + " --svg " + Path("plot.svg"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 120);
  EXPECT_NE(r.err.find("peak +12.00 dB at 1000 Hz\nwarning: the response peaks 12.00 dB above 0 dB"), std::string::npos) << r.err;
  const std::string svg = Read(Path("plot.svg"));
  EXPECT_NE(svg.find("a&amp;b&lt;c&gt;&apos;s.xml"), std::string::npos);
  EXPECT_EQ(std::system(("python3 -c \"import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])\" '" +
                         Path("plot.svg") + "'").c_str()), 0) << "the plot is not well-formed XML";
  EXPECT_EQ(Tool(eq + " --rate 96000 1000 62.5").out.substr(0, 13), "1000 12.0000\n");
  for (std::string bad : {eq + " 24000", eq + " --rate 8000", eq + " loud", "response --settings " + Path("none.xml")})
    EXPECT_EQ(Tool(bad).code, 2) << bad;
}

TEST_F(ToolCli, ImportWritesALoadableSettingsFileAndReportsBadLines) {
  const std::string correction = "Preamp: -4 dB\nFilter 1: ON PK Fc 1000 Hz Gain 4 dB Q 1.41\n";
  Write(Path("pk.txt"), correction);
  ToolRun r = Tool("import " + Path("pk.txt") + " -o " + Path("eq.xml"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("RMS error"), std::string::npos);
  const std::string doc = Read(Path("eq.xml"));
  EXPECT_EQ(std::count(doc.begin(), doc.end(), '\n'), 13);
  // What was written loads: the peak at 1 kHz is held just at or below 0 dB by the output gain.
  const double peak = std::atof(Tool("response --settings " + Path("eq.xml") + " 1000").out.substr(5).c_str());
  EXPECT_TRUE(peak <= 0.0 && peak > -0.1) << peak;
  EXPECT_EQ(Tool("import " + Path("pk.txt")).out, doc);  // without -o the document goes to stdout

  Write(Path("bad.txt"), "Preamp: -4 dB\n# fine so far\nFilter 1: ON PK Fc 1000 Hz Gain four dB Q 1\n");
  r = Tool("import " + Path("bad.txt") + " -o " + Path("eq.xml"));
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("bad.txt: line 3:"), std::string::npos) << r.err;
  EXPECT_EQ(Read(Path("eq.xml")), doc);  // the earlier result is untouched
  EXPECT_EQ(Tool("import " + Path("missing.txt")).code, 2);
  EXPECT_EQ(Tool("import " + Path("pk.txt") + " -o " + Path("pk.txt")).code, 2) << "the output may not be the input";
  EXPECT_EQ(Read(Path("pk.txt")), correction);
}

}  // namespace
