// Runs on the host's audio thread: no allocation, no lock, no system call, no filter design
// outside the start command. Nothing in the host's record is trusted before it is checked.
#include "host/insert_callback.h"

#include <atomic>
#include <cstring>

namespace {

std::atomic<RestartPoster> g_restartPoster{nullptr};

// Used when the host announces a block size below 1: the filter's configuration falls back to
// the same value, and the ramp and meter timing divide by it.
constexpr int32_t kFallbackBlockSize = 256;

// The host may hand the same buffer for input and output; then there is nothing to copy.
// A channel with a missing buffer is skipped rather than dereferenced.
void CopyChannelThrough(const HostAudioBuffer* buffer, int32_t channel, int32_t frames) {
  const float* in = buffer->readPtr[channel];
  float* out = buffer->writePtr[channel];
  if (in == nullptr || out == nullptr || in == out) return;
  std::memmove(out, in, static_cast<size_t>(frames) * sizeof(float));
}

int32_t StartStream(EngineContext* engine, const HostAudioBuffer* buffer) {
  const int32_t blockSize = buffer->frameCount >= 1 ? buffer->frameCount : kFallbackBlockSize;
  return GEQ15_StartStream(engine, buffer->rate, blockSize);
}

// Equalizes the selected bus's first two channels when they exist and copies every other
// channel through. Each call's own frame count drives the copies, the processing and the ramp
// and meter counting, so a short buffer is never read or written past its end.
int32_t ProcessBuffer(EngineContext* engine, const HostAudioBuffer* buffer) {
  if (engine->started.load(std::memory_order_acquire) == 0) return 0;
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

  if (equalize) {
    ProcessContext* process = &engine->process;
    BlockCycle_Begin(process, &engine->coefExchange);
    for (int32_t i = 0; i < 2; ++i) {
      engine->channelBlock.samples[i] = buffer->writePtr[eq + i];
      CopyChannelThrough(buffer, eq + i, frames);
    }
    engine->channelBlock.frames = frames;
    BlockCycle_Finish(process, engine->filter, frames);
  }
  for (int32_t j = 0; j < channelTotal; ++j) {
    if (equalize && (j == eq || j == eq + 1)) continue;
    CopyChannelThrough(buffer, j, frames);
  }
  return 0;
}

}  // namespace

void InsertCallback_SetRestartPoster(RestartPoster poster) {
  g_restartPoster.store(poster, std::memory_order_release);
}

int32_t ORLUNE_CALL InsertCallback(void* user, int32_t command, HostAudioBuffer* buffer, int32_t /*reserved*/) {
  InsertContext* ctx = static_cast<InsertContext*>(user);
  if (ctx == nullptr) return 0;
  switch (command) {
    case kHostCommandStart:
      return buffer != nullptr ? StartStream(&ctx->engine, buffer) : -2;
    case kHostCommandRestart: {
      RestartPoster poster = g_restartPoster.load(std::memory_order_acquire);
      if (poster != nullptr) poster(ctx->hwnd);
      return 0;
    }
    case kHostCommandBuffer:
      return buffer != nullptr ? ProcessBuffer(&ctx->engine, buffer) : 0;
    default:
      return 0;
  }
}
