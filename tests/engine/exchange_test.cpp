// The parameter model and both exchanges, driven in the sequences the two threads produce.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tests/engine/stream_fixture.h"

namespace {

class ExchangeTest : public ::testing::Test {
 protected:
  bool IsSet(int slot) { return stream.exchange().ready[slot].load() != kSlotFree; }
  // Sets are recognised by their output gain.
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
  MeterSnapshot ReadMeters() {
    MeterSnapshot snap{};
    EXPECT_EQ(GEQ15_ReadMeters(stream.filter(), &snap), 0);
    return snap;
  }
  EngineStream stream;
};

TEST_F(ExchangeTest, CreateAndResetGiveDefaults) {
  GEQ15Filter* f = stream.filter();
  ASSERT_NE(f, nullptr);
  const GEQ15ChannelParam zero{};
  auto expectDefaults = [&] {
    for (const GEQ15ChannelParam& p : f->param) EXPECT_EQ(std::memcmp(&p, &zero, sizeof p), 0);
  };
  expectDefaults();
  EXPECT_EQ(stream.ctx.gainMin, -12.0f);
  EXPECT_EQ(stream.ctx.gainMax, 12.0f);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(stream.exchange().base) % 16, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(f->meters.base) % 16, 0u);

  stream.Start(48000, 512);
  stream.SetAll(5.0f, -3.0f, 1);
  const int32_t writeIndex = stream.exchange().writeIndex.load();
  EXPECT_EQ(GEQ15_ResetParams(f), 0);
  EXPECT_EQ(stream.exchange().writeIndex.load(), writeIndex) << "reset must not publish";
  expectDefaults();
}

TEST_F(ExchangeTest, PublishingBeforeTheStreamStartIsNotLost) {
  EXPECT_EQ(stream.SetAll(3.0f, 0.0f), 0);
  EXPECT_TRUE(IsSet(0));
  EXPECT_FALSE(IsSet(1));
  EXPECT_FALSE(IsSet(2));
  // The start designs slot 0 from the records.
  stream.Start(48000, 512);
  EXPECT_EQ(TakenGain(), 1.0f);
  EXPECT_GT(stream.exchange().base[0].channel[0].b0[8], 1.0f) << "+3 dB band designed into slot 0";
}

// One stream through every sequence: none, one, two and five publications between pickups.
TEST_F(ExchangeTest, PickupSequences) {
  stream.Start(48000, 512);
  CoefficientExchange& ex = stream.exchange();
  EXPECT_EQ(CoefExchange_TakeNewest(&ex), &ex.base[0]) << "no publication: the reader keeps slot 0";
  EXPECT_EQ(CoefExchange_TakeNewest(&ex), &ex.base[0]);

  Publish(6.0f);
  EXPECT_TRUE(IsSet(0) && IsSet(1) && !IsSet(2));
  EXPECT_EQ(TakenGain(), Linear(6.0f));
  EXPECT_EQ(ex.readIndex.load(), 1);
  EXPECT_FALSE(IsSet(0)) << "the released slot is free again";
  EXPECT_EQ(TakenGain(), Linear(6.0f)) << "no new publication: the same slot again";

  Publish(1.0f);
  Publish(2.0f);
  EXPECT_EQ(TakenGain(), Linear(1.0f)) << "the reader advances one slot per pickup";
  EXPECT_EQ(TakenGain(), Linear(2.0f));
  EXPECT_EQ(TakenGain(), Linear(2.0f));

  // With both other slots unread, further publications overwrite only the writer's own.
  const CoefficientSet* held = &ex.base[ex.readIndex.load()];
  const CoefficientSet heldBefore = *held;
  for (float db : {1.0f, 2.0f, 3.0f, 4.0f, 5.0f}) Publish(db);
  EXPECT_EQ(std::memcmp(held, &heldBefore, sizeof heldBefore), 0) << "the held slot was written";
  EXPECT_EQ(TakenGain(), Linear(1.0f));
  EXPECT_EQ(TakenGain(), Linear(5.0f)) << "the newest set is never lost";
  Publish(6.0f);
  EXPECT_EQ(TakenGain(), Linear(6.0f));
}

TEST_F(ExchangeTest, MissingStorageIsRefusedSafely) {
  EXPECT_EQ(CoefExchange_Init(nullptr), -1);
  EXPECT_EQ(MeterExchange_Init(nullptr), -1);
  MeterSnapshot snap;
  EXPECT_EQ(GEQ15_ReadMeters(stream.filter(), &snap), -1) << "not configured";
  stream.Start(48000, 512);
  EXPECT_EQ(GEQ15_ReadMeters(stream.filter(), nullptr), -2);
  for (void** storage : {&stream.exchange().storage, &stream.filter()->meters.storage}) {
    std::free(*storage);
    *storage = nullptr;
  }
  stream.exchange().base = nullptr;
  stream.filter()->meters.base = nullptr;
  EXPECT_EQ(GEQ15_ReadMeters(stream.filter(), &snap), -3);
  EXPECT_EQ(CoefExchange_TakeNewest(&stream.exchange()), nullptr);
  EXPECT_EQ(stream.SetAll(1.0f, 1.0f), 0);
  // Without any set taken the audio stays as the callback copied it.
  const std::vector<float> in(512, 0.5f);
  EXPECT_EQ(stream.Run(in), in);
}

TEST_F(ExchangeTest, MeterReaderAndWriterTakeTurns) {
  stream.Start(48000, 512);
  MeterExchange& ex = stream.filter()->meters;
  for (float v : ReadMeters().peak) EXPECT_EQ(v, 0.0f) << "configuration zero-fills slot 0";

  MeterSnapshot* slot = MeterExchange_BeginWrite(&ex);
  ASSERT_EQ(slot, &ex.base[1]);
  slot->peak[0] = 0.25f;
  MeterExchange_EndWrite(&ex);
  EXPECT_EQ(ReadMeters().peak[0], 0.25f);
  EXPECT_EQ(ReadMeters().peak[0], 0.25f) << "no new publication: the same snapshot again";
  // Reading into the slot itself must not copy onto itself.
  EXPECT_EQ(GEQ15_ReadMeters(stream.filter(), &ex.base[ex.readIndex.load()]), 0);

  slot = MeterExchange_BeginWrite(&ex);
  ASSERT_NE(slot, nullptr);
  slot->peak[0] = 0.5f;
  MeterExchange_EndWrite(&ex);
  EXPECT_EQ(MeterExchange_BeginWrite(&ex), nullptr) << "both slots unread: skip";
  EXPECT_EQ(ReadMeters().peak[0], 0.5f);
  EXPECT_NE(MeterExchange_BeginWrite(&ex), nullptr) << "reading frees a slot";
}

}  // namespace
