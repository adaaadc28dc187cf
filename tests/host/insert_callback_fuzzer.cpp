// Drives the insert callback with arbitrary host records: commands, rates, channel counts, bus
// indices, frame counts and missing or shared buffers. Every buffer is its own heap allocation
// of exactly the announced length, so AddressSanitizer reports any access beyond it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "host/insert_callback.h"

namespace {

struct Reader {
  const uint8_t* data;
  size_t size;
  template <typename T>
  T Take() {
    T value{};
    const size_t n = size < sizeof(T) ? size : sizeof(T);
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
  }
};

void IgnoreRestart(void*) {}

InsertContext* App() {
  static InsertContext* ctx = [] {
    InsertContext* c = new InsertContext();
    GEQ15_Create(&c->engine);
    c->engine.filter->param[0].g9 = 12.0f;
    c->engine.filter->param[1].gain = -6.0f;
    InsertCallback_SetRestartPoster(IgnoreRestart);
    return c;
  }();
  return ctx;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InsertContext* ctx = App();
  Reader in{data, size};
  const int calls = 1 + in.Take<uint8_t>() % 8;
  for (int call = 0; call < calls && in.size > 0; ++call) {
    const uint8_t op = in.Take<uint8_t>();
    const int32_t command = op < 64 ? kHostCommandStart : op < 200 ? kHostCommandBuffer : static_cast<int32_t>(op) - 200;
    HostAudioBuffer record;
    std::memset(&record, 0, sizeof record);
    record.rate = in.Take<int32_t>();
    record.frameCount = in.Take<int16_t>() % 2049;
    record.channelTotal = in.Take<int32_t>();
    ctx->engine.bus = static_cast<int32_t>(in.Take<int8_t>());
    const uint32_t layout = in.Take<uint32_t>();

    // Only as many channels as the record could name exist; each is present, missing, or
    // shared between input and output, chosen per channel from the layout bits.
    int32_t channels = record.channelTotal < 0 ? 0 : record.channelTotal > kHostMaxChannels ? kHostMaxChannels : record.channelTotal;
    if (channels > 72) channels = 72;  // keeps each run fast; the cap at 128 is covered by the unit tests
    const size_t frames = record.frameCount > 0 ? static_cast<size_t>(record.frameCount) : 0;
    std::vector<std::unique_ptr<float[]>> buffers;
    for (int32_t j = 0; j < channels; ++j) {
      const uint32_t kind = (layout >> ((j % 16) * 2)) & 3u;
      if (kind == 3) continue;  // both pointers missing
      buffers.emplace_back(new float[frames + 0]);
      float* output = buffers.back().get();
      for (size_t i = 0; i < frames; ++i) output[i] = 0.0f;
      record.writePtr[j] = kind == 2 && j % 3 == 0 ? nullptr : output;
      if (kind == 1) {
        record.readPtr[j] = output;
      } else {
        buffers.emplace_back(new float[frames + 0]);
        float* input = buffers.back().get();
        for (size_t i = 0; i < frames; ++i) input[i] = static_cast<float>((i * 37 + j * 11) % 200) * 0.01f - 1.0f;
        record.readPtr[j] = input;
      }
    }
    InsertCallback(ctx, command, &record, 0);
  }
  return 0;
}
