// Configuration, stream timing and block processing: ramps, unity path, denormal flushing and
// peak metering.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "tests/engine/stream_fixture.h"

namespace {

using namespace channel_state;

TEST(ConfigureTest, RateLimitsAndBlockSize) {
  EngineStream s;
  GEQ15Filter* f = s.filter();
  EXPECT_EQ(GEQ15_Configure(f, 44099, 512), -2);
  EXPECT_EQ(GEQ15_Configure(f, 0, 512), -2);
  EXPECT_EQ(GEQ15_Configure(f, 192001, 512), -3);
  EXPECT_EQ(f->flags.load(), 0u) << "a refused rate changes nothing";
  EXPECT_EQ(f->sampleRate.load(), 0);

  EXPECT_EQ(GEQ15_Configure(f, 44100, 512), 0);
  EXPECT_EQ(f->flags.load() & 0x10000001u, 0x10000001u);
  EXPECT_EQ(f->channelCount.load(), 2);
  EXPECT_EQ(GEQ15_Configure(f, 192000, 0), 0);
  EXPECT_EQ(f->sampleRate.load(), 192000);
  EXPECT_EQ(f->blockSize.load(), 256) << "a block size below 1 becomes 256";
  EXPECT_EQ(GEQ15_Configure(f, 48000, -5), 0);
  EXPECT_EQ(f->blockSize.load(), 256);

  // A refused rate keeps the earlier configuration, state included.
  f->state[0].v[kY1] = 0.5f;
  EXPECT_EQ(GEQ15_Configure(f, 8000, 64), -2);
  EXPECT_EQ(f->sampleRate.load(), 48000);
  EXPECT_EQ(f->state[0].v[kY1], 0.5f);
  // An accepted one clears states and resets the meter exchange.
  f->meters.readIndex.store(1);
  EXPECT_EQ(GEQ15_Configure(f, 96000, 64), 0);
  EXPECT_EQ(f->state[0].v[kY1], 0.0f);
  EXPECT_EQ(f->meters.readIndex.load(), 0);
  EXPECT_EQ(f->meters.writeIndex.load(), 1);
  EXPECT_EQ(f->blockSize.load(), 64);
}

TEST(ProcessContextTest, RampAndMeterFigures) {
  struct Case { int32_t rate, block, ramp, meter; };
  const Case cases[] = {
      {48000, 512, 512, 1024}, {48000, 480, 960, 960},  {96000, 512, 1024, 2048},
      {192000, 256, 2048, 3840}, {44100, 1, 512, 882},  {79999, 100, 600, 1600},
      {80000, 1000, 2000, 2000}, {160000, 4096, 4096, 4096},
  };
  for (const Case& c : cases) {
    ProcessContext pc;
    std::memset(&pc, 0x7F, sizeof pc);
    ProcessContext_Init(&pc, c.rate, c.block, 20.0f);
    EXPECT_EQ(pc.rampLength, c.ramp) << c.rate << "/" << c.block;
    EXPECT_EQ(pc.meterPeriod, c.meter) << c.rate << "/" << c.block;
    EXPECT_EQ(pc.rampStep, static_cast<float>(1.0 / c.ramp));
    EXPECT_EQ(pc.meterDecay, 0.93f);
    EXPECT_EQ(pc.block, nullptr);
    EXPECT_EQ(pc.coefs, nullptr);
    EXPECT_EQ(pc.rampRemaining, 0);
    EXPECT_EQ(pc.meterCount, 0);
  }
}

TEST(ProcessContextTest, BlockSizeZeroCountsAs256) {
  ProcessContext pc{};
  ProcessContext_Init(&pc, 48000, 0, 20.0f);
  EXPECT_EQ(pc.rampLength, 512);
  EXPECT_EQ(pc.meterPeriod, 1024);
  ProcessContext_Init(&pc, 192000, -1, 20.0f);
  EXPECT_EQ(pc.rampLength, 2048);
  EXPECT_EQ(pc.meterPeriod, 3840);

  // A start the filter refused still initialises the context with the host's rate; a period of
  // no whole sample must not leave the meter count to be wrapped by zero.
  ProcessContext_Init(&pc, 0, 0, 20.0f);
  EXPECT_EQ(pc.meterPeriod, 256);
  EngineStream s;
  s.Start(0, 0);
  std::vector<float> in(64, 0.25f);
  EXPECT_EQ(s.Run(in), in) << "an unconfigured filter leaves the audio alone";
}

TEST(ProcessTest, UnconfiguredFilterLeavesEverythingAlone) {
  EngineStream s;
  ProcessContext pc{};
  ChannelBlock block{2, 4, {nullptr, nullptr}};
  float left[4] = {1, 2, 3, 4}, right[4] = {5, 6, 7, 8};
  block.samples[0] = left;
  block.samples[1] = right;
  pc.block = &block;
  pc.coefs = &s.exchange().base[0];
  pc.meterDue = 1;
  EXPECT_EQ(GEQ15_Process(&pc, s.filter()), -1);
  EXPECT_EQ(left[3], 4.0f);
  EXPECT_EQ(right[0], 5.0f);
  EXPECT_EQ(s.filter()->coefs, nullptr);
}

TEST(ProcessTest, FadeInFromSilenceThenUnity) {
  EngineStream s;
  s.Start(48000, 512);
  std::vector<float> ones(512, 1.0f);
  const std::vector<float> out = s.Run(ones);
  for (int k = 0; k < 512; ++k) ASSERT_FLOAT_EQ(out[k], k / 512.0f) << "sample " << k;

  // After the ramp every band is flat and the gain exactly 1: output equals input.
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  for (int block = 0; block < 4; ++block) {
    std::vector<float> in(512);
    for (float& x : in) x = dist(rng);
    EXPECT_EQ(s.Run(in), in) << "block " << block;
  }
  EXPECT_EQ(s.filter()->state[0].v[kGain], 1.0f);
  EXPECT_EQ(s.filter()->state[0].v[kStep], 0.0f);
}

TEST(ProcessTest, GainRampsOverBuffersOfVaryingSize) {
  EngineStream s;
  s.Start(48000, 256);  // ramp of 512 samples = two announced blocks
  // A host may hand shorter buffers than announced; each buffer's own length drives the ramp.
  std::vector<float> out;
  for (int32_t frames : {128, 128, 128, 128}) {
    const std::vector<float> part = s.Run(std::vector<float>(frames, 1.0f));
    out.insert(out.end(), part.begin(), part.end());
  }
  for (int k = 0; k < 512; ++k) ASSERT_FLOAT_EQ(out[k], k / 512.0f) << "sample " << k;
  EXPECT_EQ(s.process().rampRemaining, 0);
  EXPECT_EQ(s.Run(std::vector<float>(8, 1.0f))[0], 1.0f);
}

TEST(ProcessTest, NewSetWaitsForTheRunningRamp) {
  EngineStream s;
  s.Start(48000, 256);
  s.Run(std::vector<float>(256, 1.0f));  // ramp from silence: 256 of 512 samples done
  ASSERT_EQ(s.SetAll(0.0f, -6.0f), 0);
  CoefficientSet* first = s.process().coefs;
  s.Run(std::vector<float>(256, 1.0f));
  EXPECT_EQ(s.process().coefs, first) << "taken while the ramp still ran";
  EXPECT_EQ(s.process().rampRemaining, 0);

  s.Run(std::vector<float>(256, 1.0f));  // first block after the ramp: the -6 dB set, ramping down
  EXPECT_NE(s.process().coefs, first);
  const float target = s.process().coefs->channel[0].gain;
  s.Run(std::vector<float>(256, 1.0f));
  const std::vector<float> settled = s.Run(std::vector<float>(4, 1.0f));
  EXPECT_EQ(settled[0], target) << "the block after the ramp sets the gain exactly";
  EXPECT_NEAR(target, 0.501187f, 1e-6f);
}

TEST(ProcessTest, BandsChangeAtOnceWhileGainRamps) {
  EngineStream s;
  s.Start(48000, 512);
  s.Run(std::vector<float>(512, 0.0f));
  ASSERT_EQ(s.SetAll(12.0f, 0.0f), 0);
  // Gain target unchanged (0 dB): no ramp in the level, but +12 dB on every band shows at once.
  std::vector<float> impulse(512, 0.0f);
  impulse[0] = 0.25f;
  const std::vector<float> out = s.Run(impulse);
  EXPECT_GT(out[0], 0.25f);
  EXPECT_EQ(s.filter()->state[0].v[kStep], 0.0f);
}

// Runs loud noise and then silence; every history value must be exact zero or at least 2^-64 at
// every block boundary. Returns the number of silent blocks until all histories were zero.
int SilentBlocksUntilZero(EngineStream& s, int maxBlocks) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  for (int block = 0; block < 4; ++block) {
    std::vector<float> loud(512);
    for (float& x : loud) x = dist(rng);
    s.Run(loud);
  }
  const float smallest = std::ldexp(1.0f, -64);
  for (int block = 1; block <= maxBlocks; ++block) {
    for (float y : s.Run(std::vector<float>(512, 0.0f))) {
      EXPECT_TRUE(y == 0.0f || std::fabs(y) >= smallest) << y;
      if (!(y == 0.0f || std::fabs(y) >= smallest)) return -1;
    }
    bool allZero = true;
    for (int c = 0; c < 2; ++c) {
      for (int i = kX1; i < kPeakIn; ++i) {
        const float h = s.filter()->state[c].v[i];
        EXPECT_TRUE(h == 0.0f || std::fabs(h) >= smallest) << "history " << i << " = " << h;
        if (!(h == 0.0f || std::fabs(h) >= smallest)) return -1;
        allZero = allZero && h == 0.0f;
      }
    }
    if (allZero) return block;
  }
  return maxBlocks + 1;
}

TEST(ProcessTest, TinyValuesBecomeExactZeros) {
  {
    // Boosted low bands may ring at rounding level (about 2^-56) for seconds: no denormal may
    // ever appear meanwhile.
    EngineStream s;
    s.Start(48000, 512);
    ASSERT_EQ(s.SetAll(12.0f, 0.0f), 0);
    SilentBlocksUntilZero(s, 200);
  }
  {
    EngineStream s;
    s.Start(48000, 512);
    for (int r = 0; r < 2; ++r)
      for (int i = 8; i < kBandCount; ++i) s.filter()->param[r].bands[i] = 12.0f;
    ASSERT_EQ(GEQ15_PublishParams(&s.ctx), 0);
    const int blocks = SilentBlocksUntilZero(s, 100);
    EXPECT_GT(blocks, 0);
    EXPECT_LE(blocks, 100) << "the histories did not decay to exact zeros";

    // An input whose filtered value falls below 2^-64 is passed on as exactly 0.
    std::vector<float> tiny(16, std::ldexp(1.0f, -70));
    for (float y : s.Run(tiny)) EXPECT_EQ(FloatBits(y), 0u);
  }
}

TEST(MeteringTest, PeaksDecayAndOnlyLiveEntriesAreWritten) {
  EngineStream s;
  s.Start(48000, 512);  // meter period 1024: a publication every second block
  std::vector<float> left(512, 0.0f), right(512, 0.0f);
  left[10] = -0.5f;
  right[20] = 0.25f;
  s.RunBlock(left.data(), right.data(), 512);
  EXPECT_EQ(s.process().meterDue, 0);
  std::fill(left.begin(), left.end(), 0.0f);
  std::fill(right.begin(), right.end(), 0.0f);
  s.RunBlock(left.data(), right.data(), 512);
  EXPECT_EQ(s.process().meterDue, 1);
  EXPECT_EQ(s.process().meterCount, 0);

  MeterSnapshot snap;
  std::memset(&snap, 0, sizeof snap);
  ASSERT_EQ(GEQ15_ReadMeters(s.filter(), &snap), 0);
  EXPECT_EQ(snap.peak[0], 0.5f);
  EXPECT_EQ(snap.peak[1], 0.25f);
  // Output peaks come after the fade-in gain of the first block: below the input peaks.
  EXPECT_GT(snap.peak[8], 0.0f);
  EXPECT_LT(snap.peak[8], 0.5f);
  EXPECT_GT(snap.peak[9], 0.0f);
  for (int e : {2, 3, 4, 5, 6, 7, 10, 11, 12, 13, 14, 15}) EXPECT_EQ(snap.peak[e], 0.0f) << "entry " << e;
  EXPECT_EQ(s.filter()->state[0].v[kPeakIn], 0.5f * 0.93f) << "held peak decays after publishing";
}

TEST(MeteringTest, SkippedPublicationsKeepAccumulating) {
  EngineStream s;
  s.Start(48000, 1024);  // one publication per block
  MeterSnapshot snap;
  std::vector<float> left(1024, 0.0f), right(1024, 0.0f);
  // Nobody reads: two publications fill both slots, the third and later are skipped.
  const float levels[] = {0.1f, 0.2f, 0.3f, 0.4f};
  for (float level : levels) {
    left[5] = level;
    s.RunBlock(left.data(), right.data(), 1024);
  }
  // The reader still holds slot 0, so publication 1 (0.1) took the only free slot and the later
  // ones were skipped: the peak kept growing to 0.4 without decay.
  EXPECT_EQ(s.filter()->state[0].v[kPeakIn], 0.4f);
  ASSERT_EQ(GEQ15_ReadMeters(s.filter(), &snap), 0);
  EXPECT_EQ(snap.peak[0], 0.1f);
  ASSERT_EQ(GEQ15_ReadMeters(s.filter(), &snap), 0);
  EXPECT_EQ(snap.peak[0], 0.1f);
  left[5] = 0.0f;
  s.RunBlock(left.data(), right.data(), 1024);
  ASSERT_EQ(GEQ15_ReadMeters(s.filter(), &snap), 0);
  EXPECT_EQ(snap.peak[0], 0.4f) << "the peak held through the skipped periods is published";
  EXPECT_EQ(s.filter()->state[0].v[kPeakIn], 0.4f * 0.93f);
}

}  // namespace
