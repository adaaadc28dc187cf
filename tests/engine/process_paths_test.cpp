// Every vector path of block processing against the per-sample reference: output samples, filter
// histories, gains and held peaks after every block, and published meters must match to the bit.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "engine/finite_copy.h"
#include "engine/process_paths.h"
#include "tests/engine/stream_fixture.h"

namespace {

using namespace channel_state;

// Bits, except that any NaN equals any NaN: a NaN's payload depends on operand order, which
// neither the language nor the reference fixes.
bool SameSample(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return FloatBits(a) == FloatBits(b);
}

std::vector<int32_t> VectorPaths() {
  std::vector<int32_t> paths;
  for (int32_t p = kProcessPathReference + 1; p < kProcessPathCount; ++p)
    if (IsProcessPathSupported(p)) paths.push_back(p);
  return paths;
}

struct PathGuard {
  explicit PathGuard(int32_t path) { EXPECT_EQ(SelectProcessPath(path), 0) << ProcessPathName(path); }
  ~PathGuard() { SelectProcessPath(kProcessPathAuto); }
};

// What a stream leaves behind: every output sample of both channels (interleaved), both
// channel states after every block and every meter snapshot published.
struct Trace { std::vector<float> out, states, meters; };

struct Stream {
  int32_t rate = 48000, announced = 512;
  std::vector<int32_t> blocks;                    // frames of each host buffer
  std::function<float(int c, int64_t k)> signal;  // input sample k of channel c
  std::function<void(EngineStream&, int block)> beforeBlock = [](EngineStream&, int) {};
  // Channel 2's buffer: its own, none (a mono render) or one sharing channel 1's, which has room
  // for 100 samples more than the block.
  std::function<float*(int block, float* left, float* right)> rightBuffer = [](int, float*, float* right) { return right; };
  GEQ15ChannelParam records[kChannelRecords] = {};
};

Trace RunStream(int32_t path, const Stream& stream) {
  PathGuard guard(path);
  EngineStream s;
  GEQ15_SetParams(&s.ctx, stream.records);
  s.Start(stream.rate, stream.announced);
  Trace trace;
  int64_t k0 = 0;
  for (size_t b = 0; b < stream.blocks.size(); ++b) {
    stream.beforeBlock(s, static_cast<int>(b));
    const int32_t frames = stream.blocks[b];
    std::vector<float> ch[2];
    for (int c = 0; c < 2; ++c)
      for (int32_t k = 0; k < frames + 100; ++k) ch[c].push_back(stream.signal(c, k0 + k));
    s.RunBlock(ch[0].data(), stream.rightBuffer(static_cast<int>(b), ch[0].data(), ch[1].data()), frames);
    for (int32_t k = 0; k < frames; ++k) trace.out.insert(trace.out.end(), {ch[0][k], ch[1][k]});
    for (const ChannelState* st = s.filter()->state; st < s.filter()->state + 2; ++st) trace.states.insert(trace.states.end(), st->v, st->v + 64);
    MeterSnapshot m{};
    if (GEQ15_ReadMeters(s.filter(), &m) == 0) trace.meters.insert(trace.meters.end(), m.peak, m.peak + 16);
    k0 += frames;
  }
  return trace;
}

void ExpectSame(const std::vector<float>& ref, const std::vector<float>& got, const char* what) {
  ASSERT_EQ(ref.size(), got.size()) << what;
  for (size_t i = 0; i < ref.size(); ++i)
    ASSERT_TRUE(SameSample(ref[i], got[i])) << what << " value " << i << ": reference " << ref[i] << ", got " << got[i];
}

// Returns the reference trace for further checks of its own.
Trace ExpectEveryPathMatches(const Stream& stream, const std::string& what) {
  SCOPED_TRACE(what);
  const Trace ref = RunStream(kProcessPathReference, stream);
  for (int32_t path : VectorPaths()) {
    SCOPED_TRACE(std::string("path ") + ProcessPathName(path));
    const Trace got = RunStream(path, stream);
    ExpectSame(ref.out, got.out, "output (channels interleaved)");
    ExpectSame(ref.states, got.states, "state (64 words per channel, two channels per block)");
    ExpectSame(ref.meters, got.meters, "meter");
  }
  return ref;
}

GEQ15ChannelParam Curve(uint32_t seed, float gainDb) { return Param(Noise(kBandCount, seed, 12.0f), gainDb); }

std::function<float(int, int64_t)> NoiseSignal(float amplitude, uint32_t seed) {
  const std::vector<float> table = Noise(1 << 16, seed, amplitude);
  return [table](int c, int64_t k) { return table[static_cast<size_t>(k * 2 + c) & 0xFFFF]; };
}

// A path this processor lacks is still built, but its comparisons below cannot run: say so.
TEST(ProcessPathsTest, SelectionAndEveryPathRunsHere) {
  EXPECT_FALSE(VectorPaths().empty()) << "every x86 build has at least the SSE2 path";
  EXPECT_EQ(SelectProcessPath(kProcessPathReference), 0);
  for (int32_t unknown : {kProcessPathCount, -7}) EXPECT_EQ(SelectProcessPath(unknown), -1);
  EXPECT_EQ(CurrentProcessPath(), kProcessPathReference) << "a refused choice keeps the earlier one";
  EXPECT_EQ(SelectProcessPath(kProcessPathAuto), 0);
  EXPECT_TRUE(CurrentProcessPath() != kProcessPathAuto && IsProcessPathSupported(CurrentProcessPath())) << CurrentProcessPath();
  std::string missing;
  for (int32_t p = kProcessPathReference; p < kProcessPathCount; ++p)
    if (!IsProcessPathSupported(p)) missing += std::string(" ") + ProcessPathName(p);
  if (!missing.empty()) GTEST_SKIP() << "this processor or build lacks" << missing << ": not compared with the reference";
}

// Copies of untouched channels, on every path: finite samples keep their bits (-0, subnormal and
// largest float included), NaN and infinity become +0, in a vector or in the tail, in place too.
TEST(ProcessPathsTest, FiniteCopyOnEveryPath) {
  const float odd[] = {NAN, -INFINITY, INFINITY, -0.0f, 1e-45f, std::numeric_limits<float>::max(), -2.5f};
  std::vector<float> in(23);
  for (int32_t i = 0; i < 23; ++i) in[i] = i % 3 ? 0.5f * static_cast<float>(i) : odd[(i / 3) % 7];
  for (int32_t path = kProcessPathReference; path < kProcessPathCount; ++path)
    for (int32_t frames : {1, 8, 23}) {
      if (!IsProcessPathSupported(path)) continue;
      std::vector<float> out(24, 9.0f), inPlace = in;
      CopyFiniteSamples(path, out.data(), in.data(), frames);
      CopyFiniteSamples(path, inPlace.data(), inPlace.data(), frames);
      for (int32_t i = 0; i < frames; ++i) {
        const uint32_t want = std::isfinite(in[i]) ? FloatBits(in[i]) : 0u;
        ASSERT_EQ(std::make_pair(FloatBits(out[i]), FloatBits(inPlace[i])), std::make_pair(want, want)) << ProcessPathName(path) << " at " << i;
      }
      ASSERT_EQ(out[frames], 9.0f) << "written past the end";
    }
}

// Different curves on the two records, a fade-in, then new sets (and a bypass) every few blocks,
// so ramps start and end inside the stream; blocks of many lengths, including ones shorter than
// the wavefront is deep.
TEST(ProcessPathsTest, RampsUnequalRecordsAndBlockLengths) {
  for (int32_t announced : {512, 480, 64, 1, 15}) {
    Stream s;
    s.announced = announced;
    s.records[0] = Curve(1, -3.0f), s.records[1] = Curve(2, 4.5f);
    s.signal = NoiseSignal(0.7f, 3);
    s.blocks = {announced, 1, 2, 13, 14, 15, 16, 17, 29, 100, announced, 511, 512, 1024, 3, announced};
    s.beforeBlock = [](EngineStream& e, int block) {
      if (block % 4 != 3) return;
      GEQ15ChannelParam records[kChannelRecords] = {Curve(10 + block, block * 1.5f - 9.0f), e.filter()->param[1]};
      records[1].gain = -records[1].gain;
      records[1].bypass = block == 7;
      GEQ15_SetParams(&e.ctx, records);
    };
    ExpectEveryPathMatches(s, "announced block " + std::to_string(announced));
  }
}

// Every rate at the extremes of the range, the top band near half the rate going the other way
// on channel 2; then infinity, NaN and an input that overflows inside the sections.
TEST(ProcessPathsTest, EveryRateExtremeCurvesAndNonFiniteInput) {
  for (int32_t rate : {44100, 96000, 192000}) {
    for (float db : {-12.0f, 12.0f, 0.0f}) {
      Stream s;
      s.rate = rate;
      for (GEQ15ChannelParam& r : s.records) r = EngineStream::Flat(db, db);
      s.records[1].bands[14] = -db;
      s.signal = NoiseSignal(1.0f, 4);
      s.blocks.assign(6, 512);
      ExpectEveryPathMatches(s, std::to_string(rate) + " Hz at " + std::to_string(db) + " dB");
    }
  }
  Stream s;
  s.records[0] = Curve(7, 0.0f), s.records[1] = Curve(8, 0.0f);
  s.signal = [](int c, int64_t k) -> float {
    if (c == 0 && k == 700) return std::numeric_limits<float>::infinity();
    if (c == 1 && k == 1500) return std::numeric_limits<float>::quiet_NaN();
    return k == 1600 ? 3.0e38f : 0.25f;
  };
  s.blocks.assign(5, 512);
  ExpectEveryPathMatches(s, "infinity and NaN input");
}

// Loud audio, then silence while boosted bands ring at rounding level, then input at and below
// the flush threshold: no value between zero and 2^-64 may ever appear in an output, nor in a
// history during the silence, and the silence must end in exact zeros.
TEST(ProcessPathsTest, TinyValuesBecomeExactZerosAlike) {
  Stream s;
  s.records[0] = Curve(5, 0.0f), s.records[1] = Curve(6, 12.0f);
  const float tiny = std::ldexp(1.0f, -64);
  constexpr int kSilentUntil = 390 * 512;
  s.signal = [tiny](int c, int64_t k) -> float {
    if (k < 2048) return (k % 7 == 0 ? 0.9f : -0.4f) * (c ? -1.0f : 1.0f);
    if (k < kSilentUntil) return 0.0f;
    const float tail[] = {tiny, -std::nextafter(tiny, 0.0f), std::numeric_limits<float>::denorm_min(),
                          std::ldexp(1.0f, -70), tiny * 3.0f, 0.0f};
    return tail[k % 6];
  };
  s.blocks.assign(400, 512);
  const Trace ref = ExpectEveryPathMatches(s, "decay to silence and tiny input");
  auto flushed = [tiny](float v) { return v == 0.0f || std::fabs(v) >= tiny; };
  for (size_t k = 0; k < ref.out.size(); ++k) ASSERT_TRUE(flushed(ref.out[k])) << "output " << k;
  const size_t silentBlocks = kSilentUntil / 512;
  for (size_t b = 0; b < silentBlocks; ++b)
    for (int c = 0; c < 2; ++c)
      for (int i = kX1; i < kPeakIn; ++i) {
        const float h = ref.states[(b * 2 + c) * 64 + i];
        ASSERT_TRUE(flushed(h) && (b + 1 < silentBlocks || FloatBits(h) == 0u))
            << "block " << b << " channel " << c + 1 << " history " << i << " = " << h;
      }
}

// Absurd loaded output gains put products below the smallest normal float, where the host's own
// processing would slow down: they reach it as zeros of their sign, on every path alike. Channel
// 2's flat bands pass inputs just above the smallest band output kept (2^-64); its gain lies just
// below the one that keeps every output normal (2^-62.5 against 2^-62), then ramps up past it
// (to 2^-55), so a block that starts below and ends above it is cleaned too.
TEST(ProcessPathsTest, SubnormalOutputsBecomeZerosAlike) {
  Stream s;
  s.records[0] = Curve(11, -720.0f);
  s.records[1].gain = -376.3f;
  const std::function<float(int, int64_t)> noise = NoiseSignal(0.5f, 5);
  s.signal = [noise](int c, int64_t k) { return c == 0 ? noise(c, k) : std::ldexp(1.0f + (k % 7) / 8.0f, -64); };
  s.beforeBlock = [](EngineStream& e, int block) {
    GEQ15ChannelParam records[kChannelRecords] = {e.filter()->param[0], e.filter()->param[1]};
    records[1].gain = -331.1f;
    if (block == 2) GEQ15_SetParams(&e.ctx, records);
  };
  s.blocks.assign(4, 512);
  const Trace ref = ExpectEveryPathMatches(s, "output gains of -720 and -376.3 dB");
  int zeros = 0, negativeZeros = 0;
  for (size_t k = 0; k < ref.out.size(); ++k) {
    ASSERT_TRUE(ref.out[k] == 0.0f || std::fabs(ref.out[k]) >= std::numeric_limits<float>::min()) << "output " << k;
    zeros += ref.out[k] == 0.0f;
    negativeZeros += ref.out[k] == 0.0f && std::signbit(ref.out[k]);
  }
  EXPECT_GT(zeros, 100) << "the gains must put some products below the normal range";
  EXPECT_GT(negativeZeros, 10) << "a negative product flushed keeps its sign";
}

// One channel only (a mono render) and a host that hands the same or overlapping buffers for
// both channels are processed channel after channel by every path, as the reference defines.
TEST(ProcessPathsTest, MonoAndSharedBufferFollowTheReference) {
  Stream s;
  s.announced = 256;
  s.records[0] = Curve(9, 1.0f), s.records[1] = Curve(10, -2.0f);
  s.signal = NoiseSignal(0.5f, 11);
  s.blocks = {256, 256, 256, 156};
  s.rightBuffer = [](int block, float* left, float*) { return block < 2 ? nullptr : block == 2 ? left : left + 100; };
  ExpectEveryPathMatches(s, "mono, then one buffer for both channels, then overlapping ones");
}

}  // namespace
