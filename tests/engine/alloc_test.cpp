// The audio thread's work (stream start, pickup, processing, meter publication) must never
// allocate. This program replaces operator new and, on glibc, malloc itself to count calls.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "tests/engine/stream_fixture.h"

// operator new below is malloc underneath, so its delete frees with free; GCC cannot see that.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
void Count() {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

void* operator new(std::size_t size) {
  Count();
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

// The sanitizers bring their own allocator; there only operator new is counted.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define GEQ15_SANITIZED 1
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
long CountAllocations(Work work) {
  g_allocations = 0;
  g_counting = true;
  work();
  g_counting = false;
  return g_allocations.load();
}

TEST(AllocationTest, AudioPathAllocatesNothing) {
  // The counter must see what it is meant to catch.
  EXPECT_GE(CountAllocations([] { delete new std::vector<int>(100); }), 1);
#ifdef GEQ15_COUNT_MALLOC
  EXPECT_EQ(CountAllocations([] { std::free(std::malloc(64)); }), 1);
#endif
  EngineStream s;
  EXPECT_EQ(CountAllocations([&] { s.Start(48000, 256); }), 0) << "stream start";
  std::vector<float> left(256, 0.25f), right(256, -0.25f);
  MeterSnapshot snap;
  for (int round = 0; round < 40; ++round) {
    if (round % 3 == 0) ASSERT_EQ(s.SetAll(static_cast<float>(round % 13 - 6), -1.0f), 0);
    // Pickup, in-place processing and (every fourth block) meter publication.
    EXPECT_EQ(CountAllocations([&] { s.RunBlock(left.data(), right.data(), 256); }), 0) << "block " << round;
    if (round % 5 == 0) ASSERT_EQ(GEQ15_ReadMeters(s.filter(), &snap), 0);
  }
  EXPECT_NE(s.process().coefs, &s.exchange().base[0]) << "new sets were taken on the way";
}

}  // namespace
