// Both exchanges hammered by two real threads (run under ThreadSanitizer in the tsan build).
// Every published item carries a stamp in each of its words, so a torn item, an item written
// while the reader holds it, or an item taken out of order shows up as a mismatch.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/engine/stream_fixture.h"

namespace {

constexpr int kCoefWords = static_cast<int>(sizeof(CoefficientSet) / sizeof(float));
// The writer goes on past kPublications until the reader has seen kMinChanges new items, so the
// two threads really overlap however coarsely a busy machine schedules them; kMaxPublications
// bounds the run (and keeps every stamp exact in float).
constexpr int kPublications = 20000;
constexpr int kMinChanges = 2000;
constexpr int kMaxPublications = 900000;

// Word i of set number `stamp` is stamp + i: exact in float for every stamp used here.
void FillSet(CoefficientSet* set, int stamp) {
  float* words = reinterpret_cast<float*>(set);
  for (int i = 0; i < kCoefWords; ++i) words[i] = static_cast<float>(stamp + i);
}

// The stamp of an intact set, or -1 when its words disagree.
int StampOf(const CoefficientSet* set) {
  const float* words = reinterpret_cast<const float*>(set);
  const int stamp = static_cast<int>(words[0]);
  for (int i = 0; i < kCoefWords; ++i)
    if (words[i] != static_cast<float>(stamp + i)) return -1;
  return stamp;
}

TEST(ConcurrencyTest, CoefficientExchangeUnderLoad) {
  EngineStream s;
  s.Start(48000, 512);
  CoefficientExchange* ex = &s.exchange();
  FillSet(&ex->base[0], 0);
  std::atomic<bool> done{false};

  std::atomic<int> seen{0}, published{0};
  std::atomic<bool> writing{false}, reading{false};
  std::thread writer([&] {
    writing.store(true);
    while (!reading.load()) std::this_thread::yield();
    for (int stamp = 1; stamp <= kMaxPublications && (stamp <= kPublications || seen.load() < kMinChanges);
         ++stamp) {
      const int32_t slot = CoefExchange_BeginWrite(ex);
      if (slot < 0) break;
      FillSet(&ex->base[slot], stamp);
      CoefExchange_EndWrite(ex, slot);
      published.store(stamp, std::memory_order_relaxed);
      if (stamp % 64 == 0) std::this_thread::yield();
    }
    done.store(true, std::memory_order_release);
  });

  // A failure stops the loop but still joins the writer.
  int last = 0, pickups = 0, taken = 0;
  std::string failure;
  auto check = [&](CoefficientSet* set) {
    const int stamp = StampOf(set);
    if (stamp < 0) return failure = "torn set after " + std::to_string(pickups) + " pickups", false;
    if (stamp < last) return failure = "stamps went backwards", false;
    if (stamp != last) seen.store(++taken, std::memory_order_relaxed);
    last = stamp;
    return true;
  };
  // Both threads wait for each other before they start.
  reading.store(true);
  while (!writing.load()) std::this_thread::yield();
  CoefficientSet* held = CoefExchange_TakeNewest(ex);
  bool ok = check(held);
  while (ok && !done.load(std::memory_order_acquire)) {
    // The held set must still be intact and unchanged just before we let go of it.
    if (StampOf(held) != last) {
      failure = "the held slot was written";
      break;
    }
    CoefficientSet* next = CoefExchange_TakeNewest(ex);
    ++pickups;
    if (next != held && next != ex->base + (held - ex->base + 1) % 3) {
      failure = "the reader skipped a slot";
      break;
    }
    held = next;
    ok = check(held);
  }
  writer.join();
  ASSERT_EQ(failure, "");
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(check(CoefExchange_TakeNewest(ex))) << failure;
  EXPECT_GE(published.load(), kPublications);
  EXPECT_EQ(last, published.load()) << "the newest set did not arrive after publishing stopped";
  EXPECT_GT(taken, 1) << "the threads never overlapped";
}

TEST(ConcurrencyTest, MeterExchangeUnderLoad) {
  EngineStream s;
  s.Start(48000, 512);
  MeterExchange* ex = &s.filter()->meters;
  std::atomic<bool> done{false};
  std::atomic<int> lastPublished{0}, seen{0};
  std::atomic<bool> writing{false}, reading{false};

  std::thread audio([&] {
    writing.store(true);
    while (!reading.load()) std::this_thread::yield();
    for (int stamp = 1; stamp <= kMaxPublications && (stamp <= kPublications || seen.load() < kMinChanges);
         ++stamp) {
      MeterSnapshot* slot = MeterExchange_BeginWrite(ex);
      if (!slot) {  // both unread: skipped, as the meter writer does
        std::this_thread::yield();
        continue;
      }
      for (int i = 0; i < 16; ++i) slot->peak[i] = static_cast<float>(stamp * 16 + i);
      MeterExchange_EndWrite(ex);
      lastPublished.store(stamp, std::memory_order_relaxed);
    }
    done.store(true, std::memory_order_release);
  });

  int last = 0, changes = 0;
  std::string failure;
  MeterSnapshot snap;
  auto read = [&] {
    if (GEQ15_ReadMeters(s.filter(), &snap) != 0) return failure = "reading failed", false;
    // Stamp 0 is the zero-filled snapshot of the stream start.
    const int stamp = static_cast<int>(snap.peak[0]) / 16;
    for (int i = 0; i < 16; ++i) {
      const float want = stamp == 0 ? 0.0f : static_cast<float>(stamp * 16 + i);
      if (snap.peak[i] != want) return failure = "torn snapshot", false;
    }
    if (stamp < last) return failure = "snapshots went backwards", false;
    if (stamp != last) seen.store(++changes, std::memory_order_relaxed);
    last = stamp;
    return true;
  };
  // Both threads wait for each other before they start.
  reading.store(true);
  while (!writing.load()) std::this_thread::yield();
  while (!done.load(std::memory_order_acquire) && read()) {
  }
  audio.join();
  ASSERT_EQ(failure, "");
  ASSERT_TRUE(read()) << failure;
  EXPECT_EQ(last, lastPublished.load()) << "the last publication was not read";
  EXPECT_GT(changes, 1) << "the threads never overlapped";
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
    ASSERT_EQ(s.SetAll(static_cast<float>(edit % 25 - 12), static_cast<float>(edit % 7 - 3)), 0);
    ASSERT_EQ(GEQ15_ReadMeters(s.filter(), &snap), 0);
    EXPECT_LE(snap.peak[0], 0.5f);
  }
  done.store(true, std::memory_order_release);
  audio.join();
  EXPECT_FALSE(bad.load()) << "processing produced a non-finite or runaway sample";
}

}  // namespace
