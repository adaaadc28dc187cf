// The simulated host's measuring half: a wrong meter here would let a broken insert pass.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <tuple>
#include <vector>

#include "tools/simhost/sim_audio.h"

namespace {

TEST(SimHostConfig, ParsesSettingsAndReportsMistakesByLine) {
  SimConfig c;
  std::vector<std::string> errors;
  ApplySimConfigText(&c, "# comment\ntype=2\nrate = 44100\npacing=fast\nin_place=1\nsignal=white:-20\nsignal.3=sine:1000:-6\n"
                      "busy_client=Other Mixer\nrestart_at=2.5\nrate=abc\nsignal.200=silence\nnonsense=1\nno equals sign\n", &errors);
  EXPECT_EQ(std::make_tuple(c.hostType, c.rate, c.realtime, c.inPlace, c.signal, c.channelSignal[3], c.restartAt, c.busyClient),
            std::make_tuple(2, 44100, false, true, std::string("white:-20"), std::string("sine:1000:-6"), 2.5, std::string("Other Mixer")));
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_NE(errors[0].find("line 10"), std::string::npos);
  EXPECT_NE(ApplySimConfig(&c, "signal", "sine:1000").find("sine:HZ:DB"), std::string::npos);
  EXPECT_EQ(std::make_pair(SimChannelTotal(3), SimChannelTotal(7)), std::make_pair(64, 0));
}

double MeasuredRmsDb(const std::string& signal, int32_t frames) {
  SignalGenerator gen;
  EXPECT_EQ(InitSignalGenerator(&gen, signal, 1), "");
  std::vector<float> buf(frames);
  FillSignal(&gen, 48000, buf.data(), frames);
  ChannelStats s;
  AddChannelStats(&s, buf.data(), buf.data(), frames, 0, frames, false);
  return RmsDb(s.inSquares, s.windowFrames);
}

TEST(SimHostSignals, LevelsMatchTheirDescription) {
  EXPECT_NEAR(MeasuredRmsDb("sine:1000:-12", 48000), -12.0 - 3.0103, 0.001);
  EXPECT_NEAR(MeasuredRmsDb("white:-20", 96000), -20.0, 0.1);
  EXPECT_NEAR(MeasuredRmsDb("pink:-20", 480000), -20.0, 0.5);
  EXPECT_TRUE(std::isinf(MeasuredRmsDb("silence", 100)));
}

TEST(SimHostStats, WindowExactCopyUntouchedOutputsAndWavRoundTrip) {
  std::vector<float> in = {0.5f, -1.0f, 0.25f, 0.0f}, out = in;
  FillUntouched(&out[3], 1);
  ChannelStats s, same;
  AddChannelStats(&same, in.data(), in.data(), 4, 0, 4, false);
  AddChannelStats(&s, in.data(), out.data(), 4, 1, 2, true);  // window covers samples 1 and 2
  EXPECT_EQ(std::make_tuple(same.exactCopy, s.exactCopy, s.untouched, s.windowFrames, s.inPeak), std::make_tuple(true, false, 1, 2, 1.0f));
  EXPECT_NEAR(RmsDb(s.inSquares, s.windowFrames), 20 * std::log10(std::sqrt((1.0 + 0.0625) / 2)), 1e-9);

  const std::string path = ::testing::TempDir() + "simhost_roundtrip.wav";
  ASSERT_TRUE(WriteWavFloat(path, 48000, 2, {0.1f, -0.1f, 0.5f, -0.5f, 0.25f, 0.0f}));
  std::vector<float> left;
  EXPECT_EQ(ReadWavFirstChannel(path, &left), "");
  EXPECT_EQ(left, (std::vector<float>{0.1f, 0.5f, 0.25f}));
  std::remove(path.c_str());
  EXPECT_NE(ReadWavFirstChannel(path, &left), "");
}

}  // namespace
