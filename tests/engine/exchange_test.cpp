// The parameter model and both exchanges. This program is built from the engine's sources with
// the coefficient exchange's step hook compiled in, so a test can run the audio thread's work
// between any two steps of the writer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <utility>

#include "tests/engine/stream_fixture.h"

namespace {
std::function<void()> g_between;  // the other thread's work, run once at writer step g_at
int g_step = 0, g_at = -1;
}  // namespace

void Geq15ExchangeStep() {
  if (g_step++ == g_at && g_between) std::exchange(g_between, nullptr)();
}

namespace {

constexpr int kLast = static_cast<int>(sizeof(CoefficientSet) / sizeof(float)) - 1;
float* Words(CoefficientSet* set) { return reinterpret_cast<float*>(set); }

// A set is marked in its first and last word: 2 * settings, + 1 when a stream start designed it.
struct Exchange {
  Exchange() { CoefExchange_Init(&ex); }
  ~Exchange() { std::free(ex.storage); }
  void Let(const char* how) {
    if (Words(held)[0] != value || Words(held)[kLast] != value) failure += std::string("held set written before ") + how;
  }
  void Hold(CoefficientSet* set) {
    held = set;
    value = Words(set)[0];
    if (Words(set)[kLast] != value) failure += "torn set; ";
    if (static_cast<int>(value) % 2 == 0 && value < lastPublished) failure += "published sets went backwards; ";
    if (static_cast<int>(value) % 2 == 0) lastPublished = value;
  }
  void Take() {
    CoefficientSet* before = held;
    Let("a pickup; ");
    Hold(CoefExchange_TakeNewest(&ex));
    if (held != before && held != ex.base + (before - ex.base + 1) % 3) failure += "a slot was skipped; ";
  }
  void Start() {
    Let("a start; ");
    CoefficientSet* own = CoefExchange_CatchUp(&ex);
    Words(own)[0] = Words(own)[kLast] = 2.0f * settings + 1.0f;
    Hold(own);
  }
  // Publishes new settings, running `between` at writer step `at`; false when there is no such step.
  bool Publish(std::function<void()> between = nullptr, int at = -1) {
    ++settings;
    g_between = std::move(between);
    g_step = 0;
    g_at = at;
    const int32_t slot = CoefExchange_BeginWrite(&ex);
    Words(&ex.base[slot])[0] = 2.0f * settings;
    Geq15ExchangeStep();
    Words(&ex.base[slot])[kLast] = 2.0f * settings;
    CoefExchange_EndWrite(&ex, slot);
    return !std::exchange(g_between, nullptr);
  }
  CoefficientExchange ex{};
  CoefficientSet* held = nullptr;
  float value = 0, lastPublished = 0;
  int settings = 0;
  std::string failure;
};

// Every history of up to five publications and pickups, then one more publication with pickups
// or a stream start at each of its steps: the reader never holds a torn or overwritten set, takes
// published sets one slot at a time in order, and ends with the newest settings.
TEST(ExchangeTest, PickupsAndStartsBetweenAnyTwoWriterSteps) {
  const std::function<void(Exchange&)> actions[] = {
      [](Exchange& e) { e.Take(); }, [](Exchange& e) { e.Take(), e.Take(); },
      [](Exchange& e) { e.Start(); }, [](Exchange& e) { e.Start(), e.Take(); }};
  int cases = 0;
  for (int length = 0; length <= 5; ++length) {
    for (int history = 0; history < (1 << length); ++history) {
      for (int a = 0; a < 4; ++a) {
        for (int at = 0;; ++at, ++cases) {
          Exchange e;
          e.held = e.ex.base;
          e.Start();
          for (int i = 0; i < length; ++i) (history >> i & 1) ? (void)e.Publish() : e.Take();
          if (!e.Publish([&] { actions[a](e); }, at)) break;
          e.Take();
          e.Take();
          if (static_cast<int>(e.value) / 2 != e.settings) e.failure += "the newest settings did not arrive";
          ASSERT_EQ(e.failure, "") << "action " << a << " at writer step " << at << " after history " << history
                                   << " of length " << length;
        }
      }
    }
  }
  EXPECT_GT(cases, 1000);
}

// A start that changes the rate at any step of a publication: the audio thread ends up with the
// current settings designed for the new rate.
TEST(ExchangeTest, StartChangingTheRateDuringAPublication) {
  for (int at = 0;; ++at) {
    EngineStream s;
    s.Start(48000, 256);
    g_between = [&] { s.Start(96000, 256); };
    g_step = 0;
    g_at = at;
    ASSERT_EQ(s.SetAll(3.0f, -2.0f), 0);
    if (std::exchange(g_between, nullptr)) break;
    CoefficientSet want{};
    ASSERT_EQ(GEQ15_Design(s.filter(), &want), 0);
    CoefExchange_TakeNewest(&s.exchange());
    EXPECT_EQ(std::memcmp(CoefExchange_TakeNewest(&s.exchange()), &want, 2 * sizeof want.channel[0]), 0)
        << "a set for the old rate was kept (start at writer step " << at << ")";
  }
}

TEST(ExchangeTest, DefaultsAndPublishingBeforeTheStart) {
  EngineStream s;
  const GEQ15ChannelParam zero{};
  for (const GEQ15ChannelParam& p : s.filter()->param) EXPECT_EQ(std::memcmp(&p, &zero, sizeof p), 0);
  EXPECT_EQ(s.ctx.gainMin, -12.0f);
  EXPECT_EQ(s.ctx.gainMax, 12.0f);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(s.exchange().base) % 16, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(s.filter()->meters.base) % 16, 0u);
  EXPECT_EQ(s.SetAll(3.0f, 0.0f), 0);
  EXPECT_EQ(s.exchange().ready[1].load() | s.exchange().ready[2].load(), kSlotFree) << "nothing to publish to yet";
  s.Start(48000, 512);
  EXPECT_GT(CoefExchange_TakeNewest(&s.exchange())->channel[0].b0[8], 1.0f) << "the start designs the records";
  const int32_t writeIndex = s.exchange().writeIndex.load();
  EXPECT_EQ(GEQ15_ResetParams(s.filter()), 0);
  EXPECT_EQ(s.exchange().writeIndex.load(), writeIndex) << "reset must not publish";
  EXPECT_EQ(std::memcmp(&s.filter()->param[0], &zero, sizeof zero), 0);
}

TEST(ExchangeTest, MissingStorageIsRefusedSafely) {
  EngineStream s;
  EXPECT_EQ(CoefExchange_Init(nullptr), -1);
  EXPECT_EQ(MeterExchange_Init(nullptr), -1);
  MeterSnapshot snap;
  EXPECT_EQ(GEQ15_ReadMeters(s.filter(), &snap), -1) << "not configured";
  s.Start(48000, 512);
  EXPECT_EQ(GEQ15_ReadMeters(s.filter(), nullptr), -2);
  for (void** storage : {&s.exchange().storage, &s.filter()->meters.storage}) std::free(std::exchange(*storage, nullptr));
  s.exchange().base = nullptr;
  s.filter()->meters.base = nullptr;
  EXPECT_EQ(GEQ15_ReadMeters(s.filter(), &snap), -3);
  EXPECT_EQ(CoefExchange_TakeNewest(&s.exchange()), nullptr);
  EXPECT_EQ(s.SetAll(1.0f, 1.0f), 0);
  EXPECT_EQ(GEQ15_StartStream(&s.ctx, 48000, 512), -2);
  const std::vector<float> in(512, 0.5f);
  EXPECT_EQ(s.Run(in), in) << "without any set taken the audio stays as the callback copied it";
}

TEST(ExchangeTest, MeterReaderAndWriterTakeTurns) {
  EngineStream s;
  s.Start(48000, 512);
  MeterExchange& ex = s.filter()->meters;
  MeterSnapshot snap{};
  auto read = [&] { return GEQ15_ReadMeters(s.filter(), &snap) == 0 ? snap.peak[0] : -1.0f; };
  auto write = [&](float level) {
    MeterSnapshot* slot = MeterExchange_BeginWrite(&ex);
    if (slot) slot->peak[0] = level, MeterExchange_EndWrite(&ex);
    return slot != nullptr;
  };
  EXPECT_EQ(read(), 0.0f) << "configuration zero-fills slot 0";
  EXPECT_TRUE(write(0.25f));
  EXPECT_EQ(read(), 0.25f);
  EXPECT_EQ(read(), 0.25f) << "no new publication: the same snapshot again";
  EXPECT_EQ(GEQ15_ReadMeters(s.filter(), &ex.base[ex.readIndex.load()]), 0) << "reading a slot into itself";
  EXPECT_TRUE(write(0.5f));
  EXPECT_FALSE(write(0.75f)) << "both slots unread: skip";
  EXPECT_EQ(read(), 0.5f);
  EXPECT_TRUE(write(0.75f)) << "reading frees a slot";
}

}  // namespace
