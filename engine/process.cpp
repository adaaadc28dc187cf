// Block processing on the audio thread: configuration, the per-stream timing of gain ramps and
// meter periods, the block cycle and the fifteen biquad sections per channel. Nothing here
// allocates, locks or designs.
#include <atomic>
#include <cstdint>
#include <cstring>

#include "engine/geq15.h"
#include "engine/process_pair.h"
#include "engine/process_paths.h"

namespace {

constexpr int32_t kDefaultBlockSize = 256;
constexpr float kMeterDecay = 0.93f;
// Histories and decayed peaks below 2^-64 become exact zeros, so the recursive sections and the
// peak decay never run on denormals. 63 is the biased float exponent of 2^-64.
constexpr uint32_t kFlushExponent = 63;
constexpr int kMaxChannels = 2;  // ChannelBlock carries two buffers

float FlushTiny(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return ((bits >> 23) & 0xFFu) < kFlushExponent ? 0.0f : value;
}

// The host's own processing slows down on subnormal samples. A band output is 0 or at least
// 2^-64 in magnitude, so its product with a gain of at least 2^-62 is 0 or a normal float; and
// the gain, never negative but by rounding next to 0, moves monotonically through a block. So
// only a block whose gain starts or ends below that can give a subnormal sample: absurd output
// gains, below -370 dB, and the first block of a fade-in from silence. Those blocks get one more
// pass, which makes such samples zeros of their sign; every other block costs nothing for it.
constexpr float kGainKeepingOutputsNormal = 0x1p-62f;

bool GainKeepsOutputsNormal(float before, float after) {
  return before >= kGainKeepingOutputsNormal && after >= kGainKeepingOutputsNormal;
}

void FlushSubnormalSamples(float* samples, int32_t frames) {
  for (int32_t k = 0; k < frames; ++k) {
    uint32_t bits;
    std::memcpy(&bits, &samples[k], sizeof bits);
    if ((bits & 0x7F800000u) == 0) bits &= 0x80000000u;
    std::memcpy(&samples[k], &bits, sizeof bits);
  }
}

int32_t EffectiveBlockSize(int32_t blockSize) { return blockSize < 1 ? kDefaultBlockSize : blockSize; }

// Smallest whole number of blocks covering `samples`, kept within 32 bits.
int32_t RoundUpToBlocks(int64_t samples, int32_t blockSize) {
  const int64_t rounded = (samples + blockSize - 1) / blockSize * blockSize;
  return rounded > INT32_MAX ? INT32_MAX / blockSize * blockSize : static_cast<int32_t>(rounded);
}

// Working copy of one channel's sections, so the inner loop touches only local data.
struct Sections {
  float b0[kBandCount], a1[kBandCount], b2[kBandCount], na2[kBandCount];
  float x1[kBandCount], x2[kBandCount], y1[kBandCount], y2[kBandCount];
};

void LoadSections(const GEQ15ChannelCoefs& coefs, const ChannelState& state, Sections* s) {
  using namespace channel_state;
  std::memcpy(s->b0, coefs.b0, sizeof s->b0);
  std::memcpy(s->a1, coefs.a1, sizeof s->a1);
  std::memcpy(s->b2, coefs.b2, sizeof s->b2);
  std::memcpy(s->na2, coefs.na2, sizeof s->na2);
  std::memcpy(s->x1, &state.v[kX1], sizeof s->x1);
  std::memcpy(s->x2, &state.v[kX2], sizeof s->x2);
  std::memcpy(s->y1, &state.v[kY1], sizeof s->y1);
  std::memcpy(s->y2, &state.v[kY2], sizeof s->y2);
}

void StoreHistories(const Sections& s, ChannelState* state) {
  using namespace channel_state;
  std::memcpy(&state->v[kX1], s.x1, sizeof s.x1);
  std::memcpy(&state->v[kX2], s.x2, sizeof s.x2);
  std::memcpy(&state->v[kY1], s.y1, sizeof s.y1);
  std::memcpy(&state->v[kY2], s.y2, sizeof s.y2);
}

float Magnitude(float x) { return x < 0.0f ? -x : x; }

// The reference: one channel, sample by sample through the fifteen sections in series. The vector
// paths (process_simd.cpp) must give exactly what this gives. Each section sums in
// double from float operands (b1 equals a1, hence the shared product) and rounds once to float.
void ProcessChannel(float* samples, int32_t frames, Sections* s, float* gain, float step,
                    float* peakIn, float* peakOut) {
  float g = *gain;
  float heldIn = *peakIn, heldOut = *peakOut;
  for (int32_t k = 0; k < frames; ++k) {
    const float x = samples[k];
    if (Magnitude(x) > heldIn) heldIn = Magnitude(x);
    float v = x;
    for (int i = 0; i < kBandCount; ++i) {
      const double sum = static_cast<double>(s->b0[i]) * v +
                         static_cast<double>(s->a1[i]) * (static_cast<double>(s->x1[i]) - s->y1[i]) +
                         static_cast<double>(s->b2[i]) * s->x2[i] +
                         static_cast<double>(s->na2[i]) * s->y2[i];
      const float y = FlushTiny(static_cast<float>(sum));
      s->x2[i] = s->x1[i];
      s->x1[i] = v;
      s->y2[i] = s->y1[i];
      s->y1[i] = y;
      v = y;
    }
    const float out = v * g;
    samples[k] = out;
    if (Magnitude(out) > heldOut) heldOut = Magnitude(out);
    g = g + step;
  }
  *gain = g;
  *peakIn = heldIn;
  *peakOut = heldOut;
}

// Publishes the held peaks when a meter slot is free and then lets them decay; when both slots
// are unread the peaks keep accumulating until a later publication gets through.
void PublishMeters(GEQ15Filter* filter, int32_t channels, float* peakIn, float* peakOut) {
  MeterSnapshot* slot = MeterExchange_BeginWrite(&filter->meters);
  if (!slot) return;
  for (int32_t c = 0; c < channels; ++c) {
    slot->peak[c] = peakIn[c];
    slot->peak[8 + c] = peakOut[c];
    peakIn[c] = FlushTiny(peakIn[c] * kMeterDecay);
    peakOut[c] = FlushTiny(peakOut[c] * kMeterDecay);
  }
  MeterExchange_EndWrite(&filter->meters);
}

std::atomic<int32_t> g_selectedPath{kProcessPathAuto};

int32_t BestPath() {
  if (IsProcessPathSupported(kProcessPathAvx512)) return kProcessPathAvx512;
  if (IsProcessPathSupported(kProcessPathAvx2)) return kProcessPathAvx2;
  if (IsProcessPathSupported(kProcessPathSse2)) return kProcessPathSse2;
  return kProcessPathReference;
}

// The pair runs its channels side by side, so it needs two distinct buffers; a host that hands
// one buffer twice gets the reference, which processes channel 2 after channel 1 in place, so
// the second pass filters the first one's output.
bool BuffersOverlap(const float* a, const float* b, int32_t frames) {
  const auto x = reinterpret_cast<uintptr_t>(a), y = reinterpret_cast<uintptr_t>(b);
  const uintptr_t bytes = static_cast<uintptr_t>(frames) * sizeof(float);
  return x < y + bytes && y < x + bytes;
}

void LoadPair(const CoefficientSet& coefs, const ChannelState state[2], PairSections* p) {
  using namespace channel_state;
  std::memset(p, 0, sizeof *p);
  for (int c = 0; c < 2; ++c) {
    const GEQ15ChannelCoefs& k = coefs.channel[c];
    const float* v = state[c].v;
    for (int i = 0; i < kBandCount; ++i) {
      p->b0[i][c] = k.b0[i];
      p->a1[i][c] = k.a1[i];
      p->b2[i][c] = k.b2[i];
      p->na2[i][c] = k.na2[i];
      p->x1[i][c] = v[kX1 + i];
      p->x2[i][c] = v[kX2 + i];
      p->y1[i][c] = v[kY1 + i];
      p->y2[i][c] = v[kY2 + i];
    }
  }
}

// Every history is a float widened exactly, so narrowing it back is exact too.
void StorePair(const PairSections& p, ChannelState state[2]) {
  using namespace channel_state;
  for (int c = 0; c < 2; ++c) {
    float* v = state[c].v;
    for (int i = 0; i < kBandCount; ++i) {
      v[kX1 + i] = static_cast<float>(p.x1[i][c]);
      v[kX2 + i] = static_cast<float>(p.x2[i][c]);
      v[kY1 + i] = static_cast<float>(p.y1[i][c]);
      v[kY2 + i] = static_cast<float>(p.y2[i][c]);
    }
  }
}

// Both channels through the vector path chosen; the held peaks are the caller's working copies.
void ProcessPairOnPath(int32_t path, const ProcessContext* pc, GEQ15Filter* filter, int32_t frames, float* peakIn,
                       float* peakOut) {
  using namespace channel_state;
  // Aligned by hand: the 32-bit Windows stack guarantees only 4 bytes.
  unsigned char raw[sizeof(PairSections) + kPairSectionsAlign];
  const uintptr_t at = (reinterpret_cast<uintptr_t>(raw) + kPairSectionsAlign - 1) & ~(kPairSectionsAlign - 1);
  PairSections* sections = reinterpret_cast<PairSections*>(at);
  LoadPair(*pc->coefs, filter->state, sections);

  PairBlock block;
  for (int c = 0; c < 2; ++c) {
    block.samples[c] = pc->block->samples[c];
    block.gain[c] = filter->state[c].v[kGain];
    block.step[c] = filter->state[c].v[kStep];
    block.peakIn[c] = peakIn[c];
    block.peakOut[c] = peakOut[c];
  }
  block.frames = frames;
  ProcessPair(path, sections, &block);

  StorePair(*sections, filter->state);
  for (int c = 0; c < 2; ++c) {
    filter->state[c].v[kGain] = block.gain[c];
    peakIn[c] = block.peakIn[c];
    peakOut[c] = block.peakOut[c];
  }
}

bool IsFinite(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return (bits & 0x7F800000u) != 0x7F800000u;
}

// Whether the block left the channel sound. A non-finite value that reaches a section never
// leaves its recursion (it is multiplied into every later output, and even 0 times it is NaN),
// a non-finite gain never leaves the ramp, and an output that overflowed raises the held output
// peak to infinity. So these few values at the end of the block tell whether any output sample
// of it was non-finite, without a test per sample.
bool ChannelStayedFinite(const ChannelState& st, float peakOut) {
  using namespace channel_state;
  // Without a branch per value: the answer is almost always yes.
  bool finite = IsFinite(peakOut);
  finite &= IsFinite(st.v[kGain]);
  finite &= IsFinite(st.v[kStep]);
  for (int i = kX1; i < kY2 + kBandCount; ++i) finite &= IsFinite(st.v[i]);
  return finite;
}

// A channel whose input, settings or state went non-finite: the whole block becomes silence
// (the host would otherwise play NaN or a full-scale burst, and which samples were still sound
// cannot be told cheaply), the histories are cleared so the next finite block is equalized
// afresh, and the held peaks restart from the silence. A finite gain is kept, so a running ramp
// goes on; a non-finite one restarts from 0 and the ramp's end sets the target again.
void SilenceChannel(float* samples, int32_t frames, ChannelState* st, float* peakIn, float* peakOut) {
  using namespace channel_state;
  if (samples) std::memset(samples, 0, static_cast<size_t>(frames) * sizeof(float));
  std::memset(&st->v[kX1], 0, 4 * kBandCount * sizeof(float));
  if (!IsFinite(st->v[kGain]) || !IsFinite(st->v[kStep])) st->v[kGain] = st->v[kStep] = 0.0f;
  *peakIn = *peakOut = 0.0f;
}

}  // namespace

bool IsProcessPathSupported(int32_t path) {
  switch (path) {
    case kProcessPathAuto:
    case kProcessPathReference:
      return true;
#if defined(__SSE2__)
    case kProcessPathSse2:
      return true;
    case kProcessPathAvx2:
      return CpuHasAvx2();
    case kProcessPathAvx512:
      return CpuHasAvx512();
#endif
    default:
      return false;
  }
}

int32_t SelectProcessPath(int32_t path) {
  if (!IsProcessPathSupported(path)) return -1;
  g_selectedPath.store(path, std::memory_order_relaxed);
  return 0;
}

int32_t CurrentProcessPath() {
  const int32_t path = g_selectedPath.load(std::memory_order_relaxed);
  return path == kProcessPathAuto ? BestPath() : path;
}

const char* ProcessPathName(int32_t path) {
  switch (path) {
    case kProcessPathAuto: return "auto";
    case kProcessPathReference: return "reference";
    case kProcessPathSse2: return "sse2";
    case kProcessPathAvx2: return "avx2";
    case kProcessPathAvx512: return "avx512";
    default: return "unknown";
  }
}

int32_t GEQ15_Configure(GEQ15Filter* filter, int32_t rate, int32_t blockSize) {
  if (!filter) return -1;
  blockSize = EffectiveBlockSize(blockSize);
  const int32_t refused = GEQ15_CheckRate(rate);
  if (refused != 0) return refused;
  filter->sampleRate = rate;
  filter->blockSize = blockSize;
  std::memset(filter->state, 0, sizeof filter->state);
  // The earlier stream's peaks are gone with its state: the meters read zeros from the next
  // snapshot on. Published through the writer's side, as every snapshot is; when both slots are
  // still unread the next period's publication carries the fresh peaks instead.
  if (MeterSnapshot* zeros = MeterExchange_BeginWrite(&filter->meters)) {
    std::memset(zeros, 0, sizeof *zeros);
    MeterExchange_EndWrite(&filter->meters);
  }
  filter->flags.fetch_or(kFlagConfigured | kFlagProcessing, std::memory_order_release);
  return 0;
}

void ProcessContext_Init(ProcessContext* pc, int32_t rate, int32_t blockSize, float meterMs) {
  if (!pc) return;
  std::memset(pc, 0, sizeof *pc);
  // A host may announce a block size of 0; it counts as 256 here as in configuration, so that
  // the roundings below never divide by zero.
  blockSize = EffectiveBlockSize(blockSize);

  int64_t rampLength = 512;
  if (rate >= 80000) rampLength = 1024;
  if (rate >= 160000) rampLength *= 2;
  pc->rampLength = RoundUpToBlocks(rampLength, blockSize);
  pc->rampStep = static_cast<float>(1.0 / pc->rampLength);

  // Truncated toward zero as the period is defined; a rate or time that gives no whole sample
  // (a refused start can pass a rate of 0) still gets one block, since the meter count is
  // wrapped by this period.
  double period = static_cast<double>(rate) * meterMs * 0.001;
  if (!(period >= 1.0)) period = 1.0;
  if (period > INT32_MAX) period = INT32_MAX;
  pc->meterPeriod = RoundUpToBlocks(static_cast<int64_t>(period), blockSize);
}

namespace {

// Block cycle, first half: when no gain ramp runs, the newest set is taken and, when it was
// designed for this stream, a ramp to its gain begins. A set labelled for an earlier stream is
// passed over: its writer publishes it again for this one, which a later block takes.
void TakeNewestSet(ProcessContext* pc, CoefficientExchange* ex) {
  pc->newSet = 0;
  pc->meterDue = 0;
  // While a ramp runs no new set is taken: a change published meanwhile waits in the exchange.
  if (pc->rampRemaining != 0) return;
  const PublishedSet* newest = CoefExchange_TakeNewest(ex);
  if (newest == nullptr || newest == pc->taken) return;
  pc->taken = newest;
  if (newest->generation != pc->generation) return;
  std::memcpy(pc->current.channel, newest->coefs.channel, kLiveChannels * sizeof newest->coefs.channel[0]);
  pc->coefs = &pc->current;
  pc->rampRemaining = pc->rampLength;
  pc->newSet = 1;
}

// Block cycle, second half: counts the frames towards the meter period, processes the block and
// advances the ramp.
int32_t FinishBlock(ProcessContext* pc, GEQ15Filter* filter, int32_t frames) {
  if (frames < 0) frames = 0;
  // Counted in 64 bits: a host handing huge blocks must not overflow the meter count.
  int64_t count = static_cast<int64_t>(pc->meterCount) + frames;
  if (count >= pc->meterPeriod) pc->meterDue = 1;
  pc->meterCount = count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
  const int32_t status = GEQ15_Process(pc, filter);
  pc->rampRemaining = pc->rampRemaining > frames ? pc->rampRemaining - frames : 0;
  if (pc->meterCount >= pc->meterPeriod && pc->meterPeriod > 0) pc->meterCount %= pc->meterPeriod;
  return status;
}

}  // namespace

int32_t GEQ15_ProcessBlock(EngineContext* ctx, float* left, float* right, int32_t frames) {
  if (!ctx || !ctx->started || !ctx->filter) return -1;
  ProcessContext* pc = &ctx->process;
  TakeNewestSet(pc, &ctx->coefExchange);
  if (pc->newSet && pc->startAtTarget) {
    // The ramp to the first set starts at its gain, so its step is 0 and the plain filter is
    // heard from the first sample.
    for (int32_t c = 0; c < kLiveChannels; ++c)
      ctx->filter->state[c].v[channel_state::kGain] = pc->coefs->channel[c].gain;
    pc->startAtTarget = 0;
  }
  ctx->channelBlock.samples[0] = left;
  ctx->channelBlock.samples[1] = right;
  ctx->channelBlock.frames = frames;
  return FinishBlock(pc, ctx->filter, frames);
}

int32_t GEQ15_Process(ProcessContext* pc, GEQ15Filter* filter) {
  using namespace channel_state;
  constexpr uint32_t kReady = kFlagConfigured | kFlagProcessing;
  if (!pc || !filter || (filter->flags.load(std::memory_order_relaxed) & kReady) != kReady) return -1;
  // No set taken yet (an exchange without storage): nothing to filter with, so the block passes
  // as the callback copied it.
  if (!pc->coefs) return -1;

  const ChannelBlock* block = pc->block;
  int32_t n = block ? block->count : 0;
  if (n > kMaxChannels) n = kMaxChannels;
  const int32_t frames = block && block->frames > 0 ? block->frames : 0;

  for (int32_t c = 0; c < n; ++c) {
    ChannelState& st = filter->state[c];
    const float target = pc->coefs->channel[c].gain;
    // The new set's sections act at once; only the output gain moves, linearly over the ramp.
    if (pc->newSet) st.v[kStep] = (target - st.v[kGain]) * pc->rampStep;
    if (pc->rampRemaining == 0) {
      st.v[kStep] = 0.0f;
      st.v[kGain] = target;
    }
  }

  float peakIn[kMaxChannels] = {}, peakOut[kMaxChannels] = {}, gainBefore[kMaxChannels] = {};
  for (int32_t c = 0; c < n; ++c) {
    peakIn[c] = filter->state[c].v[kPeakIn];
    peakOut[c] = filter->state[c].v[kPeakOut];
    gainBefore[c] = filter->state[c].v[kGain];
  }

  const int32_t path = CurrentProcessPath();
  if (path != kProcessPathReference && n == 2 && block->samples[0] && block->samples[1] &&
      !BuffersOverlap(block->samples[0], block->samples[1], frames)) {
    ProcessPairOnPath(path, pc, filter, frames, peakIn, peakOut);
  } else {
    for (int32_t c = 0; c < n; ++c) {
      if (!block->samples[c]) continue;
      ChannelState& st = filter->state[c];
      Sections sections;
      LoadSections(pc->coefs->channel[c], st, &sections);
      ProcessChannel(block->samples[c], frames, &sections, &st.v[kGain], st.v[kStep], &peakIn[c], &peakOut[c]);
      StoreHistories(sections, &st);
    }
  }

  for (int32_t c = 0; c < n; ++c)
    if (block->samples[c] && !GainKeepsOutputsNormal(gainBefore[c], filter->state[c].v[kGain]))
      FlushSubnormalSamples(block->samples[c], frames);

  bool silenced = false;
  for (int32_t c = 0; c < n; ++c) {
    if (ChannelStayedFinite(filter->state[c], peakOut[c])) continue;
    SilenceChannel(block->samples[c], frames, &filter->state[c], &peakIn[c], &peakOut[c]);
    silenced = true;
  }
  if (silenced && pc->silencedBlocks < INT32_MAX) ++pc->silencedBlocks;

  if (pc->meterDue) PublishMeters(filter, n, peakIn, peakOut);

  for (int32_t c = 0; c < n; ++c) {
    filter->state[c].v[kPeakIn] = peakIn[c];
    filter->state[c].v[kPeakOut] = peakOut[c];
  }
  return 0;
}
