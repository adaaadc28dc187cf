// The built geq15-tool on real files: exit codes, messages, and that nothing is lost or left
// half-written when the input is bad.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/geq15-tool/offline_render.h"

namespace {

struct ToolRun {
  int code;
  std::string out, err;
};

class ToolCli : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tool = std::getenv("GEQ15_TOOL");
    ASSERT_NE(tool, nullptr) << "GEQ15_TOOL must name the built geq15-tool";
    tool_ = tool;
    char pattern[] = "/tmp/geq15-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  ToolRun Tool(const std::string& args) {
    const std::string cmd = tool_ + " " + args + " >'" + Path("stdout.txt") + "' 2>'" + Path("stderr.txt") + "'";
    const int status = std::system(cmd.c_str());
    ToolRun r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Read(Path("stdout.txt")), Read(Path("stderr.txt"))};
    std::remove(Path("stdout.txt").c_str());
    std::remove(Path("stderr.txt").c_str());
    return r;
  }

  static std::string Read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  static void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

  // Every file in the folder, so that a leftover temporary file is noticed.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    DIR* d = opendir(dir_.c_str());
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
  }

  void WriteSine(const std::string& name, int rate, int channels, int format, double amplitude, int frames) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(Path(name).c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    std::vector<float> s(static_cast<size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i)
      for (int c = 0; c < channels; ++c) s[i * channels + c] = float(amplitude * std::sin(2 * 3.141592653589793 * 1000.0 * i / rate));
    sf_writef_float(f, s.data(), frames);
    sf_close(f);
  }

  static std::vector<float> ReadAudio(const std::string& path, SF_INFO* info) {
    *info = SF_INFO{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, info);
    EXPECT_NE(f, nullptr) << path;
    if (!f) return {};
    std::vector<float> s(static_cast<size_t>(info->frames) * info->channels);
    sf_readf_float(f, s.data(), info->frames);
    sf_close(f);
    return s;
  }

  // Written by hand in the program's own format: making it with the tool's import would be circular.
  void WriteSettings(const std::string& name, float band9Left, float band9Right) {
    std::string doc = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<KelmoraOrluneGEQ15>\n"
                      "<GEQ15Configuration nBus='0' x0='0' y0='0' dx='688' dy='290' />\n";
    for (int ch = 1; ch <= 2; ++ch) {
      char line[256];
      std::snprintf(line, sizeof line, "\t<GEQ15param ch='%d' bypass='0' gain='0.00000' g9='%0.5f' />\n", ch,
                    ch == 1 ? band9Left : band9Right);
      doc += line;
    }
    Write(Path(name), doc + "</GEQ15Configuration>\n</KelmoraOrluneGEQ15>\n");
  }

  std::string tool_, dir_;
};

double ToneLevelDb(const std::vector<float>& s, int channels, int c, int rate, int from, int count) {
  double si = 0, co = 0;
  for (int i = from; i < from + count; ++i) {
    si += s[i * channels + c] * std::sin(2 * 3.141592653589793 * 1000.0 * i / rate);
    co += s[i * channels + c] * std::cos(2 * 3.141592653589793 * 1000.0 * i / rate);
  }
  return 20 * std::log10(2 * std::hypot(si, co) / count);
}

TEST_F(ToolCli, RenderWritesWhatTheEqualizerMakesOfEachChannel) {
  WriteSettings("eq.xml", 12.0f, -6.0f);
  WriteSine("in.wav", 48000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0.1, 96000);
  ToolRun r = Tool("render --settings " + Path("eq.xml") + " " + Path("in.wav") + " " + Path("out.wav"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");  // quiet when stderr is not a terminal and nothing clipped
  SF_INFO info;
  const std::vector<float> out = ReadAudio(Path("out.wav"), &info);
  EXPECT_EQ(info.frames, 96000);
  EXPECT_EQ(info.samplerate, 48000);
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  EXPECT_NEAR(ToneLevelDb(out, 2, 0, 48000, 48000, 4800), 20 * std::log10(0.1) + 12.0, 0.01);
  EXPECT_NEAR(ToneLevelDb(out, 2, 1, 48000, 48000, 4800), 20 * std::log10(0.1) - 6.0, 0.01);
  EXPECT_EQ(out[0], 0.0f);  // the fade starts from silence
  EXPECT_EQ(Files(), (std::vector<std::string>{"eq.xml", "in.wav", "out.wav"}));

  // --no-fade changes only the gain during the first ramp (600 samples with 100-sample blocks):
  // the filters run the same, so from then on the two renders agree to the bit.
  r = Tool("render --block 100 --settings " + Path("eq.xml") + " " + Path("in.wav") + " " + Path("faded.wav"));
  ASSERT_EQ(r.code, 0) << r.err;
  r = Tool("render --no-fade --block 100 --settings " + Path("eq.xml") + " " + Path("in.wav") + " " + Path("out.aiff"));
  ASSERT_EQ(r.code, 0) << r.err;
  const std::vector<float> faded = ReadAudio(Path("faded.wav"), &info);
  const std::vector<float> plain = ReadAudio(Path("out.aiff"), &info);
  EXPECT_EQ(info.format, SF_FORMAT_AIFF | SF_FORMAT_FLOAT);
  ASSERT_EQ(plain.size(), faded.size());
  EXPECT_TRUE(std::equal(plain.begin() + 2 * 600, plain.end(), faded.begin() + 2 * 600));
  EXPECT_FALSE(std::equal(plain.begin(), plain.begin() + 2 * 600, faded.begin()));
  EXPECT_NEAR(plain[2 * 300] / faded[2 * 300], 2.0, 0.01);  // halfway through the fade
}

// The command reads, equalizes and writes in large chunks on threads of its own: the file must
// still come out exactly as the equalizer makes it block by block, short last block included.
TEST_F(ToolCli, RenderGivesTheBlockByBlockResultToTheBit) {
  WriteSettings("eq.xml", 9.0f, -5.0f);
  GEQ15ChannelParam records[2] = {};
  records[0].g9 = 9.0f;
  records[1].g9 = -5.0f;
  for (int channels = 1; channels <= 2; ++channels) {
    WriteSine("in.wav", 48000, channels, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0.5, 140001);
    ASSERT_EQ(Tool("render --block 100 --settings " + Path("eq.xml") + " " + Path("in.wav") + " " + Path("out.wav")).code, 0);
    SF_INFO info;
    std::vector<float> expected = ReadAudio(Path("in.wav"), &info);
    OfflineRender render;
    ASSERT_EQ(OfflineRender_Start(&render, records, 48000, 100, channels, false), 0);
    for (int at = 0; at < 140001; at += 100) OfflineRender_Block(&render, &expected[at * channels], std::min(100, 140001 - at));
    OfflineRender_Stop(&render);
    EXPECT_TRUE(ReadAudio(Path("out.wav"), &info) == expected) << channels << " channels";
  }
}

TEST_F(ToolCli, RenderReportsClippingOfIntegerOutput) {
  WriteSettings("eq.xml", 12.0f, 12.0f);
  WriteSine("loud.wav", 44100, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.9, 44100);
  ToolRun r = Tool("render --settings " + Path("eq.xml") + " " + Path("loud.wav") + " " + Path("out.flac"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("samples clipped at full scale (peak +11."), std::string::npos) << r.err;
  SF_INFO info;
  const std::vector<float> out = ReadAudio(Path("out.flac"), &info);
  EXPECT_EQ(info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  float peak = 0;
  for (float s : out) peak = std::max(peak, std::fabs(s));
  EXPECT_LE(peak, 1.0f);
  EXPECT_GT(peak, 0.999f);  // clipped at full scale, not wrapped around
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
  const std::string input = Read(Path("in.wav"));
  const std::string eq = "render --settings " + Path("eq.xml") + " ";

  struct Case {
    std::string args, message;
  } cases[] = {
      {eq + Path("missing.wav") + " " + Path("keep.wav"), "does not exist"},
      {eq + Path("notes.wav") + " " + Path("keep.wav"), "not an audio file in a supported format"},
      {eq + Path("low.wav") + " " + Path("keep.wav"), "22050 Hz"},
      {eq + Path("high.wav") + " " + Path("keep.wav"), "384000 Hz"},
      {eq + Path("quad.wav") + " " + Path("keep.wav"), "has 4 channels"},
      {eq + Path("in.wav") + " " + Path("in.wav"), "is the input file itself"},
      {eq + Path("in.wav") + " " + dir_ + "/./../" + dir_.substr(5) + "/in.wav", "is the input file itself"},
      {eq + Path("in.wav") + " " + Path("keep.mp4"), "end it in .wav, .flac or .aiff"},
      {eq + Path("in.wav") + " " + Path("no-such-folder/out.wav"), "cannot create a file beside"},
      {"render --settings " + Path("missing.xml") + " " + Path("in.wav") + " " + Path("keep.wav"),
       "cannot read settings file " + Path("missing.xml")},
      {"render --settings " + Path("empty.xml") + " " + Path("in.wav") + " " + Path("keep.wav"), "empty"},
      {"render " + Path("in.wav") + " " + Path("keep.wav"), "--settings FILE is required"},
      {eq + "--block 0 " + Path("in.wav") + " " + Path("keep.wav"), "--block"},
      {eq + Path("in.wav"), "IN OUT"},
      {eq + "--fast " + Path("in.wav") + " " + Path("keep.wav"), "unknown option '--fast'"},
  };
  const std::vector<std::string> before = Files();
  for (const Case& c : cases) {
    const ToolRun r = Tool(c.args);
    EXPECT_EQ(r.code, 2) << c.args;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Files(), before) << c.args;  // no output, no temporary file left behind
    EXPECT_EQ(Read(Path("keep.wav")), "an older output that must survive");
    EXPECT_EQ(Read(Path("in.wav")), input);
  }

  // A hard link is the same file under another name.
  ASSERT_EQ(link(Path("in.wav").c_str(), Path("alias.wav").c_str()), 0);
  const ToolRun r = Tool(eq + Path("in.wav") + " " + Path("alias.wav"));
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(Read(Path("in.wav")), input);
}

TEST_F(ToolCli, ResponsePrintsTheCurvePeakAndAWellFormedPlot) {
  WriteSettings("eq.xml", 12.0f, 12.0f);
  ToolRun r = Tool("response --settings " + Path("eq.xml") + " --svg " + Path("plot.svg"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 120);
  EXPECT_NE(r.err.find("peak +12.00 dB at 1000 Hz"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("warning: the response peaks 12.00 dB above 0 dB"), std::string::npos) << r.err;
  const std::string check = "python3 -c \"import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])\" '" +
                            Path("plot.svg") + "'";
  EXPECT_EQ(std::system(check.c_str()), 0) << "the plot is not well-formed XML";

  r = Tool("response --settings " + Path("eq.xml") + " --rate 96000 1000 62.5");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 13), "1000 12.0000\n");

  EXPECT_EQ(Tool("response --settings " + Path("eq.xml") + " 24000").code, 2);  // not below half the rate
  EXPECT_EQ(Tool("response --settings " + Path("eq.xml") + " --rate 8000").code, 2);
  EXPECT_EQ(Tool("response --settings " + Path("eq.xml") + " loud").code, 2);
  EXPECT_EQ(Tool("response --settings " + Path("none.xml")).code, 2);
}

TEST_F(ToolCli, ImportWritesALoadableSettingsFileAndReportsBadLines) {
  Write(Path("pk.txt"), "Preamp: -4 dB\nFilter 1: ON PK Fc 1000 Hz Gain 4 dB Q 1.41\n");
  ToolRun r = Tool("import " + Path("pk.txt") + " -o " + Path("eq.xml"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("RMS error"), std::string::npos);
  const std::string doc = Read(Path("eq.xml"));
  EXPECT_EQ(doc.substr(0, 39), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n");
  EXPECT_EQ(std::count(doc.begin(), doc.end(), '\n'), 13);

  // What was written loads into the response: flat far away, the peak held at 0 dB or below.
  r = Tool("response --settings " + Path("eq.xml") + " 20 1000");
  ASSERT_EQ(r.code, 0) << r.err;
  double hz, low, high;
  std::istringstream(r.out) >> hz >> low >> hz >> high;
  EXPECT_LE(high, 0.0);
  EXPECT_GT(high, -0.1);
  EXPECT_NEAR(high - low, 4.0, 0.5);  // the fit, not the filter itself

  // Without -o the document goes to stdout.
  r = Tool("import " + Path("pk.txt"));
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, doc);

  Write(Path("bad.txt"), "Preamp: -4 dB\n# fine so far\nFilter 1: ON PK Fc 1000 Hz Gain four dB Q 1\n");
  Write(Path("eq-before.xml"), doc);
  r = Tool("import " + Path("bad.txt") + " -o " + Path("eq.xml"));
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("bad.txt: line 3:"), std::string::npos) << r.err;
  EXPECT_EQ(Read(Path("eq.xml")), doc);  // the earlier result is untouched

  EXPECT_EQ(Tool("import " + Path("missing.txt")).code, 2);
  EXPECT_EQ(Tool("import " + Path("pk.txt") + " -o " + Path("pk.txt")).code, 2);
  EXPECT_EQ(Read(Path("pk.txt")), "Preamp: -4 dB\nFilter 1: ON PK Fc 1000 Hz Gain 4 dB Q 1.41\n");
}

}  // namespace
