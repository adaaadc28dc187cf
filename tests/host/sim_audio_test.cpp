// The simulated host's measuring half: a wrong meter here would let a broken insert pass.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "tools/simhost/sim_audio.h"

namespace {

TEST(SimHostConfig, ParsesSettingsAndReportsMistakesByLine) {
  SimConfig c;
  std::vector<std::string> errors;
  SimConfig_ApplyText(&c,
                      "# comment\ntype=2\nrate = 44100\npacing=fast\nin_place=1\nsignal=white:-20\n"
                      "signal.3=sine:1000:-6\nbusy_client=Other Mixer\nrestart_at=2.5\n"
                      "rate=abc\nsignal.200=silence\nnonsense=1\nno equals sign\n",
                      &errors);
  EXPECT_EQ(c.hostType, 2);
  EXPECT_EQ(c.rate, 44100);
  EXPECT_FALSE(c.realtime);
  EXPECT_TRUE(c.inPlace);
  EXPECT_EQ(c.signal, "white:-20");
  EXPECT_EQ(c.channelSignal[3], "sine:1000:-6");
  EXPECT_EQ(c.busyClient, "Other Mixer");
  EXPECT_DOUBLE_EQ(c.restartAt, 2.5);
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_NE(errors[0].find("line 10"), std::string::npos);
  EXPECT_NE(SimConfig_Apply(&c, "signal", "sine:1000").find("sine:HZ:DB"), std::string::npos);
  EXPECT_EQ(SimConfig_ChannelTotal(3), 64);
  EXPECT_EQ(SimConfig_ChannelTotal(7), 0);
}

double MeasuredRmsDb(const std::string& signal, int32_t frames) {
  SignalGenerator gen;
  EXPECT_EQ(SignalGenerator_Init(&gen, signal, 1), "");
  std::vector<float> buf(frames);
  SignalGenerator_Fill(&gen, 48000, buf.data(), frames);
  ChannelStats s;
  ChannelStats_Add(&s, buf.data(), buf.data(), frames, 0, frames, false);
  EXPECT_TRUE(s.exactCopy);
  return RmsDb(s.inSquares, s.windowFrames);
}

TEST(SimHostSignals, LevelsMatchTheirDescription) {
  EXPECT_NEAR(MeasuredRmsDb("sine:1000:-12", 48000), -12.0 - 3.0103, 0.001);
  EXPECT_NEAR(MeasuredRmsDb("white:-20", 96000), -20.0, 0.1);
  EXPECT_NEAR(MeasuredRmsDb("pink:-20", 480000), -20.0, 0.5);
  EXPECT_TRUE(std::isinf(MeasuredRmsDb("silence", 100)));
}

TEST(SimHostStats, WindowExactCopyUntouchedOutputsAndWavRoundTrip) {
  std::vector<float> in = {0.5f, -1.0f, 0.25f, 0.0f};
  std::vector<float> out = in;
  FillUntouched(&out[3], 1);
  ChannelStats s;
  ChannelStats_Add(&s, in.data(), out.data(), 4, 1, 2, true);  // window covers samples 1 and 2
  EXPECT_FALSE(s.exactCopy);
  EXPECT_EQ(s.untouched, 1);
  EXPECT_EQ(s.windowFrames, 2);
  EXPECT_FLOAT_EQ(s.inPeak, 1.0f);
  EXPECT_NEAR(RmsDb(s.inSquares, s.windowFrames), 20 * std::log10(std::sqrt((1.0 + 0.0625) / 2)), 1e-9);

  const std::string path = ::testing::TempDir() + "simhost_roundtrip.wav";
  std::vector<float> stereo = {0.1f, -0.1f, 0.5f, -0.5f, 0.25f, 0.0f};
  ASSERT_TRUE(WriteWavFloat(path, 48000, 2, stereo));
  std::vector<float> left;
  EXPECT_EQ(ReadWavFirstChannel(path, &left), "");
  EXPECT_EQ(left, (std::vector<float>{0.1f, 0.5f, 0.25f}));
  std::remove(path.c_str());
  EXPECT_NE(ReadWavFirstChannel(path, &left), "");
}

}  // namespace
