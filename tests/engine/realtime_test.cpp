// The audio thread's real-time rules. Its work (stream start, pickup, processing, meter
// publication) must never allocate: this program replaces operator new and, on glibc without a
// sanitizer, malloc itself to count. And both exchanges must hold under two real threads at
// once, as the program runs them (under ThreadSanitizer in the tsan build).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "tests/engine/stream_fixture.h"

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // operator new below is malloc underneath
#endif

namespace {
std::atomic<long> g_allocations{0};
std::atomic<bool> g_counting{false};
void Count() { g_allocations += g_counting.load() ? 1 : 0; }
}  // namespace

void* operator new(std::size_t size) {
  Count();
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define GEQ15_SANITIZED 1  // a sanitizer brings its own allocator
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define GEQ15_SANITIZED 1
#endif
#endif
#if defined(__GLIBC__) && !defined(GEQ15_SANITIZED)
#define GEQ15_COUNT_MALLOC 1
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* malloc(size_t size) { return Count(), __libc_malloc(size); }
void* calloc(size_t n, size_t size) { return Count(), __libc_calloc(n, size); }
void* realloc(void* p, size_t size) { return Count(), __libc_realloc(p, size); }
}
#endif

namespace {

template <class Work>
long Allocations(Work work) {
  g_allocations = 0;
  g_counting = true;
  work();
  g_counting = false;
  return g_allocations.load();
}

TEST(AllocationTest, AudioPathAllocatesNothing) {
  EXPECT_GE(Allocations([] { delete new std::vector<int>(100); }), 1) << "the counter must see an allocation";
#ifdef GEQ15_COUNT_MALLOC
  EXPECT_EQ(Allocations([] { std::free(std::malloc(64)); }), 1);
#endif
  EngineStream s;
  EXPECT_EQ(Allocations([&] { s.Start(48000, 256); }), 0) << "stream start";
  std::vector<float> left(256, 0.25f), right(256, -0.25f);
  MeterSnapshot snap;
  for (int round = 0; round < 40; ++round) {
    if (round % 3 == 0) { EXPECT_EQ(s.SetAll(static_cast<float>(round % 13 - 6), -1.0f), 0); }
    // Pickup, in-place processing and (every fourth block) meter publication.
    EXPECT_EQ(Allocations([&] { s.RunBlock(left.data(), right.data(), 256); }), 0) << "block " << round;
    if (round % 5 == 0) { EXPECT_EQ(GEQ15_ReadMeters(s.filter(), &snap), 0); }
  }
  EXPECT_NE(s.process().taken, &s.exchange().base[0]) << "new sets were taken on the way";
}


constexpr int kCoefWords = static_cast<int>(sizeof(PublishedSet) / sizeof(float));
float* Words(PublishedSet* set) { return reinterpret_cast<float*>(set); }
void Fill(PublishedSet* set, float stamp) { std::fill(Words(set), Words(set) + kCoefWords, stamp); }

// Every word holds the stamp; published stamps (positive) never go backwards.
struct Checker {
  bool Take(const float* words, int count) {
    const float stamp = words[0];
    if (std::count(words, words + count, stamp) != count) return failure = "torn item", false;
    if (stamp > 0 && stamp < last) return failure = "stamps went backwards", false;
    if (stamp > 0 && stamp != last) changes.fetch_add(1, std::memory_order_relaxed), last = stamp;
    return true;
  }
  float last = 0;
  std::atomic<int> changes{0};
  std::string failure;
};

// The user-interface thread publishes coefficient sets and reads meters; the audio thread takes
// sets, every 97th time through a stream start that redesigns the set it holds, and publishes
// meters. Every item carries its stamp in each word, so a torn item, one written while held or
// one taken out of order shows as a mismatch.
TEST(ConcurrencyTest, BothExchangesUnderLoad) {
  EngineStream s;
  s.Start(48000, 512);
  CoefficientExchange* ex = &s.exchange();
  MeterExchange* meters = &s.filter()->meters;
  Checker sets, meterReads;
  std::atomic<bool> stop{false};
  std::atomic<int> published{0};
  auto readMeters = [&] {
    MeterSnapshot snap;
    return GEQ15_ReadMeters(s.filter(), &snap) == 0 && meterReads.Take(snap.peak, 16);
  };
  // The user interface goes on until the audio thread has seen enough new sets, so the threads
  // really overlap however a busy machine schedules them; the bound is for one that never runs.
  std::thread ui([&] {
    for (int stamp = 1; stamp < 50000000 && !stop.load() && (stamp <= 20000 || sets.changes.load() < 2000); ++stamp) {
      const int32_t slot = CoefExchange_BeginWrite(ex);
      Fill(&ex->base[slot], static_cast<float>(stamp));
      CoefExchange_EndWrite(ex, slot);
      published.store(stamp, std::memory_order_relaxed);
      if (!readMeters()) break;
      if (stamp % 64 == 0) std::this_thread::yield();
    }
    stop.store(true);
  });
  PublishedSet* held = CoefExchange_CatchUp(ex);
  Fill(held, -1.0f);
  float heldStamp = -1.0f;
  int meterStamp = 0;
  auto take = [&](int pickup) {
    if (Words(held)[0] != heldStamp || !sets.Take(Words(held), kCoefWords))
      return sets.failure += " (the held set was written)", false;
    held = pickup % 97 ? CoefExchange_TakeNewest(ex) : CoefExchange_CatchUp(ex);
    if (!sets.Take(Words(held), kCoefWords)) return false;
    // A start redesigns the slot it holds from settings at least as new as the set it took,
    // so that set counts as arrived before the redesign overwrites it.
    if (pickup % 97 == 0) Fill(held, -static_cast<float>(pickup));
    heldStamp = Words(held)[0];
    return true;
  };
  for (int pickup = 1; !stop.load() && take(pickup); ++pickup) {
    if (MeterSnapshot* slot = MeterExchange_BeginWrite(meters)) {
      std::fill(slot->peak, slot->peak + 16, static_cast<float>(++meterStamp));
      MeterExchange_EndWrite(meters);
    }
  }
  stop.store(true);
  ui.join();
  ASSERT_EQ(sets.failure + meterReads.failure, "");
  EXPECT_TRUE(take(1) && take(2)) << sets.failure;
  EXPECT_EQ(sets.last, published.load()) << "the newest set did not arrive after publishing stopped";
  EXPECT_TRUE(readMeters() && meterReads.last == meterStamp) << "the last meter publication was not read";
}

// The engine's own entry points on two real threads, as the program runs them: the user-interface
// thread sets records while the audio thread starts streams at changing rates and processes
// blocks. The tsan build reports any access the threads share outside the exchanges and the
// atomics; at the end the newest records play, designed for the last stream's rate.
TEST(ConcurrencyTest, SettingsAgainstStreamStartsAndBlocks) {
  EngineStream s;
  s.Start(48000, 256);
  // The audio thread waits for the first publication, and the user interface goes on until the
  // audio thread has started enough streams, so the two really overlap however the machine
  // schedules them; the bound is for one that never runs.
  std::atomic<int> starts{0}, last{0};
  std::atomic<bool> stop{false};
  std::thread ui([&] {
    for (int i = 1; i < 5000000 && (i <= 100 || starts.load() < 60); ++i) {
      s.SetAll(static_cast<float>(i % 25 - 12), -1.0f);
      last.store(i);
    }
    stop.store(true);
  });
  const int32_t rates[] = {96000, 44100, 48000};
  int32_t rate = 48000;
  std::vector<float> left(256), right(256);
  while (last.load() == 0) std::this_thread::yield();
  for (int block = 1; !stop.load(); ++block) {
    if (block % 8 == 0) s.Start(rate = rates[starts++ % 3], 256);
    std::fill(left.begin(), left.end(), 0.25f), std::fill(right.begin(), right.end(), -0.25f);
    s.RunBlock(left.data(), right.data(), 256);
  }
  ui.join();
  for (int block = 0; block < 16; ++block) s.RunBlock(left.data(), right.data(), 256);
  EXPECT_TRUE(s.Plays(static_cast<float>(last % 25 - 12), -1.0f, rate)) << "the newest records at " << rate << " Hz did not arrive";
}

}  // namespace
