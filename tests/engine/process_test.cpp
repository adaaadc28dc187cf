// Configuration, stream timing and block processing: ramps, unity path and peak metering.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/engine/stream_fixture.h"

namespace {

using namespace channel_state;

TEST(ConfigureTest, RateLimitsAndBlockSize) {
  EngineStream s;
  GEQ15Filter* f = s.filter();
  const struct { int32_t rate, block, result, blockSize; } cases[] = {
      {44099, 512, -2, 0}, {0, 512, -2, 0}, {192001, 512, -3, 0},
      {44100, 512, 0, 512}, {192000, 0, 0, 256}, {48000, -5, 0, 256},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << "/" << c.block);
    EXPECT_EQ(GEQ15_Configure(f, c.rate, c.block), c.result);
    EXPECT_EQ(f->sampleRate.load(), c.result == 0 ? c.rate : 0) << "a refused rate changes nothing";
    EXPECT_EQ(f->flags.load() != 0, c.result == 0);
    EXPECT_EQ(f->blockSize.load(), c.blockSize);
  }
  EXPECT_EQ(f->flags.load() & 0x10000001u, 0x10000001u);
  EXPECT_EQ(f->channelCount.load(), 2);

  // A refused rate keeps the earlier configuration, state included; an accepted one clears the
  // states and resets the meter exchange.
  f->state[0].v[kY1] = 0.5f;
  EXPECT_EQ(GEQ15_Configure(f, 8000, 64), -2);
  EXPECT_EQ(f->sampleRate.load(), 48000);
  EXPECT_EQ(f->state[0].v[kY1], 0.5f);
  f->meters.readIndex.store(1);
  EXPECT_EQ(GEQ15_Configure(f, 96000, 64), 0);
  EXPECT_EQ(f->state[0].v[kY1], 0.0f);
  EXPECT_EQ(f->meters.readIndex.load(), 0);
  EXPECT_EQ(f->meters.writeIndex.load(), 1);
}

TEST(ProcessContextTest, RampAndMeterFigures) {
  const struct { int32_t rate, block, ramp, meter; } cases[] = {
      {48000, 512, 512, 1024}, {48000, 480, 960, 960},  {96000, 512, 1024, 2048},
      {192000, 256, 2048, 3840}, {44100, 1, 512, 882},  {79999, 100, 600, 1600},
      {80000, 1000, 2000, 2000}, {160000, 4096, 4096, 4096},
      // A host may announce no block size: it counts as 256 here as in configuration.
      {48000, 0, 512, 1024}, {192000, -1, 2048, 3840},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << "/" << c.block);
    ProcessContext pc;
    std::memset(&pc, 0x7F, sizeof pc);
    ProcessContext_Init(&pc, c.rate, c.block, 20.0f);
    EXPECT_EQ(pc.rampLength, c.ramp);
    EXPECT_EQ(pc.meterPeriod, c.meter);
    EXPECT_EQ(pc.rampStep, static_cast<float>(1.0 / c.ramp));
    EXPECT_EQ(pc.meterDecay, 0.93f);
    EXPECT_EQ(pc.block, nullptr);
    EXPECT_EQ(pc.coefs, nullptr);
    EXPECT_EQ(pc.rampRemaining, 0);
    EXPECT_EQ(pc.meterCount, 0);
  }
}

// A start the filter refused still initialises the context with the host's rate; a meter period
// of no whole sample must not leave the meter count to be wrapped by zero.
TEST(ProcessTest, UnconfiguredFilterLeavesAudioAlone) {
  ProcessContext pc{};
  ProcessContext_Init(&pc, 0, 0, 20.0f);
  EXPECT_EQ(pc.meterPeriod, 256);
  EngineStream s;
  s.Start(0, 0);
  const std::vector<float> in = Noise(64, 1);
  EXPECT_EQ(s.Run(in), in);

  float left[4] = {1, 2, 3, 4}, right[4] = {5, 6, 7, 8};
  s.ctx.channelBlock.samples[0] = left;
  s.ctx.channelBlock.samples[1] = right;
  s.ctx.channelBlock.frames = 4;
  s.process().coefs = &s.exchange().base[0];
  s.process().meterDue = 1;
  EXPECT_EQ(GEQ15_Process(&s.process(), s.filter()), -1);
  EXPECT_EQ(left[3], 4.0f);
  EXPECT_EQ(right[0], 5.0f);
  EXPECT_EQ(s.filter()->coefs, nullptr);
}

// A host may hand shorter buffers than announced; each buffer's own length drives the ramp.
TEST(ProcessTest, FadeInFromSilenceThenUnity) {
  const struct { int32_t announced; std::vector<int32_t> buffers; } cases[] = {
      {512, {512}}, {256, {128, 128, 128, 128}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.announced);
    EngineStream s;
    s.Start(48000, c.announced);
    std::vector<float> out;
    for (int32_t frames : c.buffers) {
      const std::vector<float> part = s.Run(std::vector<float>(frames, 1.0f));
      out.insert(out.end(), part.begin(), part.end());
    }
    for (int k = 0; k < 512; ++k) ASSERT_FLOAT_EQ(out[k], k / 512.0f) << "sample " << k;
    EXPECT_EQ(s.process().rampRemaining, 0);
    // Every band flat and the gain exactly 1: output equals input.
    for (uint32_t block = 0; block < 4; ++block) {
      const std::vector<float> in = Noise(512, block);
      EXPECT_EQ(s.Run(in), in) << "block " << block;
    }
    EXPECT_EQ(s.filter()->state[0].v[kGain], 1.0f);
    EXPECT_EQ(s.filter()->state[0].v[kStep], 0.0f);
  }
}

TEST(ProcessTest, NewSetWaitsForTheRunningRamp) {
  EngineStream s;
  s.Start(48000, 256);
  const std::vector<float> ones(256, 1.0f);
  s.Run(ones);  // ramp from silence: 256 of 512 samples done
  ASSERT_EQ(s.SetAll(0.0f, -6.0f), 0);
  CoefficientSet* first = s.process().coefs;
  s.Run(ones);
  EXPECT_EQ(s.process().coefs, first) << "taken while the ramp still ran";
  EXPECT_EQ(s.process().rampRemaining, 0);

  s.Run(ones);  // first block after the ramp: the -6 dB set, ramping down
  EXPECT_NE(s.process().coefs, first);
  const float target = s.process().coefs->channel[0].gain;
  s.Run(ones);
  EXPECT_EQ(s.Run(ones)[0], target) << "the block after the ramp sets the gain exactly";
  EXPECT_NEAR(target, 0.501187f, 1e-6f);
}

TEST(ProcessTest, BandsChangeAtOnceWhileGainHolds) {
  EngineStream s;
  s.Start(48000, 512);
  s.Run(std::vector<float>(512, 0.0f));
  ASSERT_EQ(s.SetAll(12.0f, 0.0f), 0);
  std::vector<float> impulse(512, 0.0f);
  impulse[0] = 0.25f;
  EXPECT_GT(s.Run(impulse)[0], 0.25f);
  EXPECT_EQ(s.filter()->state[0].v[kStep], 0.0f) << "an unchanged gain target starts no ramp";
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

  MeterSnapshot snap{};
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
  // Nobody reads and the reader still holds slot 0: publication 1 (0.1) takes the only free
  // slot, the later ones are skipped and the peak keeps growing to 0.4 without decay.
  for (float level : {0.1f, 0.2f, 0.3f, 0.4f}) {
    left[5] = level;
    s.RunBlock(left.data(), right.data(), 1024);
  }
  EXPECT_EQ(s.filter()->state[0].v[kPeakIn], 0.4f);
  for (int read = 0; read < 2; ++read) {
    ASSERT_EQ(GEQ15_ReadMeters(s.filter(), &snap), 0);
    EXPECT_EQ(snap.peak[0], 0.1f);
  }
  left[5] = 0.0f;
  s.RunBlock(left.data(), right.data(), 1024);
  ASSERT_EQ(GEQ15_ReadMeters(s.filter(), &snap), 0);
  EXPECT_EQ(snap.peak[0], 0.4f) << "the peak held through the skipped periods is published";
  EXPECT_EQ(s.filter()->state[0].v[kPeakIn], 0.4f * 0.93f);
}

}  // namespace
