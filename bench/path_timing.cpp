// geq15_timing: the engine's speed on every processing path and the insert callback's share of a
// core, in one small program that builds natively and for 32-bit Windows alike, so the program
// users run (i686, under Wine, which runs its code straight on the processor) is measured the
// same way as the 64-bit build. Google Benchmark is not available for the cross build.
//
// Shapes as in the Google Benchmark programs: 2 channels x 512 frames at 48 kHz through the
// block cycle (steady, no ramp); the callback on a 64-channel host record. Each figure is the
// fastest of many rounds of wall time, which on a shared machine is the run least disturbed by
// the others. Output, one figure a line:
//   path NAME NS_PER_CHANNEL_SAMPLE
//   callback64 PERCENT_OF_ONE_CORE
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/geq15.h"
#include "engine/process_paths.h"
#include "host/insert_callback.h"

namespace {

constexpr int kRate = 48000;
constexpr int kFrames = 512;
constexpr int kRounds = 300;
constexpr int kBlocksPerRound = 64;

std::vector<float> Noise(size_t count, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
  std::vector<float> v(count);
  for (float& x : v) x = dist(rng);
  return v;
}

void TypicalCurve(EngineContext* engine) {
  GEQ15ChannelParam records[kChannelRecords] = {};
  for (GEQ15ChannelParam& record : records) {
    for (int i = 0; i < kBandCount; ++i) record.bands[i] = static_cast<float>((i % 5) * 3 - 6);
    record.gain = -3.0f;
  }
  GEQ15_SetParams(engine, records);
}

// Nanoseconds per call of `work`: the fastest round.
template <typename Work>
double FastestNs(Work work) {
  using Clock = std::chrono::steady_clock;
  double best = 1e300;
  for (int round = 0; round < kRounds; ++round) {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kBlocksPerRound; ++i) work();
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kBlocksPerRound;
    best = std::min(best, ns);
  }
  return best;
}

double PathNsPerSample(int32_t path) {
  SelectProcessPath(path);
  auto ctx = std::make_unique<EngineContext>();
  GEQ15_Create(ctx.get());
  TypicalCurve(ctx.get());
  GEQ15_StartStream(ctx.get(), kRate, kFrames);
  const std::vector<float> input = Noise(2 * kFrames, 11);
  std::vector<float> output(2 * kFrames);
  const double ns = FastestNs([&] {
    std::memcpy(output.data(), input.data(), 2 * kFrames * sizeof(float));
    GEQ15_ProcessBlock(ctx.get(), &output[0], &output[kFrames], kFrames);
  });
  GEQ15_Destroy(ctx.get());
  SelectProcessPath(kProcessPathAuto);
  return ns / (2 * kFrames);
}

// The whole callback on 64 channels with separate input and output buffers, as a mixer hands them.
double CallbackPercent() {
  constexpr int kChannels = 64;
  const std::vector<float> input = Noise(kChannels * kFrames, 5);
  std::vector<float> output(kChannels * kFrames);
  auto buffer = std::make_unique<HostAudioBuffer>();
  buffer->rate = kRate;
  buffer->frameCount = kFrames;
  buffer->channelTotal = kChannels;
  for (int j = 0; j < kChannels; ++j) {
    buffer->readPtr[j] = const_cast<float*>(&input[j * kFrames]);
    buffer->writePtr[j] = &output[j * kFrames];
  }
  auto engine = std::make_unique<EngineContext>();
  InsertLink link{engine.get(), nullptr, nullptr};
  GEQ15_Create(engine.get());
  TypicalCurve(engine.get());
  InsertCallback(&link, kHostCommandStart, buffer.get(), 0);
  const double ns = FastestNs([&] { InsertCallback(&link, kHostCommandBuffer, buffer.get(), 0); });
  GEQ15_Destroy(engine.get());
  return ns / (1e9 * kFrames / kRate) * 100.0;
}

}  // namespace

int main() {
  for (int32_t path = kProcessPathReference; path < kProcessPathCount; ++path)
    if (IsProcessPathSupported(path)) std::printf("path %s %.2f\n", ProcessPathName(path), PathNsPerSample(path));
  std::printf("callback64 %.4f\n", CallbackPercent());
  return 0;
}
