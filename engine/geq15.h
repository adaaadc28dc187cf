// The equalizer's records and operations: parameter model, the two lock-free exchanges,
// band filter design and block processing. Portable: no platform headers.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

constexpr int kBandCount = 15;
constexpr int kChannelRecords = 8;
// Records 1 and 2, the stereo pair, are the live ones: designed, processed and edited together.
constexpr int kLiveChannels = 2;

// Sample rates the engine accepts, inclusive.
constexpr int32_t kMinSampleRate = 44100;
constexpr int32_t kMaxSampleRate = 192000;
// The rate designs are drawn and fitted at before a host stream has told the real one.
constexpr int32_t kRateBeforeStart = 48000;

// Every gain a user sets (band and output), dB. Loaded files may hold others.
constexpr float kGainMinDb = -12.0f;
constexpr float kGainMaxDb = 12.0f;

// Bits of GEQ15Filter::flags. Meter reading needs kFlagConfigured; processing needs both.
constexpr uint32_t kFlagConfigured = 0x10000000u;
constexpr uint32_t kFlagProcessing = 0x00000001u;

// One channel's settings in dB. The field names are also the settings file's attribute names.
struct GEQ15ChannelParam {
  int32_t bypass;  // 0 = active, anything else = bypassed (flat design, unity gain)
  union {
    struct {
      float g1, g2, g3, g4, g5, g6, g7, g8, g9, g10, g11, g12, g13, g14, g15;
    };
    float bands[kBandCount];  // g1 .. g15 as an array, band 1 first
  };
  float gain;  // output gain
};
static_assert(sizeof(GEQ15ChannelParam) == 17 * 4, "GEQ15ChannelParam is 17 words");
static_assert(offsetof(GEQ15ChannelParam, bands) == 4 && offsetof(GEQ15ChannelParam, gain) == 64,
              "bypass, g1..g15, gain in this order");

// Processing state of one channel: 64 consecutive floats.
struct ChannelState {
  float v[64];
};
static_assert(sizeof(ChannelState) == 64 * 4, "ChannelState is 64 floats");
namespace channel_state {
constexpr int kGain = 0;     // current linear output gain
constexpr int kStep = 1;     // gain step per sample while a ramp runs
constexpr int kX1 = 2;       // x1 of bands 1..15
constexpr int kX2 = 17;      // x2 of bands 1..15
constexpr int kY1 = 32;      // y1 of bands 1..15
constexpr int kY2 = 47;      // y2 of bands 1..15
constexpr int kPeakIn = 62;  // held input peak (linear)
constexpr int kPeakOut = 63; // held output peak (linear)
}  // namespace channel_state

// One channel's designed coefficients, normalised by each band's a0. b1 equals a1 for the
// peaking filter, so only a1 is kept; a2 is stored negated so processing adds every term.
struct GEQ15ChannelCoefs {
  float gain;  // linear output gain
  float b0[kBandCount];
  float a1[kBandCount];
  float b2[kBandCount];
  float na2[kBandCount];
};
static_assert(sizeof(GEQ15ChannelCoefs) == 61 * 4, "GEQ15ChannelCoefs is 61 floats");
static_assert(offsetof(GEQ15ChannelCoefs, b0) == 1 * 4 && offsetof(GEQ15ChannelCoefs, a1) == 16 * 4 &&
                  offsetof(GEQ15ChannelCoefs, b2) == 31 * 4 && offsetof(GEQ15ChannelCoefs, na2) == 46 * 4,
              "gain, b0, a1, b2, na2 in this order");

struct CoefficientSet {
  GEQ15ChannelCoefs channel[kChannelRecords];
};
static_assert(sizeof(CoefficientSet) == 8 * 61 * 4, "CoefficientSet is 8 channel entries");

// Peaks as linear magnitudes: 0..7 input of channels 1..8, 8..15 output of channels 1..8.
struct MeterSnapshot {
  float peak[16];
};
static_assert(sizeof(MeterSnapshot) == 16 * 4, "MeterSnapshot is 16 floats");

static_assert(std::atomic<int32_t>::is_always_lock_free, "the exchanges' words must be lock-free");
static_assert(std::atomic<uint32_t>::is_always_lock_free, "the filter's flags must be lock-free");

// What the coefficient exchange carries: a designed set together with what it was designed from.
// A stream start redesigns the set it holds from these records, so it never reads the records the
// user-interface thread is editing; the generation lets the audio thread pass over a set that was
// designed for an earlier stream (whose rate may differ).
struct PublishedSet {
  CoefficientSet coefs;
  GEQ15ChannelParam records[kLiveChannels];
  uint32_t generation;  // the stream it was designed for; 0: records only, published before the first start
};

// Values of an exchange's ready words. Nonzero means "not free for the writer"; the reader marks
// the slot it holds with kSlotHeld so that the writer's reclaim can tell, in one compare-and-
// exchange, an unread slot it may take back from one the reader has just entered.
constexpr int32_t kSlotFree = 0;
constexpr int32_t kSlotPublished = 1;
constexpr int32_t kSlotHeld = 2;

// Three slots, user-interface thread (writer) to audio thread (reader).
struct CoefficientExchange {
  void* storage;           // owning: the raw allocation (three slots + 16 bytes)
  PublishedSet* base;      // slot 0, 16-byte aligned; null when there is no storage
  std::atomic<int32_t> ready[3];
  std::atomic<int32_t> writeIndex;  // the writer's own
  std::atomic<int32_t> readIndex;   // the reader's own
};

// Two slots, audio thread (writer) to user-interface thread (reader).
struct MeterExchange {
  void* storage;
  MeterSnapshot* base;
  std::atomic<int32_t> ready[2];
  std::atomic<int32_t> writeIndex;  // the writer's own
  std::atomic<int32_t> readIndex;   // the reader's own
};

// The equalizer object: allocated once and zero-filled at creation. Its parts belong to one
// thread each; the two that both threads touch say so.
struct GEQ15Filter {
  // Written by configuration (audio thread), read by the meter reading (user-interface thread).
  std::atomic<uint32_t> flags;
  // The user-interface thread's own, changed only through GEQ15_SetParams and GEQ15_ResetParams.
  GEQ15ChannelParam param[kChannelRecords];
  // The audio thread's own: processing state, the set in use and the configuration.
  ChannelState state[kChannelRecords];
  int32_t sampleRate;
  int32_t blockSize;
  // Snapshots: the audio thread writes, the user-interface thread reads.
  MeterExchange meters;
};

struct ChannelBlock {
  int32_t count;       // channels to process
  int32_t frames;      // samples per channel in this block
  float* samples[2];   // processed in place
};

struct ProcessContext {
  ChannelBlock* block;
  CoefficientSet* coefs;  // the set in use: `current`, or null until the first pickup
  int32_t newSet;
  int32_t meterDue;
  int32_t rampRemaining;
  int32_t rampLength;
  float rampStep;
  int32_t meterCount;
  int32_t meterPeriod;
  // Blocks since the stream start in which a channel went non-finite and was silenced.
  int32_t silencedBlocks;
  uint32_t generation;         // the stream this context was started for
  const PublishedSet* taken;   // the slot taken last; a pickup that returns another found a new set
  int32_t startAtTarget;       // the first set's gain holds from the first sample: no fade-in
  // A copy of the set in use, so the slot it came from can go back to the writer at once.
  CoefficientSet current;
};

// How a stream's output begins.
enum StreamFade : int32_t {
  kStreamFadeIn = 0,      // from silence over one gain ramp, as the host's stream starts
  kStreamAtTarget = 1,    // at the first set's output gain (offline rendering on request)
};

// The part of the application record that the engine works on. The application embeds it;
// tests use it alone. Each part belongs to one thread; the words both touch have one writer each.
struct EngineContext {
  // Shared.
  CoefficientExchange coefExchange;        // sets: the user-interface thread writes, the audio thread reads
  std::atomic<int32_t> bus;                // the user-interface thread writes (GEQ15_SetBus), the audio thread reads once per block
  std::atomic<uint32_t> streamGeneration;  // the audio thread writes at each start; the user-interface thread labels its sets with it
  std::atomic<int32_t> designRate;         // the audio thread writes before the generation; the user-interface thread designs for it
  // The audio thread's own.
  int32_t started;  // 0 until the first successful stream start, then 1
  ProcessContext process;
  ChannelBlock channelBlock;
  // The user-interface thread's own.
  MeterSnapshot meterReadout;
  float gainMin, gainMax;  // value range of every gain, dB
  // Set by GEQ15_Create before the engine is handed to the host and cleared by GEQ15_Destroy after
  // the host has let go of it, so it never changes while both threads use it.
  GEQ15Filter* filter;
};

// ---- the equalizer's life (user-interface thread, while no stream runs) ----
int32_t GEQ15_Create(EngineContext* ctx);
void GEQ15_Destroy(EngineContext* ctx);

// ---- settings (user-interface thread): the only ways to change the records ----
// The eight records become `records`, and a set designed from the live pair is published for the
// audio thread. Returns the design's result (0; -1 when the stream's rate was refused), or 0 when
// nothing was designed: before the first stream start the records are published alone, and the
// start designs them. A start that overtakes the publication is answered by publishing again.
int32_t GEQ15_SetParams(EngineContext* ctx, const GEQ15ChannelParam records[kChannelRecords]);
// Every record back to the default (all zero), published as GEQ15_SetParams does.
int32_t GEQ15_ResetParams(EngineContext* ctx);
// The output bus whose first two channels are equalized, 0-based; taken at the next block.
void GEQ15_SetBus(EngineContext* ctx, int32_t bus);
int32_t GEQ15_ReadMeters(GEQ15Filter* filter, MeterSnapshot* dest);

// ---- the stream (audio thread) ----
// The host's stream start: configures the filter (a refused rate keeps the earlier
// configuration), takes every set published so far and redesigns the newest from its own records
// for this stream, and initialises the timing. 0; -2 without a filter or coefficient storage.
int32_t GEQ15_StartStream(EngineContext* ctx, int32_t rate, int32_t blockSize,
                          StreamFade fade = kStreamFadeIn);
// One block of the stereo pair, in place (a null buffer is left alone). Takes the newest set of
// this stream when no gain ramp runs, processes, advances the ramp and the meter period. Returns
// GEQ15_Process's status: -1 leaves the block as it came (no stream started, no rate accepted).
int32_t GEQ15_ProcessBlock(EngineContext* ctx, float* left, float* right, int32_t frames);

// ---- exchanges ----
int32_t CoefExchange_Init(CoefficientExchange* ex);
// Reader: advances to the next slot when it holds a published set and returns the slot it holds.
PublishedSet* CoefExchange_TakeNewest(CoefficientExchange* ex);
// Reader: takes every set published so far and returns the slot it holds, which the writer never
// writes, so the stream start can redesign it; null when there is no storage.
PublishedSet* CoefExchange_CatchUp(CoefficientExchange* ex);
// The writer's two halves, around the filling of the slot: BeginWrite picks the slot (never the
// one the reader holds) and returns its index, -1 when there is no storage; EndWrite publishes it.
int32_t CoefExchange_BeginWrite(CoefficientExchange* ex);
void CoefExchange_EndWrite(CoefficientExchange* ex, int32_t slot);
int32_t MeterExchange_Init(MeterExchange* ex);
// Meter writer (audio thread): BeginWrite returns the slot to fill, or null when there is no
// storage or both slots are still unread (the publication is skipped); EndWrite publishes it.
MeterSnapshot* MeterExchange_BeginWrite(MeterExchange* ex);
void MeterExchange_EndWrite(MeterExchange* ex);

// ---- design (pure; any thread) ----
extern const double kBandCentreHz[kBandCount];
// 0 for a rate the engine accepts; -2 below kMinSampleRate, -3 above kMaxSampleRate.
int32_t GEQ15_CheckRate(int32_t rate);
// Designs the pair into dest's first two channel entries; the other six are left as they are.
// 0; -1 when the rate is not one the engine accepts (nothing is written).
int32_t GEQ15_Design(const GEQ15ChannelParam records[kLiveChannels], int32_t sampleRate, CoefficientSet* dest);

// ---- processing (audio thread; GEQ15_StartStream and GEQ15_ProcessBlock drive them) ----
int32_t GEQ15_Configure(GEQ15Filter* filter, int32_t rate, int32_t blockSize);
// A block size below 1 counts as 256 here too, as in configuration.
void ProcessContext_Init(ProcessContext* pc, int32_t rate, int32_t blockSize, float meterMs);
int32_t GEQ15_Process(ProcessContext* pc, GEQ15Filter* filter);
