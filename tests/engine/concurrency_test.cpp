// Both exchanges hammered by two real threads, run under ThreadSanitizer in the tsan build.
// Every item carries its stamp in each of its words, so a torn item, one written while the
// reader holds it or one taken out of order shows as a mismatch.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "tests/engine/stream_fixture.h"

namespace {

// Runs publish(stamp) for rising stamps on a second thread (false: skipped, try again) while
// read() runs here until it fails. The writer goes on until the reader has seen enough new items,
// so the threads really overlap however coarsely a busy machine schedules them; the attempts are
// bounded only for a reader that never gets to run. Returns the last stamp published.
template <class Publish, class Read>
int Race(Publish publish, Read read, const std::atomic<int>& changes) {
  std::atomic<bool> done{false};
  std::atomic<int> published{0};
  std::thread writer([&] {
    int stamp = 1;
    for (long attempt = 0; attempt < 50000000 && (stamp <= 20000 || changes.load() < 2000); ++attempt) {
      if (publish(stamp)) published.store(stamp++, std::memory_order_relaxed);
      if (attempt % 64 == 0) std::this_thread::yield();
    }
    done.store(true, std::memory_order_release);
  });
  while (!done.load(std::memory_order_acquire) && read()) {
  }
  writer.join();
  return published.load();
}

// The reader's checks: every word of an item holds its stamp; published stamps (positive) never
// go backwards.
struct Checker {
  bool Take(const float* words, int count) {
    const float stamp = words[0];
    for (int i = 0; i < count; ++i)
      if (words[i] != stamp) return failure = "torn item after " + std::to_string(last), false;
    if (stamp > 0 && stamp < last) return failure = "stamps went backwards", false;
    if (stamp > 0 && stamp != last) changes.fetch_add(1, std::memory_order_relaxed), last = stamp;
    return true;
  }
  float last = 0;
  std::atomic<int> changes{0};
  std::string failure;
};

constexpr int kCoefWords = static_cast<int>(sizeof(CoefficientSet) / sizeof(float));
float* Words(CoefficientSet* set) { return reinterpret_cast<float*>(set); }
void Fill(CoefficientSet* set, float stamp) { std::fill(Words(set), Words(set) + kCoefWords, stamp); }

// Every 97th pickup is a stream start, which redesigns the held set (stamped negative).
TEST(ConcurrencyTest, CoefficientExchangeWithStreamStarts) {
  EngineStream s;
  s.Start(48000, 512);
  CoefficientExchange* ex = &s.exchange();
  Checker checker;
  CoefficientSet* held = CoefExchange_CatchUp(ex);
  Fill(held, -1.0f);
  float heldStamp = -1.0f;
  int pickups = 0;
  auto take = [&] {
    if (!checker.Take(Words(held), kCoefWords) || Words(held)[0] != heldStamp)
      return checker.failure += " (the held set was written)", false;
    if (++pickups % 97 == 0) {
      held = CoefExchange_CatchUp(ex);
      Fill(held, -static_cast<float>(pickups));
    } else {
      held = CoefExchange_TakeNewest(ex);
    }
    heldStamp = Words(held)[0];
    return checker.Take(Words(held), kCoefWords);
  };
  const int published = Race(
      [&](int stamp) {
        const int32_t slot = CoefExchange_BeginWrite(ex);
        Fill(&ex->base[slot], static_cast<float>(stamp));
        CoefExchange_EndWrite(ex, slot);
        return true;
      },
      take, checker.changes);
  ASSERT_EQ(checker.failure, "");
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(take()) << checker.failure;
  EXPECT_EQ(checker.last, published) << "the newest set did not arrive after publishing stopped";
}

TEST(ConcurrencyTest, MeterExchange) {
  EngineStream s;
  s.Start(48000, 512);
  Checker checker;
  auto read = [&] {
    MeterSnapshot snap;
    if (GEQ15_ReadMeters(s.filter(), &snap) != 0) return checker.failure = "reading failed", false;
    return checker.Take(snap.peak, 16);
  };
  const int published = Race(
      [&](int stamp) {
        MeterSnapshot* slot = MeterExchange_BeginWrite(&s.filter()->meters);
        if (!slot) return false;  // both unread: skipped, as the meter writer does
        std::fill(slot->peak, slot->peak + 16, static_cast<float>(stamp));
        MeterExchange_EndWrite(&s.filter()->meters);
        return true;
      },
      read, checker.changes);
  ASSERT_EQ(checker.failure, "");
  ASSERT_TRUE(read()) << checker.failure;
  EXPECT_EQ(checker.last, published) << "the last publication was not read";
}

}  // namespace
