// The offline renderer: the level at the file's rate, fade, blocks, refusals and non-finite audio.
// The level of each channel through a settings file is the command line test's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/engine/stream_fixture.h"
#include "tests/tool/render_blocks.h"

namespace {

constexpr double kPi = 3.141592653589793;

GEQ15ChannelParam Band9(float db) { GEQ15ChannelParam p{}; p.g9 = db; return p; }

// At the file's rate: band 9 raised by 6 dB and the output lowered by 3 give +3 dB at 1 kHz (a design
// for another rate would miss the band's centre); a mono file takes record 1.
TEST(OfflineRender, LevelAtTheBandCentreAtTheFilesRate) {
  GEQ15ChannelParam records[2] = {Band9(6.0f), Band9(-12.0f)};
  records[0].gain = -3.0f;
  for (int rate : {44100, 96000}) {
    std::vector<float> in(rate);
    for (int i = 0; i < rate; ++i) in[i] = float(0.25 * std::sin(2 * kPi * 1000.0 * i / rate));
    const std::vector<float> out = RenderAudio(records, rate, 480, 1, false, in);
    double sumIn = 0, sumOut = 0;  // over 100 whole periods, half a second in
    for (int i = rate / 2; i < rate / 2 + rate / 10; ++i) sumIn += in[i] * in[i], sumOut += out[i] * out[i];
    EXPECT_NEAR(10 * std::log10(sumOut / sumIn), 3.0, 0.01) << rate << " Hz";
  }
}

// The ramp is the engine's; --no-fade starts every channel at its own output gain, not at unity.
TEST(OfflineRender, NoFadeStartsAtTheOutputGain) {
  const GEQ15ChannelParam records[2] = {{0, {}, -6.0f}, {0, {}, 3.0f}};
  const std::vector<float> out = RenderAudio(records, 48000, 256, 2, true, std::vector<float>(4000, 1.0f));
  for (int k : {0, 1, 3998, 3999}) EXPECT_NEAR(out[k], std::pow(10.0, records[k % 2].gain / 20.0), 1e-6) << k;
}

TEST(OfflineRender, BlockSizeChangesNothingButTheRampAndTheShortLastBlockIsProcessed) {
  GEQ15ChannelParam records[2] = {Band9(9.0f), Band9(-4.0f)};
  records[0].g2 = -6.0f;
  records[1].g14 = 5.0f;
  const std::vector<float> noise = Noise(2 * 10007, 12345, 0.5f);
  // 512, 128 and 64 all give a 512-sample ramp at 48 kHz, so the outputs agree to the bit;
  // 10007 frames leave a short last block for each of them.
  const std::vector<float> a = RenderAudio(records, 48000, 512, 2, false, noise);
  const std::vector<float> b = RenderAudio(records, 48000, 128, 2, false, noise);
  const std::vector<float> c = RenderAudio(records, 48000, 64, 2, false, noise);
  ASSERT_EQ(a, b);
  ASSERT_EQ(a, c);
  // The tail really went through the filters.
  int changed = 0;
  for (size_t i = a.size() - 2 * 100; i < a.size(); ++i) changed += a[i] != noise[i];
  EXPECT_GT(changed, 150);
}

// NaN and infinity on channel 1 (alone, twice, and a burst across a block boundary), then settings
// no panel allows: nothing non-finite is written; channel 1 is silent in the blocks that went bad
// and equalizes again after them; channel 2 is exactly a clean render; the blocks are counted.
TEST(OfflineRender, NonFiniteSamplesAndSettingsGiveCountedSilenceNotNaN) {
  const GEQ15ChannelParam records[2] = {Band9(9.0f), Band9(-4.0f)};
  std::vector<float> input(2 * 4096);  // 1 kHz on both channels
  for (size_t i = 0; i < input.size(); ++i) input[i] = float(0.25 * std::sin(2 * kPi * 1000.0 * double(i / 2) / 48000));
  std::vector<float> faulty = input;
  for (int k : {1000, 1100}) faulty[2 * k] = k == 1000 ? NAN : INFINITY;  // blocks 3 and 4 of 256
  for (int k = 2040; k < 2060; ++k) faulty[2 * k] = k % 2 ? -INFINITY : NAN;  // blocks 7 and 8
  int32_t silenced = 0;
  const std::vector<float> clean = RenderAudio(records, 48000, 256, 2, true, input), out = RenderAudio(records, 48000, 256, 2, true, faulty, &silenced);
  EXPECT_EQ(silenced, 4);
  std::vector<float> fresh[2];  // what a render of the rest gives, from the block after each bad pair
  for (int r : {0, 1}) fresh[r] = RenderAudio(records, 48000, 256, 2, true, std::vector<float>(input.begin() + 2 * (r ? 2304 : 1280), input.end()));
  for (size_t i = 0; i < out.size(); ++i) {
    const size_t block = i / 2 / 256;
    if (i % 2 || block < 3) ASSERT_EQ(out[i], clean[i]) << i;
    else if (block == 3 || block == 4 || block == 7 || block == 8) ASSERT_EQ(out[i], 0.0f) << i;
    else ASSERT_EQ(out[i], fresh[block > 8][i - 2 * (block > 8 ? 2304 : 1280)]) << i;  // equalizing afresh
  }
  const GEQ15ChannelParam absurd[2] = {EngineStream::Flat(720.0f, 720.0f), EngineStream::Flat(720.0f, 720.0f)};
  for (float v : RenderAudio(absurd, 48000, 256, 2, false, input, &silenced)) ASSERT_EQ(v, 0.0f);
  EXPECT_EQ(silenced, 16);
}

TEST(OfflineRender, BadSetupsAreRefused) {
  const GEQ15ChannelParam records[2] = {};
  OfflineRender r;
  const int setups[][3] = {{22050, 512, 2}, {384000, 512, 2}, {48000, 512, 3}, {48000, 0, 2}};  // rate, block, channels
  for (const auto& s : setups) EXPECT_LT(StartOfflineRender(&r, records, s[0], s[1], s[2], false), 0) << s[0] << " " << s[1];
}

}  // namespace
