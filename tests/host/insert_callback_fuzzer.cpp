// Drives the insert callback with arbitrary host records: commands, rates, channel counts, bus
// indices, frame counts, missing or shared buffers, one sample per channel of any value (NaN and
// infinity included). Every buffer is its own exact-size allocation, so AddressSanitizer reports
// any access beyond it; a non-finite sample written to the host stops the run.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "host/insert_callback.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static EngineContext* engine = new EngineContext();  // one engine for the whole run, as in the program
  static InsertLink link{engine, nullptr, nullptr};
  if (engine->filter == nullptr && GEQ15_Create(engine) == 0) engine->filter->param[0].g9 = 12.0f;
  FuzzedDataProvider in(data, size);
  for (int call = in.ConsumeIntegralInRange(1, 8); call > 0 && in.remaining_bytes() > 0; --call) {
    const uint8_t op = in.ConsumeIntegral<uint8_t>();
    const int32_t command = op < 64 ? kHostCommandStart : op < 200 ? kHostCommandBuffer : op - 200;
    HostAudioBuffer record{};
    record.rate = in.ConsumeIntegral<int32_t>(), record.channelTotal = in.ConsumeIntegral<int32_t>();
    record.frameCount = in.ConsumeIntegralInRange(-4, 2048);
    engine->bus = in.ConsumeIntegral<int8_t>();
    const uint32_t layout = in.ConsumeIntegral<uint32_t>();
    const float odd = in.PickValueInArray({0.5f, NAN, INFINITY, -INFINITY, 3.0e38f, 1.0e-40f});
    // Channels the record names (at most 72, for speed), each present, missing, or in place.
    const int32_t channels = std::clamp(record.channelTotal, 0, 72);
    const size_t frames = record.frameCount > 0 ? static_cast<size_t>(record.frameCount) : 0;
    std::vector<std::unique_ptr<float[]>> buffers;
    for (int32_t j = 0; j < channels; ++j) {
      const uint32_t kind = (layout >> ((j % 16) * 2)) & 3u;
      if (kind == 3) continue;  // both pointers missing
      float* output = buffers.emplace_back(new float[frames]()).get();
      float* input = kind == 1 ? output : buffers.emplace_back(new float[frames]).get();
      for (size_t i = 0; i < frames; ++i) input[i] = static_cast<float>((i * 37 + j * 11) % 200) * 0.01f - 1.0f;
      if (frames > 0) input[(j * 7u + layout) % frames] = odd;
      record.readPtr[j] = input;
      record.writePtr[j] = kind == 2 && j % 3 == 0 ? nullptr : output;
    }
    InsertCallback(&link, command, &record, 0);
    // Outputs start finite; one the host shares with its input holds the host's own samples.
    for (int32_t j = 0; j < channels; ++j) {
      const float* out = record.writePtr[j];
      if (out != nullptr && out != record.readPtr[j] && !std::all_of(out, out + frames, [](float v) { return std::isfinite(v); }))
        std::abort();
    }
  }
  return 0;
}
