// The equalizer object's life: creation with its exchanges, parameter reset, publication of
// designed sets, destruction.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/geq15.h"

namespace {

constexpr float kGainMinDb = -12.0f;
constexpr float kGainMaxDb = 12.0f;
constexpr float kMeterPeriodMs = 20.0f;
constexpr int kPublishRounds = 4;

void ClearCoefExchange(CoefficientExchange* ex) {
  ex->storage = nullptr;
  ex->base = nullptr;
  for (auto& word : ex->ready) word.store(0, std::memory_order_relaxed);
  ex->writeIndex.store(0, std::memory_order_relaxed);
  ex->readIndex.store(0, std::memory_order_relaxed);
  ex->slotSize = 0;
}

}  // namespace

int32_t GEQ15_Create(EngineContext* ctx) {
  if (!ctx) return -1;
  // calloc gives the zero-filled object; the placement new only starts the atomics' lifetime.
  void* memory = std::calloc(1, sizeof(GEQ15Filter));
  GEQ15Filter* filter = memory ? new (memory) GEQ15Filter : nullptr;
  if (filter) {
    MeterExchange_Init(&filter->meters);
    GEQ15_ResetParams(filter);
  }
  ctx->filter = filter;
  if (!filter) return -1;

  std::memset(&ctx->process, 0, sizeof ctx->process);
  std::memset(&ctx->channelBlock, 0, sizeof ctx->channelBlock);
  ctx->bus.store(0, std::memory_order_relaxed);
  ClearCoefExchange(&ctx->coefExchange);
  std::memset(&ctx->meterReadout, 0, sizeof ctx->meterReadout);
  // A missing exchange is not fatal: every user tests its base for null.
  CoefExchange_Init(&ctx->coefExchange);
  ctx->gainMin = kGainMinDb;
  ctx->gainMax = kGainMaxDb;
  return 0;
}

void GEQ15_Destroy(EngineContext* ctx) {
  if (!ctx) return;
  if (GEQ15Filter* filter = ctx->filter) {
    std::free(filter->meters.storage);
    filter->meters.storage = nullptr;
    filter->meters.base = nullptr;
    filter->~GEQ15Filter();
    std::free(filter);
    ctx->filter = nullptr;
  }
  std::free(ctx->coefExchange.storage);
  ctx->coefExchange.storage = nullptr;
  ctx->coefExchange.base = nullptr;
}

int32_t GEQ15_ResetParams(GEQ15Filter* filter) {
  if (!filter) return 0;
  const GEQ15ChannelParam defaults{};
  for (GEQ15ChannelParam& record : filter->param) record = defaults;
  return 0;
}

// The stream start and a publication run on different threads and may overlap. Each side stores
// first (the start: configuration and started; the writer: the settings, then its set) and then,
// behind a sequentially consistent fence, looks at the other's word. The fences make sure that
// at least one of them sees the other: either the start takes the writer's set and designs from
// its settings, or the writer sees the started stream and the new configuration and publishes a
// set designed for it. Neither waits.
int32_t GEQ15_PublishParams(EngineContext* ctx) {
  if (!ctx || !ctx->filter) return 0;
  std::atomic_thread_fence(std::memory_order_seq_cst);
  // Before the first stream start there is nothing to publish to: the start designs from the
  // records anyway, so no change is lost.
  if (!ctx->started.load(std::memory_order_acquire)) return 0;
  int32_t result = 0;
  // A start may change the rate while a set is being designed; a set for the old rate that the
  // start did not take is replaced at once. Starts are rare, so few rounds ever run.
  for (int round = 0; round < kPublishRounds; ++round) {
    const int32_t rate = ctx->filter->sampleRate.load(std::memory_order_relaxed);
    const int32_t slot = CoefExchange_BeginWrite(&ctx->coefExchange);
    if (slot < 0) return 0;
    result = GEQ15_Design(ctx->filter, &ctx->coefExchange.base[slot]);
    CoefExchange_EndWrite(&ctx->coefExchange, slot);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (ctx->filter->sampleRate.load(std::memory_order_relaxed) == rate) break;
  }
  return result;
}

int32_t GEQ15_StartStream(EngineContext* ctx, int32_t rate, int32_t blockSize) {
  if (!ctx || !ctx->filter) return -2;
  // An unsupported rate is refused here and the filter keeps its previous configuration, while
  // the timing below follows the host's new rate.
  GEQ15_Configure(ctx->filter, rate, blockSize);
  if (!ctx->coefExchange.base) return -2;
  ctx->started.store(1, std::memory_order_release);
  std::atomic_thread_fence(std::memory_order_seq_cst);
  GEQ15_Design(ctx->filter, CoefExchange_CatchUp(&ctx->coefExchange));
  ProcessContext_Init(&ctx->process, rate, blockSize, kMeterPeriodMs);
  ctx->process.block = &ctx->channelBlock;
  ctx->channelBlock.count = 2;
  ctx->channelBlock.frames = blockSize;
  return 0;
}
