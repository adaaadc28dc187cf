// The insert callback against the real engine, with host records laid out as a host would.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "host/insert_callback.h"

namespace {

constexpr uint32_t kMarkerBits = 0x7FA5A5A5u;  // never produced by copying or processing
const double kPlus6dB = std::pow(10.0, 6.0 / 20.0);

bool IsMarker(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  return bits == kMarkerBits;
}

// An engine context created the way start-up creates it, with +6 dB output gain so an
// equalized channel is told apart from a copy.
struct App {
  std::unique_ptr<InsertContext> ctx{new InsertContext()};
  App() {
    EXPECT_EQ(GEQ15_Create(&ctx->engine), 0);
    ctx->hwnd = reinterpret_cast<void*>(0x1234);
    ctx->engine.filter->param[0].gain = ctx->engine.filter->param[1].gain = 6.0f;
  }
  ~App() { GEQ15_Destroy(&ctx->engine); }
};

// A host record with exact-size buffers per channel (the sanitizer builds catch any access past
// them); outputs start as the marker so a channel the callback never wrote is visible.
struct Host {
  HostAudioBuffer record{};
  std::vector<std::vector<float>> in, out;
  bool inPlace;
  Host(int32_t channels, int32_t frames, bool inPlace = false) : in(channels), out(channels), inPlace(inPlace) {
    record.rate = 48000;
    record.frameCount = frames;
    record.channelTotal = channels;
    for (int32_t j = 0; j < channels; ++j) {
      in[j].resize(frames);
      out[j].resize(frames);
      for (int32_t i = 0; i < frames; ++i) in[j][i] = 0.25f * std::sin(0.05f * (i + 7 * j)) + 0.001f * j;
      record.readPtr[j] = inPlace ? out[j].data() : in[j].data();
      record.writePtr[j] = out[j].data();
    }
    ResetOutputs();
  }
  void ResetOutputs() {
    for (size_t j = 0; j < out.size(); ++j) {
      if (inPlace) out[j] = in[j];
      else for (float& v : out[j]) std::memcpy(&v, &kMarkerBits, 4);
    }
  }
  bool Untouched(int32_t j) const {
    for (float v : out[j]) if (!IsMarker(v)) return false;
    return true;
  }
  bool ExactCopy(int32_t j) const { return std::memcmp(in[j].data(), out[j].data(), in[j].size() * 4) == 0; }
  // Output over input across the second half of the buffer, where a finished ramp holds.
  double GainOfSecondHalf(int32_t j) const {
    double sumIn = 0, sumOut = 0;
    for (size_t i = out[j].size() / 2; i < out[j].size(); ++i) {
      sumIn += std::fabs(in[j][i]);
      sumOut += std::fabs(out[j][i]);
    }
    return sumOut / sumIn;
  }
  int32_t Call(App& app, int32_t command) { return InsertCallback(app.ctx.get(), command, &record, 0); }
  // Starts the stream, then runs buffers until the fade-in ramp is over.
  void StartAndSettle(App& app) {
    ASSERT_EQ(Call(app, kHostCommandStart), 0);
    for (int k = 0; k < 8; ++k) Call(app, kHostCommandBuffer);
    ResetOutputs();
  }
};

TEST(InsertCallbackCommands, NothingIsTouchedBeforeAStartOrByUnusedCommands) {
  App app;
  Host host(16, 64);
  for (int32_t command : {kHostCommandBuffer, 0, 2, 4, 5, 6, 7, 8, 9, 10, 12, 99, -1}) {
    EXPECT_EQ(host.Call(app, command), 0) << command;
  }
  for (int32_t j = 0; j < 16; ++j) EXPECT_TRUE(host.Untouched(j)) << j;
  EXPECT_EQ(app.ctx->engine.started.load(), 0);

  // Without coefficient storage, or without any engine at all, a start is refused.
  CoefficientSet* base = app.ctx->engine.coefExchange.base;
  app.ctx->engine.coefExchange.base = nullptr;
  EXPECT_EQ(host.Call(app, kHostCommandStart), -2);
  EXPECT_EQ(app.ctx->engine.started.load(), 0);
  EXPECT_EQ(host.Call(app, kHostCommandBuffer), 0);
  EXPECT_TRUE(host.Untouched(0));
  app.ctx->engine.coefExchange.base = base;
  std::unique_ptr<InsertContext> bare(new InsertContext());
  EXPECT_EQ(InsertCallback(bare.get(), kHostCommandStart, &host.record, 0), -2);
  EXPECT_EQ(bare->engine.started.load(), 0);
}

TEST(InsertCallbackCommands, StartConfiguresTheStreamWithAFallbackForNoFrames) {
  struct Row {
    int32_t frames, blockFrames, rampLength;
  } rows[] = {{480, 480, 960}, {0, 256, 512}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.frames);
    App app;
    Host host(16, row.frames);
    EXPECT_EQ(host.Call(app, kHostCommandStart), 0);
    EXPECT_EQ(app.ctx->engine.started.load(), 1);
    EXPECT_EQ(app.ctx->engine.filter->sampleRate.load(), 48000);
    EXPECT_EQ(app.ctx->engine.process.block, &app.ctx->engine.channelBlock);
    EXPECT_EQ(app.ctx->engine.channelBlock.count, 2);
    EXPECT_EQ(app.ctx->engine.channelBlock.frames, row.blockFrames);
    EXPECT_EQ(app.ctx->engine.process.rampLength, row.rampLength);
    EXPECT_EQ(host.Call(app, kHostCommandBuffer), 0);
  }
}

int g_restartPosts = 0;
void* g_restartWindow = nullptr;
void CountRestart(void* hwnd) {
  ++g_restartPosts;
  g_restartWindow = hwnd;
}

TEST(InsertCallbackCommands, RestartPostsOnceToTheWindowAndChangesNothingElse) {
  App app;
  Host host(16, 256);
  host.StartAndSettle(app);
  const ProcessContext before = app.ctx->engine.process;

  InsertCallback_SetRestartPoster(CountRestart);
  g_restartPosts = 0;
  EXPECT_EQ(host.Call(app, kHostCommandRestart), 0);
  EXPECT_EQ(g_restartPosts, 1);
  EXPECT_EQ(g_restartWindow, app.ctx->hwnd);
  EXPECT_EQ(std::memcmp(&before, &app.ctx->engine.process, sizeof before), 0);
  EXPECT_EQ(app.ctx->engine.started.load(), 1);
  for (int32_t j = 0; j < 16; ++j) EXPECT_TRUE(host.Untouched(j));

  InsertCallback_SetRestartPoster(nullptr);  // no hook installed: the request is dropped safely
  EXPECT_EQ(host.Call(app, kHostCommandRestart), 0);
  EXPECT_EQ(g_restartPosts, 1);
}

TEST(InsertCallbackCommands, UnsupportedRateAfterSupportedKeepsCoefficientsButTakesTiming) {
  App app;
  app.ctx->engine.filter->param[0].g9 = app.ctx->engine.filter->param[1].g9 = 12.0f;
  Host host(16, 256);
  ASSERT_EQ(host.Call(app, kHostCommandStart), 0);
  CoefficientSet at48k;
  ASSERT_EQ(GEQ15_Design(app.ctx->engine.filter, &at48k), 0);

  host.record.rate = 32000;
  EXPECT_EQ(host.Call(app, kHostCommandStart), 0);
  EXPECT_EQ(app.ctx->engine.filter->sampleRate.load(), 48000);
  EXPECT_EQ(std::memcmp(&app.ctx->engine.coefExchange.base[0].channel[0], &at48k.channel[0],
                        2 * sizeof(GEQ15ChannelCoefs)),
            0);
  EXPECT_EQ(app.ctx->engine.process.meterPeriod, 768);  // 640 samples at 32 kHz, in whole blocks
  EXPECT_EQ(app.ctx->engine.process.rampLength, 512);
}

// Which channels are equalized for a bus and a record: the selected bus's pair when both of its
// channels exist (the last bus of every host type included), every other channel copied, and
// channels past the record's count left alone.
TEST(InsertCallbackBuffers, SelectedPairIsEqualizedAndEveryOtherChannelCopied) {
  struct Row {
    int32_t buffers, channelTotal, bus;
    bool inPlace;
    int32_t pair;  // first equalized channel, or -1 when everything is copied
  } rows[] = {
      {16, 16, 1, false, 8},   {40, 40, 4, false, 32},  {64, 64, 7, false, 56},  // last bus of each type
      {10, 10, 1, false, 8},   {10, 9, 1, false, -1},                            // pair needs both channels
      {16, 16, 0, true, 0},                                                      // same buffer in and out
      {64, 64, -1, false, -1}, {64, 64, 8, false, -1}, {64, 64, 1 << 29, false, -1},
      {64, 64, INT32_MAX, false, -1}, {64, 64, INT32_MIN, false, -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "channels " << row.channelTotal << " bus " << row.bus);
    App app;
    app.ctx->engine.bus = row.bus;
    Host host(row.buffers, 512, row.inPlace);
    host.record.channelTotal = row.channelTotal;
    host.StartAndSettle(app);
    EXPECT_EQ(host.Call(app, kHostCommandBuffer), 0);
    for (int32_t j = 0; j < row.buffers; ++j) {
      if (j >= row.channelTotal) EXPECT_TRUE(host.Untouched(j)) << j;
      else if (row.pair >= 0 && j - row.pair < 2 && j >= row.pair) EXPECT_NEAR(host.GainOfSecondHalf(j), kPlus6dB, 1e-3) << j;
      else EXPECT_TRUE(host.ExactCopy(j)) << j;
    }
  }

  // A new bus takes effect at the next buffer.
  App app;
  Host host(24, 512);
  host.StartAndSettle(app);
  app.ctx->engine.bus = 2;
  host.Call(app, kHostCommandBuffer);
  EXPECT_TRUE(host.ExactCopy(0) && host.ExactCopy(1));
  EXPECT_NEAR(host.GainOfSecondHalf(16), kPlus6dB, 1e-3);
  EXPECT_NEAR(host.GainOfSecondHalf(17), kPlus6dB, 1e-3);
}

// Each call's own frame count drives copies, processing and the ramp and meter counting.
TEST(InsertCallbackBuffers, EachBufferIsHandledWithItsOwnFrameCount) {
  App app;
  Host announced(16, 512);
  ASSERT_EQ(announced.Call(app, kHostCommandStart), 0);
  EXPECT_EQ(app.ctx->engine.process.rampLength, 512);

  Host shorter(16, 100);
  shorter.Call(app, kHostCommandBuffer);
  EXPECT_EQ(app.ctx->engine.process.rampRemaining, 412);
  EXPECT_EQ(app.ctx->engine.process.meterCount, 100);
  for (int32_t j = 0; j < 16; ++j) {
    for (float v : shorter.out[j]) ASSERT_FALSE(IsMarker(v)) << "channel " << j;
  }
  for (int k = 0; k < 5; ++k) shorter.Call(app, kHostCommandBuffer);
  EXPECT_EQ(app.ctx->engine.process.rampRemaining, 0);

  Host longer(16, 2048);
  longer.Call(app, kHostCommandBuffer);
  // Past the announced 512 frames the samples are still processed, not copied raw.
  EXPECT_NEAR(longer.out[0][2000] / longer.in[0][2000], kPlus6dB, 1e-3);
  for (int32_t j = 2; j < 16; ++j) EXPECT_TRUE(longer.ExactCopy(j)) << j;
}

TEST(InsertCallbackBuffers, UntrustedChannelCountsAndMissingBuffersStayInBounds) {
  App app;
  Host host(128, 64);
  ASSERT_EQ(host.Call(app, kHostCommandStart), 0);

  for (int32_t total : {0, -1, INT32_MIN}) {
    host.record.channelTotal = total;
    EXPECT_EQ(host.Call(app, kHostCommandBuffer), 0);
    for (int32_t j = 0; j < 128; ++j) ASSERT_TRUE(host.Untouched(j)) << total;
  }
  host.record.channelTotal = 100000;  // capped at the 128 pointers the record holds
  EXPECT_EQ(host.Call(app, kHostCommandBuffer), 0);
  for (int32_t j = 2; j < 128; ++j) EXPECT_TRUE(host.ExactCopy(j)) << j;

  host.record.channelTotal = 16;
  host.record.frameCount = -5;
  host.ResetOutputs();
  EXPECT_EQ(host.Call(app, kHostCommandBuffer), 0);
  EXPECT_TRUE(host.Untouched(0));
  host.record.frameCount = 64;

  // A missing output of the pair: neither is processed, the other is copied through.
  host.record.writePtr[1] = nullptr;
  host.record.readPtr[5] = nullptr;
  host.ResetOutputs();
  EXPECT_EQ(host.Call(app, kHostCommandBuffer), 0);
  EXPECT_TRUE(host.ExactCopy(0));
  EXPECT_TRUE(host.Untouched(1));
  EXPECT_TRUE(host.Untouched(5));
  EXPECT_TRUE(host.ExactCopy(6));
  EXPECT_EQ(InsertCallback(app.ctx.get(), kHostCommandBuffer, nullptr, 0), 0);
  EXPECT_EQ(InsertCallback(nullptr, kHostCommandBuffer, &host.record, 0), 0);
}

}  // namespace
