// Every vector path of block processing against the per-sample reference: output samples,
// filter histories, gains and held peaks, and published meters must match to the bit, over
// streams that exercise ramps, unequal channel records, short and odd block lengths, the
// flushing of tiny values and non-finite input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <cstdio>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/process_paths.h"
#include "tests/engine/stream_fixture.h"

namespace {

// Bits, except that any NaN equals any NaN: a NaN's payload depends on operand order, which
// neither the language nor the reference fixes.
bool SameSample(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return FloatBits(a) == FloatBits(b);
}

std::vector<int32_t> VectorPaths() {
  std::vector<int32_t> paths;
  for (int32_t p = kProcessPathReference + 1; p < kProcessPathCount; ++p)
    if (ProcessPath_Supported(p)) paths.push_back(p);
  return paths;
}

class PathGuard {
 public:
  explicit PathGuard(int32_t path) { EXPECT_EQ(ProcessPath_Select(path), 0) << ProcessPath_Name(path); }
  ~PathGuard() { ProcessPath_Select(kProcessPathAuto); }
};

// What a stream leaves behind: every output sample of both channels, the final channel states
// and every meter snapshot the stream published.
struct Trace {
  std::vector<float> out[2];
  std::vector<float> states;
  std::vector<float> meters;
};

struct Stream {
  int32_t rate = 48000;
  int32_t announced = 512;
  std::vector<int32_t> blocks;                      // frames of each host buffer
  std::function<float(int c, int64_t k)> signal;    // input sample k of channel c
  std::function<void(EngineStream&, int block)> beforeBlock = [](EngineStream&, int) {};
  GEQ15ChannelParam records[2] = {};
};

Trace RunStream(int32_t path, const Stream& stream) {
  PathGuard guard(path);
  EngineStream s;
  s.filter()->param[0] = stream.records[0];
  s.filter()->param[1] = stream.records[1];
  s.Start(stream.rate, stream.announced);
  Trace trace;
  int64_t k0 = 0;
  for (size_t b = 0; b < stream.blocks.size(); ++b) {
    stream.beforeBlock(s, static_cast<int>(b));
    const int32_t frames = stream.blocks[b];
    std::vector<float> ch[2];
    for (int c = 0; c < 2; ++c) {
      ch[c].resize(static_cast<size_t>(frames));
      for (int32_t k = 0; k < frames; ++k) ch[c][k] = stream.signal(c, k0 + k);
    }
    s.RunBlock(ch[0].data(), ch[1].data(), frames);
    for (int c = 0; c < 2; ++c) trace.out[c].insert(trace.out[c].end(), ch[c].begin(), ch[c].end());
    MeterSnapshot m{};
    if (GEQ15_ReadMeters(s.filter(), &m) == 0) trace.meters.insert(trace.meters.end(), m.peak, m.peak + 16);
    k0 += frames;
  }
  for (int c = 0; c < 2; ++c)
    trace.states.insert(trace.states.end(), s.filter()->state[c].v, s.filter()->state[c].v + 64);
  return trace;
}

void ExpectSameTrace(const Trace& ref, const Trace& got, const std::string& what) {
  for (int c = 0; c < 2; ++c) {
    ASSERT_EQ(ref.out[c].size(), got.out[c].size()) << what;
    for (size_t k = 0; k < ref.out[c].size(); ++k)
      ASSERT_TRUE(SameSample(ref.out[c][k], got.out[c][k]))
          << what << ": channel " << c + 1 << " sample " << k << ": reference " << ref.out[c][k] << " (0x"
          << std::hex << FloatBits(ref.out[c][k]) << "), got " << got.out[c][k] << " (0x" << FloatBits(got.out[c][k])
          << ")";
  }
  ASSERT_EQ(ref.states.size(), got.states.size());
  for (size_t i = 0; i < ref.states.size(); ++i)
    ASSERT_TRUE(SameSample(ref.states[i], got.states[i]))
        << what << ": channel " << i / 64 + 1 << " state word " << i % 64 << ": " << ref.states[i] << " vs "
        << got.states[i];
  ASSERT_EQ(ref.meters.size(), got.meters.size()) << what;
  for (size_t i = 0; i < ref.meters.size(); ++i)
    ASSERT_TRUE(SameSample(ref.meters[i], got.meters[i])) << what << ": meter value " << i;
}

void ExpectEveryPathMatches(const Stream& stream, const std::string& what) {
  const Trace ref = RunStream(kProcessPathReference, stream);
  for (int32_t path : VectorPaths()) {
    SCOPED_TRACE(std::string("path ") + ProcessPath_Name(path));
    ExpectSameTrace(ref, RunStream(path, stream), what);
  }
}

GEQ15ChannelParam Curve(uint32_t seed, float gainDb) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> db(-12.0f, 12.0f);
  GEQ15ChannelParam p{};
  for (float& g : p.bands) g = db(rng);
  p.gain = gainDb;
  return p;
}

std::function<float(int, int64_t)> Noise(float amplitude, uint32_t seed) {
  auto table = std::make_shared<std::vector<float>>(1 << 16);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-amplitude, amplitude);
  for (float& x : *table) x = dist(rng);
  return [table](int c, int64_t k) { return (*table)[static_cast<size_t>(k * 2 + c) & 0xFFFF]; };
}

TEST(ProcessPathsTest, SelectionAndNames) {
  std::string exercised;
  for (int32_t p : VectorPaths()) exercised += std::string(" ") + ProcessPath_Name(p);
  std::printf("vector paths exercised on this processor:%s (automatic choice: %s)\n", exercised.c_str(),
              ProcessPath_Name(ProcessPath_Current()));
  EXPECT_FALSE(VectorPaths().empty()) << "every x86 build has at least the SSE2 path";

  EXPECT_TRUE(ProcessPath_Supported(kProcessPathReference));
  EXPECT_EQ(ProcessPath_Select(kProcessPathCount), -1);
  EXPECT_EQ(ProcessPath_Select(-7), -1);
  EXPECT_EQ(ProcessPath_Select(kProcessPathReference), 0);
  EXPECT_EQ(ProcessPath_Current(), kProcessPathReference);
  EXPECT_EQ(ProcessPath_Select(kProcessPathCount), -1);
  EXPECT_EQ(ProcessPath_Current(), kProcessPathReference) << "a refused choice keeps the earlier one";
  EXPECT_EQ(ProcessPath_Select(kProcessPathAuto), 0);
  EXPECT_NE(ProcessPath_Current(), kProcessPathAuto) << "auto resolves to a real path";
  EXPECT_TRUE(ProcessPath_Supported(ProcessPath_Current()));
  EXPECT_STREQ(ProcessPath_Name(kProcessPathSse2), "sse2");
}

// Different curves on the two records, a fade-in, then new sets (and a bypass) every few
// blocks, so ramps start and end inside the stream; blocks of many lengths, including ones
// shorter than the wavefront is deep.
TEST(ProcessPathsTest, RampsUnequalRecordsAndBlockLengths) {
  for (int32_t announced : {512, 480, 64, 1, 15}) {
    Stream s;
    s.announced = announced;
    s.records[0] = Curve(1, -3.0f);
    s.records[1] = Curve(2, 4.5f);
    s.signal = Noise(0.7f, 3);
    for (int32_t frames : {announced, 1, 2, 13, 14, 15, 16, 17, 29, 100, announced, 511, 512, 1024, 3, announced})
      s.blocks.push_back(frames);
    s.beforeBlock = [](EngineStream& e, int block) {
      if (block % 4 != 3) return;
      GEQ15Filter* f = e.filter();
      f->param[0] = Curve(10 + block, block * 1.5f - 9.0f);
      f->param[1].gain = -f->param[1].gain;
      f->param[1].bypass = block == 7;
      GEQ15_PublishParams(&e.ctx);
    };
    ExpectEveryPathMatches(s, "announced block " + std::to_string(announced));
  }
}

TEST(ProcessPathsTest, EveryRateAndExtremeCurves) {
  for (int32_t rate : {44100, 96000, 192000}) {
    for (float db : {-12.0f, 12.0f, 0.0f}) {
      Stream s;
      s.rate = rate;
      for (auto& r : s.records) {
        for (float& g : r.bands) g = db;
        r.gain = db;
      }
      s.records[1].bands[14] = -db;  // the top band near half the rate, the other way
      s.signal = Noise(1.0f, 4);
      s.blocks.assign(6, 512);
      ExpectEveryPathMatches(s, std::to_string(rate) + " Hz at " + std::to_string(db) + " dB");
    }
  }
}

// Loud audio then silence: the histories decay through the flush threshold to exact zeros,
// and the held peaks decay through theirs. Input near 2^-64 and denormal input too.
TEST(ProcessPathsTest, TinyValuesFlushAlike) {
  Stream s;
  s.records[0] = Curve(5, 0.0f);
  s.records[1] = Curve(6, 12.0f);
  const float tiny = std::ldexp(1.0f, -64);
  s.signal = [tiny](int c, int64_t k) -> float {
    if (k < 2048) return (k % 7 == 0 ? 0.9f : -0.4f) * (c ? -1.0f : 1.0f);
    if (k < 200000) return 0.0f;
    switch (k % 5) {
      case 0: return tiny;
      case 1: return -std::nextafter(tiny, 0.0f);
      case 2: return std::numeric_limits<float>::denorm_min();
      case 3: return tiny * 3.0f;
      default: return 0.0f;
    }
  };
  s.blocks.assign(400, 512);
  ExpectEveryPathMatches(s, "decay to silence and tiny input");
  // The reference itself really flushed: after the silence every history is an exact zero.
  Stream silent = s;
  silent.blocks.assign(390, 512);
  const Trace ref = RunStream(kProcessPathReference, silent);
  for (int c = 0; c < 2; ++c)
    for (int i = channel_state::kX1; i < channel_state::kPeakIn; ++i)
      EXPECT_EQ(FloatBits(ref.states[c * 64 + i]), 0u) << "channel " << c + 1 << " word " << i;
}

TEST(ProcessPathsTest, NonFiniteInputAlike) {
  Stream s;
  s.records[0] = Curve(7, 0.0f);
  s.records[1] = Curve(8, 0.0f);
  const float inf = std::numeric_limits<float>::infinity();
  s.signal = [inf](int c, int64_t k) -> float {
    if (c == 0 && k == 700) return inf;
    if (c == 1 && k == 1500) return std::numeric_limits<float>::quiet_NaN();
    if (k == 1600) return 3.0e38f;  // overflows to infinity in the sections
    return 0.25f;
  };
  s.blocks.assign(5, 512);
  ExpectEveryPathMatches(s, "infinity and NaN input");
}

// One channel only (a mono render) and a host that hands the same buffer for both channels
// are processed channel after channel by every path, as the reference defines.
TEST(ProcessPathsTest, MonoAndSharedBufferFollowTheReference) {
  for (int32_t path : VectorPaths()) {
    SCOPED_TRACE(ProcessPath_Name(path));
    std::vector<float> results[2];
    for (int32_t chosen : {static_cast<int32_t>(kProcessPathReference), path}) {
      PathGuard guard(chosen);
      EngineStream e;
      e.filter()->param[0] = Curve(9, 1.0f);
      e.filter()->param[1] = Curve(10, -2.0f);
      e.Start(48000, 256);
      auto signal = Noise(0.5f, 11);
      std::vector<float>& out = results[chosen == path];
      for (int b = 0; b < 4; ++b) {
        std::vector<float> shared(256);
        for (int k = 0; k < 256; ++k) shared[k] = signal(0, b * 256 + k);
        e.ctx.channelBlock.count = b < 2 ? 1 : 2;
        BlockCycle_Begin(&e.ctx.process, &e.ctx.coefExchange);
        e.ctx.channelBlock.samples[0] = shared.data();
        e.ctx.channelBlock.samples[1] = b < 2 ? nullptr : shared.data() + (b == 2 ? 0 : 100);  // same or overlapping
        e.ctx.channelBlock.frames = b == 3 ? 156 : 256;
        BlockCycle_Finish(&e.ctx.process, e.filter(), e.ctx.channelBlock.frames);
        out.insert(out.end(), shared.begin(), shared.end());
      }
    }
    ASSERT_EQ(results[0].size(), results[1].size());
    for (size_t k = 0; k < results[0].size(); ++k)
      ASSERT_EQ(FloatBits(results[0][k]), FloatBits(results[1][k])) << "sample " << k;
  }
}

}  // namespace
