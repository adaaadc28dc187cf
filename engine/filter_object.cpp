// The equalizer object's life: creation with its exchanges, the settings and their publication,
// the stream start, destruction.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/geq15.h"

namespace {

constexpr float kMeterPeriodMs = 20.0f;

void ClearCoefExchange(CoefficientExchange* ex) {
  ex->storage = nullptr;
  ex->base = nullptr;
  for (auto& word : ex->ready) word.store(0, std::memory_order_relaxed);
  ex->writeIndex.store(0, std::memory_order_relaxed);
  ex->readIndex.store(0, std::memory_order_relaxed);
}

// The writer of the coefficient exchange. Each set is labelled with the stream generation read
// before the rate it is designed for; the start stores the rate before the generation, so a set
// whose label is still current was designed for the current rate. A start and a publication may
// overlap. Each stores first (the start its generation, the writer its set) and then, behind a
// sequentially consistent fence, looks at the other's word, so at least one of them sees the
// other: either the start takes the set and redesigns it from its records, or the writer sees the
// new generation and publishes again for it. Neither waits; the writer goes round only while
// starts keep overtaking it, and the audio thread passes over a set labelled for another stream.
int32_t GEQ15_PublishParams(EngineContext* ctx) {
  CoefficientExchange* ex = &ctx->coefExchange;
  int32_t result = 0;
  for (;;) {
    const uint32_t generation = ctx->streamGeneration.load(std::memory_order_acquire);
    const int32_t rate = ctx->designRate.load(std::memory_order_relaxed);
    const int32_t slot = CoefExchange_BeginWrite(ex);
    if (slot < 0) return 0;
    PublishedSet* set = &ex->base[slot];
    std::memcpy(set->records, ctx->filter->param, sizeof set->records);
    set->generation = generation;
    // Before the first start there is no rate to design for: the records travel alone and the
    // start designs them.
    result = generation != 0 ? GEQ15_Design(set->records, rate, &set->coefs) : 0;
    CoefExchange_EndWrite(ex, slot);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (ctx->streamGeneration.load(std::memory_order_relaxed) == generation) return result;
  }
}

}  // namespace

int32_t GEQ15_Create(EngineContext* ctx) {
  if (!ctx) return -1;
  // calloc gives the zero-filled object; the placement new only starts the atomics' lifetime.
  void* memory = std::calloc(1, sizeof(GEQ15Filter));
  GEQ15Filter* filter = memory ? new (memory) GEQ15Filter : nullptr;
  if (filter) {
    MeterExchange_Init(&filter->meters);
    const GEQ15ChannelParam defaults{};
    for (GEQ15ChannelParam& record : filter->param) record = defaults;
  }
  ctx->filter = filter;
  if (!filter) return -1;

  std::memset(&ctx->process, 0, sizeof ctx->process);
  std::memset(&ctx->channelBlock, 0, sizeof ctx->channelBlock);
  ctx->started = 0;
  ctx->bus.store(0, std::memory_order_relaxed);
  ctx->streamGeneration.store(0, std::memory_order_relaxed);
  ctx->designRate.store(0, std::memory_order_relaxed);
  ClearCoefExchange(&ctx->coefExchange);
  std::memset(&ctx->meterReadout, 0, sizeof ctx->meterReadout);
  // A missing exchange is not fatal: every user tests its base for null. Its zero-filled slots
  // hold the default records, which a first start with nothing published designs.
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

int32_t GEQ15_SetParams(EngineContext* ctx, const GEQ15ChannelParam records[kChannelRecords]) {
  if (!ctx || !ctx->filter || !records) return 0;
  std::memcpy(ctx->filter->param, records, sizeof ctx->filter->param);
  return GEQ15_PublishParams(ctx);
}

int32_t GEQ15_ResetParams(EngineContext* ctx) {
  const GEQ15ChannelParam defaults[kChannelRecords] = {};
  return GEQ15_SetParams(ctx, defaults);
}

void GEQ15_SetBus(EngineContext* ctx, int32_t bus) {
  if (ctx) ctx->bus.store(bus, std::memory_order_release);
}

int32_t GEQ15_StartStream(EngineContext* ctx, int32_t rate, int32_t blockSize, StreamFade fade) {
  if (!ctx || !ctx->filter) return -2;
  GEQ15Filter* filter = ctx->filter;
  // An unsupported rate is refused here and the filter keeps its previous configuration, while
  // the timing below follows the host's new rate.
  GEQ15_Configure(filter, rate, blockSize);
  if (!ctx->coefExchange.base) return -2;

  // A new stream: every set designed before this point was designed for an earlier one. The
  // generation skips 0, which labels records published before any stream.
  uint32_t generation = ctx->streamGeneration.load(std::memory_order_relaxed) + 1;
  if (generation == 0) generation = 1;
  const bool configured = (filter->flags.load(std::memory_order_relaxed) & kFlagConfigured) != 0;
  const int32_t designRate = configured ? filter->sampleRate : 0;
  ctx->designRate.store(designRate, std::memory_order_relaxed);
  ctx->streamGeneration.store(generation, std::memory_order_release);
  std::atomic_thread_fence(std::memory_order_seq_cst);

  PublishedSet* held = CoefExchange_CatchUp(&ctx->coefExchange);
  GEQ15_Design(held->records, designRate, &held->coefs);
  held->generation = generation;

  ProcessContext_Init(&ctx->process, rate, blockSize, kMeterPeriodMs);
  ctx->process.generation = generation;
  ctx->process.startAtTarget = fade == kStreamAtTarget;
  ctx->process.block = &ctx->channelBlock;
  ctx->channelBlock.count = 2;
  ctx->channelBlock.frames = blockSize;
  ctx->started = 1;
  return 0;
}
