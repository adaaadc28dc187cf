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

struct BandCase {
  int rate;
  int band;  // 1-based
  float db;
  double b0, a1, b2, na2;
};

class DesignTest : public ::testing::Test {
 protected:
  CoefficientSet Design(int rate, const GEQ15ChannelParam& p) {
    EXPECT_EQ(GEQ15_Configure(stream.filter(), rate, 512), 0);
    stream.filter()->param[0] = p;
    stream.filter()->param[1] = p;
    CoefficientSet set{};
    EXPECT_EQ(GEQ15_Design(stream.filter(), &set), 0);
    return set;
  }
  EngineStream stream;
};

TEST_F(DesignTest, BandCoefficientsAreExact) {
  const BandCase cases[] = {
      {48000, 9, 12.0f, 1.0449057817459106, -1.9530202150344849, 0.9249668717384338, -0.9698727130889893},
      {48000, 9, 0.0f, 1.0, -1.9241724014282227, 0.9407760500907898, -0.9407760500907898},
      {44100, 3, -12.0f, 0.9969114065170288, -1.9916716814041138, 0.9948392510414124, -0.9917506575584412},
      {44100, 15, 6.0f, 1.286144495010376, 0.9275758862495422, 0.13884237408638, -0.4249868392944336},
  };
  for (const BandCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "band " << c.band << " at " << c.rate << " Hz, " << c.db << " dB");
    GEQ15ChannelParam p{};
    p.bands[c.band - 1] = c.db;
    const CoefficientSet set = Design(c.rate, p);
    for (int ch = 0; ch < 2; ++ch) {
      const GEQ15ChannelCoefs& d = set.channel[ch];
      const int i = c.band - 1;
      ExpectBits(d.b0[i], c.b0, "b0");
      ExpectBits(d.a1[i], c.a1, "a1");
      ExpectBits(d.b2[i], c.b2, "b2");
      ExpectBits(d.na2[i], c.na2, "na2");
    }
  }
}

TEST_F(DesignTest, OutputGainAndBypass) {
  GEQ15ChannelParam p{};
  p.gain = 6.0f;
  ExpectBits(Design(48000, p).channel[0].gain, 1.9952622652053833, "+6 dB");
  p.gain = -12.0f;
  ExpectBits(Design(48000, p).channel[0].gain, 0.25118863582611084, "-12 dB");

  // Bypass designs every band flat and the gain at unity, whatever the record says.
  p.bypass = 1;
  p.gain = -12.0f;
  for (float& g : p.bands) g = 12.0f;
  const CoefficientSet bypassed = Design(48000, p);
  GEQ15ChannelParam flat{};
  const CoefficientSet reference = Design(48000, flat);
  EXPECT_EQ(bypassed.channel[0].gain, 1.0f);
  EXPECT_EQ(std::memcmp(&bypassed.channel[0], &reference.channel[0], sizeof(GEQ15ChannelCoefs)), 0);
}

TEST_F(DesignTest, FlatBandsPassInputUnchanged) {
  // A 0 dB band must have b0 = 1 and b2 = -na2 exactly, at every supported rate; processing
  // relies on it for a bit-exact unity path.
  for (int rate : {44100, 48000, 96000, 192000}) {
    const CoefficientSet set = Design(rate, GEQ15ChannelParam{});
    for (int i = 0; i < kBandCount; ++i) {
      EXPECT_EQ(set.channel[0].b0[i], 1.0f) << rate << " band " << i + 1;
      EXPECT_EQ(set.channel[0].b2[i], -set.channel[0].na2[i]) << rate << " band " << i + 1;
    }
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
  EXPECT_NE(std::memcmp(&set.channel[0], &before.channel[0], sizeof(GEQ15ChannelCoefs)), 0);
  EXPECT_NE(std::memcmp(&set.channel[1], &before.channel[1], sizeof(GEQ15ChannelCoefs)), 0);
  EXPECT_EQ(std::memcmp(&set.channel[2], &before.channel[2], 6 * sizeof(GEQ15ChannelCoefs)), 0)
      << "channels 3 to 8 must be left untouched";
}

}  // namespace
