// A stream start as the insert callback performs it, so engine tests drive the engine exactly as
// the application does, without the host.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "engine/geq15.h"

class EngineStream {
 public:
  EngineStream() { EXPECT_EQ(GEQ15_Create(&ctx), 0); }
  ~EngineStream() { GEQ15_Destroy(&ctx); }
  EngineStream(const EngineStream&) = delete;
  EngineStream& operator=(const EngineStream&) = delete;

  GEQ15Filter* filter() { return ctx.filter; }
  ProcessContext& process() { return ctx.process; }
  CoefficientExchange& exchange() { return ctx.coefExchange; }

  void Start(int32_t rate, int32_t blockSize) {
    GEQ15_Configure(ctx.filter, rate, blockSize);
    CoefExchange_Reset(&ctx.coefExchange);
    GEQ15_Design(ctx.filter, &ctx.coefExchange.base[0]);
    ProcessContext_Init(&ctx.process, rate, blockSize, 20.0f);
    ctx.process.block = &ctx.channelBlock;
    ctx.channelBlock.count = 2;
    ctx.channelBlock.frames = blockSize;
    ctx.started.store(1);
  }

  // Sets records 1 and 2 the way the panel does and publishes.
  int32_t SetAll(float bandDb, float gainDb, int32_t bypass = 0) {
    for (GEQ15ChannelParam* p : {&ctx.filter->param[0], &ctx.filter->param[1]}) {
      p->bypass = bypass;
      for (float& g : p->bands) g = bandDb;
      p->gain = gainDb;
    }
    return GEQ15_PublishParams(&ctx);
  }

  // One host buffer through the block cycle, both channels in place.
  void RunBlock(float* left, float* right, int32_t frames) {
    BlockCycle_Begin(&ctx.process, &ctx.coefExchange);
    ctx.channelBlock.samples[0] = left;
    ctx.channelBlock.samples[1] = right;
    ctx.channelBlock.frames = frames;
    BlockCycle_Finish(&ctx.process, ctx.filter, frames);
  }

  // Runs the same signal on both channels; returns channel 1's output.
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
