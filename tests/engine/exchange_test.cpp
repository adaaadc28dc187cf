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
// Arms the hook; the next writer steps count from 0.
void RunAt(int at, std::function<void()> work) { g_between = std::move(work), g_step = 0, g_at = at; }
}  // namespace

void Geq15ExchangeStep() {
  if (g_step++ == g_at && g_between) std::exchange(g_between, nullptr)();
}

namespace {

// Sets marked in their first and last word with 2 * settings, + 1 when a stream start made them.
struct Exchange {
  Exchange() { CoefExchange_Init(&ex), held = ex.base; }
  ~Exchange() { std::free(ex.storage); }
  static float& Mark(CoefficientSet* set, bool last) { return set->channel[last ? 7 : 0].na2[last ? 14 : 0]; }
  void Hold(CoefficientSet* set, bool start) {  // checks the set let go, then the one taken
    if (Mark(held, false) != value || Mark(held, true) != value) failure += "the held set was written; ";
    if (start) Mark(set, false) = Mark(set, true) = 2.0f * settings + 1.0f;
    held = set, value = Mark(set, false);
    if (Mark(set, true) != value) failure += "torn set; ";
    if (static_cast<int>(value) % 2 == 0 && value < lastPublished) failure += "published sets went backwards; ";
    if (static_cast<int>(value) % 2 == 0) lastPublished = value;
  }
  void Take() {
    CoefficientSet* before = held;
    Hold(CoefExchange_TakeNewest(&ex), false);
    if (held != before && held != ex.base + (before - ex.base + 1) % 3) failure += "a slot was skipped; ";
  }
  void Start() { Hold(CoefExchange_CatchUp(&ex), true); }
  bool Publish(int at = -1, std::function<void()> between = nullptr) {  // false: no step `at`
    ++settings;
    RunAt(at, std::move(between));
    const int32_t slot = CoefExchange_BeginWrite(&ex);
    Mark(&ex.base[slot], false) = 2.0f * settings;
    Geq15ExchangeStep();
    Mark(&ex.base[slot], true) = 2.0f * settings;
    CoefExchange_EndWrite(&ex, slot);
    return !std::exchange(g_between, nullptr);
  }
  CoefficientExchange ex{};
  CoefficientSet* held;
  float value = 0, lastPublished = 0;
  int settings = 0;
  std::string failure;
};

// Every history of up to five publications and pickups, then one more publication with pickups
// or a stream start at each of its steps: the reader never holds a torn or overwritten set, takes
// published sets one slot at a time and in order, and ends with the newest settings.
TEST(ExchangeTest, PickupsAndStartsBetweenAnyTwoWriterSteps) {
  const std::function<void(Exchange&)> actions[] = {[](Exchange& e) { e.Take(); }, [](Exchange& e) { e.Take(), e.Take(); },
                                                    [](Exchange& e) { e.Start(); }, [](Exchange& e) { e.Start(), e.Take(); }};
  int cases = 0;
  for (int length = 0; length <= 5; ++length)
    for (int history = 0; history < (1 << length); ++history)
      for (int a = 0; a < 4; ++a)
        for (int at = 0;; ++at, ++cases) {
          Exchange e;
          e.Start();
          for (int i = 0; i < length; ++i) (history >> i & 1) ? (void)e.Publish() : e.Take();
          if (!e.Publish(at, [&] { actions[a](e); })) break;
          e.Take(), e.Take();
          if (static_cast<int>(e.value) / 2 != e.settings) e.failure += "the newest settings did not arrive";
          ASSERT_EQ(e.failure, "") << "action " << a << " at step " << at << " after history " << history << "/" << length;
        }
  EXPECT_GT(cases, 1000);
}

// A start that changes the rate at any step of a publication: the audio thread ends up with the
// current settings designed for the new rate.
TEST(ExchangeTest, StartChangingTheRateDuringAPublication) {
  for (int at = 0;; ++at) {
    EngineStream s;
    s.Start(48000, 256);
    RunAt(at, [&] { s.Start(96000, 256); });
    ASSERT_EQ(s.SetAll(3.0f, -2.0f), 0);
    if (std::exchange(g_between, nullptr)) break;
    CoefficientSet want{};
    ASSERT_EQ(GEQ15_Design(s.filter(), &want), 0);
    CoefExchange_TakeNewest(&s.exchange());
    EXPECT_EQ(std::memcmp(CoefExchange_TakeNewest(&s.exchange()), &want, 2 * sizeof want.channel[0]), 0)
        << "a set for the old rate was kept (start at writer step " << at << ")";
  }
}

TEST(ExchangeTest, DefaultsPublishingBeforeTheStartAndMissingStorage) {
  EngineStream s;
  const GEQ15ChannelParam zero{};
  for (const GEQ15ChannelParam& p : s.filter()->param) EXPECT_EQ(std::memcmp(&p, &zero, sizeof p), 0);
  EXPECT_TRUE(s.ctx.gainMin == -12.0f && s.ctx.gainMax == 12.0f);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(s.exchange().base) % 16 + reinterpret_cast<uintptr_t>(s.filter()->meters.base) % 16, 0u);
  MeterSnapshot snap;
  EXPECT_EQ(GEQ15_ReadMeters(s.filter(), &snap), -1) << "not configured";
  EXPECT_EQ(s.SetAll(3.0f, 0.0f), 0);
  EXPECT_EQ(s.exchange().ready[1].load() | s.exchange().ready[2].load(), kSlotFree) << "nothing to publish to yet";
  s.Start(48000, 512);
  EXPECT_GT(CoefExchange_TakeNewest(&s.exchange())->channel[0].b0[8], 1.0f) << "the start designs the records";
  const int32_t writeIndex = s.exchange().writeIndex.load();
  EXPECT_EQ(GEQ15_ResetParams(s.filter()), 0);
  EXPECT_EQ(s.exchange().writeIndex.load(), writeIndex) << "reset must not publish";
  EXPECT_EQ(std::memcmp(&s.filter()->param[0], &zero, sizeof zero), 0);

  EXPECT_EQ(CoefExchange_Init(nullptr) + MeterExchange_Init(nullptr) + GEQ15_ReadMeters(s.filter(), nullptr), -4);
  for (void** storage : {&s.exchange().storage, &s.filter()->meters.storage}) std::free(std::exchange(*storage, nullptr));
  s.exchange().base = nullptr;
  s.filter()->meters.base = nullptr;
  EXPECT_EQ(GEQ15_ReadMeters(s.filter(), &snap), -3);
  EXPECT_EQ(CoefExchange_TakeNewest(&s.exchange()), nullptr);
  EXPECT_EQ(s.SetAll(1.0f, 1.0f) + GEQ15_StartStream(&s.ctx, 48000, 512), -2);
  const std::vector<float> in(512, 0.5f);
  EXPECT_EQ(s.Run(in), in) << "without any set taken the audio stays as the callback copied it";
}

}  // namespace
