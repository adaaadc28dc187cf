#include "settings/settings_document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "settings/settings_file_stdio.h"
#include "tests/settings/settings_test_app.h"

namespace {

const std::string kDefaultRecord =
    "bypass='0' gain='0.00000' g1='0.00000' g2='0.00000' g3='0.00000' g4='0.00000' "
    "g5='0.00000' g6='0.00000' g7='0.00000' g8='0.00000' g9='0.00000' g10='0.00000' "
    "g11='0.00000' g12='0.00000' g13='0.00000' g14='0.00000' g15='0.00000' />\n";

std::string Wrap(const std::string& inner, const std::string& attributes = "nBus='1'") {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<KelmoraOrluneGEQ15>\n<GEQ15Configuration " +
         attributes + " />\n" + inner + "</GEQ15Configuration>\n</KelmoraOrluneGEQ15>\n";
}

TEST(SettingsWriter, DocumentByteForByte) {
  TestApp app;
  std::string records;
  for (int k = 1; k <= 8; ++k) records += "\t<GEQ15param ch='" + std::to_string(k) + "' " + kDefaultRecord;
  EXPECT_EQ(app.Save(), Wrap(records, "nBus='0' x0='-2147483648' y0='-2147483648' dx='688' dy='290'"));

  app.ctx->engine.bus.store(8);
  app.ctx->x0 = -1920;
  app.ctx->y0 = 12;
  GEQ15ChannelParam& r1 = app.Record(1);
  r1.bypass = -3;
  r1.gain = -12.0f;
  r1.g1 = 0.123456f;
  r1.g2 = -0.000004f;
  r1.g15 = 12.0f;
  app.Record(8).g8 = 3.4028234663852886e38f;  // the largest float
  const std::string doc = app.Save();
  for (const std::string& part :
       {std::string("<GEQ15Configuration nBus='8' x0='-1920' y0='12' dx='688' dy='290' />\n"),
        std::string("\t<GEQ15param ch='1' bypass='-3' gain='-12.00000' g1='0.12346' g2='-0.00000' g3="),
        "g15='12.00000' />\n\t<GEQ15param ch='2' " + kDefaultRecord,
        std::string("g8='340282346638528859811704183484516925440.00000' g9=")}) {
    EXPECT_NE(doc.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(std::count(doc.begin(), doc.end(), '\n'), 13);
}

TEST(SettingsWriter, NothingWithoutAnEqualizerObject) {
  TextBuffer b{};
  ASSERT_EQ(AppendToTextBuffer(&b, "old", 3), 0);
  EXPECT_EQ(BuildSettingsDocument(&b, 0, 0, 0, 688, 290, nullptr), -1);
  EXPECT_EQ(WriteChannelRecords(&b, nullptr), -1);
  EXPECT_EQ(std::string(b.data, b.length), "old");
  ReleaseTextBuffer(&b);
  EXPECT_EQ(BuildSettingsDocument(&b, 0, 0, 0, 688, 290, nullptr), -1);
  EXPECT_EQ(b.data, nullptr) << "a buffer without storage is not touched";
}

TEST(SettingsLoader, SaveThenLoadGivesBackBusAndLiveRecords) {
  TestApp app;
  app.ctx->engine.bus.store(5);
  app.ctx->x0 = 100;
  app.ctx->y0 = -50;
  for (int k = 1; k <= 2; ++k) {
    app.Record(k).bypass = k;
    app.Record(k).gain = -7.25f;
    for (int i = 0; i < kBandCount; ++i) app.Record(k).bands[i] = 0.123456f * (i - 7) * k;
  }
  app.Record(3).gain = 9.0f;
  TestApp fresh;
  EXPECT_EQ(fresh.Load(app.Save()), 1);
  EXPECT_EQ(fresh.Bus(), 5);
  EXPECT_EQ(fresh.ctx->savedX0, 100);
  EXPECT_EQ(fresh.ctx->savedY0, -50);
  for (int k = 1; k <= 2; ++k) {
    EXPECT_EQ(fresh.Record(k).bypass, k);
    EXPECT_FLOAT_EQ(fresh.Record(k).gain, -7.25f);
    for (int i = 0; i < kBandCount; ++i) EXPECT_NEAR(fresh.Record(k).bands[i], app.Record(k).bands[i], 5e-6);
  }
  EXPECT_EQ(fresh.Record(3).gain, 0.0f) << "records 3 to 8 are not taken back";
}

TEST(SettingsLoader, DocumentsWithoutUsableRecordsStillResetEveryRecord) {
  for (const std::string text :
       {"x", "<", "<K>\n<GEQ15param ch='1' gain='5' />\n<GEQ15Configuration nBus='2' />\n"}) {
    TestApp app;
    app.SetRecords(7, 4.0f, 4.0f);
    app.ctx->engine.bus.store(3);
    EXPECT_EQ(app.Load(text), 1);
    for (int k = 1; k <= kChannelRecords; ++k) {
      EXPECT_EQ(app.Record(k).bypass, 0);
      EXPECT_EQ(app.Record(k).gain, 0.0f) << "record " << k << " of \"" << text << "\"";
    }
    EXPECT_EQ(app.Bus(), text.size() == 1 ? 3 : 2) << "the bus changes only when the file sets it";
  }
}

TEST(SettingsLoader, ChannelNumbersAttributesAndLaterRecordsWin) {
  TestApp app;
  app.SetRecords(7, 4.0f, 4.0f);
  EXPECT_EQ(app.Load(Wrap("\t<GEQ15param ch='3' gain='1' />\n\t<GEQ15param ch='1.7' g3='2.5' />\n"
                          "\t<GEQ15param ch='' gain='6' />\n\t<GEQ15param gain='6' />\n")), 1);
  EXPECT_EQ(app.Record(1).g3, 2.5f) << "'1.7' counts as channel 1";
  EXPECT_EQ(app.Record(1).gain, 0.0f) << "a missing gain is 0";
  EXPECT_EQ(app.Record(2).gain, 0.0f);
  EXPECT_EQ(app.Record(3).gain, 0.0f);

  // Quotes, separators and attribute order of a hand-edited file.
  EXPECT_EQ(app.Load(Wrap("\t<GEQ15param g15=\"-3\"\tgain = '2' , ch=\"2\" bypass='-9'/>\n")), 1);
  EXPECT_EQ(app.Record(2).g15, -3.0f);
  EXPECT_EQ(app.Record(2).gain, 2.0f);
  EXPECT_EQ(app.Record(2).bypass, -9);

  EXPECT_EQ(app.Load("<GEQ15Configuration nBus='1' />\n<GEQ15param ch='1' gain='1' />\n"
                     "<GEQ15param ch='1' gain='2' g1='5' />\n</GEQ15Configuration>\n"
                     "<GEQ15Configuration nBus='2' />\n<GEQ15param ch='2' gain='3' />\n"), 1);
  EXPECT_EQ(app.Bus(), 2);
  EXPECT_EQ(app.Record(1).gain, 2.0f);
  EXPECT_EQ(app.Record(1).g1, 5.0f);
  EXPECT_EQ(app.Record(2).gain, 3.0f) << "an element without its closing line runs to the end";
}

TEST(SettingsLoader, BusAndPlacement) {
  for (auto row : {std::make_pair("9", 0), {"-1", 0}, {"8", 8}, {"3", 3}, {"x", 0}, {"99999999999", 0}}) {
    TestApp app;
    app.ctx->engine.bus.store(4);
    app.Load(std::string("<GEQ15Configuration nBus='") + row.first + "' />");
    EXPECT_EQ(app.Bus(), row.second) << "nBus " << row.first;
  }
  TestApp app;
  app.ctx->minDx = 706;
  app.ctx->minDy = 331;
  app.ctx->engine.bus.store(4);
  app.Load("<GEQ15Configuration x0='-300' dx='100' dy='900' />");
  EXPECT_EQ(app.Bus(), 4) << "an absent nBus keeps the bus";
  EXPECT_EQ(app.ctx->savedX0, -300);
  EXPECT_EQ(app.ctx->savedY0, kUnsetCoordinate);
  EXPECT_EQ(app.ctx->savedDx, 706);
  EXPECT_EQ(app.ctx->savedDy, 900);
  EXPECT_EQ(app.ctx->dx, 688) << "a load never touches the window's own placement";
  app.ctx->savedDy = 10;
  app.Load("<GEQ15Configuration />");
  EXPECT_EQ(app.ctx->savedDy, 331) << "the minimum applies even without size attributes";
}

TEST(SettingsLoader, NonFiniteValuesLoadAsZeroAndHugeOnesAreBounded) {
  // Bands 1 to 12 in turn; the bound of 720 dB still converts to a finite linear gain.
  const struct { const char* text; float loaded; } rows[] = {
      {"nan", 0}, {"inf", 0}, {"-inf", 0}, {"1e999", 0}, {"NAN(1)", 0}, {"abc", 0}, {"1e-50", 0},
      {"1e30", 720}, {"-1e30", -720}, {"720", 720}, {"-720.5", -720},
      {"40", 40}};  // beyond the panel's range but within the bound: unchanged
  std::string attributes = "ch='1' gain='nan'";
  for (size_t i = 0; i < std::size(rows); ++i) {
    attributes += " g" + std::to_string(i + 1) + "='" + rows[i].text + "'";
  }
  TestApp app;
  app.Load(Wrap("<GEQ15param " + attributes + " />\n"));
  EXPECT_EQ(app.Record(1).gain, 0.0f);
  for (size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(app.Record(1).bands[i], rows[i].loaded) << rows[i].text;
  }
}

TEST(SettingsLoader, BoundedExtremesDesignFiniteCoefficients) {
  for (const char* extreme : {"1e30", "-1e30"}) {
    std::string attributes = std::string("ch='1' gain='") + extreme + "'";
    for (int i = 1; i <= kBandCount; ++i) attributes += " g" + std::to_string(i) + "='" + extreme + "'";
    TestApp app;
    app.Load(Wrap("<GEQ15param " + attributes + " />\n"));
    for (int32_t rate : {44100, 48000, 96000, 192000}) {
      ASSERT_EQ(GEQ15_Configure(app.ctx->engine.filter, rate, 256), 0);
      CoefficientSet set{};
      ASSERT_EQ(GEQ15_Design(app.ctx->engine.filter, &set), 0);
      const GEQ15ChannelCoefs& c = set.channel[0];
      EXPECT_TRUE(std::isfinite(c.gain)) << extreme << " at " << rate;
      for (int i = 0; i < kBandCount; ++i) {
        EXPECT_TRUE(std::isfinite(c.b0[i]) && std::isfinite(c.a1[i]) && std::isfinite(c.b2[i]) &&
                    std::isfinite(c.na2[i]))
            << extreme << " band " << i + 1 << " at " << rate;
      }
    }
  }
}

TEST(SettingsLoader, ConversionsSaturateAndUseTheDecimalPoint) {
  EXPECT_EQ(ParseSettingsInteger("2147483648"), INT32_MAX);
  EXPECT_EQ(ParseSettingsInteger("-99999999999"), INT32_MIN);
  EXPECT_EQ(ParseSettingsInteger("  42abc"), 42);
  EXPECT_EQ(ParseSettingsInteger(""), 0);
  EXPECT_EQ(ParseSettingsGain("-3.5"), -3.5f);
  EXPECT_EQ(ParseSettingsGain("2,5"), 2.0f);
}

// Files around the size limit, read through the C library as the tool does.
TEST(SettingsFile, SizeLimitsAndReasons) {
  const std::string path = ::testing::TempDir() + "geq15_settings_file_test.xml";
  const std::string valid = Wrap("<GEQ15param ch='1' gain='6' />\n");  // padded with spaces
  const struct {
    const char* name;
    const std::string* text;
    size_t size;
    SettingsFileProblem problem;
    float gain;
  } rows[] = {
      {"missing", nullptr, 0, SettingsFileProblem::kMissing, 4.0f},
      {"empty", &valid, 0, SettingsFileProblem::kEmpty, 4.0f},
      {"over the limit", &valid, 1048577, SettingsFileProblem::kTooLarge, 4.0f},
      {"at the limit", &valid, 1048576, SettingsFileProblem::kNone, 6.0f},
      {"one byte, no markup", &valid, 1, SettingsFileProblem::kNone, 0.0f}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::remove(path.c_str());
    if (row.text) {
      std::string bytes = *row.text;
      bytes.resize(row.size, ' ');
      std::FILE* f = std::fopen(path.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
      std::fclose(f);
    }
    TestApp app;
    app.SetRecords(7, 4.0f, 4.0f);
    EXPECT_EQ(LoadSettingsFromPath(app.ctx.get(), &app.ctx->settingsBuffer, path.c_str()), row.problem);
    EXPECT_EQ(app.Record(1).gain, row.gain) << "a file that is not read changes no record";
    EXPECT_EQ(app.Record(5).gain, row.problem == SettingsFileProblem::kNone ? 0.0f : 4.0f);
  }
  std::remove(path.c_str());
  EXPECT_EQ(CheckSettingsFileSize(0x100000000ull), SettingsFileProblem::kTooLarge);
  EXPECT_STREQ(DescribeSettingsFileProblem(SettingsFileProblem::kTooLarge),
               "the file is larger than 1048576 bytes");
}

}  // namespace
