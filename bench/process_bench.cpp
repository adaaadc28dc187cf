// GEQ15_Process on the application's real shape: 2 channels x 512 frames at 48 kHz, through the
// block cycle as the callback runs it (including the callback's copy of the input), on each
// processing path the processor offers (the argument: -1 the automatic choice, 0 reference,
// 1 sse2, 2 avx2, 3 avx512). Reported:
// time per sample and the real-time factor (seconds of audio processed per second of CPU).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/geq15.h"
#include "engine/process_paths.h"

namespace {

constexpr int kRate = 48000;
constexpr int kFrames = 512;
constexpr int kChannels = 2;

// A typical curve: every band away from 0 dB, so no section is trivially flat.
GEQ15ChannelParam TypicalRecord(float gainDb) {
  GEQ15ChannelParam record{};
  for (int i = 0; i < kBandCount; ++i) record.bands[i] = static_cast<float>((i % 5) * 3 - 6);
  record.gain = gainDb;
  return record;
}

struct Bench {
  Bench() {
    GEQ15_Create(&ctx);
    Publish(-3.0f);
    GEQ15_StartStream(&ctx, kRate, kFrames);
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
    for (auto& channel : input) {
      channel.resize(kFrames);
      for (float& x : channel) x = dist(rng);
    }
    for (auto& channel : output) channel.resize(kFrames);
  }
  ~Bench() { GEQ15_Destroy(&ctx); }

  void Publish(float gainDb) {
    const GEQ15ChannelParam records[kChannelRecords] = {TypicalRecord(gainDb), TypicalRecord(gainDb)};
    GEQ15_SetParams(&ctx, records);
  }

  // The callback's copy of the input, then the block through the engine.
  void Block() {
    for (int c = 0; c < kChannels; ++c) std::memcpy(output[c].data(), input[c].data(), kFrames * sizeof(float));
    GEQ15_ProcessBlock(&ctx, output[0].data(), output[1].data(), kFrames);
  }

  EngineContext ctx{};
  std::vector<float> input[kChannels], output[kChannels];
};

// Selects the benchmark's path for its run; false (and the benchmark skipped) when unsupported.
bool SelectPath(benchmark::State& state) {
  const int32_t path = static_cast<int32_t>(state.range(0));
  if (SelectProcessPath(path) != 0) {
    state.SkipWithError("this processor does not offer the path");
    return false;
  }
  // The automatic choice is named with the path it resolves to, so a figure says what ran.
  state.SetLabel(path == kProcessPathAuto ? std::string("auto: ") + ProcessPathName(CurrentProcessPath())
                                          : std::string(ProcessPathName(path)));
  return true;
}

void SetCounters(benchmark::State& state) {
  state.counters["per_sample"] = benchmark::Counter(kChannels * kFrames, benchmark::Counter::kIsIterationInvariantRate |
                                                                               benchmark::Counter::kInvert);
  state.counters["realtime_x"] =
      benchmark::Counter(static_cast<double>(kFrames) / kRate, benchmark::Counter::kIsIterationInvariantRate);
}

// No new set: the gain step is zero and only the sections run.
void BM_ProcessSteady(benchmark::State& state) {
  if (!SelectPath(state)) return;
  Bench b;
  for (auto _ : state) {
    b.Block();
    benchmark::DoNotOptimize(b.output[0].data());
    benchmark::ClobberMemory();
  }
  SetCounters(state);
  SelectProcessPath(kProcessPathAuto);
}
BENCHMARK(BM_ProcessSteady)->Arg(kProcessPathAuto)->DenseRange(kProcessPathReference, kProcessPathCount - 1);

// Every block takes a new set with another output gain (the ramp lasts exactly one block), so a
// gain ramp runs through every block. The publication, a design on the user-interface thread,
// is not timed.
void BM_ProcessRamping(benchmark::State& state) {
  if (!SelectPath(state)) return;
  Bench b;
  int which = 0;
  for (auto _ : state) {
    state.PauseTiming();
    b.Publish((which ^= 1) ? 3.0f : -3.0f);
    state.ResumeTiming();
    b.Block();
    benchmark::DoNotOptimize(b.output[0].data());
    benchmark::ClobberMemory();
  }
  SetCounters(state);
  SelectProcessPath(kProcessPathAuto);
}
BENCHMARK(BM_ProcessRamping)->DenseRange(kProcessPathReference, kProcessPathCount - 1);

}  // namespace
