// Designed coefficients must be identical, bit for bit, on every build: the values below are the
// exact float results of the design's double-precision steps.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/engine/stream_fixture.h"

namespace {

// `expected` is an exact float value written as a double; compare bit patterns, not closeness.
void ExpectBits(float actual, double expected, const char* what) {
  const float want = static_cast<float>(expected);
  ASSERT_EQ(static_cast<double>(want), expected) << what << ": reference is not a float value";
  EXPECT_EQ(FloatBits(actual), FloatBits(want)) << what << ": got " << actual << ", want " << want;
}

class DesignTest : public ::testing::Test {
 protected:
  CoefficientSet Design(int rate, const GEQ15ChannelParam& p) {
    EXPECT_EQ(GEQ15_Configure(stream.filter(), rate, 512), 0);
    stream.filter()->param[0] = stream.filter()->param[1] = p;
    CoefficientSet set{};
    EXPECT_EQ(GEQ15_Design(stream.filter(), &set), 0);
    return set;
  }
  EngineStream stream;
};

TEST_F(DesignTest, CoefficientsAreExact) {
  struct Band { int rate, band; float db; double b0, a1, b2, na2; };
  const Band bands[] = {
      {48000, 9, 12.0f, 1.0449057817459106, -1.9530202150344849, 0.9249668717384338, -0.9698727130889893},
      {48000, 9, 0.0f, 1.0, -1.9241724014282227, 0.9407760500907898, -0.9407760500907898},
      {44100, 3, -12.0f, 0.9969114065170288, -1.9916716814041138, 0.9948392510414124, -0.9917506575584412},
      {44100, 15, 6.0f, 1.286144495010376, 0.9275758862495422, 0.13884237408638, -0.4249868392944336},
  };
  for (const Band& c : bands) {
    SCOPED_TRACE(testing::Message() << "band " << c.band << " at " << c.rate << " Hz, " << c.db << " dB");
    GEQ15ChannelParam p{};
    p.bands[c.band - 1] = c.db;
    const CoefficientSet set = Design(c.rate, p);
    for (const GEQ15ChannelCoefs& d : {set.channel[0], set.channel[1]}) {
      const int i = c.band - 1;
      ExpectBits(d.b0[i], c.b0, "b0");
      ExpectBits(d.a1[i], c.a1, "a1");
      ExpectBits(d.b2[i], c.b2, "b2");
      ExpectBits(d.na2[i], c.na2, "na2");
    }
  }
  const struct { float db; double linear; } gains[] = {{6.0f, 1.9952622652053833}, {-12.0f, 0.25118863582611084}};
  for (const auto& g : gains) {
    GEQ15ChannelParam p{};
    p.gain = g.db;
    ExpectBits(Design(48000, p).channel[0].gain, g.linear, "output gain");
  }
}

// Processing relies on a 0 dB band having b0 = 1 and b2 = -na2 exactly for a bit-exact unity
// path; bypass must design exactly that, with unity gain, whatever the record holds.
TEST_F(DesignTest, FlatAndBypassedDesignsAreUnity) {
  for (int rate : {44100, 48000, 96000, 192000}) {
    SCOPED_TRACE(rate);
    const CoefficientSet flat = Design(rate, GEQ15ChannelParam{});
    EXPECT_EQ(flat.channel[0].gain, 1.0f);
    for (int i = 0; i < kBandCount; ++i) {
      EXPECT_EQ(flat.channel[0].b0[i], 1.0f) << "band " << i + 1;
      EXPECT_EQ(flat.channel[0].b2[i], -flat.channel[0].na2[i]) << "band " << i + 1;
    }
    GEQ15ChannelParam p{};
    p.bypass = 1;
    p.gain = -12.0f;
    for (float& g : p.bands) g = 12.0f;
    const CoefficientSet bypassed = Design(rate, p);
    EXPECT_EQ(std::memcmp(&bypassed.channel[0], &flat.channel[0], sizeof(GEQ15ChannelCoefs)), 0);
  }
}

TEST_F(DesignTest, WritesOnlyLiveChannelsAndNeedsConfiguration) {
  CoefficientSet set;
  std::memset(&set, 0x5A, sizeof set);
  const CoefficientSet before = set;
  EXPECT_EQ(GEQ15_Design(stream.filter(), &set), -1) << "an unconfigured filter cannot be designed";
  EXPECT_EQ(std::memcmp(&set, &before, sizeof set), 0) << "a refused design must not write";

  ASSERT_EQ(GEQ15_Configure(stream.filter(), 48000, 512), 0);
  EXPECT_EQ(GEQ15_Design(stream.filter(), &set), 0);
  EXPECT_NE(std::memcmp(&set.channel[0], &before.channel[0], 2 * sizeof(GEQ15ChannelCoefs)), 0);
  EXPECT_EQ(std::memcmp(&set.channel[2], &before.channel[2], 6 * sizeof(GEQ15ChannelCoefs)), 0)
      << "channels 3 to 8 must be left untouched";
}

}  // namespace
