// The offline renderer: levels, fade, blocks, refusals and non-finite audio.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tools/geq15-tool/offline_render.h"

namespace {

constexpr double kPi = 3.141592653589793;

GEQ15ChannelParam Band9(float db) { GEQ15ChannelParam p{}; p.g9 = db; return p; }

std::vector<float> Render(const GEQ15ChannelParam records[2], int rate, int block, int channels, bool noFade,
                          std::vector<float> audio, int32_t* silencedBlocks = nullptr) {
  OfflineRender r;
  EXPECT_EQ(OfflineRender_Start(&r, records, rate, block, channels, noFade), 0);
  const int64_t frames = static_cast<int64_t>(audio.size()) / channels;
  for (int64_t at = 0; at < frames; at += block) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(block, frames - at));
    OfflineRender_Block(&r, audio.data() + at * channels, n);
  }
  OfflineRender_Stop(&r);
  if (silencedBlocks) *silencedBlocks = r.silencedBlocks;
  return audio;
}

std::vector<float> Sine(double hz, int rate, int frames, int channels) {
  std::vector<float> s(static_cast<size_t>(frames) * channels);
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c) s[static_cast<size_t>(i) * channels + c] = float(0.25 * std::sin(2 * kPi * hz * i / rate));
  return s;
}

// Level in dB of the hz component of channel c over [from, from + count), relative to the 0.25
// amplitude of the test sine, by correlation with sine and cosine over whole periods.
double LevelDb(const std::vector<float>& s, int channels, int c, double hz, int rate, int from, int count) {
  double si = 0, co = 0;
  for (int i = from; i < from + count; ++i) {
    si += s[static_cast<size_t>(i) * channels + c] * std::sin(2 * kPi * hz * i / rate);
    co += s[static_cast<size_t>(i) * channels + c] * std::cos(2 * kPi * hz * i / rate);
  }
  return 20.0 * std::log10(2.0 * std::hypot(si, co) / count / 0.25);
}

// One second in, the fade and the filter's transient are long over; 1000 Hz has whole periods
// in rate/10 samples at every rate used here. Mono takes record 1, stereo each its own record.
TEST(OfflineRender, SineLevelMatchesTheDesignedResponseOfEachChannelsRecord) {
  const struct {
    int rate, channels;
    float band9[2], outputGain[2];
  } rows[] = {{44100, 1, {12, -12}, {0, 0}}, {48000, 1, {6, -12}, {0, 0}}, {96000, 1, {12, 0}, {0, 0}},
              {48000, 2, {12, -12}, {0, -3}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.rate << " Hz, " << row.channels << " channels");
    GEQ15ChannelParam records[2] = {Band9(row.band9[0]), Band9(row.band9[1])};
    for (int c = 0; c < 2; ++c) records[c].gain = row.outputGain[c];
    const std::vector<float> out =
        Render(records, row.rate, 480, row.channels, false, Sine(1000.0, row.rate, row.rate * 2, row.channels));
    for (int c = 0; c < row.channels; ++c) {
      const double level = LevelDb(out, row.channels, c, 1000.0, row.rate, row.rate, row.rate / 10 * 5);
      EXPECT_NEAR(level, row.band9[c] + row.outputGain[c], 0.01) << "channel " << c;
    }
  }
}

TEST(OfflineRender, FadesInOverTheFirstRampUnlessToldNotTo) {
  const GEQ15ChannelParam flat[2] = {};
  const std::vector<float> ones(2000, 1.0f);
  // 48 kHz with 256-sample blocks: a ramp of 512 samples from the silent start.
  const std::vector<float> faded = Render(flat, 48000, 256, 1, false, ones);
  for (int k = 0; k < 512; ++k) ASSERT_NEAR(faded[k], k / 512.0, 1e-5) << k;
  for (int k = 512; k < 2000; ++k) ASSERT_NEAR(faded[k], 1.0, 1e-6) << k;

  const std::vector<float> plain = Render(flat, 48000, 256, 1, true, ones);
  for (int k = 0; k < 2000; ++k) ASSERT_NEAR(plain[k], 1.0, 1e-6) << k;

  // With --no-fade a non-unity output gain applies from the first sample as well.
  GEQ15ChannelParam quiet[2] = {};
  quiet[0].gain = -6.0f;
  const std::vector<float> low = Render(quiet, 48000, 256, 1, true, ones);
  for (int k : {0, 1999}) EXPECT_NEAR(low[k], std::pow(10.0, -6.0 / 20.0), 1e-6);
}

TEST(OfflineRender, BlockSizeChangesNothingButTheRampAndTheShortLastBlockIsProcessed) {
  GEQ15ChannelParam records[2] = {Band9(9.0f), Band9(-4.0f)};
  records[0].g2 = -6.0f;
  records[1].g14 = 5.0f;
  std::vector<float> noise(2 * 10007);
  uint32_t seed = 12345;
  for (float& s : noise) {
    seed = seed * 1664525u + 1013904223u;
    s = static_cast<float>(static_cast<int32_t>(seed) / 2147483648.0 * 0.5);
  }
  // 512, 128 and 64 all give a 512-sample ramp at 48 kHz, so the outputs agree to the bit;
  // 10007 frames leave a short last block for each of them.
  const std::vector<float> a = Render(records, 48000, 512, 2, false, noise);
  const std::vector<float> b = Render(records, 48000, 128, 2, false, noise);
  const std::vector<float> c = Render(records, 48000, 64, 2, false, noise);
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
  const std::vector<float> input = Sine(1000.0, 48000, 4096, 2);
  std::vector<float> faulty = input;
  for (int k : {1000, 1100}) faulty[2 * k] = k == 1000 ? NAN : INFINITY;  // blocks 3 and 4 of 256
  for (int k = 2040; k < 2060; ++k) faulty[2 * k] = k % 2 ? -INFINITY : NAN;  // blocks 7 and 8
  int32_t silenced = 0;
  const std::vector<float> clean = Render(records, 48000, 256, 2, true, input), out = Render(records, 48000, 256, 2, true, faulty, &silenced);
  EXPECT_EQ(silenced, 4);
  for (size_t i = 0; i < out.size(); ++i) {
    const size_t block = i / 2 / 256;
    if (i % 2 || block < 3) ASSERT_EQ(out[i], clean[i]) << i;
    else if (block == 3 || block == 4 || block == 7 || block == 8) ASSERT_EQ(out[i], 0.0f) << i;
    else ASSERT_NEAR(out[i], clean[i], i >= 2 * 3584 ? 1e-4 : 1.0) << i;  // 1.0 while the filter settles
  }
  GEQ15ChannelParam absurd[2] = {};
  for (GEQ15ChannelParam& p : absurd) std::fill(std::begin(p.bands), std::end(p.bands), 720.0f), p.gain = 720.0f;
  for (float v : Render(absurd, 48000, 256, 2, false, input, &silenced)) ASSERT_EQ(v, 0.0f);
  EXPECT_EQ(silenced, 16);
}

TEST(OfflineRender, BadSetupsAreRefused) {
  const GEQ15ChannelParam records[2] = {};
  OfflineRender r;
  const int setups[][3] = {{22050, 512, 2}, {384000, 512, 2}, {48000, 512, 3}, {48000, 0, 2}};  // rate, block, channels
  for (const auto& s : setups) EXPECT_LT(OfflineRender_Start(&r, records, s[0], s[1], s[2], false), 0) << s[0] << " " << s[1];
}

}  // namespace
