// Filter design, configuration, stream timing and block processing. Designed coefficients must be
// the same to the bit on every build: the expected values are the exact float results.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tuple>
#include <vector>

#include "tests/engine/stream_fixture.h"
#include "tests/tool/reference_response.h"

namespace {

using namespace channel_state;

CoefficientSet Design(int rate, const GEQ15ChannelParam& p) {
  const GEQ15ChannelParam pair[2] = {p, p};
  CoefficientSet set;
  std::memset(&set, 0x5A, sizeof set);
  EXPECT_EQ(GEQ15_Design(pair, rate, &set), 0);
  return set;
}

TEST(DesignTest, CoefficientsAreExact) {
  // One band at a gain: its b0, a1, b2, na2; band 0 is the output gain, linear.
  const struct { int rate, band; float db; double want[4]; } cases[] = {
      {48000, 9, 12.0f, {1.0449057817459106, -1.9530202150344849, 0.9249668717384338, -0.9698727130889893}},
      {48000, 9, 0.0f, {1.0, -1.9241724014282227, 0.9407760500907898, -0.9407760500907898}},
      {44100, 3, -12.0f, {0.9969114065170288, -1.9916716814041138, 0.9948392510414124, -0.9917506575584412}},
      {44100, 15, 6.0f, {1.286144495010376, 0.9275758862495422, 0.13884237408638, -0.4249868392944336}},
      {48000, 0, 6.0f, {1.9952622652053833}}, {48000, 0, -12.0f, {0.25118863582611084}},
  };
  for (const auto& c : cases) {
    GEQ15ChannelParam p{};
    (c.band ? p.bands[c.band - 1] : p.gain) = c.db;
    const CoefficientSet set = Design(c.rate, p);
    for (int ch = 0; ch < 3; ++ch) {
      const GEQ15ChannelCoefs& d = set.channel[ch];
      const int i = c.band - 1;
      const float got[] = {c.band ? d.b0[i] : d.gain, c.band ? d.a1[i] : 0, c.band ? d.b2[i] : 0, c.band ? d.na2[i] : 0};
      for (int k = 0; k < (ch < 2 ? 4 : 1); ++k)
        EXPECT_EQ(FloatBits(got[k]), ch < 2 ? FloatBits(static_cast<float>(c.want[k])) : 0x5A5A5A5Au)
            << "band " << c.band << " at " << c.rate << " Hz, " << c.db << " dB, channel " << ch + 1 << " value " << k;
    }
  }
}

// Derived apart from the design: the centres lie two-thirds of an octave apart from 1000 Hz (cut to
// four decimals), and each band raised by 12 dB gives exactly that at its centre. (Its bandwidth is
// pinned by the exact coefficients above.)
TEST(DesignTest, EveryBandPeaksAtItsCentre) {
  for (int i = 0; i < kBandCount; ++i) {
    const double centre = 1000.0 * std::exp2((i - 8) * 2.0 / 3.0);
    EXPECT_NEAR(kBandCentreHz[i], centre, 1e-4) << "band " << i + 1;
    GEQ15ChannelParam p{};
    p.bands[i] = 12.0f;
    EXPECT_NEAR(ReferenceDb(Design(48000, p).channel[0], 48000, centre), 12.0, 0.001) << "band " << i + 1;
  }
}

// Processing relies on a 0 dB band having b0 = 1 and b2 = -na2 exactly for a bit-exact unity
// path; bypass (any value but 0) must design exactly that, with unity gain, whatever the record holds.
TEST(DesignTest, FlatAndBypassedDesignsAreUnityAndNeedAnAcceptedRate) {
  CoefficientSet untouched{};
  const GEQ15ChannelParam pair[2] = {};
  for (int32_t rate : {0, 44099, 192001})
    EXPECT_EQ(GEQ15_Design(pair, rate, &untouched), -1) << rate << " Hz: no rate accepted, nothing to design for";
  EXPECT_EQ(untouched.channel[0].gain, 0.0f) << "a refused design must not write";
  GEQ15ChannelParam bypassed = EngineStream::Flat(12.0f, -12.0f, 1);
  for (int rate : {44100, 48000, 96000, 192000}) {
    const GEQ15ChannelCoefs flat = Design(rate, GEQ15ChannelParam{}).channel[0];
    EXPECT_EQ(flat.gain, 1.0f);
    for (int i = 0; i < kBandCount; ++i) EXPECT_EQ(std::make_pair(flat.b0[i], flat.b2[i]), std::make_pair(1.0f, -flat.na2[i])) << i;
    bypassed.bypass = rate == 48000 ? -1 : 1;
    const GEQ15ChannelCoefs off = Design(rate, bypassed).channel[0];
    EXPECT_EQ(std::memcmp(&off, &flat, sizeof flat), 0) << rate << " Hz, bypass " << bypassed.bypass;
  }
}

TEST(ProcessTest, ConfigureRefusesRatesOutsideTheRangeAndKeepsTheEarlierState) {
  EngineStream s;
  GEQ15Filter* f = s.filter();
  const struct { int32_t rate, block, result, blockSize; } cases[] = {
      {44099, 512, -2, 0}, {192001, 512, -3, 0}, {44100, 512, 0, 512}, {192000, 0, 0, 256}, {48000, -5, 0, 256},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GEQ15_Configure(f, c.rate, c.block), c.result) << c.rate;
    EXPECT_EQ(std::make_pair(f->sampleRate, f->blockSize), std::make_pair(c.result == 0 ? c.rate : 0, c.blockSize)) << c.rate << ": a refused rate changes nothing";
  }
  // The earlier stream's peaks, a snapshot waiting unread, and its state: a refused rate keeps
  // them; an accepted one clears the state and publishes zeros through the writer's side.
  MeterSnapshot read{};
  EXPECT_EQ(GEQ15_ReadMeters(f, &read), 0);
  std::fill_n(MeterExchange_BeginWrite(&f->meters)->peak, 16, 0.5f);
  MeterExchange_EndWrite(&f->meters);
  f->state[0].v[kY1] = 0.5f;
  for (const float kept : {0.5f, 0.0f}) {
    EXPECT_EQ(GEQ15_Configure(f, kept ? 8000 : 96000, 64), kept ? -2 : 0);
    EXPECT_EQ(GEQ15_ReadMeters(f, &read), 0);
    EXPECT_EQ(std::make_pair(f->state[0].v[kY1], read.peak[8]), std::make_pair(kept, kept)) << (kept ? "refused" : "accepted");
  }
}

// Ramps of 512, 1024 and 2048 samples from 80 and 160 kHz on, and meter periods of 20 ms, each
// raised to whole blocks; at each boundary the blocks are short enough to tell the lengths apart.
TEST(ProcessTest, RampAndMeterPeriodsInWholeBlocks) {
  const struct { int32_t rate, block, ramp, meter; } cases[] = {
      {48000, 512, 512, 1024}, {48000, 480, 960, 960}, {96000, 512, 1024, 2048}, {192000, 256, 2048, 3840},
      {44100, 1, 512, 882}, {79999, 100, 600, 1600}, {80000, 1000, 2000, 2000}, {159999, 256, 1024, 3328},
      {160000, 256, 2048, 3328}, {48000, 0, 512, 1024}, {192000, -1, 2048, 3840}, {0, 0, 512, 256},  // no block size counts as 256
  };
  for (const auto& c : cases) {
    ProcessContext pc;
    std::memset(&pc, 0x7F, sizeof pc);
    ProcessContext_Init(&pc, c.rate, c.block, 20.0f);
    EXPECT_EQ(std::make_tuple(pc.rampLength, pc.meterPeriod, pc.rampStep), std::make_tuple(c.ramp, c.meter, float(1.0 / c.ramp)))
        << c.rate << " Hz, blocks of " << c.block;
    EXPECT_EQ(std::make_tuple(pc.block, pc.coefs, pc.rampRemaining, pc.meterCount), std::make_tuple(nullptr, nullptr, 0, 0));
  }
}

// A host may hand shorter buffers than it announced: each buffer's own length drives the ramp.
TEST(ProcessTest, FadeInFromSilenceThenUnity) {
  EngineStream s;
  s.Start(48000, 256);
  std::vector<float> out;
  for (int b = 0; b < 4; ++b) {
    const std::vector<float> part = s.Run(std::vector<float>(128, 1.0f));
    out.insert(out.end(), part.begin(), part.end());
  }
  for (int k = 0; k < 512; ++k) ASSERT_FLOAT_EQ(out[k], k / 512.0f) << "sample " << k;
  for (uint32_t block = 0; block < 4; ++block) {
    const std::vector<float> in = Noise(512, block);
    EXPECT_EQ(s.Run(in), in) << "flat bands and unity gain must pass the input unchanged";
  }
  EXPECT_EQ(std::make_pair(s.filter()->state[0].v[kGain], s.filter()->state[0].v[kStep]), std::make_pair(1.0f, 0.0f));
  // Started at the target (an offline render's choice), the first set's gain holds from the first
  // sample; a later set still ramps.
  EXPECT_EQ(s.SetAll(0.0f, -6.0f), 0);
  ASSERT_EQ(GEQ15_StartStream(&s.ctx, 48000, 512, kStreamAtTarget), 0);
  EXPECT_FLOAT_EQ(s.Run(std::vector<float>(512, 1.0f))[0], 0.501187f);
  EXPECT_EQ(s.SetAll(0.0f, 0.0f), 0);
  EXPECT_NEAR(s.Run(std::vector<float>(512, 1.0f))[256], 0.501187f + 0.5f * (1.0f - 0.501187f), 1e-5f);
}

TEST(ProcessTest, NewSetWaitsForTheRunningRampAndBandsChangeAtOnce) {
  EngineStream s;
  s.Start(48000, 256);
  const std::vector<float> ones(256, 1.0f);
  s.Run(ones);  // ramp from silence: 256 of 512 samples done
  ASSERT_EQ(s.SetAll(0.0f, -6.0f), 0);
  const PublishedSet* first = s.process().taken;
  s.Run(ones);
  EXPECT_EQ(s.process().taken, first) << "taken while the ramp still ran";
  s.Run(ones);  // first block after the ramp: the -6 dB set, ramping down
  EXPECT_NE(s.process().taken, first);
  const float target = s.process().coefs->channel[0].gain;
  s.Run(ones);
  EXPECT_EQ(s.Run(ones)[0], target) << "the block after the ramp sets the gain exactly";
  EXPECT_NEAR(target, 0.501187f, 1e-6f);
  std::vector<float> impulse(256, 0.0f);
  s.Run(impulse);
  ASSERT_EQ(s.SetAll(12.0f, -6.0f), 0);
  impulse[0] = 0.25f;
  const float out = s.Run(impulse)[0];
  float boosted = 0.25f;  // from silence, each band passes b0 times its input: the new bands act at once
  for (float b0 : s.process().coefs->channel[0].b0) boosted = static_cast<float>(double(b0) * boosted);
  EXPECT_EQ(out, boosted * target);
  EXPECT_GT(boosted, 1.0f) << "the set in use is the one raised by 12 dB";
  EXPECT_EQ(s.filter()->state[0].v[kStep], 0.0f) << "an unchanged gain target starts no ramp";
}

TEST(ProcessTest, PeaksArePublishedThenDecayOrKeepGrowingWhileUnread) {
  EngineStream s;
  s.Start(48000, 512);  // meter period 1024: a publication every second block
  std::vector<float> left(512, 0.0f), right(512, 0.0f);
  MeterSnapshot snap{};
  auto read = [&] { return GEQ15_ReadMeters(s.filter(), &snap) == 0 ? snap.peak[0] : -1.0f; };
  auto period = [&](float level) {
    left[5] = level;
    s.RunBlock(left.data(), right.data(), 512);
    EXPECT_EQ(s.process().meterDue, 0);
    left[5] = 0.0f;
    s.RunBlock(left.data(), right.data(), 512);
  };
  EXPECT_EQ(read(), 0.0f) << "configuration zero-fills meter slot 0";
  right[20] = -0.25f;
  period(-0.5f);
  right[20] = 0.0f;
  // Output peaks come after the fade-in gain of the first block: 5/512 and 20/512 of the input.
  EXPECT_EQ(read(), 0.5f);
  EXPECT_EQ(std::make_tuple(snap.peak[1], snap.peak[8], snap.peak[9]), std::make_tuple(0.25f, 0.5f * 5 / 512, 0.25f * 20 / 512));
  for (int e : {2, 3, 4, 5, 6, 7, 10, 11, 12, 13, 14, 15}) EXPECT_EQ(snap.peak[e], 0.0f) << "entry " << e;
  EXPECT_EQ(s.filter()->state[0].v[kPeakIn], 0.5f * 0.93f) << "held peak decays after publishing";
  EXPECT_EQ(read(), 0.5f) << "no new publication: the same snapshot again";
  MeterExchange& ex = s.filter()->meters;
  EXPECT_EQ(GEQ15_ReadMeters(s.filter(), &ex.base[ex.readIndex.load()]), 0) << "a slot read into itself (ASan)";
  // Nobody reads: one publication takes the free slot, later ones are skipped and the held peak
  // keeps growing without decay until a slot is read again.
  for (float level : {0.6f, 0.7f, 0.8f, 0.9f}) period(level);
  EXPECT_EQ(s.filter()->state[0].v[kPeakIn], 0.9f);
  EXPECT_EQ(read(), 0.6f);
  period(0.0f);
  EXPECT_EQ(read(), 0.9f) << "the peak held through the skipped periods is published";
}

}  // namespace
