#include "settings/settings_document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "settings/settings_file_stdio.h"

namespace {

// An application record of the test's own, with an equalizer object, placed as at start-up.
struct App {
  std::unique_ptr<InsertContext> ctx{new InsertContext()};
  App() {
    EXPECT_EQ(GEQ15_Create(&ctx->engine), 0);
    ctx->x0 = ctx->y0 = ctx->savedX0 = ctx->savedY0 = kUnsetCoordinate;
    ctx->dx = ctx->savedDx = 688;
    ctx->dy = ctx->savedDy = 290;
    EXPECT_EQ(InitTextBuffer(&ctx->settingsBuffer), 0);
  }
  ~App() {
    ReleaseTextBuffer(&ctx->settingsBuffer);
    GEQ15_Destroy(&ctx->engine);
  }
  GEQ15ChannelParam& Record(int k) { return ctx->engine.filter->param[k - 1]; }
  int32_t Bus() const { return ctx->engine.bus.load(); }
  // The loader gets exactly the document's bytes, with no terminating zero after them.
  int32_t Load(const std::string& text) {
    std::unique_ptr<char[]> bytes(new char[text.size() + 1]);
    std::memcpy(bytes.get(), text.data(), text.size());
    return ApplySettingsDocument(ctx.get(), bytes.get(), static_cast<uint32_t>(text.size()));
  }
  std::string Save() {
    TextBuffer& b = ctx->settingsBuffer;
    EXPECT_EQ(BuildSettingsDocument(&b, Bus(), ctx->x0, ctx->y0, ctx->dx, ctx->dy,
                                    ctx->engine.filter), 0);
    return std::string(b.data, b.length);
  }
  void MarkRecords(float value) {
    for (int k = 1; k <= kChannelRecords; ++k) {
      Record(k).bypass = 7;
      Record(k).gain = value;
      for (float& g : Record(k).bands) g = value;
    }
  }
};

const std::string kDefaultRecord =
    "bypass='0' gain='0.00000' g1='0.00000' g2='0.00000' g3='0.00000' g4='0.00000' "
    "g5='0.00000' g6='0.00000' g7='0.00000' g8='0.00000' g9='0.00000' g10='0.00000' "
    "g11='0.00000' g12='0.00000' g13='0.00000' g14='0.00000' g15='0.00000' />\n";

std::string DefaultDocument(const std::string& configurationAttributes) {
  std::string doc =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<KelmoraOrluneGEQ15>\n"
      "<GEQ15Configuration " + configurationAttributes + " />\n";
  for (int k = 1; k <= 8; ++k) doc += "\t<GEQ15param ch='" + std::to_string(k) + "' " + kDefaultRecord;
  return doc + "</GEQ15Configuration>\n</KelmoraOrluneGEQ15>\n";
}

std::string Wrap(const std::string& inner) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<KelmoraOrluneGEQ15>\n"
         "<GEQ15Configuration nBus='1' />\n" + inner +
         "</GEQ15Configuration>\n</KelmoraOrluneGEQ15>\n";
}

TEST(SettingsWriter, DefaultDocumentByteForByteWithUnsetPlacement) {
  App app;
  std::string doc = app.Save();
  EXPECT_EQ(doc, DefaultDocument("nBus='0' x0='-2147483648' y0='-2147483648' dx='688' dy='290'"));
  EXPECT_EQ(doc.find('\r'), std::string::npos);
  EXPECT_EQ(doc.substr(0, 39), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n");
}

TEST(SettingsWriter, RecordValuesInFileOrderWithRounding) {
  App app;
  app.ctx->engine.bus.store(8);
  app.ctx->x0 = -1920;
  app.ctx->y0 = 12;
  app.ctx->dx = 700;
  app.ctx->dy = 310;
  GEQ15ChannelParam& r1 = app.Record(1);
  r1.bypass = -3;
  r1.gain = -12.0f;
  r1.g1 = 0.123456f;
  r1.g2 = -0.000004f;
  r1.g15 = 12.0f;
  app.Record(8).g8 = 3.4028234663852886e38f;  // the largest float
  std::string doc = app.Save();
  EXPECT_NE(doc.find("<GEQ15Configuration nBus='8' x0='-1920' y0='12' dx='700' dy='310' />\n"),
            std::string::npos);
  EXPECT_NE(doc.find("\t<GEQ15param ch='1' bypass='-3' gain='-12.00000' g1='0.12346' "
                     "g2='-0.00000' g3='0.00000'"),
            std::string::npos);
  EXPECT_NE(doc.find("g15='12.00000' />\n\t<GEQ15param ch='2' " + kDefaultRecord), std::string::npos);
  EXPECT_NE(doc.find("g8='340282346638528859811704183484516925440.00000' g9="), std::string::npos);
  EXPECT_EQ(std::count(doc.begin(), doc.end(), '\n'), 13);
}

TEST(SettingsWriter, NothingWithoutAnEqualizerObject) {
  TextBuffer b{};
  ASSERT_EQ(InitTextBuffer(&b), 0);
  ASSERT_EQ(AppendToTextBuffer(&b, "old", 3), 0);
  EXPECT_EQ(BuildSettingsDocument(&b, 0, 0, 0, 688, 290, nullptr), -1);
  EXPECT_EQ(WriteChannelRecords(&b, nullptr), -1);
  EXPECT_EQ(std::string(b.data, b.length), "old");
  ReleaseTextBuffer(&b);
  // A buffer that was never initialised is not touched either.
  TextBuffer never{};
  EXPECT_EQ(BuildSettingsDocument(&never, 0, 0, 0, 688, 290, nullptr), -1);
  EXPECT_EQ(never.data, nullptr);
}

TEST(SettingsLoader, SaveThenLoadGivesBackBusAndLiveRecords) {
  App app;
  app.ctx->engine.bus.store(5);
  app.ctx->x0 = 100;
  app.ctx->y0 = -50;
  for (int k = 1; k <= 2; ++k) {
    app.Record(k).bypass = k;
    app.Record(k).gain = -7.25f;
    for (int i = 0; i < kBandCount; ++i) app.Record(k).bands[i] = 0.123456f * (i - 7) * k;
  }
  app.Record(3).gain = 9.0f;
  const std::string doc = app.Save();
  const GEQ15ChannelParam saved1 = app.Record(1), saved2 = app.Record(2);

  App fresh;
  EXPECT_EQ(fresh.Load(doc), 1);
  EXPECT_EQ(fresh.Bus(), 5);
  EXPECT_EQ(fresh.ctx->savedX0, 100);
  EXPECT_EQ(fresh.ctx->savedY0, -50);
  const GEQ15ChannelParam* expected[] = {&saved1, &saved2};
  for (int k = 1; k <= 2; ++k) {
    EXPECT_EQ(fresh.Record(k).bypass, k);
    EXPECT_FLOAT_EQ(fresh.Record(k).gain, -7.25f);
    for (int i = 0; i < kBandCount; ++i) {
      EXPECT_NEAR(fresh.Record(k).bands[i], expected[k - 1]->bands[i], 0.000005) << "band " << i;
    }
  }
  EXPECT_EQ(fresh.Record(3).gain, 0.0f) << "records 3 to 8 are not taken back";
}

TEST(SettingsLoader, DocumentsWithoutUsableRecordsStillResetEveryRecord) {
  for (const std::string& text : {std::string("x"), std::string("<"),
                                  std::string("<KelmoraOrluneGEQ15>\n<GEQ15param ch='1' gain='5' />\n"
                                              "<GEQ15Configuration nBus='2' />\n")}) {
    App app;
    app.MarkRecords(4.0f);
    app.ctx->engine.bus.store(3);
    EXPECT_EQ(app.Load(text), 1);
    for (int k = 1; k <= kChannelRecords; ++k) {
      EXPECT_EQ(app.Record(k).bypass, 0);
      EXPECT_EQ(app.Record(k).gain, 0.0f) << "record " << k << " of \"" << text << "\"";
    }
    if (text.size() == 1) {
      EXPECT_EQ(app.Bus(), 3) << "the bus changes only when the file sets it";
    }
  }
}

TEST(SettingsLoader, ChannelNumbersAndMissingAttributes) {
  App app;
  app.MarkRecords(4.0f);
  EXPECT_EQ(app.Load(Wrap("\t<GEQ15param ch='3' gain='1' />\n"
                          "\t<GEQ15param ch='1.7' g3='2.5' />\n"
                          "\t<GEQ15param ch='' gain='6' />\n"
                          "\t<GEQ15param gain='6' />\n")),
            1);
  EXPECT_EQ(app.Record(1).g3, 2.5f) << "'1.7' counts as channel 1";
  EXPECT_EQ(app.Record(1).gain, 0.0f) << "a missing gain is 0";
  EXPECT_EQ(app.Record(2).gain, 0.0f);
  EXPECT_EQ(app.Record(3).gain, 0.0f);

  // Quotes, separators and attribute order of a hand-edited file.
  EXPECT_EQ(app.Load(Wrap("\t<GEQ15param g15=\"-3\"\tgain = '2' , ch=\"2\" bypass='-9'/>\n")), 1);
  EXPECT_EQ(app.Record(2).g15, -3.0f);
  EXPECT_EQ(app.Record(2).gain, 2.0f);
  EXPECT_EQ(app.Record(2).bypass, -9);
}

TEST(SettingsLoader, BusAndPlacement) {
  struct Case { const char* nBus; int32_t expected; } cases[] = {
      {"9", 0}, {"-1", 0}, {"8", 8}, {"0", 0}, {"3", 3}, {"x", 0}, {"99999999999", 0}};
  for (const Case& c : cases) {
    App app;
    app.ctx->engine.bus.store(4);
    app.Load(std::string("<GEQ15Configuration nBus='") + c.nBus + "' />");
    EXPECT_EQ(app.Bus(), c.expected) << "nBus " << c.nBus;
  }

  App app;
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

TEST(SettingsLoader, LaterElementsAndRecordsWin) {
  App app;
  const std::string doc =
      "<GEQ15Configuration nBus='1' />\n<GEQ15param ch='1' gain='1' />\n"
      "<GEQ15param ch='1' gain='2' g1='5' />\n</GEQ15Configuration>\n"
      "<GEQ15Configuration nBus='2' />\n<GEQ15param ch='2' gain='3' />\n"
      "</GEQ15Configuration>\n";
  EXPECT_EQ(app.Load(doc), 1);
  EXPECT_EQ(app.Bus(), 2);
  EXPECT_EQ(app.Record(1).gain, 2.0f);
  EXPECT_EQ(app.Record(1).g1, 5.0f);
  EXPECT_EQ(app.Record(2).gain, 3.0f);

  // Without the closing line the element runs to the end of the text.
  App open;
  EXPECT_EQ(open.Load("<GEQ15Configuration />\n<GEQ15param ch='2' g4='-4.5' />\n"), 1);
  EXPECT_EQ(open.Record(2).g4, -4.5f);
}

TEST(SettingsLoader, NonFiniteValuesLoadAsZeroAndHugeOnesAreBounded) {
  App app;
  app.Load(Wrap("<GEQ15param ch='1' gain='nan' g1='inf' g2='-inf' g3='1e999' g4='NAN(1)' "
                "g5='1e30' g6='-1e30' g7='40' g8='720' g9='-720.5' g10='abc' g11='1e-50' />\n"));
  const GEQ15ChannelParam& r = app.Record(1);
  EXPECT_EQ(r.gain, 0.0f);
  EXPECT_EQ(r.g1, 0.0f);
  EXPECT_EQ(r.g2, 0.0f);
  EXPECT_EQ(r.g3, 0.0f);
  EXPECT_EQ(r.g4, 0.0f);
  EXPECT_EQ(r.g5, 720.0f);
  EXPECT_EQ(r.g6, -720.0f);
  EXPECT_EQ(r.g7, 40.0f) << "values beyond the panel's range still load unchanged";
  EXPECT_EQ(r.g8, 720.0f);
  EXPECT_EQ(r.g9, -720.0f);
  EXPECT_EQ(r.g10, 0.0f);
  EXPECT_EQ(r.g11, 0.0f);
}

TEST(SettingsLoader, BoundedExtremesDesignFiniteCoefficients) {
  for (const char* extreme : {"1e30", "-1e30"}) {
    App app;
    std::string attrs = std::string("ch='1' gain='") + extreme + "'";
    for (int i = 1; i <= kBandCount; ++i) attrs += " g" + std::to_string(i) + "='" + extreme + "'";
    app.Load(Wrap("<GEQ15param " + attrs + " />\n"));
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

// Files of the sizes around the limit, read through the C library as the tool does.
class SettingsFileTest : public ::testing::Test {
 protected:
  std::string path_ = ::testing::TempDir() + "geq15_settings_file_test.xml";
  void TearDown() override { std::remove(path_.c_str()); }
  void Write(const std::string& bytes) {
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
  }
  // A valid document setting record 1's gain, padded with spaces to `size` bytes.
  static std::string Padded(size_t size) {
    std::string doc = Wrap("<GEQ15param ch='1' gain='6' />\n");
    doc.resize(size, ' ');
    return doc;
  }
};

TEST_F(SettingsFileTest, SizeLimitsAndReasons) {
  EXPECT_EQ(CheckSettingsFileSize(0), SettingsFileProblem::kEmpty);
  EXPECT_EQ(CheckSettingsFileSize(1048576), SettingsFileProblem::kNone);
  EXPECT_EQ(CheckSettingsFileSize(1048577), SettingsFileProblem::kTooLarge);
  EXPECT_EQ(CheckSettingsFileSize(0x100000000ull), SettingsFileProblem::kTooLarge);

  App app;
  app.MarkRecords(4.0f);
  TextBuffer& buffer = app.ctx->settingsBuffer;
  EXPECT_EQ(LoadSettingsFromPath(app.ctx.get(), &buffer, path_.c_str()), SettingsFileProblem::kMissing);
  Write("");
  EXPECT_EQ(LoadSettingsFromPath(app.ctx.get(), &buffer, path_.c_str()), SettingsFileProblem::kEmpty);
  Write(Padded(1048577));
  EXPECT_EQ(LoadSettingsFromPath(app.ctx.get(), &buffer, path_.c_str()), SettingsFileProblem::kTooLarge);
  EXPECT_EQ(app.Record(1).gain, 4.0f) << "a file that is not read changes no record";
  EXPECT_EQ(app.Record(5).gain, 4.0f);

  Write(Padded(1048576));
  EXPECT_EQ(LoadSettingsFromPath(app.ctx.get(), &buffer, path_.c_str()), SettingsFileProblem::kNone);
  EXPECT_EQ(app.Bus(), 1);
  EXPECT_EQ(app.Record(1).gain, 6.0f);
  EXPECT_EQ(app.Record(5).gain, 0.0f);
  EXPECT_EQ(buffer.length, 1048576u);

  Write("x");
  app.MarkRecords(4.0f);
  EXPECT_EQ(LoadSettingsFromPath(app.ctx.get(), &buffer, path_.c_str()), SettingsFileProblem::kNone);
  EXPECT_EQ(app.Record(1).gain, 0.0f);

  EXPECT_STREQ(DescribeSettingsFileProblem(SettingsFileProblem::kTooLarge),
               "the file is larger than 1048576 bytes");
}

}  // namespace
