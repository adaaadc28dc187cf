#include "settings/settings_document.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "settings/settings_load.h"
#include "tests/settings/settings_fixture.h"

namespace {

const std::string kDefaultRecord =
    "bypass='0' gain='0.00000' g1='0.00000' g2='0.00000' g3='0.00000' g4='0.00000' g5='0.00000' g6='0.00000' "
    "g7='0.00000' g8='0.00000' g9='0.00000' g10='0.00000' g11='0.00000' g12='0.00000' g13='0.00000' "
    "g14='0.00000' g15='0.00000' />\n";
const std::string kHead = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<KelmoraOrluneGEQ15>\n";
const std::string kTail = "</GEQ15Configuration>\n</KelmoraOrluneGEQ15>\n";

TEST(SettingsWriter, DocumentByteForByteAndNothingWithoutAnEqualizer) {
  TestSettings app;
  std::string expected = kHead + "<GEQ15Configuration nBus='0' x0='-2147483648' y0='-2147483648' dx='688' dy='290' />\n";
  for (int k = 1; k <= 8; ++k) expected += "\t<GEQ15param ch='" + std::to_string(k) + "' " + kDefaultRecord;
  EXPECT_EQ(app.Save(), expected + kTail);
  app.engine->bus.store(8);
  app.window.x0 = -1920;
  GEQ15ChannelParam& r1 = app.Record(1);
  r1.bypass = -3, r1.gain = -12.0f, r1.g1 = 0.123456f, r1.g2 = -0.000004f, r1.g15 = 12.0f;
  app.Record(8).g8 = 3.4028234663852886e38f;  // the largest float
  const std::string doc = app.Save();
  for (const std::string& part :
       {std::string("<GEQ15Configuration nBus='8' x0='-1920' y0='-2147483648' dx='688' dy='290' />\n"),
        std::string("\t<GEQ15param ch='1' bypass='-3' gain='-12.00000' g1='0.12346' g2='-0.00000' g3="),
        "g15='12.00000' />\n\t<GEQ15param ch='2' " + kDefaultRecord,
        std::string("g8='340282346638528859811704183484516925440.00000' g9=")}) {
    EXPECT_NE(doc.find(part), std::string::npos) << part;
  }
  TextBuffer b{};  // no storage: the buffer is not touched
  EXPECT_EQ(std::make_pair(BuildSettingsDocument(&b, 0, 0, 0, 688, 290, nullptr), WriteChannelRecords(&b, nullptr)), std::make_pair(-1, -1));
  EXPECT_EQ(b.data, nullptr);
}

// Bus, saved position and size, records 1, 2 and 3, and the load's summary.
std::string Loaded(const std::string& text) {
  TestSettings app;
  app.Variant(4, 4.0f);
  app.settings.saved.x0 = app.settings.saved.y0 = 0;
  SettingsLoadSummary found{-1, -1};
  std::unique_ptr<char[]> bytes(new char[text.size()]);  // exactly the bytes, no zero after them
  std::memcpy(bytes.get(), text.data(), text.size());
  EXPECT_EQ(ApplySettingsDocument(app.engine.get(), &app.settings.saved, bytes.get(), uint32_t(text.size()), &found), 1);
  const GEQ15ChannelParam &r1 = app.Record(1), &r2 = app.Record(2);
  char line[256];
  std::snprintf(line, sizeof line, "bus %d at %d,%d size %dx%d | %d %g %g %g | %d %g %g | %g | %d %d",
                app.engine->bus.load(), app.settings.saved.x0, app.settings.saved.y0, app.settings.saved.dx, app.settings.saved.dy,
                r1.bypass, r1.gain, r1.g1, r1.g3, r2.bypass, r2.gain, r2.g15, app.Record(3).gain,
                found.configurations, found.records);
  return line;
}

TEST(SettingsLoader, Documents) {
  const std::string reset = " | 0 0 0 0 | 0 0 0 | 0 | ";
  TestSettings saving;  // the writer's own document gives back bus, position and records 1 and 2
  saving.Variant(5, -7.25f);
  saving.window.y0 = -50;
  const struct { std::string text, loaded; } rows[] = {
      {saving.Save(), "bus 5 at 50,-50 size 688x290 | 5 -7.25 7.25 5.17857 | 5 -7.25 -7.25 | 0 | 1 2"},
      // Not markup, or no configuration element: every record reset, nothing else changes.
      {"x", "bus 4 at 0,0 size 688x290" + reset + "0 0"},
      {"<GEQ15Configuration/><GEQ15param ch='1' gain='5' />", "bus 4 at 0,0 size 688x290" + reset + "0 0"},
      // Records outside the element are not read.
      {"<GEQ15param ch='1' gain='5' />\n<GEQ15Configuration nBus='2'></GEQ15Configuration>\n<GEQ15param ch='2' />",
       "bus 2 at 0,0 size 688x290" + reset + "1 0"},
      {"<GEQ15Configuration x0='-300' dx='100' dy='900' />", "bus 4 at -300,0 size 100x900" + reset + "1 0"},
      {"<GEQ15Configuration nBus='9' />", "bus 0 at 0,0 size 688x290" + reset + "1 0"},
      {"<GEQ15Configuration nBus='-1' />", "bus 0 at 0,0 size 688x290" + reset + "1 0"},
      {"<GEQ15Configuration nBus=' 8x' x0='1.9' />", "bus 8 at 1,0 size 688x290" + reset + "1 0"},
      // Channel numbers by atoi; only 1 and 2; absent attributes give 0; attributes in any order,
      // either quote, separated by spaces, tabs and commas; '.' is the decimal point.
      {"<GEQ15Configuration><GEQ15param ch='3' gain='1'/><GEQ15param ch='1.7' g3='2,5' gain='6'/>"
       "<GEQ15param ch='' gain='6' /><GEQ15param gain='6' /><GEQ15param g15=\"-3\"\tgain = '2' , ch=\"2\" bypass='-9'/>",
       "bus 4 at 0,0 size 688x290 | 0 6 0 2 | -9 2 -3 | 0 | 1 2"},
      // Several elements apply in order, a later record replaces the whole record (an absent
      // bypass is 0), the last element runs to the end.
      {"<GEQ15Configuration nBus='1' />\n<GEQ15param ch='1' gain='1' g3='4' bypass='2' />\n<GEQ15param ch='1' g1='5' />\n"
       "</GEQ15Configuration>\n<GEQ15Configuration nBus='2' />\n<GEQ15param ch='2' gain='3' />\n",
       "bus 2 at 0,0 size 688x290 | 0 0 5 0 | 0 3 0 | 0 | 2 3"}};
  for (const auto& row : rows) EXPECT_EQ(Loaded(row.text), row.loaded) << row.text;
}

TEST(SettingsLoader, NonFiniteValuesLoadAsZeroAndHugeOnesAreBounded) {
  const struct { const char* text; float loaded; } rows[] = {
      {"nan", 0}, {"inf", 0}, {"-inf", 0}, {"1e999", 0}, {"NAN(1)", 0}, {"abc", 0}, {"1e-50", 0},
      {"1e30", 720}, {"-1e30", -720}, {"720", 720}, {"-720.5", -720}, {"40", 40}};  // 40: within the bound
  std::string attributes = "ch='1' gain='nan'";
  for (size_t i = 0; i < std::size(rows); ++i) attributes += " g" + std::to_string(i + 1) + "='" + rows[i].text + "'";
  TestSettings app;
  const std::string doc = "<GEQ15Configuration><GEQ15param " + attributes + " />";
  ApplySettingsDocument(app.engine.get(), &app.settings.saved, doc.data(), uint32_t(doc.size()));
  EXPECT_EQ(app.Record(1).gain, 0.0f);
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(app.Record(1).bands[i], rows[i].loaded) << rows[i].text;
}

// Unreadable files, read through the C library as the tool does: nothing but the buffer changes.
TEST(SettingsFile, SizeLimitsAndReasons) {
  const std::string path = ::testing::TempDir() + "geq15_settings_file_test.xml";
  const std::string valid = "<GEQ15Configuration><GEQ15param ch='1' gain='6' />";  // padded with spaces
  const struct { const char* name; size_t size; SettingsFileProblem problem; float gain; } rows[] = {
      {"missing", 0, SettingsFileProblem::kMissing, 4.0f}, {"empty", 0, SettingsFileProblem::kEmpty, 4.0f},
      {"over the limit", 1048577, SettingsFileProblem::kTooLarge, 4.0f},
      {"at the limit", 1048576, SettingsFileProblem::kNone, 6.0f}, {"one byte", 1, SettingsFileProblem::kNone, 0.0f}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::remove(path.c_str());
    if (row.problem != SettingsFileProblem::kMissing) {
      std::string bytes = (valid + std::string(row.size, ' ')).substr(0, row.size);
      std::FILE* f = std::fopen(path.c_str(), "wb");
      ASSERT_TRUE(f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fclose(f) == 0) << "the test file was not written";
    }
    TestSettings app;
    app.Variant(1, 4.0f);  // a file that is not read changes no record
    EXPECT_EQ(LoadSettingsFromPath(app.engine.get(), &app.settings, path.c_str()), row.problem);
    EXPECT_EQ(app.Record(1).gain, row.gain);
    EXPECT_EQ(app.Record(5).gain, row.problem == SettingsFileProblem::kNone ? 0.0f : 4.0f);
  }
  std::remove(path.c_str());
  EXPECT_EQ(CheckSettingsFileSize(0x100000000ull), SettingsFileProblem::kTooLarge) << "not cut to 32 bits";
}

}  // namespace
