// The insert callback against the real engine, with host records laid out as a host would.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "host/insert_callback.h"

namespace {

constexpr uint32_t kMarkerBits = 0x7FA5A5A5u;  // never produced by copying or processing

bool IsMarker(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  return bits == kMarkerBits;
}

// An engine context created the way start-up creates it, torn down afterwards.
struct App {
  std::unique_ptr<InsertContext> ctx{new InsertContext()};
  App() {
    EXPECT_EQ(GEQ15_Create(&ctx->engine), 0);
    ctx->hwnd = reinterpret_cast<void*>(0x1234);
  }
  ~App() { GEQ15_Destroy(&ctx->engine); }
  void SetOutputGainDb(float db) {
    ctx->engine.filter->param[0].gain = db;
    ctx->engine.filter->param[1].gain = db;
  }
};

// A host record with exact-size buffers per channel; outputs start as the marker so a channel
// the callback never wrote is visible.
struct Host {
  HostAudioBuffer record{};
  std::vector<std::vector<float>> in, out;
  Host(int32_t channels, int32_t frames, bool inPlace = false) : in(channels), out(channels) {
    record.rate = 48000;
    record.frameCount = frames;
    record.channelTotal = channels;
    for (int32_t j = 0; j < channels && j < kHostMaxChannels; ++j) {
      in[j].resize(frames);
      out[j].resize(frames);
      for (int32_t i = 0; i < frames; ++i) in[j][i] = 0.25f * std::sin(0.05f * (i + 7 * j)) + 0.001f * j;
      record.readPtr[j] = inPlace ? out[j].data() : in[j].data();
      record.writePtr[j] = out[j].data();
    }
    ResetOutputs(inPlace);
  }
  void ResetOutputs(bool inPlace = false) {
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
  int32_t Call(InsertContext* ctx, int32_t command) { return InsertCallback(ctx, command, &record, 0); }
};

const double kPlus6dB = std::pow(10.0, 6.0 / 20.0);

// Starts the stream, then runs buffers until the fade-in ramp is over.
void StartAndSettle(App& app, Host& host) {
  ASSERT_EQ(host.Call(app.ctx.get(), kHostCommandStart), 0);
  for (int k = 0; k < 8; ++k) host.Call(app.ctx.get(), kHostCommandBuffer);
  host.ResetOutputs(host.record.readPtr[0] == host.record.writePtr[0]);
}

TEST(InsertCallbackCommands, BufferBeforeStartAndUnusedCommandsTouchNothing) {
  App app;
  Host host(16, 64);
  EXPECT_EQ(host.Call(app.ctx.get(), kHostCommandBuffer), 0);
  for (int32_t command : {0, 2, 4, 5, 6, 7, 8, 9, 10, 12, 99, -1}) {
    EXPECT_EQ(host.Call(app.ctx.get(), command), 0) << command;
  }
  for (int32_t j = 0; j < 16; ++j) EXPECT_TRUE(host.Untouched(j)) << j;
  EXPECT_EQ(app.ctx->engine.started.load(), 0);
}

TEST(InsertCallbackCommands, StartConfiguresAndStartsOnlyWithCoefficientStorage) {
  App app;
  Host host(16, 480);
  CoefficientSet* base = app.ctx->engine.coefExchange.base;
  app.ctx->engine.coefExchange.base = nullptr;
  EXPECT_EQ(host.Call(app.ctx.get(), kHostCommandStart), -2);
  EXPECT_EQ(app.ctx->engine.started.load(), 0);
  EXPECT_EQ(host.Call(app.ctx.get(), kHostCommandBuffer), 0);
  EXPECT_TRUE(host.Untouched(0));
  app.ctx->engine.coefExchange.base = base;

  EXPECT_EQ(host.Call(app.ctx.get(), kHostCommandStart), 0);
  EXPECT_EQ(app.ctx->engine.started.load(), 1);
  EXPECT_EQ(app.ctx->engine.filter->sampleRate.load(), 48000);
  EXPECT_EQ(app.ctx->engine.process.block, &app.ctx->engine.channelBlock);
  EXPECT_EQ(app.ctx->engine.channelBlock.count, 2);
  EXPECT_EQ(app.ctx->engine.channelBlock.frames, 480);
  EXPECT_EQ(app.ctx->engine.process.rampLength, 960);
  EXPECT_EQ(app.ctx->engine.process.meterPeriod, 960);
}

TEST(InsertCallbackCommands, StartWithoutFilterIsRefused) {
  std::unique_ptr<InsertContext> ctx(new InsertContext());
  Host host(16, 64);
  EXPECT_EQ(host.Call(ctx.get(), kHostCommandStart), -2);
  EXPECT_EQ(ctx->engine.started.load(), 0);
}

TEST(InsertCallbackCommands, StartWithNoFramesUsesTheFallbackBlockSize) {
  App app;
  Host host(16, 0);
  EXPECT_EQ(host.Call(app.ctx.get(), kHostCommandStart), 0);
  EXPECT_EQ(app.ctx->engine.started.load(), 1);
  EXPECT_EQ(app.ctx->engine.channelBlock.frames, 256);
  EXPECT_EQ(app.ctx->engine.process.rampLength, 512);
  EXPECT_EQ(host.Call(app.ctx.get(), kHostCommandBuffer), 0);  // zero frames: nothing to do
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
  ASSERT_EQ(host.Call(app.ctx.get(), kHostCommandStart), 0);
  host.Call(app.ctx.get(), kHostCommandBuffer);
  host.ResetOutputs();
  const ProcessContext before = app.ctx->engine.process;

  InsertCallback_SetRestartPoster(CountRestart);
  g_restartPosts = 0;
  EXPECT_EQ(host.Call(app.ctx.get(), kHostCommandRestart), 0);
  EXPECT_EQ(g_restartPosts, 1);
  EXPECT_EQ(g_restartWindow, app.ctx->hwnd);
  EXPECT_EQ(std::memcmp(&before, &app.ctx->engine.process, sizeof before), 0);
  EXPECT_EQ(app.ctx->engine.started.load(), 1);
  for (int32_t j = 0; j < 16; ++j) EXPECT_TRUE(host.Untouched(j));

  InsertCallback_SetRestartPoster(nullptr);  // no hook installed: the request is dropped safely
  EXPECT_EQ(host.Call(app.ctx.get(), kHostCommandRestart), 0);
  EXPECT_EQ(g_restartPosts, 1);
}

TEST(InsertCallbackCommands, UnsupportedRateAfterSupportedKeepsCoefficientsButTakesTiming) {
  App app;
  app.ctx->engine.filter->param[0].g9 = 12.0f;
  app.ctx->engine.filter->param[1].g9 = 12.0f;
  Host host(16, 256);
  ASSERT_EQ(host.Call(app.ctx.get(), kHostCommandStart), 0);
  CoefficientSet at48k;
  ASSERT_EQ(GEQ15_Design(app.ctx->engine.filter, &at48k), 0);

  host.record.rate = 32000;
  EXPECT_EQ(host.Call(app.ctx.get(), kHostCommandStart), 0);
  EXPECT_EQ(app.ctx->engine.filter->sampleRate.load(), 48000);
  EXPECT_EQ(std::memcmp(&app.ctx->engine.coefExchange.base[0].channel[0], &at48k.channel[0],
                        2 * sizeof(GEQ15ChannelCoefs)),
            0);
  EXPECT_EQ(app.ctx->engine.process.meterPeriod, 768);  // 640 samples at 32 kHz, in whole blocks
  EXPECT_EQ(app.ctx->engine.process.rampLength, 512);
}

// The last bus of every host type holds exactly 8 x buses channels; its pair must be
// equalized and every other channel copied.
TEST(InsertCallbackBuffers, LastBusOfEveryHostTypeIsEqualizedAndTheRestCopied) {
  for (int32_t buses : {2, 5, 8}) {
    App app;
    app.SetOutputGainDb(6.0f);
    app.ctx->engine.bus = buses - 1;
    Host host(8 * buses, 512);
    StartAndSettle(app, host);
    EXPECT_EQ(host.Call(app.ctx.get(), kHostCommandBuffer), 0);
    const int32_t first = 8 * (buses - 1);
    for (int32_t j = 0; j < 8 * buses; ++j) {
      if (j == first || j == first + 1) {
        EXPECT_NEAR(host.GainOfSecondHalf(j), kPlus6dB, 1e-3) << "buses " << buses << " channel " << j;
      } else {
        EXPECT_TRUE(host.ExactCopy(j)) << "buses " << buses << " channel " << j;
      }
    }
  }
}

TEST(InsertCallbackBuffers, PairNeedsBothChannelsOtherwiseEverythingIsCopied) {
  App app;
  app.SetOutputGainDb(6.0f);
  app.ctx->engine.bus = 1;
  Host host(10, 512);  // bus 1's pair is channels 8 and 9
  StartAndSettle(app, host);
  host.Call(app.ctx.get(), kHostCommandBuffer);
  EXPECT_NEAR(host.GainOfSecondHalf(8), kPlus6dB, 1e-3);
  EXPECT_NEAR(host.GainOfSecondHalf(9), kPlus6dB, 1e-3);

  host.record.channelTotal = 9;  // channel 9 missing: nothing to equalize, all copied
  host.ResetOutputs();
  host.Call(app.ctx.get(), kHostCommandBuffer);
  for (int32_t j = 0; j < 9; ++j) EXPECT_TRUE(host.ExactCopy(j)) << j;
  EXPECT_TRUE(host.Untouched(9));
}

TEST(InsertCallbackBuffers, BusOutsideTheRecordCopiesEveryChannel) {
  for (int32_t bus : {-1, 8, 1 << 29, INT32_MAX, INT32_MIN}) {
    App app;
    app.SetOutputGainDb(6.0f);
    app.ctx->engine.bus = bus;
    Host host(64, 128);
    ASSERT_EQ(host.Call(app.ctx.get(), kHostCommandStart), 0);
    EXPECT_EQ(host.Call(app.ctx.get(), kHostCommandBuffer), 0);
    for (int32_t j = 0; j < 64; ++j) EXPECT_TRUE(host.ExactCopy(j)) << "bus " << bus << " channel " << j;
  }
}

TEST(InsertCallbackBuffers, SameBufferForInputAndOutputIsProcessedInPlace) {
  App app;
  app.SetOutputGainDb(6.0f);
  Host host(16, 512, /*inPlace=*/true);
  StartAndSettle(app, host);
  host.Call(app.ctx.get(), kHostCommandBuffer);
  EXPECT_NEAR(host.GainOfSecondHalf(0), kPlus6dB, 1e-3);
  EXPECT_NEAR(host.GainOfSecondHalf(1), kPlus6dB, 1e-3);
  for (int32_t j = 2; j < 16; ++j) EXPECT_TRUE(host.ExactCopy(j)) << j;
}

// Buffers whose frame count differs from the announced block: each call's own count drives
// copies, processing and the ramp. The buffers are exactly that long, so the sanitizer builds
// catch any access past them.
TEST(InsertCallbackBuffers, EachBufferIsHandledWithItsOwnFrameCount) {
  App app;
  app.SetOutputGainDb(6.0f);
  Host announced(16, 512);
  ASSERT_EQ(announced.Call(app.ctx.get(), kHostCommandStart), 0);
  EXPECT_EQ(app.ctx->engine.process.rampLength, 512);

  Host shorter(16, 100);
  shorter.Call(app.ctx.get(), kHostCommandBuffer);
  EXPECT_EQ(app.ctx->engine.process.rampRemaining, 412);
  EXPECT_EQ(app.ctx->engine.process.meterCount, 100);
  for (int32_t j = 0; j < 16; ++j) {
    for (float v : shorter.out[j]) ASSERT_FALSE(IsMarker(v)) << "channel " << j;
  }
  for (int k = 0; k < 5; ++k) shorter.Call(app.ctx.get(), kHostCommandBuffer);
  EXPECT_EQ(app.ctx->engine.process.rampRemaining, 0);

  Host longer(16, 2048);
  longer.Call(app.ctx.get(), kHostCommandBuffer);
  // Past the announced 512 frames the samples are still processed, not copied raw.
  EXPECT_NEAR(longer.out[0][2000] / longer.in[0][2000], kPlus6dB, 1e-3);
  for (int32_t j = 2; j < 16; ++j) EXPECT_TRUE(longer.ExactCopy(j)) << j;
}

TEST(InsertCallbackBuffers, UntrustedChannelCountsAndMissingBuffersStayInBounds) {
  App app;
  app.SetOutputGainDb(6.0f);
  Host host(128, 64);
  ASSERT_EQ(host.Call(app.ctx.get(), kHostCommandStart), 0);

  for (int32_t total : {0, -1, INT32_MIN}) {
    host.record.channelTotal = total;
    EXPECT_EQ(host.Call(app.ctx.get(), kHostCommandBuffer), 0);
    for (int32_t j = 0; j < 128; ++j) ASSERT_TRUE(host.Untouched(j)) << total;
  }
  host.record.channelTotal = 100000;  // capped at the 128 pointers the record holds
  EXPECT_EQ(host.Call(app.ctx.get(), kHostCommandBuffer), 0);
  for (int32_t j = 2; j < 128; ++j) EXPECT_TRUE(host.ExactCopy(j)) << j;

  host.record.channelTotal = 16;
  host.record.frameCount = -5;
  host.ResetOutputs();
  EXPECT_EQ(host.Call(app.ctx.get(), kHostCommandBuffer), 0);
  EXPECT_TRUE(host.Untouched(0));
  host.record.frameCount = 64;

  // A missing output of the pair: neither is processed, the other is copied through.
  host.record.writePtr[1] = nullptr;
  host.record.readPtr[5] = nullptr;
  host.ResetOutputs();
  EXPECT_EQ(host.Call(app.ctx.get(), kHostCommandBuffer), 0);
  EXPECT_TRUE(host.ExactCopy(0));
  EXPECT_TRUE(host.Untouched(1));
  EXPECT_TRUE(host.Untouched(5));
  EXPECT_TRUE(host.ExactCopy(6));
  EXPECT_EQ(InsertCallback(app.ctx.get(), kHostCommandBuffer, nullptr, 0), 0);
  EXPECT_EQ(InsertCallback(nullptr, kHostCommandBuffer, &host.record, 0), 0);
}

TEST(InsertCallbackBuffers, ChangingTheBusMovesTheEqualizerAtTheNextBuffer) {
  App app;
  app.SetOutputGainDb(6.0f);
  Host host(24, 512);
  StartAndSettle(app, host);
  app.ctx->engine.bus = 2;
  host.Call(app.ctx.get(), kHostCommandBuffer);
  EXPECT_TRUE(host.ExactCopy(0));
  EXPECT_TRUE(host.ExactCopy(1));
  EXPECT_NEAR(host.GainOfSecondHalf(16), kPlus6dB, 1e-3);
  EXPECT_NEAR(host.GainOfSecondHalf(17), kPlus6dB, 1e-3);
}

}  // namespace
