// Reading headphone-correction files and fitting the band gains to them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "curves/correction_fit.h"
#include "curves/correction_import.h"
#include "tests/tool/reference_response.h"

namespace {

Correction Parse(const std::string& text) {
  Correction c;
  std::string error;
  EXPECT_TRUE(ParseCorrection(text, &c, &error)) << error;
  return c;
}

std::string ParseError(const std::string& text) {
  Correction c;
  std::string error;
  EXPECT_FALSE(ParseCorrection(text, &c, &error)) << "accepted:\n" << text;
  return error;
}

TEST(GraphicEqFormat, ReadsPointsWithDecimalCommasCommentsAndLineEnds) {
  const Correction c = Parse(
      "\xEF\xBB\xBF# exported correction\r\n"
      "\r\n"
      "GraphicEQ: 20 -6.3; 1000 0,5;  20000 +2 ;\r\n");
  ASSERT_EQ(c.points.size(), 3u);
  EXPECT_DOUBLE_EQ(c.points[0].hz, 20.0);
  EXPECT_DOUBLE_EQ(c.points[0].db, -6.3);
  EXPECT_DOUBLE_EQ(c.points[1].db, 0.5);
  EXPECT_DOUBLE_EQ(c.points[2].db, 2.0);
  EXPECT_TRUE(c.filters.empty());
  EXPECT_FALSE(c.hasPreamp);
}

TEST(ParametricFormat, ReadsPreampFiltersBandwidthAndSkipsDisabledOnes) {
  const Correction c = Parse(
      "Preamp: -6,2 dB\n"
      "Filter 1: ON PK Fc 105 Hz Gain 5.5 dB Q 0.70\n"
      "Filter 2: OFF PK Fc 200 Hz Gain 3 dB Q 1\n"
      "Filter: ON PK Fc 1000 Hz Gain -3,5 dB BW Oct 1\n"
      "filter 10: on lsc fc 80 hz gain 4 db q 0.71   # a shelf\n"
      "Filter 11: ON HSC Fc 10000 Hz Gain -2 dB Q 0.7\n");
  EXPECT_TRUE(c.hasPreamp);
  EXPECT_DOUBLE_EQ(c.preampDb, -6.2);
  ASSERT_EQ(c.filters.size(), 4u);
  EXPECT_EQ(c.filters[0].kind, FilterKind::Peak);
  EXPECT_DOUBLE_EQ(c.filters[0].hz, 105.0);
  EXPECT_DOUBLE_EQ(c.filters[0].db, 5.5);
  EXPECT_DOUBLE_EQ(c.filters[0].q, 0.70);
  EXPECT_DOUBLE_EQ(c.filters[1].db, -3.5);
  EXPECT_NEAR(c.filters[1].q, std::sqrt(2.0), 1e-12);  // one octave
  EXPECT_EQ(c.filters[1].line, 4);
  EXPECT_EQ(c.filters[2].kind, FilterKind::LowShelf);
  EXPECT_EQ(c.filters[3].kind, FilterKind::HighShelf);
}

TEST(CsvFormat, ReadsEverySeparatorAndTheHeading) {
  const Correction comma = Parse("frequency,raw\n20,-1.5\n1000, 2\n");
  ASSERT_EQ(comma.points.size(), 2u);
  EXPECT_DOUBLE_EQ(comma.points[0].db, -1.5);
  EXPECT_DOUBLE_EQ(comma.points[1].db, 2.0);

  const Correction semicolon = Parse("Frequenz;Pegel\n20;-1,5\n1000,5;2\n");
  ASSERT_EQ(semicolon.points.size(), 2u);
  EXPECT_DOUBLE_EQ(semicolon.points[0].db, -1.5);
  EXPECT_DOUBLE_EQ(semicolon.points[1].hz, 1000.5);

  const Correction tabs = Parse("20\t-1,5\n1000\t2\n");
  EXPECT_DOUBLE_EQ(tabs.points[0].db, -1.5);

  const Correction spaces = Parse("# measured\n20   -1,5\n  1000 2  \n");
  EXPECT_DOUBLE_EQ(spaces.points[0].db, -1.5);
  EXPECT_DOUBLE_EQ(spaces.points[1].db, 2.0);

  // Out of order and repeated frequencies: sorted, the later value wins.
  const Correction unsorted = Parse("1000,1\n20,2\n1000,3\n");
  ASSERT_EQ(unsorted.points.size(), 2u);
  EXPECT_DOUBLE_EQ(unsorted.points[0].hz, 20.0);
  EXPECT_DOUBLE_EQ(unsorted.points[1].db, 3.0);
}

TEST(CorrectionFormats, ReportWhatTheyCannotReadWithTheLineNumber) {
  const std::string head = "Preamp: -3 dB\nFilter 1: ON PK Fc 100 Hz Gain 2 dB Q 1\n";
  const struct {
    std::string text;
    const char* line;
  } rows[] = {
      {"# a\nGraphicEQ: 20 -6.3; 40 x; 80 1\n", "line 2:"},
      {"GraphicEQ: 20 -6.3 1\n", "line 1:"},
      {"GraphicEQ: -20 1\n", "line 1:"},  // a frequency must be positive
      {head + "Filter 2: ON BP Fc 100 Hz Gain 2 dB Q 1\n", "line 3:"},
      {head + "Filter 2: ON PK Fc 100 Hz Gain 2 dB\n", "line 3:"},  // no Q
      {head + "Filter 2: ON PK Fc 0 Hz Gain 2 dB Q 1\n", "line 3:"},
      {head + "Filter 2: ON PK Fc 100 Hz Gain 2 dB Q 1 Slope 3\n", "line 3:"},
      {head + "Filter 2: MAYBE PK Fc 100 Hz Gain 2 dB Q 1\n", "line 3:"},
      {head + "\n\n20 1\n", "line 5:"},  // a CSV row among filter lines
      {"Preamp: loud\n", "line 1:"},
      {"20,1,3\n", "line 1:"},  // three columns
      {"20;1;3\n", "line 1:"},
      {"f,g\n20,1\nfoo,bar\n", "line 3:"},  // a heading only at the top
      {"20,1\n30,nan\n", "line 2:"},
      {"20,1\n30,1e999\n", "line 2:"},
      {std::string("20,1\n\0\x01,1\n", 10), "line 2:"},  // a zero byte: not text
  };
  for (const auto& row : rows) EXPECT_EQ(ParseError(row.text).substr(0, 7), row.line) << row.text;
  const std::string e = ParseError("20,1\n1000,2,5\n");  // "1000,2" + "5" or "1000" + "2,5"?
  EXPECT_EQ(e.substr(0, 7), "line 2:");
  EXPECT_NE(e.find("decimal comma"), std::string::npos);
  EXPECT_FALSE(ParseError("# nothing here\n\n").empty());
}

TEST(CorrectionTarget, InterpolatesOverLogFrequencyAndHoldsTheEnds) {
  const Correction c = Parse("100,0\n400,6\n");
  EXPECT_DOUBLE_EQ(CorrectionTargetDb(c, 48000, 100), 0.0);
  EXPECT_NEAR(CorrectionTargetDb(c, 48000, 200), 3.0, 1e-12);  // halfway in octaves
  EXPECT_DOUBLE_EQ(CorrectionTargetDb(c, 48000, 20), 0.0);
  EXPECT_DOUBLE_EQ(CorrectionTargetDb(c, 48000, 20000), 6.0);

  const Correction pk = Parse("Preamp: -5 dB\nFilter 1: ON PK Fc 1000 Hz Gain 5 dB Q 1.4\n");
  EXPECT_NEAR(CorrectionTargetDb(pk, 48000, 1000), 5.0, 1e-9);  // the preamp is not part of the shape
  EXPECT_NEAR(CorrectionTargetDb(pk, 48000, 20), 0.0, 2e-3);
  const Correction shelf = Parse("Filter 1: ON LSC Fc 100 Hz Gain 6 dB Q 0.7071\n");
  EXPECT_NEAR(CorrectionTargetDb(shelf, 48000, 20), 6.0, 0.1);
  EXPECT_NEAR(CorrectionTargetDb(shelf, 48000, 100), 3.0, 0.05);  // half the gain at the corner
  EXPECT_NEAR(CorrectionTargetDb(shelf, 48000, 5000), 0.0, 0.01);
}

// A curve made from known band gains, sampled densely, written the way a file would be.
std::string CurveFromGains(const float gains[kBandCount], const char* separator) {
  GEQ15ChannelParam p{};
  for (int i = 0; i < kBandCount; ++i) p.bands[i] = gains[i];
  GEQ15ChannelCoefs c;
  EXPECT_EQ(DesignChannel(p, 48000, &c), 0);
  std::string text;
  for (double hz = 10.0; hz < 22000.0; hz *= std::pow(2.0, 1.0 / 48.0)) {
    char row[64];
    std::snprintf(row, sizeof row, "%.4f%s%.6f\n", hz, separator, ReferenceDb(c, 48000, hz, false));
    text += row;
  }
  return text;
}

TEST(CorrectionFit, RecoversKnownBandGains) {
  const float known[][kBandCount] = {
      {0, 0, 0, 0, 0, 0, 0, 0, 12, 0, 0, 0, 0, 0, 0},
      {-4, 6, 3.5f, -2, 0, 8, -7, 4, -4, 9, -10, 12, 1, -3, 6},
      {5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5},
  };
  for (const auto& gains : known) {
    Correction c = Parse(CurveFromGains(gains, ","));
    CorrectionFit fit;
    std::string error;
    ASSERT_TRUE(FitCorrection(c, 48000, &fit, &error)) << error;
    for (int i = 0; i < kBandCount; ++i) EXPECT_NEAR(fit.param.bands[i], gains[i], 0.1) << "band " << i + 1;
    EXPECT_LT(fit.rmsErrorDb, 0.05);
    EXPECT_LT(fit.maxErrorDb, 0.1);
  }
}

TEST(CorrectionFit, OutputGainLeavesNoPeakAboveZeroAndNeverBoosts) {
  Correction boost = Parse("Preamp: -1 dB\nFilter 1: ON PK Fc 3000 Hz Gain 7 dB Q 2\nFilter 2: ON LSC Fc 90 Hz Gain 5 dB Q 0.7\n");
  CorrectionFit fit;
  std::string error;
  ASSERT_TRUE(FitCorrection(boost, 48000, &fit, &error)) << error;
  EXPECT_GT(fit.peakDb, 5.0);
  EXPECT_LE(fit.param.gain, -fit.peakDb);
  EXPECT_GT(fit.param.gain, -fit.peakDb - 0.02);  // no more headroom than the rounding needs
  GEQ15ChannelCoefs c;
  ASSERT_EQ(DesignChannel(fit.param, 48000, &c), 0);
  for (double hz = 20.0; hz <= 20000.0; hz *= std::pow(2.0, 1.0 / 200.0)) EXPECT_LE(CascadeResponseDb(c, 48000, hz), 0.0);

  Correction cut = Parse("GraphicEQ: 20 -3; 20000 -3\n");
  ASSERT_TRUE(FitCorrection(cut, 48000, &fit, &error)) << error;
  EXPECT_EQ(fit.param.gain, 0.0f);
}

TEST(CorrectionFit, KeepsEveryGainInRange) {
  Correction steep = Parse("20,30\n200,30\n300,-30\n20000,-30\n");
  CorrectionFit fit;
  std::string error;
  ASSERT_TRUE(FitCorrection(steep, 48000, &fit, &error)) << error;
  for (int i = 0; i < kBandCount; ++i) {
    EXPECT_GE(fit.param.bands[i], -12.0f);
    EXPECT_LE(fit.param.bands[i], 12.0f);
  }
  EXPECT_EQ(fit.param.bands[14], -12.0f);
  EXPECT_GT(fit.param.bands[0], 0.0f);
  // Every low band wants more than +12 dB and together they peak far above that; the output
  // gain stops at -12 dB, so the whole curve is lowered until that is headroom enough.
  EXPECT_GE(fit.param.gain, -12.0f);
  EXPECT_LE(fit.peakDb + fit.param.gain, 0.0);
  EXPECT_GT(fit.maxErrorDb, 10.0);  // the target cannot be reached and the error says so
}

TEST(CorrectionFit, RefusesFiltersAboveHalfTheRateAndBadRates) {
  Correction c = Parse("Filter 1: ON PK Fc 100 Hz Gain 1 dB Q 1\nFilter 2: ON PK Fc 23000 Hz Gain 1 dB Q 1\n");
  CorrectionFit fit;
  std::string error;
  EXPECT_FALSE(FitCorrection(c, 44100, &fit, &error));
  EXPECT_EQ(error.substr(0, 7), "line 2:");
  EXPECT_TRUE(FitCorrection(c, 48000, &fit, &error)) << error;
  EXPECT_FALSE(FitCorrection(c, 32000, &fit, &error));
}

}  // namespace
