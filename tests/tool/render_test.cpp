// The offline renderer against what the engine's design says the audio must become.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "tools/geq15-tool/offline_render.h"
#include "tools/geq15-tool/response.h"

namespace {

constexpr double kPi = 3.141592653589793;

GEQ15ChannelParam Band9(float db) {
  GEQ15ChannelParam p{};
  p.g9 = db;
  return p;
}

std::vector<float> Render(const GEQ15ChannelParam records[2], int rate, int block, int channels, bool noFade,
                          std::vector<float> audio) {
  OfflineRender r;
  EXPECT_EQ(OfflineRender_Start(&r, records, rate, block, channels, noFade), 0);
  const int64_t frames = static_cast<int64_t>(audio.size()) / channels;
  for (int64_t at = 0; at < frames; at += block) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(block, frames - at));
    OfflineRender_Block(&r, audio.data() + at * channels, n);
  }
  OfflineRender_Stop(&r);
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

// |H| from the designed coefficients by direct complex evaluation.
double DesignedDb(const GEQ15ChannelParam& p, int rate, double hz) {
  GEQ15ChannelCoefs c;
  EXPECT_EQ(DesignChannel(p, rate, &c), 0);
  const std::complex<double> z1 = std::polar(1.0, -2 * kPi * hz / rate);
  std::complex<double> h = c.gain;
  for (int i = 0; i < kBandCount; ++i)
    h *= (double(c.b0[i]) + double(c.a1[i]) * z1 + double(c.b2[i]) * z1 * z1) /
         (1.0 + double(c.a1[i]) * z1 - double(c.na2[i]) * z1 * z1);
  return 20.0 * std::log10(std::abs(h));
}

TEST(OfflineRender, SineLevelMatchesTheDesignedResponse) {
  for (int rate : {44100, 48000, 96000}) {
    const GEQ15ChannelParam records[2] = {Band9(12.0f), Band9(12.0f)};
    const std::vector<float> out = Render(records, rate, 512, 1, false, Sine(1000.0, rate, rate * 2, 1));
    // One second in, the fade and the filter's transient are long over; 1000 Hz has whole
    // periods in rate/10 samples at every rate used here.
    const double level = LevelDb(out, 1, 0, 1000.0, rate, rate, rate / 10 * 5);
    EXPECT_NEAR(level, DesignedDb(records[0], rate, 1000.0), 0.01) << rate;
    EXPECT_NEAR(level, 12.0, 0.01);
  }
}

TEST(OfflineRender, StereoChannelsTakeTheirOwnRecords) {
  GEQ15ChannelParam records[2] = {Band9(12.0f), Band9(-12.0f)};
  records[1].gain = -3.0f;
  const std::vector<float> out = Render(records, 48000, 480, 2, false, Sine(1000.0, 48000, 96000, 2));
  EXPECT_NEAR(LevelDb(out, 2, 0, 1000.0, 48000, 48000, 4800), DesignedDb(records[0], 48000, 1000.0), 0.01);
  EXPECT_NEAR(LevelDb(out, 2, 1, 1000.0, 48000, 48000, 4800), DesignedDb(records[1], 48000, 1000.0), 0.01);
  EXPECT_NEAR(LevelDb(out, 2, 1, 1000.0, 48000, 48000, 4800), -15.0, 0.01);
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
  EXPECT_NEAR(low[0], std::pow(10.0, -6.0 / 20.0), 1e-6);
  EXPECT_NEAR(low[1999], std::pow(10.0, -6.0 / 20.0), 1e-6);
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

TEST(OfflineRender, MonoUsesRecordOneAndBadSetupsAreRefused) {
  const GEQ15ChannelParam records[2] = {Band9(6.0f), Band9(-12.0f)};
  const std::vector<float> out = Render(records, 48000, 512, 1, false, Sine(1000.0, 48000, 96000, 1));
  EXPECT_NEAR(LevelDb(out, 1, 0, 1000.0, 48000, 48000, 4800), 6.0, 0.01);

  OfflineRender r;
  EXPECT_EQ(OfflineRender_Start(&r, records, 22050, 512, 2, false), -2);
  EXPECT_EQ(OfflineRender_Start(&r, records, 384000, 512, 2, false), -3);
  EXPECT_EQ(OfflineRender_Start(&r, records, 48000, 512, 3, false), -4);
  EXPECT_EQ(OfflineRender_Start(&r, records, 48000, 0, 2, false), -5);
}

}  // namespace
