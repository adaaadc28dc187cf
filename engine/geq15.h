// The equalizer's records and operations: parameter model, the two lock-free exchanges,
// band filter design and block processing. Portable: no platform headers.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

constexpr int kBandCount = 15;
constexpr int kChannelRecords = 8;

// Bits of GEQ15Filter::flags. Design and meter reading need kFlagConfigured; processing needs both.
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

// Values of an exchange's ready words. Nonzero means "not free for the writer"; the reader marks
// the slot it holds with kSlotHeld so that the writer's reclaim can tell, in one compare-and-
// exchange, an unread slot it may take back from one the reader has just entered.
constexpr int32_t kSlotFree = 0;
constexpr int32_t kSlotPublished = 1;
constexpr int32_t kSlotHeld = 2;

// Three slots, user-interface thread (writer) to audio thread (reader).
struct CoefficientExchange {
  void* storage;           // owning: the raw allocation (three slots + 16 bytes)
  CoefficientSet* base;    // slot 0, 16-byte aligned; null when there is no storage
  std::atomic<int32_t> ready[3];
  std::atomic<int32_t> writeIndex;
  std::atomic<int32_t> readIndex;
  int32_t slotSize;
};

// Two slots, audio thread (writer) to user-interface thread (reader).
struct MeterExchange {
  void* storage;
  MeterSnapshot* base;
  std::atomic<int32_t> ready[2];
  std::atomic<int32_t> writeIndex;
  std::atomic<int32_t> readIndex;
  int32_t slotSize;
};

// The equalizer object: allocated once and zero-filled at creation.
struct GEQ15Filter {
  std::atomic<uint32_t> flags;
  GEQ15ChannelParam param[kChannelRecords];
  ChannelState state[kChannelRecords];
  CoefficientSet* coefs;   // set in use by the current block; written by processing only
  MeterExchange meters;
  // Written by configuration on the audio thread, read by the design on the user-interface thread.
  std::atomic<int32_t> sampleRate;
  std::atomic<int32_t> blockSize;
  std::atomic<int32_t> channelCount;
};

struct ChannelBlock {
  int32_t count;       // channels to process
  int32_t frames;      // samples per channel in this block
  float* samples[2];   // processed in place
};

struct ProcessContext {
  ChannelBlock* block;
  CoefficientSet* coefs;  // null until the first pickup
  int32_t newSet;
  int32_t meterDue;
  int32_t rampRemaining;
  int32_t rampLength;
  float rampStep;
  int32_t meterCount;
  int32_t meterPeriod;
  float meterDecay;
  // Blocks since the stream start in which a channel went non-finite and was silenced.
  int32_t silencedBlocks;
};

// The part of the application record that the engine works on. The application embeds it;
// tests use it alone.
struct EngineContext {
  std::atomic<int32_t> started;  // 0 until the first successful stream start, then 1
  ProcessContext process;
  ChannelBlock channelBlock;
  std::atomic<int32_t> bus;      // selected output bus, 0-based; read once per block
  CoefficientExchange coefExchange;
  MeterSnapshot meterReadout;
  float gainMin, gainMax;        // value range of every gain, dB
  GEQ15Filter* filter;           // null until GEQ15_Create succeeded
};

// ---- parameter model and exchanges ----
int32_t GEQ15_Create(EngineContext* ctx);
void GEQ15_Destroy(EngineContext* ctx);
int32_t GEQ15_ResetParams(GEQ15Filter* filter);
int32_t GEQ15_PublishParams(EngineContext* ctx);
// The host's stream start (audio thread): configures the filter, catches the exchange up and
// designs the held set from the current settings, initialises the timing and marks the stream
// started. 0; -2 without a filter or coefficient storage.
int32_t GEQ15_StartStream(EngineContext* ctx, int32_t rate, int32_t blockSize);
int32_t CoefExchange_Init(CoefficientExchange* ex);
// writeIndex 1, readIndex 0, ready {1,0,0}: only while no other thread uses the exchange.
void CoefExchange_Reset(CoefficientExchange* ex);
CoefficientSet* CoefExchange_TakeNewest(CoefficientExchange* ex);
// Reader: takes every set published so far and returns the slot it holds, which the writer never
// writes, so the stream start can redesign it; null when there is no storage.
CoefficientSet* CoefExchange_CatchUp(CoefficientExchange* ex);
// The writer's two halves, around the filling of the slot: BeginWrite picks the slot (never the
// one the reader holds) and returns its index, -1 when there is no storage; EndWrite publishes it.
int32_t CoefExchange_BeginWrite(CoefficientExchange* ex);
void CoefExchange_EndWrite(CoefficientExchange* ex, int32_t slot);
int32_t MeterExchange_Init(MeterExchange* ex);
// Meter writer (audio thread): BeginWrite returns the slot to fill, or null when there is no
// storage or both slots are still unread (the publication is skipped); EndWrite publishes it.
MeterSnapshot* MeterExchange_BeginWrite(MeterExchange* ex);
void MeterExchange_EndWrite(MeterExchange* ex);
// Configuration's reset: writeIndex 1, readIndex 0, ready {1, 0}, slot 0 zero-filled.
void MeterExchange_Reset(MeterExchange* ex);
int32_t GEQ15_ReadMeters(GEQ15Filter* filter, MeterSnapshot* dest);

// ---- design ----
extern const double kBandCentreHz[kBandCount];
int32_t GEQ15_Design(const GEQ15Filter* filter, CoefficientSet* dest);

// ---- processing ----
int32_t GEQ15_Configure(GEQ15Filter* filter, int32_t rate, int32_t blockSize);
// A block size below 1 counts as 256 here too, as in configuration.
void ProcessContext_Init(ProcessContext* pc, int32_t rate, int32_t blockSize, float meterMs);
int32_t GEQ15_Process(ProcessContext* pc, GEQ15Filter* filter);
// The block cycle around GEQ15_Process, split where the callback puts its buffer copies.
// Begin takes the newest coefficient set when no gain ramp runs and starts the ramp to it.
void BlockCycle_Begin(ProcessContext* pc, CoefficientExchange* ex);
// Finish counts the frames towards the meter period, processes the block and advances the ramp;
// it returns GEQ15_Process's status (-1: the block was left as it came).
int32_t BlockCycle_Finish(ProcessContext* pc, GEQ15Filter* filter, int32_t frames);
