// The parameter model and both exchanges. This program is built from the engine's sources with
// the coefficient exchange's step hook compiled in, so a test can run the audio thread's work
// between any two steps of the writer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <utility>

#include "tests/engine/stream_fixture.h"

namespace {
std::map<int, std::function<void()>> g_schedule;  // the other thread's work, by writer step
int g_step = 0;
// Arms the hook; the next writer steps count from 0.
void Schedule(std::map<int, std::function<void()>> work) { g_schedule = std::move(work), g_step = 0; }
}  // namespace

void Geq15ExchangeStep() {
  const auto due = g_schedule.find(g_step++);
  if (due == g_schedule.end()) return;
  const std::function<void()> work = std::move(due->second);
  g_schedule.erase(due);
  work();
}

namespace {

// Sets marked in their first and last word with 2 * settings, + 1 once a stream start redesigned
// them (from their own settings).
struct Exchange {
  Exchange() { CoefExchange_Init(&ex), held = ex.base; }
  ~Exchange() { std::free(ex.storage); }
  static float& Mark(PublishedSet* set, bool last) { return set->coefs.channel[last ? 7 : 0].na2[last ? 14 : 0]; }
  void Hold(PublishedSet* set, bool start) {  // checks the set let go, then the one taken
    if (Mark(held, false) != value || Mark(held, true) != value) failure += "the held set was written; ";
    if (start) Mark(set, false) = Mark(set, true) = 2.0f * (static_cast<int>(Mark(set, false)) / 2) + 1.0f;
    held = set, value = Mark(set, false);
    if (Mark(set, true) != value) failure += "torn set; ";
    if (static_cast<int>(value) % 2 == 0 && value < lastPublished) failure += "published sets went backwards; ";
    if (static_cast<int>(value) % 2 == 0) lastPublished = value;
  }
  void Take() {
    PublishedSet* before = held;
    Hold(CoefExchange_TakeNewest(&ex), false);
    if (held != before && held != ex.base + (before - ex.base + 1) % 3) failure += "a slot was skipped; ";
  }
  void Start() { Hold(CoefExchange_CatchUp(&ex), true); }
  bool Publish(int at = -1, std::function<void()> between = nullptr) {  // false: no step `at`
    ++settings;
    Schedule({{at, std::move(between)}});
    const int32_t slot = CoefExchange_BeginWrite(&ex);
    Mark(&ex.base[slot], false) = 2.0f * settings;
    Geq15ExchangeStep();
    Mark(&ex.base[slot], true) = 2.0f * settings;
    CoefExchange_EndWrite(&ex, slot);
    return g_schedule.empty() || (g_schedule.clear(), false);
  }
  CoefficientExchange ex{};
  PublishedSet* held;
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
  EXPECT_GT(cases, 1000) << "the writer's steps are reached only with GEQ15_EXCHANGE_HOOK compiled in";
}

// The engine's stream starts against its publications, as the two threads meet. Records are
// told apart by their band gain; every set in use is checked against designs made here.
struct Streams {
  Streams() { s.SetAll(0.0f, -2.0f), s.Start(48000, 256); }
  // The set the audio thread uses is some published records' design for the current stream.
  bool InUseIsFor(float bandDb) { return s.Plays(bandDb, -2.0f, rate); }
  // One host block; `failure` names every block whose set was designed for another rate.
  void Block(const char* when) {
    s.Run(std::vector<float>(256, 1.0f));
    bool known = false;
    for (float db : seen) known = known || InUseIsFor(db);
    if (!known) failure += std::string(" ") + when + " block at " + std::to_string(rate) + " Hz;";
  }
  // A rate the engine refuses leaves the designs at the rate accepted before.
  void Start(int32_t newRate) {
    s.Start(newRate, 256);
    if (GEQ15_CheckRate(newRate) == 0) rate = newRate;
    Block("start's");
  }
  void Publish(float bandDb) { seen.push_back(bandDb), s.SetAll(bandDb, -2.0f); }
  EngineStream s;
  int32_t rate = 48000;
  std::vector<float> seen{0.0f};
  std::string failure;
};

// Stream starts at any steps of a publication, at rates that come back (48, 96, 48 kHz) or all
// differ, up to five in one publication: no block ever uses a set designed for another rate, and
// once the reader has caught up the newest settings play at the stream's rate.
TEST(ExchangeTest, StartsDuringAPublicationNeverLeaveASetForAnotherRate) {
  const std::vector<int32_t> sequences[] = {{96000, 48000, 96000, 48000, 96000}, {96000, 32000, 192000, 44100, 200000}};
  std::vector<std::vector<int>> schedules;  // writer steps of the starts, ascending
  for (int a = 0; a < 16; ++a) {
    schedules.push_back({a});
    for (int b = a + 1; b < 16; ++b) {
      schedules.push_back({a, b});
      for (int c = b + 1; c < 16; ++c) schedules.push_back({a, b, c});
    }
    for (int gap = 1; gap <= 5; ++gap) schedules.push_back({a, a + gap, a + 2 * gap, a + 3 * gap, a + 4 * gap});
  }
  int cases = 0;
  for (const std::vector<int32_t>& rates : sequences)
    for (const std::vector<int>& steps : schedules) {
      Streams t;
      t.Block("first");
      std::map<int, std::function<void()>> starts;
      for (size_t i = 0; i < steps.size(); ++i) starts[steps[i]] = [&t, rate = rates[i]] { t.Start(rate); };
      Schedule(starts);
      t.Publish(3.0f);
      if (!g_schedule.empty()) {  // the publication ended before the last start
        g_schedule.clear();
        continue;
      }
      ++cases;
      for (int b = 0; b < 12; ++b) t.Block("later");
      if (!t.InUseIsFor(3.0f)) t.failure += " the newest settings never arrived;";
      ASSERT_EQ(t.failure, "") << steps.size() << " starts at writer steps " << ::testing::PrintToString(steps);
    }
  EXPECT_GT(cases, 300) << "the writer's steps are reached only with GEQ15_EXCHANGE_HOOK compiled in";
}

// Two publications wait unread when the stream starts: the start takes both and designs the
// newer, which no later publication would bring (it was published for the earlier stream). And
// the generation never comes back to 0, which labels records published before any stream.
TEST(ExchangeTest, StartDesignsTheNewestOfTheWaitingSets) {
  for (uint32_t generation : {1u, UINT32_MAX}) {
    Streams t;
    t.s.ctx.streamGeneration.store(generation);
    t.Publish(1.0f);
    t.Publish(2.0f);
    t.Start(96000);
    for (int b = 0; b < 12; ++b) t.Block("later");
    EXPECT_TRUE(t.InUseIsFor(2.0f)) << "from generation " << generation;
    t.Publish(3.0f);
    for (int b = 0; b < 12; ++b) t.Block("later");
    EXPECT_TRUE(t.InUseIsFor(3.0f)) << "from generation " << generation;
    EXPECT_EQ(t.failure, "") << "from generation " << generation;
  }
}

// Before the first start the records travel alone, labelled for no stream, and the start designs
// the newest of them; without storage nothing is published and nothing starts.
TEST(ExchangeTest, DefaultsPublishingBeforeTheStartAndMissingStorage) {
  EngineStream s;
  const GEQ15ChannelParam zero{};
  for (const GEQ15ChannelParam& p : s.filter()->param) EXPECT_EQ(std::memcmp(&p, &zero, sizeof p), 0);
  EXPECT_EQ(std::make_tuple(s.ctx.gainMin, s.ctx.gainMax, reinterpret_cast<uintptr_t>(s.exchange().base) % 16,
                            reinterpret_cast<uintptr_t>(s.filter()->meters.base) % 16), std::make_tuple(-12.0f, 12.0f, 0u, 0u));
  MeterSnapshot snap;
  EXPECT_EQ(GEQ15_ReadMeters(s.filter(), &snap), -1) << "not configured";
  EXPECT_EQ(s.SetAll(3.0f, 0.0f), 0);
  const PublishedSet& waiting = s.exchange().base[1];
  EXPECT_EQ(std::make_pair(waiting.generation, waiting.records[1].bands[8]), std::make_pair(0u, 3.0f)) << "records alone: nothing to design for yet";
  s.Start(48000, 512);
  const PublishedSet* held = CoefExchange_TakeNewest(&s.exchange());
  EXPECT_EQ(std::make_pair(held, held->generation), std::make_pair(&waiting, s.ctx.streamGeneration.load()));
  EXPECT_GT(held->coefs.channel[0].b0[8], 1.0f) << "the start designs the records";
  EXPECT_EQ(GEQ15_ResetParams(&s.ctx), 0);
  EXPECT_EQ(std::memcmp(&s.filter()->param[0], &zero, sizeof zero), 0);
  EXPECT_EQ(CoefExchange_TakeNewest(&s.exchange())->coefs.channel[0].b0[8], 1.0f) << "the reset is published";

  EXPECT_EQ(std::make_tuple(CoefExchange_Init(nullptr), MeterExchange_Init(nullptr), GEQ15_ReadMeters(s.filter(), nullptr)), std::make_tuple(-1, -1, -2));
  for (void** storage : {&s.exchange().storage, &s.filter()->meters.storage}) std::free(std::exchange(*storage, nullptr));
  s.exchange().base = nullptr;
  s.filter()->meters.base = nullptr;
  EXPECT_EQ(std::make_tuple(GEQ15_ReadMeters(s.filter(), &snap), CoefExchange_TakeNewest(&s.exchange()), s.SetAll(1.0f, 1.0f),
                            GEQ15_StartStream(&s.ctx, 48000, 512)), std::make_tuple(-3, nullptr, 0, -2));
  const std::vector<float> in(512, 0.5f);
  EXPECT_EQ(s.Run(in), in) << "with no stream started the audio stays as the callback copied it";
}

}  // namespace
