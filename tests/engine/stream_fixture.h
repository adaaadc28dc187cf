// An engine driven as the application drives it, without the host.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "engine/geq15.h"

// A record with these band gains (from band 1 on; the rest 0 dB) and output gain.
inline GEQ15ChannelParam Param(const std::vector<float>& bands, float gainDb = 0.0f, int32_t bypass = 0) {
  GEQ15ChannelParam p{bypass, {}, gainDb};
  std::copy(bands.begin(), bands.end(), p.bands);
  return p;
}

struct EngineStream {
  EngineStream() { EXPECT_EQ(GEQ15_Create(&ctx), 0); }
  ~EngineStream() { GEQ15_Destroy(&ctx); }
  GEQ15Filter* filter() { return ctx.filter; }
  ProcessContext& process() { return ctx.process; }
  CoefficientExchange& exchange() { return ctx.coefExchange; }
  void Start(int32_t rate, int32_t blockSize) { EXPECT_EQ(GEQ15_StartStream(&ctx, rate, blockSize), 0); }
  // Sets records 1 and 2 alike, the way the panel does.
  int32_t SetAll(float bandDb, float gainDb, int32_t bypass = 0) {
    const GEQ15ChannelParam p = Flat(bandDb, gainDb, bypass), records[kChannelRecords] = {p, p};
    return GEQ15_SetParams(&ctx, records);
  }
  static GEQ15ChannelParam Flat(float bandDb, float gainDb, int32_t bypass = 0) { return Param(std::vector<float>(kBandCount, bandDb), gainDb, bypass); }
  // Whether the set in use is the design of SetAll(bandDb, gainDb) for `rate`.
  bool Plays(float bandDb, float gainDb, int32_t rate) {
    const GEQ15ChannelParam p = Flat(bandDb, gainDb), pair[2] = {p, p};
    CoefficientSet want;
    return GEQ15_Design(pair, rate, &want) == 0 && ctx.process.coefs &&
           std::memcmp(ctx.process.coefs->channel, want.channel, 2 * sizeof want.channel[0]) == 0;
  }
  // One host buffer through the engine, both channels in place.
  void RunBlock(float* left, float* right, int32_t frames) { GEQ15_ProcessBlock(&ctx, left, right, frames); }
  // The same signal on both channels; returns channel 1's output.
  std::vector<float> Run(std::vector<float> signal) {
    std::vector<float> other = signal;
    RunBlock(signal.data(), other.data(), static_cast<int32_t>(signal.size()));
    return signal;
  }
  EngineContext ctx{};
};

inline uint32_t FloatBits(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

inline std::vector<float> Noise(size_t n, uint32_t seed, float amplitude = 1.0f) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-amplitude, amplitude);
  std::vector<float> v(n);
  for (float& x : v) x = dist(rng);
  return v;
}
