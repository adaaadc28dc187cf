// The real-time cost of the insert callback on a 64-channel host record at 48 kHz with blocks of
// 512 frames: the whole callback (two channels equalized, 62 copied through), its copies alone,
// and one plain memcpy of the same bytes, the machine's copy speed to compare them with.
// cpu_percent is the share of one core: time per block over the block's 512 / 48000 s.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "host/insert_callback.h"

namespace {

constexpr int kRate = 48000;
constexpr int kFrames = 512;
constexpr int kChannels = 64;
constexpr size_t kBlockBytes = kFrames * sizeof(float);

void SetCounters(benchmark::State& state) {
  state.counters["cpu_percent"] = benchmark::Counter(static_cast<double>(kFrames) / kRate / 100.0,
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

// A host's record with separate input and output buffers for every channel, as a real mixer
// hands them (so every channel is really copied).
struct HostBlock {
  HostBlock() {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
    input.resize(kChannels * kFrames);
    output.resize(kChannels * kFrames);
    for (float& x : input) x = dist(rng);
    buffer = std::make_unique<HostAudioBuffer>();
    buffer->rate = kRate;
    buffer->frameCount = kFrames;
    buffer->channelTotal = kChannels;
    for (int j = 0; j < kChannels; ++j) {
      buffer->readPtr[j] = &input[j * kFrames];
      buffer->writePtr[j] = &output[j * kFrames];
    }
  }
  std::vector<float> input, output;
  std::unique_ptr<HostAudioBuffer> buffer;
};

void BM_InsertCallback64(benchmark::State& state) {
  HostBlock host;
  auto engine = std::make_unique<EngineContext>();
  InsertLink link{engine.get(), nullptr, nullptr};
  GEQ15_Create(engine.get());
  GEQ15ChannelParam records[kChannelRecords] = {};
  for (GEQ15ChannelParam& record : records)
    for (int i = 0; i < kBandCount; ++i) record.bands[i] = static_cast<float>((i % 5) * 3 - 6);
  GEQ15_SetParams(engine.get(), records);
  InsertCallback(&link, kHostCommandStart, host.buffer.get(), 0);
  for (auto _ : state) {
    InsertCallback(&link, kHostCommandBuffer, host.buffer.get(), 0);
    benchmark::DoNotOptimize(host.output.data());
    benchmark::ClobberMemory();
  }
  SetCounters(state);
  GEQ15_Destroy(engine.get());
}
BENCHMARK(BM_InsertCallback64);

// The callback's copies without the equalizer: a bus the record does not hold makes the
// callback leave every buffer alone, so the copy loop is timed as the callback runs it here.
void BM_CopyThrough62(benchmark::State& state) {
  HostBlock host;
  for (auto _ : state) {
    for (int j = 2; j < kChannels; ++j) std::memmove(host.buffer->writePtr[j], host.buffer->readPtr[j], kBlockBytes);
    benchmark::DoNotOptimize(host.output.data());
    benchmark::ClobberMemory();
  }
  SetCounters(state);
  state.SetBytesProcessed(state.iterations() * 62 * kBlockBytes);
}
BENCHMARK(BM_CopyThrough62);

// The same 62 blocks as one contiguous memcpy: what the memory system does at best.
void BM_MemcpyBaseline62(benchmark::State& state) {
  HostBlock host;
  for (auto _ : state) {
    std::memcpy(&host.output[2 * kFrames], &host.input[2 * kFrames], 62 * kBlockBytes);
    benchmark::DoNotOptimize(host.output.data());
    benchmark::ClobberMemory();
  }
  SetCounters(state);
  state.SetBytesProcessed(state.iterations() * 62 * kBlockBytes);
}
BENCHMARK(BM_MemcpyBaseline62);

}  // namespace
