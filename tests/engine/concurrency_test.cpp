// Both exchanges hammered by two real threads (run under ThreadSanitizer in the tsan build).
// Every published item carries a stamp in each of its words, so a torn item, an item written
// while the reader holds it, or an item taken out of order shows up as a mismatch.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/engine/stream_fixture.h"

namespace {

constexpr int kCoefWords = static_cast<int>(sizeof(CoefficientSet) / sizeof(float));
// The writer goes on past kPublications until the reader has seen kMinChanges new items, so the
// threads really overlap however coarsely a busy machine schedules them; kMaxPublications bounds
// the run and keeps every stamp exact in float.
constexpr int kPublications = 20000;
constexpr int kMinChanges = 2000;
// The writer goes on past kPublications until the reader has seen kMinChanges new items, so the
// threads really overlap however coarsely a busy machine schedules them. A skipped publication
// (both slots unread) yields to the reader instead of using up a stamp, so stamps stay exact in
// float; kMaxAttempts only bounds a run in which the reader never gets to run at all.
constexpr long kMaxAttempts = 50000000;

// Runs publish(stamp) (false when the writer skipped) for rising stamps on a second thread while
// read() (false on a failure) runs here. Returns the last stamp published.
template <class Publish, class Read>
int Race(Publish publish, Read read, const std::atomic<int>& changesSeen) {
  std::atomic<bool> done{false}, writing{false}, reading{false};
  std::atomic<int> published{0};
  std::thread writer([&] {
    writing.store(true);
    while (!reading.load()) std::this_thread::yield();
    int stamp = 1;
    for (long attempt = 0; attempt < kMaxAttempts && (stamp <= kPublications || changesSeen.load() < kMinChanges);
         ++attempt) {
      if (publish(stamp)) {
        published.store(stamp, std::memory_order_relaxed);
        if (++stamp % 64 == 0) std::this_thread::yield();
      } else {
        std::this_thread::yield();
      }
    }
    done.store(true, std::memory_order_release);
  });
  reading.store(true);
  while (!writing.load()) std::this_thread::yield();
  while (!done.load(std::memory_order_acquire) && read()) {
  }
  writer.join();
  return published.load();
}

// Stamps must arrive intact and never go backwards; counts the changes seen.
struct StampChecker {
  int last = 0;
  std::atomic<int> changes{0};
  std::string failure;
  bool Check(int stamp, bool intact) {
    if (!intact) return failure = "torn item after stamp " + std::to_string(last), false;
    if (stamp < last) return failure = "stamps went backwards", false;
    if (stamp != last) changes.fetch_add(1, std::memory_order_relaxed);
    last = stamp;
    return true;
  }
};

TEST(ConcurrencyTest, CoefficientExchangeUnderLoad) {
  EngineStream s;
  s.Start(48000, 512);
  CoefficientExchange* ex = &s.exchange();
  // Word i of set number `stamp` is stamp + i.
  auto fill = [](CoefficientSet* set, int stamp) {
    float* words = reinterpret_cast<float*>(set);
    for (int i = 0; i < kCoefWords; ++i) words[i] = static_cast<float>(stamp + i);
  };
  auto stampOf = [](const CoefficientSet* set) {
    const float* words = reinterpret_cast<const float*>(set);
    const int stamp = static_cast<int>(words[0]);
    for (int i = 0; i < kCoefWords; ++i)
      if (words[i] != static_cast<float>(stamp + i)) return -1;
    return stamp;
  };
  fill(&ex->base[0], 0);
  StampChecker checker;
  CoefficientSet* held = nullptr;
  auto take = [&] {
    // The held set must still be unchanged just before we let go of it.
    if (held && stampOf(held) != checker.last) return checker.failure = "the held slot was written", false;
    CoefficientSet* next = CoefExchange_TakeNewest(ex);
    if (held && next != held && next != ex->base + (held - ex->base + 1) % 3)
      return checker.failure = "the reader skipped a slot", false;
    held = next;
    const int stamp = stampOf(held);
    return checker.Check(stamp, stamp >= 0);
  };
  const int published = Race(
      [&](int stamp) {
        const int32_t slot = CoefExchange_BeginWrite(ex);
        if (slot < 0) return false;
        fill(&ex->base[slot], stamp);
        CoefExchange_EndWrite(ex, slot);
        return true;
      },
      take, checker.changes);
  ASSERT_EQ(checker.failure, "");
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(take()) << checker.failure;
  EXPECT_GE(published, kPublications);
  EXPECT_EQ(checker.last, published) << "the newest set did not arrive after publishing stopped";
  EXPECT_GT(checker.changes.load(), 1) << "the threads never overlapped";
}

TEST(ConcurrencyTest, MeterExchangeUnderLoad) {
  EngineStream s;
  s.Start(48000, 512);
  MeterExchange* ex = &s.filter()->meters;
  StampChecker checker;
  auto read = [&] {
    MeterSnapshot snap;
    if (GEQ15_ReadMeters(s.filter(), &snap) != 0) return checker.failure = "reading failed", false;
    // Stamp 0 is the zero-filled snapshot of the stream start.
    const int stamp = static_cast<int>(snap.peak[0]) / 16;
    bool intact = true;
    for (int i = 0; i < 16; ++i) intact = intact && snap.peak[i] == (stamp == 0 ? 0.0f : stamp * 16.0f + i);
    return checker.Check(stamp, intact);
  };
  const int published = Race(
      [&](int stamp) {
        MeterSnapshot* slot = MeterExchange_BeginWrite(ex);
        if (!slot) return false;  // both unread: skipped, as the meter writer does
        for (int i = 0; i < 16; ++i) slot->peak[i] = static_cast<float>(stamp * 16 + i);
        MeterExchange_EndWrite(ex);
        return true;
      },
      read, checker.changes);
  ASSERT_EQ(checker.failure, "");
  ASSERT_TRUE(read()) << checker.failure;
  EXPECT_EQ(checker.last, published) << "the last publication was not read";
  EXPECT_GT(checker.changes.load(), 1) << "the threads never overlapped";
}

// The whole engine as the application runs it: the user-interface thread edits, publishes and
// reads meters while the audio thread runs the block cycle.
TEST(ConcurrencyTest, PublishProcessAndMeterTogether) {
  EngineStream s;
  s.Start(48000, 128);
  std::atomic<bool> done{false}, bad{false};
  std::thread audio([&] {
    std::vector<float> left(128), right(128);
    while (!done.load(std::memory_order_acquire)) {
      for (int k = 0; k < 128; ++k) left[k] = right[k] = (k % 16) / 16.0f - 0.5f;
      s.RunBlock(left.data(), right.data(), 128);
      for (float y : left)
        if (!(y > -100.0f && y < 100.0f)) bad.store(true);
    }
  });
  MeterSnapshot snap;
  for (int edit = 0; edit < 300; ++edit) {
    EXPECT_EQ(s.SetAll(static_cast<float>(edit % 25 - 12), static_cast<float>(edit % 7 - 3)), 0);
    EXPECT_EQ(GEQ15_ReadMeters(s.filter(), &snap), 0);
    EXPECT_LE(snap.peak[0], 0.5f);
  }
  done.store(true, std::memory_order_release);
  audio.join();
  EXPECT_FALSE(bad.load()) << "processing produced a non-finite or runaway sample";
}

}  // namespace
