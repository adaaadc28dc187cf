// The parameter model and both exchanges, driven in the sequences the two threads produce.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "tests/engine/stream_fixture.h"

namespace {

int32_t Ready(const CoefficientExchange& ex, int i) { return ex.ready[i].load(); }
bool IsSet(const CoefficientExchange& ex, int i) { return Ready(ex, i) != kSlotFree; }

class ExchangeTest : public ::testing::Test {
 protected:
  // Publishes a set recognisable by its output gain in dB.
  void Publish(float gainDb) { ASSERT_EQ(stream.SetAll(0.0f, gainDb), 0); }
  float TakenGain() {
    CoefficientSet* set = CoefExchange_TakeNewest(&stream.exchange());
    EXPECT_NE(set, nullptr);
    return set ? set->channel[0].gain : -1.0f;
  }
  static float Linear(float db) {
    EngineStream s;
    s.Start(48000, 512);
    s.SetAll(0.0f, db);
    return s.exchange().base[1].channel[0].gain;
  }
  EngineStream stream;
};

TEST_F(ExchangeTest, CreateGivesDefaultsAndRange) {
  const GEQ15Filter* f = stream.filter();
  ASSERT_NE(f, nullptr);
  for (const GEQ15ChannelParam& p : f->param) {
    EXPECT_EQ(p.bypass, 0);
    for (float g : p.bands) EXPECT_EQ(g, 0.0f);
    EXPECT_EQ(p.gain, 0.0f);
  }
  EXPECT_EQ(f->flags.load(), 0u);
  EXPECT_EQ(stream.ctx.gainMin, -12.0f);
  EXPECT_EQ(stream.ctx.gainMax, 12.0f);
  // Both exchanges exist, with 16-byte aligned slots.
  ASSERT_NE(stream.exchange().base, nullptr);
  ASSERT_NE(f->meters.base, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(stream.exchange().base) % 16, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(f->meters.base) % 16, 0u);
  EXPECT_EQ(stream.exchange().slotSize, static_cast<int32_t>(sizeof(CoefficientSet)));
  EXPECT_EQ(f->meters.slotSize, static_cast<int32_t>(sizeof(MeterSnapshot)));
}

TEST_F(ExchangeTest, ResetRestoresDefaultsWithoutPublishing) {
  stream.Start(48000, 512);
  stream.SetAll(5.0f, -3.0f, 1);
  const int32_t writeIndex = stream.exchange().writeIndex.load();
  EXPECT_EQ(GEQ15_ResetParams(stream.filter()), 0);
  for (const GEQ15ChannelParam& p : stream.filter()->param) {
    EXPECT_EQ(p.bypass, 0);
    EXPECT_EQ(p.bands[7], 0.0f);
    EXPECT_EQ(p.gain, 0.0f);
  }
  EXPECT_EQ(stream.exchange().writeIndex.load(), writeIndex);
}

TEST_F(ExchangeTest, PublishingBeforeTheStreamStartDoesNothing) {
  EXPECT_EQ(stream.SetAll(3.0f, 0.0f), 0);
  const CoefficientExchange& ex = stream.exchange();
  EXPECT_TRUE(IsSet(ex, 0));
  EXPECT_FALSE(IsSet(ex, 1));
  EXPECT_FALSE(IsSet(ex, 2));
  EXPECT_EQ(ex.writeIndex.load(), 1);
  // The start designs slot 0 from the records, so the early change is not lost.
  stream.Start(48000, 512);
  EXPECT_EQ(TakenGain(), 1.0f);
  EXPECT_EQ(stream.exchange().base[0].channel[0].b0[0], stream.exchange().base[0].channel[1].b0[0]);
  EXPECT_GT(stream.exchange().base[0].channel[0].b0[8], 1.0f) << "+3 dB band designed into slot 0";
}

TEST_F(ExchangeTest, OnePublicationThenPickup) {
  stream.Start(48000, 512);
  EXPECT_EQ(TakenGain(), 1.0f) << "no publication: the reader keeps slot 0";
  EXPECT_EQ(CoefExchange_TakeNewest(&stream.exchange()), &stream.exchange().base[0]);
  Publish(6.0f);
  EXPECT_TRUE(IsSet(stream.exchange(), 0));
  EXPECT_TRUE(IsSet(stream.exchange(), 1));
  EXPECT_FALSE(IsSet(stream.exchange(), 2));
  EXPECT_EQ(TakenGain(), Linear(6.0f));
  EXPECT_EQ(stream.exchange().readIndex.load(), 1);
  EXPECT_FALSE(IsSet(stream.exchange(), 0)) << "the released slot is free again";
  EXPECT_EQ(TakenGain(), Linear(6.0f)) << "no new publication: the same slot again";
  EXPECT_EQ(stream.exchange().readIndex.load(), 1);
}

TEST_F(ExchangeTest, TwoPublicationsArriveInOrder) {
  stream.Start(48000, 512);
  Publish(1.0f);
  Publish(2.0f);
  EXPECT_EQ(TakenGain(), Linear(1.0f)) << "the reader advances one slot per pickup";
  EXPECT_EQ(TakenGain(), Linear(2.0f));
  EXPECT_EQ(TakenGain(), Linear(2.0f));
}

TEST_F(ExchangeTest, FurtherPublicationsOverwriteOnlyTheWritersUnreadSlot) {
  stream.Start(48000, 512);
  CoefficientSet* held = CoefExchange_TakeNewest(&stream.exchange());
  const CoefficientSet heldBefore = *held;
  Publish(1.0f);
  Publish(2.0f);
  for (float db : {3.0f, 4.0f, 5.0f}) {
    Publish(db);
    EXPECT_EQ(std::memcmp(held, &heldBefore, sizeof heldBefore), 0) << "the held slot was written";
    EXPECT_EQ(stream.exchange().writeIndex.load(), 2);
  }
  EXPECT_EQ(TakenGain(), Linear(1.0f));
  EXPECT_EQ(TakenGain(), Linear(5.0f)) << "the newest set is never lost";
  // The cycle goes on: the slot released first is reused next.
  Publish(6.0f);
  EXPECT_EQ(stream.exchange().writeIndex.load(), 0);
  EXPECT_EQ(TakenGain(), Linear(6.0f));
}

TEST_F(ExchangeTest, ExchangeWithoutStorage) {
  stream.Start(48000, 512);
  std::free(stream.exchange().storage);
  stream.exchange().storage = nullptr;
  stream.exchange().base = nullptr;
  EXPECT_EQ(CoefExchange_TakeNewest(&stream.exchange()), nullptr);
  EXPECT_EQ(stream.SetAll(1.0f, 1.0f), 0);
  EXPECT_EQ(CoefExchange_Init(nullptr), -1);
  EXPECT_EQ(MeterExchange_Init(nullptr), -1);
  // Processing without any set taken leaves the audio as the callback copied it.
  std::vector<float> in(512, 0.5f);
  EXPECT_EQ(stream.Run(in), in);
}

class MeterTest : public ExchangeTest {
 protected:
  MeterSnapshot Read() {
    MeterSnapshot snap;
    std::memset(&snap, 0, sizeof snap);
    EXPECT_EQ(GEQ15_ReadMeters(stream.filter(), &snap), 0);
    return snap;
  }
};

TEST_F(MeterTest, ReadResults) {
  MeterSnapshot snap;
  EXPECT_EQ(GEQ15_ReadMeters(stream.filter(), &snap), -1) << "not configured";
  stream.Start(48000, 512);
  EXPECT_EQ(GEQ15_ReadMeters(stream.filter(), nullptr), -2);
  std::free(stream.filter()->meters.storage);
  stream.filter()->meters.storage = nullptr;
  stream.filter()->meters.base = nullptr;
  EXPECT_EQ(GEQ15_ReadMeters(stream.filter(), &snap), -3);
}

TEST_F(MeterTest, ReaderAndWriterTakeTurns) {
  stream.Start(48000, 512);
  MeterExchange& ex = stream.filter()->meters;
  const MeterSnapshot zero = Read();
  for (float v : zero.peak) EXPECT_EQ(v, 0.0f) << "configuration zero-fills slot 0";

  MeterSnapshot* slot = MeterExchange_BeginWrite(&ex);
  ASSERT_EQ(slot, &ex.base[1]);
  slot->peak[0] = 0.25f;
  MeterExchange_EndWrite(&ex);
  EXPECT_EQ(Read().peak[0], 0.25f);
  EXPECT_EQ(Read().peak[0], 0.25f) << "no new publication: the same snapshot again";

  // Reading into the slot itself must not copy onto itself.
  EXPECT_EQ(GEQ15_ReadMeters(stream.filter(), &ex.base[ex.readIndex.load()]), 0);

  // Unread: the writer fills the free slot, then finds both full and skips.
  slot = MeterExchange_BeginWrite(&ex);
  ASSERT_NE(slot, nullptr);
  slot->peak[0] = 0.5f;
  MeterExchange_EndWrite(&ex);
  EXPECT_EQ(MeterExchange_BeginWrite(&ex), nullptr) << "both slots taken: skip";
  EXPECT_EQ(Read().peak[0], 0.5f);
  EXPECT_NE(MeterExchange_BeginWrite(&ex), nullptr) << "reading frees a slot";
}

}  // namespace
