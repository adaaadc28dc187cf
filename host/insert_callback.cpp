// Runs on the host's audio thread: no allocation, no lock, no system call, no filter design
// outside the start command. Nothing in the host's record is trusted before it is checked.
#include "host/insert_callback.h"

#include <atomic>
#include <cstring>

#include "engine/finite_copy.h"
#include "engine/process_paths.h"

namespace {

// Used when the host announces a block size below 1: the filter's configuration falls back to
// the same value, and the ramp and meter timing divide by it.
constexpr int32_t kFallbackBlockSize = 256;

// The output buffer is ours to write even when the host hands the same buffer as input: a
// non-finite sample it left there is cleaned in place. A channel with a missing buffer is skipped
// rather than dereferenced. Buffers that overlap otherwise are moved first and cleaned in place.
void CopyChannelThrough(const HostAudioBuffer* buffer, int32_t channel, int32_t frames, int32_t path) {
  const float* in = buffer->readPtr[channel];
  float* out = buffer->writePtr[channel];
  if (in == nullptr || out == nullptr) return;
  if (out > in && out < in + frames) {
    std::memmove(out, in, static_cast<size_t>(frames) * sizeof(float));
    in = out;
  }
  CopyFiniteSamples(path, out, in, frames);
}

int32_t StartStream(EngineContext* engine, const HostAudioBuffer* buffer) {
  const int32_t blockSize = buffer->frameCount >= 1 ? buffer->frameCount : kFallbackBlockSize;
  return GEQ15_StartStream(engine, buffer->rate, blockSize);
}

// Equalizes the selected bus's first two channels when they exist and copies every other
// channel through. Each call's own frame count drives the copies, the processing and the ramp
// and meter counting, so a short buffer is never read or written past its end.
int32_t ProcessBuffer(EngineContext* engine, const HostAudioBuffer* buffer) {
  if (engine->started == 0) return 0;
  int32_t channelTotal = buffer->channelTotal;
  const int32_t frames = buffer->frameCount;
  if (channelTotal < 1 || frames < 1) return 0;
  if (channelTotal > kHostMaxChannels) channelTotal = kHostMaxChannels;

  // A host holds eight channels per bus, so the last bus's pair ends exactly at channelTotal.
  const int64_t first = static_cast<int64_t>(engine->bus.load(std::memory_order_relaxed)) * kChannelsPerBus;
  const bool busPresent = first >= 0 && first + 2 <= channelTotal;
  const int32_t eq = busPresent ? static_cast<int32_t>(first) : -1;
  // The pair shares one block cycle and one ramp; processing one channel alone would put the
  // two out of step, so a pair with a missing buffer is copied through instead.
  const bool equalize = busPresent && buffer->readPtr[eq] != nullptr && buffer->writePtr[eq] != nullptr &&
                        buffer->readPtr[eq + 1] != nullptr && buffer->writePtr[eq + 1] != nullptr;

  // A copied channel loses only a non-finite sample, made 0: it has no state for one to linger
  // in, so the host is never handed one. The copies use the block processing's instructions.
  const int32_t path = CurrentProcessPath();
  if (equalize) {
    // The pair's input goes to the filter as it came: processing silences a channel whose
    // block went non-finite and clears its histories.
    for (int32_t i = 0; i < 2; ++i) {
      const float* in = buffer->readPtr[eq + i];
      float* out = buffer->writePtr[eq + i];
      if (in != out) std::memmove(out, in, static_cast<size_t>(frames) * sizeof(float));
    }
    // A filter that never accepted a rate leaves the pair as it came; it is cleaned like a copy
    // then (in place too: the pair's buffers are the equalizer's to write).
    if (GEQ15_ProcessBlock(engine, buffer->writePtr[eq], buffer->writePtr[eq + 1], frames) < 0) {
      for (int32_t i = 0; i < 2; ++i) CopyFiniteSamples(path, buffer->writePtr[eq + i], buffer->writePtr[eq + i], frames);
    }
  }
  for (int32_t j = 0; j < channelTotal; ++j) {
    if (equalize && (j == eq || j == eq + 1)) continue;
    CopyChannelThrough(buffer, j, frames, path);
  }
  return 0;
}

}  // namespace

int32_t ORLUNE_CALL InsertCallback(void* user, int32_t command, HostAudioBuffer* buffer, int32_t /*reserved*/) {
  const InsertLink* link = static_cast<const InsertLink*>(user);
  EngineContext* engine = link != nullptr ? link->engine.load(std::memory_order_acquire) : nullptr;
  if (engine == nullptr) return 0;
  switch (command) {
    case kHostCommandStart:
      return buffer != nullptr ? StartStream(engine, buffer) : -2;
    case kHostCommandRestart:
      if (link->restart != nullptr) link->restart(link->window);
      return 0;
    case kHostCommandBuffer:
      return buffer != nullptr ? ProcessBuffer(engine, buffer) : 0;
    default:
      return 0;
  }
}
