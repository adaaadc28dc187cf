// The insert callback against the real engine, with host records laid out as a host would.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

#include "host/insert_callback.h"
#include "tests/engine/stream_fixture.h"

namespace {

constexpr uint32_t kMarkerBits = 0x7FA5A5A5u;  // never produced by copying or processing
constexpr int32_t kApart = INT32_MIN;          // each channel's input in a buffer of its own
const double kPlus6dB = std::pow(10.0, 6.0 / 20.0);
const float kInf = INFINITY, kNaN = NAN;

// The engine as start-up creates it; +6 dB output gain tells an equalized channel from a copy.
struct App : EngineStream {
  EngineContext& e = ctx;
  InsertLink link{&ctx, nullptr, reinterpret_cast<void*>(0x1234)};
  App() { SetAll(0.0f, 6.0f); }
  int32_t Call(int32_t command, HostAudioBuffer* record) { return InsertCallback(&link, command, record, 0); }
};

// Buffers per channel, each an exact-size allocation (the sanitizer builds catch any access past
// them); with `overlap` a channel's input and output share one, the input `overlap` samples after
// the output (0: in place, negative: before it), as a host may hand them. Outputs of their own
// start as the marker, so a channel the callback never wrote is visible.
struct Host {
  HostAudioBuffer record{};
  std::vector<std::vector<float>> in, out;  // the input as the host made it; the output buffers
  int32_t outAt;                            // where the output starts in its buffer
  Host(int32_t channels, int32_t frames, int32_t overlap = kApart)
      : in(channels, std::vector<float>(frames)), outAt(overlap < 0 && overlap != kApart ? -overlap : 0) {
    record.rate = 48000, record.frameCount = frames, record.channelTotal = channels;
    for (int32_t j = 0; j < channels; ++j) {
      for (int32_t i = 0; i < frames; ++i) in[j][i] = 0.25f * std::sin(0.05f * (i + 7 * j)) + 0.001f * j;
      out.emplace_back(frames + (overlap == kApart ? 0 : std::abs(overlap)));
      record.writePtr[j] = Out(j);
      record.readPtr[j] = overlap == kApart ? in[j].data() : Out(j) + overlap;
    }
    Reset();
  }
  float* Out(size_t j) { return out[j].data() + outAt; }
  void Reset() {
    for (size_t j = 0; j < out.size(); ++j)
      if (record.readPtr[j] != in[j].data()) std::copy(in[j].begin(), in[j].end(), record.readPtr[j]);
      else for (size_t i = 0; i < in[j].size(); ++i) std::memcpy(Out(j) + i, &kMarkerBits, 4);
  }
  bool Untouched(int32_t j) { return std::all_of(Out(j), Out(j) + in[j].size(), [](float v) { return FloatBits(v) == kMarkerBits; }); }
  bool ExactCopy(int32_t j) { return std::memcmp(in[j].data(), Out(j), in[j].size() * 4) == 0; }
  double Gain(int32_t j) {  // output over input across the second half, where a ramp is over
    double sumIn = 0, sumOut = 0;
    for (size_t i = in[j].size() / 2; i < in[j].size(); ++i) sumIn += std::fabs(in[j][i]), sumOut += std::fabs(Out(j)[i]);
    return sumOut / sumIn;
  }
};

int g_restartPosts = 0;  // posts that named the window

TEST(InsertCallback, CommandsBeforeAndAfterTheStart) {
  App app;
  Host host(16, 64);
  for (int32_t command : {kHostCommandBuffer, 0, 2, 4, 10, 12, -1}) EXPECT_EQ(app.Call(command, &host.record), 0) << command;
  app.link.restart = [](void* window) { g_restartPosts += window == reinterpret_cast<void*>(0x1234); };
  EXPECT_EQ(app.Call(kHostCommandRestart, &host.record), 0);
  app.link.restart = nullptr;  // no hook installed: dropped safely
  EXPECT_EQ(app.Call(kHostCommandRestart, &host.record), 0);
  EXPECT_EQ(g_restartPosts, 1);
  // Without a link, or registered before the engine exists, the callback has nothing to work on:
  // a host calling then gets 0 and nothing is touched.
  InsertLink early{nullptr, nullptr, nullptr};
  for (InsertLink* link : {&early, static_cast<InsertLink*>(nullptr)})
    for (int32_t command : {kHostCommandStart, kHostCommandBuffer, kHostCommandRestart})
      EXPECT_EQ(InsertCallback(link, command, &host.record, 0), 0) << command;
  for (int32_t j = 0; j < 16; ++j) EXPECT_TRUE(host.Untouched(j)) << j;
  // A start without a record, or with an engine that has no filter or no coefficient storage, is
  // refused; a buffer command without a record is not read.
  app.Call(kHostCommandBuffer, nullptr);
  std::unique_ptr<EngineContext> bare(new EngineContext());
  InsertLink bareLink{bare.get(), nullptr, nullptr};
  App noStorage;
  noStorage.e.coefExchange.base = nullptr;  // the storage itself is still freed by its owner
  EXPECT_EQ(std::make_tuple(app.Call(kHostCommandStart, nullptr), InsertCallback(&bareLink, kHostCommandStart, &host.record, 0),
                            noStorage.Call(kHostCommandStart, &host.record)), std::make_tuple(-2, -2, -2));
  EXPECT_EQ(std::make_tuple(app.e.started, noStorage.e.started, bare->started), std::make_tuple(0, 0, 0));

  // A first start at a rate the filter refuses: the pair is then a copy like any other, and the
  // user interface keeps designing for the rate it assumes before a stream (design rate 0).
  host.record.rate = 32000, host.in[0][5] = kNaN;
  EXPECT_EQ(app.Call(kHostCommandStart, &host.record), 0);
  EXPECT_EQ(app.Call(kHostCommandBuffer, &host.record), 0);
  EXPECT_EQ(std::make_tuple(FloatBits(host.Out(0)[5]), host.Out(0)[6], app.e.filter->sampleRate, app.e.designRate.load()),
            std::make_tuple(0u, host.in[0][6], 0, 0));
  // Timing follows each start, a 1-frame one included; a refused rate keeps the filter's rate,
  // which the user interface then designs for.
  const struct { int32_t rate, frames, blockFrames, rampLength, meterPeriod; } starts[] = {
      {48000, 480, 480, 960, 960}, {48000, 0, 256, 512, 1024}, {48000, 1, 1, 512, 960}, {32000, 256, 256, 512, 768}};
  for (const auto& s : starts) {
    host.record.rate = s.rate, host.record.frameCount = s.frames;
    EXPECT_EQ(app.Call(kHostCommandStart, &host.record), 0);
    EXPECT_EQ(std::make_tuple(app.e.filter->sampleRate, app.e.designRate.load(), app.e.channelBlock.frames, app.e.process.rampLength,
                              app.e.process.meterPeriod), std::make_tuple(48000, 48000, s.blockFrames, s.rampLength, s.meterPeriod))
        << s.rate << " Hz, " << s.frames << " frames";
  }
}

// Which channels are equalized for a bus and a record: the selected bus's pair when both of its
// channels exist (the last bus of every host type included), every other channel copied, also from
// an input that overlaps its output, and channels past the record's count left alone.
TEST(InsertCallback, SelectedPairIsEqualizedAndEveryOtherChannelCopied) {
  const struct { int32_t buffers, channelTotal, bus, overlap, pair; } rows[] = {
      {16, 16, 1, kApart, 8},   {40, 40, 4, kApart, 32},  {64, 64, 7, kApart, 56},  {10, 10, 1, kApart, 8},
      {10, 9, 1, kApart, -1},   {16, 16, 0, 0, 0},        {16, 16, 1, 3, 8},        {16, 16, 0, -3, 0},
      {64, 64, -1, kApart, -1}, {64, 64, 8, kApart, -1},  {64, 64, 1 << 29, kApart, -1}, {64, 64, INT32_MAX, kApart, -1},
      {64, 64, INT32_MIN, kApart, -1}};
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "channels " << row.channelTotal << " bus " << row.bus << " overlap " << row.overlap);
    App app;
    Host host(row.buffers, 512, row.overlap);
    host.record.channelTotal = row.channelTotal;
    ASSERT_EQ(app.Call(kHostCommandStart, &host.record), 0);
    for (int k = 0; k < 2; ++k) app.Call(kHostCommandBuffer, &host.record);  // the fade-in ramp, on bus 0
    host.Reset();
    GEQ15_SetBus(&app.e, row.bus);  // a new bus takes effect at the next buffer
    EXPECT_EQ(app.Call(kHostCommandBuffer, &host.record), 0);
    for (int32_t j = 0; j < row.buffers; ++j)
      if (j >= row.channelTotal) EXPECT_TRUE(host.Untouched(j)) << j;
      else if (row.pair >= 0 && j >= row.pair && j < row.pair + 2) EXPECT_NEAR(host.Gain(j), kPlus6dB, 1e-3) << j;
      else EXPECT_TRUE(host.ExactCopy(j)) << j;
  }
}

// Each call's own frame count drives copies, processing and the ramp and meter counting, and no
// count, pointer or channel total from the host is trusted.
TEST(InsertCallback, FrameCountsChannelTotalsAndMissingBuffersFromTheHost) {
  App app;
  Host announced(128, 512), shorter(16, 100), longer(16, 2048);
  ASSERT_EQ(app.Call(kHostCommandStart, &announced.record), 0);
  app.Call(kHostCommandBuffer, &shorter.record);
  EXPECT_EQ(std::make_pair(app.e.process.rampRemaining, app.e.process.meterCount), std::make_pair(412, 100));
  for (int k = 0; k < 5; ++k) app.Call(kHostCommandBuffer, &shorter.record);
  app.Call(kHostCommandBuffer, &longer.record);
  EXPECT_NEAR(longer.Gain(0), kPlus6dB, 1e-3) << "all 2048 frames, not the announced 512";
  EXPECT_TRUE(longer.ExactCopy(15));
  for (int32_t total : {0, -1, INT32_MIN, 16}) {  // 16 with -5 frames
    announced.record.channelTotal = total, announced.record.frameCount = total == 16 ? -5 : 512;
    EXPECT_EQ(app.Call(kHostCommandBuffer, &announced.record), 0) << total;
  }
  for (int32_t j = 0; j < 128; ++j) ASSERT_TRUE(announced.Untouched(j)) << j;
  announced.record.channelTotal = 100000, announced.record.frameCount = 512;  // capped at the 128 pointers held
  announced.record.writePtr[1] = announced.record.readPtr[5] = nullptr;  // the pair is then copied
  app.Call(kHostCommandBuffer, &announced.record);
  EXPECT_EQ(std::make_tuple(announced.ExactCopy(0), announced.Untouched(1), announced.Untouched(5)), std::make_tuple(true, true, true))
      << "the pair whose second output is missing is copied, and a channel without input left alone";
  for (int32_t j = 6; j < 128; ++j) EXPECT_TRUE(announced.ExactCopy(j)) << j;
}

// NaN or infinity from the host, or a sample the output gain overflows: the equalized channel is
// silenced for the blocks it touches and then equalizes again; a copied channel loses only those
// samples, also where the host hands one buffer as its input and output; every other channel is
// exactly what a clean run gives. Each row puts `count` samples of `value` on one channel from
// sample `at` of a stream in blocks of 256.
TEST(InsertCallback, NonFiniteInputIsSilencedAndTheChannelRecovers) {
  const struct { int32_t channel, at, count; float value; int32_t overlap, silenced; } rows[] = {
      {0, 300, 1, kNaN, kApart, 1}, {1, 600, 1, -kInf, kApart, 1}, {0, 500, 40, kInf, kApart, 2}, {0, 300, 1, kNaN, 0, 1},
      {5, 300, 3, kNaN, kApart, 0}, {5, 300, 1, kInf, 0, 0}, {1, 300, 1, 3.0e38f, kApart, 1}};  // finite, but not at +6 dB
  constexpr int32_t kFrames = 256;
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "channel " << row.channel << " at " << row.at << " value " << row.value);
    App clean, faulty;
    Host a(8, kFrames, row.overlap), b(8, kFrames, row.overlap);
    ASSERT_EQ(clean.Call(kHostCommandStart, &a.record), 0);
    ASSERT_EQ(faulty.Call(kHostCommandStart, &b.record), 0);
    for (int32_t k = 0; k < 12; ++k) {
      for (int32_t i = 0, t = k * kFrames; i < kFrames; ++i, ++t)
        b.in[row.channel][i] = t >= row.at && t < row.at + row.count ? row.value : a.in[row.channel][i];
      a.Reset(), b.Reset();
      clean.Call(kHostCommandBuffer, &a.record), faulty.Call(kHostCommandBuffer, &b.record);
      for (int32_t j = 0; j < 8; ++j)
        for (int32_t i = 0, t = k * kFrames; i < kFrames; ++i, ++t) {
          const float got = b.Out(j)[i], want = a.Out(j)[i];
          const bool bad = j == row.channel && t >= row.at && t < row.at + row.count;
          if (j != row.channel || (j < 2 && k < row.at / kFrames)) { ASSERT_EQ(FloatBits(got), FloatBits(want)) << j << " at " << t; }
          else if (j >= 2) { ASSERT_EQ(FloatBits(got), bad ? 0u : FloatBits(want)) << t; }
          else if (j < 2 && k <= (row.at + row.count - 1) / kFrames) { ASSERT_EQ(FloatBits(got), 0u) << t; }
          else if (j < 2) { ASSERT_NEAR(got, want, 1e-5) << t; }  // equalizing again from the next block
        }
    }
    EXPECT_EQ(faulty.e.process.silencedBlocks, row.silenced);
  }
}

}  // namespace
