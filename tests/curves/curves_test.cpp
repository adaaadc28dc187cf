// Correction files read into curves, the fit of the fifteen bands, the designed response and
// its peak, the import summary and the response window's picture.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "curves/correction_fit.h"
#include "curves/correction_import.h"
#include "curves/correction_summary.h"
#include "curves/response_view.h"
#include "tests/engine/stream_fixture.h"
#include "tests/tool/reference_response.h"

namespace {

Correction Parse(const std::string& text) {
  Correction c;
  std::string error;
  EXPECT_TRUE(ParseCorrection(text, &c, &error)) << error << "\n" << text;
  return c;
}

// The parse as one line: points "hz/db", filters "kind hz/db/q@line", the preamp.
std::string Describe(const Correction& c) {
  std::ostringstream s;
  for (const CurvePoint& p : c.points) s << p.hz << "/" << p.db << " ";
  for (const ParametricFilter& f : c.filters) s << "PLH"[int(f.kind)] << " " << f.hz << "/" << f.db << "/" << f.q << "@" << f.line << " ";
  if (c.hasPreamp) s << "preamp " << c.preampDb;
  return s.str() + c.note;
}

TEST(CorrectionFormats, ReadEveryFormatWithCommentsMarksLineEndsAndDecimalCommas) {
  const std::pair<std::string, std::string> rows[] = {  // text, what it reads as
      {"\xEF\xBB\xBF# exported\r\n\r\nGraphicEQ: 20 -6.3; 1000 0,5;  20000 +2 ;\r\n", "20/-6.3 1000/0.5 20000/2 "},
      {"Preamp: -6,2 dB\nFilter 1: ON PK Fc 105 Hz Gain 5.5 dB Q 0.70\nFilter 2: OFF PK Fc 200 Hz Gain 3 dB Q 1\n"
       "Filter: ON PK Fc 1000 Hz Gain -3,5 dB BW Oct 1\nfilter 10: on lsc fc 80 hz gain 4 db q 0.71   # a shelf\n"
       "Filter 11: ON HSC Fc 10000 Hz Gain -2 dB Q 0.7\n",
       "P 105/5.5/0.7@2 P 1000/-3.5/1.41421@4 L 80/4/0.71@5 H 10000/-2/0.7@6 preamp -6.2"},
      {"frequency,raw\n20,-1.5\n1000, 2\n", "20/-1.5 1000/2 "}, {"Frequenz;Pegel\n20;-1,5\n1000,5;2\n", "20/-1.5 1000.5/2 "},
      {"20\t-1,5\n1000\t2\n", "20/-1.5 1000/2 "}, {"# measured\n20   -1,5\n  1000 2  \n", "20/-1.5 1000/2 "},
      {"1000,1\n20,2\n1000,3\n", "20/2 1000/3 "},  // sorted; a repeated frequency: the later wins
      {"frequency,raw,error,smoothed,error_smoothed,equalization,parametric_eq,fixed_band_eq,equalized_raw,equalized_smoothed,"
       "target,\n20,1,2,3,4,-6.5,5,5,5,5,5\n1000.5,1,2,3,4,2,5,5,5,5,\n", "20/-6.5 1000.5/2 "},
      {"\"Raw level\"\tFreq\tTarget\n-1,5\t20\t0\n2\t1000\t0\n", "20/-1.5 1000/2 Gain taken from column 1 ('Raw level'): the header names no 'equalization' column."},
  };
  for (const auto& [text, parsed] : rows) EXPECT_EQ(Describe(Parse(text)), parsed) << text;
}

TEST(CorrectionFormats, ReportWhatTheyCannotReadWithTheLineNumber) {
  const std::string head = "Preamp: -3 dB\nFilter 1: ON PK Fc 100 Hz Gain 2 dB Q 1\n";
  const std::pair<std::string, std::string> rows[] = {  // text, the start of the message
      {"# a\nGraphicEQ: 20 -6.3; 40 x; 80 1\n", "line 2:"}, {"GraphicEQ: 20 -6.3 1\n", "line 1:"}, {"GraphicEQ: -20 1\n", "line 1:"},
      {head + "Filter 2: ON BP Fc 100 Hz Gain 2 dB Q 1\n", "line 3:"}, {head + "Filter 2: ON PK Fc 100 Hz Gain 2 dB\n", "line 3:"},
      {head + "Filter 2: ON PK Fc 0 Hz Gain 2 dB Q 1\n", "line 3:"}, {head + "Filter 2: ON PK Fc 100 Hz Gain 2 dB Q 1 Slope 3\n", "line 3:"},
      {head + "Filter 2: MAYBE PK Fc 100 Hz Gain 2 dB Q 1\n", "line 3:"}, {head + "\n\n20 1\n", "line 5:"}, {"Preamp: loud\n", "line 1:"},
      {"20,1,3\n", "line 1:"}, {"20;1;3\n", "line 1:"}, {"f,g\n20,1\nfoo,bar\n", "line 3:"}, {"20,1\n30,nan\n", "line 2:"},
      {"20,1\n30,1e999\n", "line 2:"}, {std::string("20,1\n\0\x01,1\n", 10), "line 2: the file is not text"},
      {"20,1\n1000,2,5\n", "line 2: cannot tell the column separator from a decimal comma"},
      {"frequency,raw,equalization\n20,1,2\n30,1\n", "line 3: expected a frequency in Hz in column 1 and a gain in dB in column 3"},
      {"20,1,x\n", "line 1:"}, {"f;g;h\n20;1;2\nf;g;h\n", "line 3:"}, {"f;g;h\n-20;1;2\n", "line 2:"},
      {"# nothing here\n\n", "no curve points or filters found"},
  };
  for (const auto& [text, message] : rows) {
    Correction c;
    std::string error;
    EXPECT_FALSE(ParseCorrection(text, &c, &error)) << text;
    EXPECT_EQ(error.substr(0, message.size()), message) << text;
  }
}

// The cookbook's analog prototypes at the frequency the bilinear transform maps hz to: the level a
// filter line must give, derived apart from the import's digital sections. A high shelf is a low
// shelf mirrored in frequency.
double PrototypeDb(char kind, double f0, double db, double q, double rate, double hz) {
  const double A = std::pow(10.0, db / 40.0), w = std::tan(3.141592653589793 * hz / rate) / std::tan(3.141592653589793 * f0 / rate);
  const std::complex<double> s(0.0, kind == 'H' ? 1.0 / w : w), r = std::sqrt(A) / q * s;
  const std::complex<double> h = kind == 'P' ? (s * s + s * A / q + 1.0) / (s * s + s / (A * q) + 1.0) : A * (s * s + r + A) / (A * s * s + r + 1.0);
  return 20.0 * std::log10(std::abs(h));
}

TEST(CorrectionTarget, InterpolatesOverLogFrequencyAndAddsTheFiltersWithoutThePreamp) {
  const std::string curve = "100,0\n400,6\n";
  const std::tuple<double, double> rows[] = {{200, 3.0}, {20, 0.0}, {20000, 6.0}};  // halfway in octaves; held beyond the ends
  for (const auto& [hz, db] : rows) EXPECT_NEAR(CorrectionTargetDb(Parse(curve), 48000, hz), db, 1e-12) << hz;
  for (const char* line : {"PK Fc 1000 Hz Gain 5 dB Q 1.4", "LSC Fc 100 Hz Gain 6 dB Q 0.7071", "HSC Fc 8000 Hz Gain -4 dB Q 2",
                           "HSC Fc 3000 Hz Gain 9 dB Q 0.5"}) {
    char kind;
    double f0, db, q;
    ASSERT_EQ(std::sscanf(line, "%c%*s Fc %lf Hz Gain %lf dB Q %lf", &kind, &f0, &db, &q), 4);
    const Correction c = Parse(std::string("Preamp: -5 dB\nFilter 1: ON ") + line + "\n");
    for (double hz : {20.0, 90.0, 700.0, 2500.0, 7000.0, 20000.0})
      EXPECT_NEAR(CorrectionTargetDb(c, 48000, hz), PrototypeDb(kind, f0, db, q, 48000, hz), 1e-9) << line << " at " << hz << " Hz";
  }
}

TEST(CorrectionFit, RecoversKnownBandGainsAndKeepsThePeakAtOrBelowZero) {
  const std::vector<float> known[] = {{0, 0, 0, 0, 0, 0, 0, 0, 12}, {-4, 6, 3.5f, -2, 0, 8, -7, 4, -4, 9, -10, 12, 1, -3, 6},
                                      std::vector<float>(15, 5.0f), std::vector<float>(15, -3.0f)};
  for (const auto& gains : known) {
    GEQ15ChannelCoefs made;
    ASSERT_EQ(DesignChannel(Param(gains), 48000, &made), 0);
    std::string text;
    for (double hz = 10.0; hz < 22000.0; hz *= std::pow(2.0, 1.0 / 48.0))
      text += std::to_string(hz) + "," + std::to_string(ReferenceDb(made, 48000, hz)) + "\n";
    CorrectionFit fit;
    std::string error;
    ASSERT_TRUE(FitCorrection(Parse(text), 48000, &fit, &error)) << error;
    for (int i = 0; i < kBandCount; ++i) EXPECT_NEAR(fit.param.bands[i], Param(gains).bands[i], 0.1) << "band " << i + 1;
    EXPECT_TRUE(fit.rmsErrorDb < 0.05 && fit.maxErrorDb < 0.1) << fit.rmsErrorDb << " dB RMS, largest " << fit.maxErrorDb;
    // The output gain is the headroom the peak needs, no more than rounding adds, never a boost.
    EXPECT_LE(fit.param.gain, fit.peakDb > 0 ? -fit.peakDb : 0.0);
    EXPECT_GT(fit.param.gain, std::fmin(0.0, -fit.peakDb) - 0.02);
    GEQ15ChannelCoefs fitted;
    ASSERT_EQ(DesignChannel(fit.param, 48000, &fitted), 0);
    for (double hz = 20.0; hz <= 20000.0; hz *= std::pow(2.0, 1.0 / 200.0)) ASSERT_LE(ReferenceDb(fitted, 48000, hz), 0.0);
  }
}

TEST(CorrectionFit, KeepsEveryGainInRangeAndSaysWhenTheTargetIsOutOfReach) {
  CorrectionFit fit;
  std::string error;
  ASSERT_TRUE(FitCorrection(Parse("20,30\n200,30\n300,-30\n20000,-30\n"), 48000, &fit, &error)) << error;
  for (float g : fit.param.bands) EXPECT_TRUE(g >= -12.0f && g <= 12.0f) << g;
  EXPECT_EQ(fit.param.bands[14], -12.0f);
  EXPECT_GT(fit.param.bands[0], 0.0f);
  // The low bands together peak far above +12 dB; the output gain stops at -12 dB, so the whole
  // curve is lowered until that is headroom enough.
  EXPECT_GE(fit.param.gain, -12.0f);
  EXPECT_LE(fit.peakDb + fit.param.gain, 0.0);
  EXPECT_GT(fit.maxErrorDb, 10.0);

  const Correction high = Parse("Filter 1: ON PK Fc 100 Hz Gain 1 dB Q 1\nFilter 2: ON PK Fc 22050 Hz Gain 1 dB Q 1\n");
  EXPECT_FALSE(FitCorrection(high, 44100, &fit, &error));
  EXPECT_EQ(error.substr(0, 7), "line 2:");
  EXPECT_TRUE(FitCorrection(high, 48000, &fit, &error)) << error;
  EXPECT_FALSE(FitCorrection(high, 32000, &fit, &error));
}

TEST(CascadeResponse, MatchesComplexEvaluationOfTheDesignedSectionsAndFindsThePeak) {
  const GEQ15ChannelParam settings[] = {
      Param({0, 0, 0, 0, 0, 0, 0, 4, 6}, -3.0f), Param({-12, 6, 3.5f, -2, 0, 11, -7, 4, -4, 9, -12, 12, 1, -3, 6}, -4.5f),
      Param({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 12}),  // peak near the top of the range
      Param({-6, -6, -6, -6, -6, -6, -6, -6, -6, -6, -6, -6, -6, -6, -6}),  // peak at the edge
  };
  for (int rate : {44100, 96000, 192000}) {
    for (const GEQ15ChannelParam& p : settings) {
      GEQ15ChannelCoefs c;
      ASSERT_EQ(DesignChannel(p, rate, &c), 0);
      double best = -1e9, bestHz = 0;
      for (double hz = 20.0; hz <= 20000.0; hz *= std::pow(2.0, 1.0 / 1000.0)) {
        const double db = ReferenceDb(c, rate, hz);
        ASSERT_NEAR(CascadeResponseDb(c, rate, hz), db, 1e-7) << rate << " Hz rate, at " << hz;
        if (db > best) best = db, bestHz = hz;
      }
      const ResponsePeak peak = FindResponsePeak(c, rate, 20.0, 20000.0);
      EXPECT_GE(peak.db, best - 1e-3);
      EXPECT_NEAR(peak.db, ReferenceDb(c, rate, peak.hz), 1e-7);  // the reported frequency has that level
      EXPECT_NEAR(std::log2(peak.hz / bestHz), 0.0, 0.05);
    }
  }
}

TEST(ImportSummary, CountsWhatWasReadAndRoundsForPeople) {
  CorrectionFit fit{{0, {}, -3.49f}, 0.44, 1.06, 15980.0, 0, 0};
  EXPECT_EQ(FormatImportSummary(Parse("f;raw;x\n20;1\n30;1\n"), fit), "Imported 2 points: RMS error 0.4 dB, largest 1.1 dB at 16 kHz. "
            "Output gain -3.5 dB. Gain taken from column 2 ('raw'): the header names no 'equalization' column.");
  fit.maxErrorHz = 62.5, fit.param.gain = -0.01f;
  EXPECT_EQ(FormatImportSummary(Parse("GraphicEQ: 20 1\nFilter 1: ON PK Fc 100 Hz Gain 1 dB Q 1\n"), fit),
            "Imported 1 point and 1 filter: RMS error 0.4 dB, largest 1.1 dB at 62.5 Hz. Output gain 0.0 dB.");
}

TEST(ResponseView, TracesBothRecordsOnTheDbGridAndMarksEveryBand) {
  const PlotArea area = ResponsePlotArea(640, 320);
  const int32_t zero = (area.top + area.bottom) / 2, step = (area.bottom - area.top) / 8;  // 6 dB
  EXPECT_EQ(step * 8, area.bottom - area.top);  // the grid on whole rows
  GEQ15ChannelParam records[2] = {Param({0, 0, 0, 0, 0, 0, 0, 0, 6}), Param({0, 0, 0, 0, 0, 0, 0, 0, 6})};
  ResponseView view;
  BuildResponseView(records, 48000, area, &view);
  EXPECT_EQ(std::make_tuple(view.curveCount, view.markerRow[0], view.markerRow[8]), std::make_tuple(1, zero, zero - step));
  EXPECT_EQ(view.rows[0][PlotColumn(area, 1000.0) - area.left], zero - step);
  EXPECT_NEAR(view.peak.db, 6.0, 0.01);
  EXPECT_EQ(DescribeResponse(view),
            "Response from 20 Hz to 20 kHz at 48000 Hz, output gain +0.0 dB. Peak +6.0 dB at 1 kHz: loud input will clip.");
  EXPECT_EQ(FormatFrequency(999.8), "1 kHz");
  GEQ15ChannelParam lowered[2] = {records[0], records[1]};
  lowered[0].gain = lowered[1].gain = -6.5f;
  BuildResponseView(lowered, 48000, area, &view);
  EXPECT_EQ(DescribeResponse(view), "Response from 20 Hz to 20 kHz at 48000 Hz, output gain -6.5 dB. Peak -0.5 dB at 1 kHz: no clipping.");
  records[1].gain = -30.0f;  // below the plot: drawn along its bottom edge
  BuildResponseView(records, 44100, area, &view);
  EXPECT_EQ(std::make_tuple(view.curveCount, view.rows[1].front(), view.rows[0].back()), std::make_tuple(2, area.bottom, zero));
}

}  // namespace
