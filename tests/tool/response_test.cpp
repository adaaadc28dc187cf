// The cascade's magnitude response against a direct complex evaluation of the designed
// biquads, the peak search against a brute-force scan, and the SVG plot's content.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/tool/reference_response.h"
#include "tools/geq15-tool/response_svg.h"

namespace {

GEQ15ChannelParam Param(std::initializer_list<float> bands, float gain = 0.0f) {
  GEQ15ChannelParam p{};
  int i = 0;
  for (float g : bands) p.bands[i++] = g;
  p.gain = gain;
  return p;
}

TEST(CascadeResponse, MatchesComplexEvaluationOfTheDesignedSectionsOnTheGrid) {
  const GEQ15ChannelParam settings[] = {
      Param({0, 0, 0, 0, 0, 0, 0, 0, 12, 0, 0, 0, 0, 0, 0}),
      Param({-12, 6, 3.5f, -2, 0, 11, -7, 4, -4, 9, -12, 12, 1, -3, 6}, -4.5f),
      Param({12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12}, -12.0f),
  };
  const std::vector<double> grid = TwelfthOctaveGrid();
  ASSERT_EQ(grid.size(), 120u);  // 20 * 2^(119/12) = 19.9 kHz, the next one is past 20 kHz
  EXPECT_DOUBLE_EQ(grid.front(), 20.0);
  EXPECT_NEAR(grid[12], 40.0, 1e-9);
  for (int rate : {44100, 48000, 96000, 192000}) {
    for (const GEQ15ChannelParam& p : settings) {
      GEQ15ChannelCoefs c;
      ASSERT_EQ(DesignChannel(p, rate, &c), 0);
      for (double hz : grid)
        EXPECT_NEAR(CascadeResponseDb(c, rate, hz), ReferenceDb(c, rate, hz), 1e-7) << rate << " Hz rate, at " << hz;
    }
  }
}

TEST(CascadeResponse, PeakingBandReachesItsGainAtItsCentreAndOutputGainAddsUp) {
  GEQ15ChannelCoefs c;
  ASSERT_EQ(DesignChannel(Param({0, 0, 0, 0, 0, 0, 0, 0, 12, 0, 0, 0, 0, 0, 0}, -3.0f), 48000, &c), 0);
  // Only band 9 is away from 0 dB, and a peaking section has exactly its gain at its centre.
  EXPECT_NEAR(CascadeResponseDb(c, 48000, 1000.0), 12.0 - 3.0, 1e-4);
  EXPECT_NEAR(BandResponseDb(c, 8, 48000, 1000.0), 12.0, 1e-4);
  EXPECT_NEAR(BandResponseDb(c, 0, 48000, 1000.0), 0.0, 1e-9);

  GEQ15ChannelParam bypassed = Param({12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12}, 6.0f);
  bypassed.bypass = 1;
  ASSERT_EQ(DesignChannel(bypassed, 48000, &c), 0);
  for (double hz : TwelfthOctaveGrid()) EXPECT_NEAR(CascadeResponseDb(c, 48000, hz), 0.0, 1e-9);
}

TEST(ResponsePeak, FindsTheMaximumOfADenseScan) {
  const GEQ15ChannelParam settings[] = {
      Param({0, 0, 0, 0, 0, 0, 0, 4, 6, 0, 0, 0, 0, 0, 0}),
      Param({-12, 6, 3.5f, -2, 0, 11, -7, 4, -4, 9, -12, 12, 1, -3, 6}, -4.5f),
      Param({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 12}),  // peak near the top of the range
      Param({-6, -6, -6, -6, -6, -6, -6, -6, -6, -6, -6, -6, -6, -6, -6}),  // peak at the edge
  };
  for (const GEQ15ChannelParam& p : settings) {
    GEQ15ChannelCoefs c;
    ASSERT_EQ(DesignChannel(p, 44100, &c), 0);
    double best = -1e9, bestHz = 0;
    for (double hz = 20.0; hz <= 20000.0; hz *= std::pow(2.0, 1.0 / 2000.0)) {
      const double db = ReferenceDb(c, 44100, hz);
      if (db > best) { best = db; bestHz = hz; }
    }
    const ResponsePeak peak = FindResponsePeak(c, 44100, 20.0, 20000.0);
    EXPECT_GE(peak.db, best - 1e-3);
    EXPECT_NEAR(peak.db, ReferenceDb(c, 44100, peak.hz), 1e-7);  // the reported frequency has that level
    EXPECT_NEAR(std::log2(peak.hz / bestHz), 0.0, 0.05);
  }
}

TEST(ResponseSvg, MarksEveryBandWithItsGainAndEscapesTheTitle) {
  ResponsePlot plot{};
  for (int i = 0; i < kBandCount; ++i) plot.bandGainDb[i] = static_cast<float>(i - 7);
  plot.outputGainDb = -2.5f;
  plot.sampleRate = 48000;
  plot.title = "a<b>&'c\".xml";
  plot.hz = {20.0, 1000.0, 20000.0};
  plot.db = {0.0, 40.0, -40.0};
  const std::string svg = ResponseSvg(plot);
  EXPECT_EQ(svg.find("a<b>"), std::string::npos);
  EXPECT_NE(svg.find("a&lt;b&gt;&amp;&apos;c&quot;.xml"), std::string::npos);
  for (int i = 0; i < kBandCount; ++i) {
    char label[32];
    std::snprintf(label, sizeof label, ">%+.1f</text>", static_cast<double>(i - 7));
    EXPECT_NE(svg.find(label), std::string::npos) << label;
  }
  EXPECT_NE(svg.find("output gain -2.5 dB"), std::string::npos);
  // The curve stays inside the plot: +40 dB is drawn at the top edge, -40 dB at the bottom.
  EXPECT_NE(svg.find("points=\"60.00,210.00 496.07,50.00 830.00,370.00\""), std::string::npos) << svg;
  EXPECT_EQ(svg.rfind("</svg>\n"), svg.size() - 7);
}

}  // namespace
