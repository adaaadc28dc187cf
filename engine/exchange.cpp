// The two lock-free exchanges between the user-interface thread and the audio thread.
//
// Each exchange has exactly one writer thread and one reader thread. A slot's contents are
// written completely before its ready word is stored with release; a thread touches a slot only
// after loading that slot's ready word with acquire (or winning a compare-and-exchange on it).
// writeIndex is touched only by the writer and readIndex only by the reader, so both are relaxed.
#include <cstdlib>
#include <cstring>

#include "engine/geq15.h"

// A test build defines GEQ15_EXCHANGE_HOOK and its own Geq15ExchangeStep to run the other
// thread's work between the writer's steps; the program compiles the steps to nothing.
#ifdef GEQ15_EXCHANGE_HOOK
void Geq15ExchangeStep();
#define EXCHANGE_STEP() Geq15ExchangeStep()
#else
#define EXCHANGE_STEP() ((void)0)
#endif

namespace {

constexpr uintptr_t kSlotAlignment = 16;

// The allocation holds the slots plus 16 bytes so that an aligned base still leaves room for all.
void* AlignedBase(void* storage) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(storage);
  const uintptr_t remainder = address % kSlotAlignment;
  return remainder == 0 ? storage : static_cast<char*>(storage) + (kSlotAlignment - remainder);
}

int32_t NextCoefSlot(int32_t slot) { return slot + 1 > 2 ? 0 : slot + 1; }
int32_t OtherMeterSlot(int32_t slot) { return (slot - 1) & 1; }

}  // namespace

// ---- coefficient exchange: user-interface thread writes, audio thread reads ----

int32_t CoefExchange_Init(CoefficientExchange* ex) {
  if (!ex) return -1;
  std::free(ex->storage);
  ex->storage = nullptr;
  ex->base = nullptr;
  // The reader starts out holding slot 0; no other thread uses the exchange yet.
  ex->ready[0].store(kSlotPublished, std::memory_order_relaxed);
  ex->ready[1].store(kSlotFree, std::memory_order_relaxed);
  ex->ready[2].store(kSlotFree, std::memory_order_relaxed);
  ex->readIndex.store(0, std::memory_order_relaxed);
  ex->writeIndex.store(1, std::memory_order_relaxed);
  // Zero-filled: every slot starts as the default records, published before any stream, so no
  // slot can ever hand uninitialised bytes to the audio thread.
  ex->storage = std::calloc(1, 3 * sizeof(PublishedSet) + kSlotAlignment);
  if (!ex->storage) return -1;
  ex->base = static_cast<PublishedSet*>(AlignedBase(ex->storage));
  return 0;
}

// Invariant (outside a call): the reader holds slot r; the unread sets, if any, are r+1 or
// r+1 and r+2 (cyclically), oldest first, and writeIndex names the newest. The writer may take
// back its own unread slot only by a compare-and-exchange Published -> Free, and the reader
// enters a slot only by Published -> Held, so the two can never both own the same slot.
int32_t CoefExchange_BeginWrite(CoefficientExchange* ex) {
  if (!ex || !ex->base) return -1;
  const int32_t w = ex->writeIndex.load(std::memory_order_relaxed);
  const int32_t n = NextCoefSlot(w);
  int32_t target;
  EXCHANGE_STEP();
  if (ex->ready[w].load(std::memory_order_acquire) == kSlotFree) {
    target = w;
  } else if (EXCHANGE_STEP(), ex->ready[n].load(std::memory_order_acquire) == kSlotFree) {
    target = n;
  } else {
    EXCHANGE_STEP();
    // Both taken: w holds our newest unread set and n is the reader's. Reclaim w unless the
    // reader has just entered it; in that case it has released both slots behind it, n among
    // them, so n is free and the new set follows the one the reader now holds.
    int32_t expected = kSlotPublished;
    if (ex->ready[w].compare_exchange_strong(expected, kSlotFree, std::memory_order_acq_rel,
                                             std::memory_order_acquire)) {
      target = w;
    } else {
      target = n;
    }
  }
  EXCHANGE_STEP();
  ex->writeIndex.store(target, std::memory_order_relaxed);
  return target;
}

void CoefExchange_EndWrite(CoefficientExchange* ex, int32_t slot) {
  if (!ex || slot < 0 || slot > 2) return;
  EXCHANGE_STEP();
  ex->ready[slot].store(kSlotPublished, std::memory_order_release);
}

PublishedSet* CoefExchange_TakeNewest(CoefficientExchange* ex) {
  if (!ex || !ex->base) return nullptr;
  int32_t r = ex->readIndex.load(std::memory_order_relaxed);
  const int32_t n = NextCoefSlot(r);
  int32_t expected = kSlotPublished;
  // Enter the next slot first, then let go of the old one: the writer never sees both free.
  if (ex->ready[n].compare_exchange_strong(expected, kSlotHeld, std::memory_order_acq_rel,
                                           std::memory_order_relaxed)) {
    ex->ready[r].store(kSlotFree, std::memory_order_release);
    r = n;
    ex->readIndex.store(r, std::memory_order_relaxed);
  }
  return ex->base + r;
}

// The stream start runs on the audio thread, the reader, while the writer may be half-way
// through a publication. So it never resets the indices or touches a slot the writer may own:
// it takes every set published so far (two steps at most, as only two slots can be unread) and
// returns the slot it then holds, which the writer never writes, for the start to redesign from
// the records that set carries: the newest ones published. A publication still in flight was
// labelled for the earlier stream; its writer publishes it again for the new one.
PublishedSet* CoefExchange_CatchUp(CoefficientExchange* ex) {
  if (!ex || !ex->base) return nullptr;
  CoefExchange_TakeNewest(ex);
  return CoefExchange_TakeNewest(ex);
}

// ---- meter exchange: audio thread writes, user-interface thread reads ----

int32_t MeterExchange_Init(MeterExchange* ex) {
  if (!ex) return -1;
  std::free(ex->storage);
  ex->storage = nullptr;
  ex->base = nullptr;
  ex->ready[0].store(kSlotPublished, std::memory_order_relaxed);
  ex->ready[1].store(kSlotFree, std::memory_order_relaxed);
  ex->writeIndex.store(1, std::memory_order_relaxed);
  ex->readIndex.store(0, std::memory_order_relaxed);
  ex->storage = std::calloc(1, 2 * sizeof(MeterSnapshot) + kSlotAlignment);
  if (!ex->storage) return -1;
  ex->base = static_cast<MeterSnapshot*>(AlignedBase(ex->storage));
  return 0;
}

// Two slots need no reclaim: the reader always holds one slot with its ready word set, so a
// slot found free is never the one being read, and with both set the publication is skipped.
MeterSnapshot* MeterExchange_BeginWrite(MeterExchange* ex) {
  if (!ex->base) return nullptr;
  const int32_t w = ex->writeIndex.load(std::memory_order_relaxed);
  const int32_t o = OtherMeterSlot(w);
  int32_t target;
  if (ex->ready[w].load(std::memory_order_acquire) == kSlotFree) {
    target = w;
  } else if (ex->ready[o].load(std::memory_order_acquire) == kSlotFree) {
    target = o;
  } else {
    return nullptr;
  }
  ex->writeIndex.store(target, std::memory_order_relaxed);
  return ex->base + target;
}

void MeterExchange_EndWrite(MeterExchange* ex) {
  const int32_t w = ex->writeIndex.load(std::memory_order_relaxed);
  ex->ready[w].store(kSlotPublished, std::memory_order_release);
}

int32_t GEQ15_ReadMeters(GEQ15Filter* filter, MeterSnapshot* dest) {
  if (!filter || !(filter->flags.load(std::memory_order_acquire) & kFlagConfigured)) return -1;
  if (!dest) return -2;
  MeterExchange* ex = &filter->meters;
  if (!ex->base) return -3;
  int32_t r = ex->readIndex.load(std::memory_order_relaxed);
  const int32_t o = OtherMeterSlot(r);
  if (ex->ready[o].load(std::memory_order_acquire) != kSlotFree) {
    ex->ready[r].store(kSlotFree, std::memory_order_release);
    r = o;
  }
  ex->readIndex.store(r, std::memory_order_relaxed);
  if (dest != &ex->base[r]) std::memcpy(dest, &ex->base[r], sizeof(MeterSnapshot));
  return 0;
}
