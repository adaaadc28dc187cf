// The panel's arithmetic: hit test, knob and meter mapping, every value edit with its write to
// records 1 and 2 and its publication, the keys at each focus stop, and what screen readers are
// told.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>

#include "panel/panel_access.h"
#include "panel/panel_keys.h"
#include "tests/engine/stream_fixture.h"

namespace {

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::nanf("");

TEST(PanelHitTestTest, BoundariesThatMatter) {
  PanelGeometry g{};
  ComputePanelGeometry(&g, 0, 0, 682);
  const int32_t L = 10, T = 70, B = 247;  // the slider area of a client area at (0, 0)
  // Both ends of a bus cell belong to it; neighbouring band columns share x = L + 42 and the lower
  // index wins; the inert zone, from the slider area's top, covers the top 11 rows of the gain column.
  const struct { int32_t x, y, hit, slider; } rows[] = {
      {10, 10, kHitBusCell, -1}, {82, 60, kHitBusCell, -1}, {83, 30, kHitNone, -1}, {92, 30, kHitBusCell + 1, -1},
      {10 + 7 * 82 + 72, 30, kHitBusCell + 7, -1}, {10, 61, kHitNone, -1}, {L + 42, T + 50, kHitSlider, 0},
      {L + 43, T + 50, kHitSlider, 1}, {L + 490, T + 50, kHitSlider, 14}, {L + 9, T + 50, kHitNone, -1},
      {L + 20, T + 9, kHitNone, -1}, {L + 20, B - 10, kHitSlider, 0}, {L + 20, B - 9, kHitNone, -1},
      {L + 600, T, kHitInertZone, -1}, {L + 600, T + 15, kHitInertZone, -1}, {L + 600, T + 25, kHitInertZone, -1}, {L + 600, T + 26, kHitSlider, 15},
      {L + 586, B - 15, kHitSlider, 15}, {L + 586, B - 14, kHitNone, -1}, {L + 627, T + 138, kHitBypassSwitch, -1},
      {L + 653, T + 162, kHitBypassSwitch, -1}, {L + 654, T + 150, kHitNone, -1}, {L + 640, T + 163, kHitNone, -1}};
  for (const auto& r : rows) {
    int32_t slider = -1;
    EXPECT_EQ(PanelHitTest(&g, r.x, r.y, &slider), r.hit) << "at L+" << r.x - L << ", T+" << r.y - T;
    EXPECT_EQ(slider, r.hit == kHitSlider ? r.slider : -1);
    EXPECT_EQ(PanelHitTest(&g, r.x, r.y, nullptr), r.hit) << "the slider output is optional";
  }
}

TEST(KnobAndMeterTest, PositionsStayInsideTheirColumns) {
  // A settings file may carry 40 dB or worse: every knob copy must stay inside the column.
  const struct { float value; int32_t track, offset; } knobs[] = {
      {12.0f, 127, 0}, {0.0f, 127, 64}, {-12.0f, 127, 127}, {6.0f, 127, 32}, {0.0f, 111, 56}, {40.0f, 127, 0},
      {-40.0f, 127, 127}, {kInf, 111, 0}, {-kInf, 111, 111}, {3.0e38f, 127, 0}, {kNaN, 127, 64}};
  for (const auto& k : knobs) EXPECT_EQ(KnobOffset(k.value, k.track), k.offset) << k.value << " on " << k.track;
  // About -66 dB is the foot of the meter, 0 dBFS lights 96 rows, above +6 dB it is full.
  const struct { float level; int32_t lit; } meters[] = {{0.0f, 0}, {1e-11f, 0}, {0.0005f, 0}, {1.0f, 96},
      {0.5f, 87}, {2.0f, 105}, {1000.0f, 105}, {kInf, 105}, {-0.5f, 0}, {kNaN, 0}};
  for (const auto& m : meters) EXPECT_EQ(MeterLitHeight(m.level), m.lit) << m.level;
  // The 7-bit mantissa lookup truncates: at most 20*log10(1 + 1/128) below the exact value.
  for (float level : {1e-9f, 0.001f, 0.0123f, 0.3f, 0.7071f, 0.999f, 1.5f})
    EXPECT_NEAR(MeterLevelDb(level), 20.0 * std::log10(level) - 0.034, 0.0341) << level;
  // The louder channel of a pair is shown; a NaN never wins over a level.
  EXPECT_EQ(std::make_tuple(MeterPairLevel(0.25f, 0.5f), MeterPairLevel(0.5f, 0.25f), MeterPairLevel(kNaN, 0.25f), MeterPairLevel(0.25f, kNaN)),
            std::make_tuple(0.5f, 0.5f, 0.25f, 0.25f));
}

TEST(ValueEditTest, WheelStepsTypedTextAndDragEdges) {
  for (const auto& [delta, steps] : {std::pair<int16_t, int32_t>{120, -1}, {-120, 1}, {60, 0}, {-60, 0}, {240, -2}, {-359, 2}, {-32768, 273}})
    EXPECT_EQ(WheelSteps(delta), steps) << delta << ": steps truncate toward zero";
  // Only a decimal number counts: "inf", "nan" and hexadecimal are text without a number.
  const struct { const char* text; int32_t applied; float value; } rows[] = {
      {"5.25", 1, 5.25f}, {"-20", 1, -12.0f}, {"abc", 1, 0.0f}, {"1e3", 1, 12.0f}, {"  -3.5dB", 1, -3.5f},
      {".5", 1, 0.5f}, {"nan", 1, 0.0f}, {"-nan", 1, 0.0f}, {"inf", 1, 0.0f}, {"-infinity", 1, 0.0f},
      {"0x5", 1, 0.0f}, {"0X5", 1, 0.0f}, {"1e999", 1, 12.0f}, {"", 0, 7.0f}, {nullptr, 0, 7.0f}};
  for (const auto& r : rows) {
    float v = 7.0f;
    EXPECT_EQ(TypedValue(r.text, -12.0f, 12.0f, &v), r.applied) << (r.text ? r.text : "(null)");
    EXPECT_EQ(v, r.value) << (r.text ? r.text : "(null)");
  }
  EXPECT_EQ(DragValue(-11.95f, 5), -12.0f);
  EXPECT_EQ(DragValue(kNaN, -10), 0.0f) << "a NaN from a settings file would stick forever";
}

// A panel whose engine has a running stream (so publishing reaches the exchange), the
// program's 688-pixel client area and five buses.
struct PanelFixture : ::testing::Test {
  static constexpr const char* kLabels[] = {"A1", "A2", "A3", "B1", "B2"};
  EngineContext engine{};
  PanelState panel{{}, {}, 5, kLabels, &engine, {}, {}};
  void SetUp() override {
    ASSERT_EQ(GEQ15_Create(panel.engine), 0);
    ASSERT_EQ(GEQ15_StartStream(panel.engine, 48000, 512), 0);
    ComputePanelGeometry(&panel.geometry, 0, 0, 688);
    held = CoefExchange_CatchUp(&panel.engine->coefExchange);
  }
  void TearDown() override { GEQ15_Destroy(panel.engine); }
  // A publication since the last look shows as a new set for the audio thread to take.
  bool Published() {
    const PublishedSet* before = held;
    held = CoefExchange_CatchUp(&panel.engine->coefExchange);
    return held != before;
  }
  const PublishedSet* held = nullptr;
  GEQ15ChannelParam& Record(int n) { return panel.engine->filter->param[n - 1]; }
  std::string Slider(int32_t k) {  // its value in records 1 and 2, and whether published since the last look
    auto v = [&](int n) { return std::to_string(k == kGainSlider ? Record(n).gain : Record(n).bands[k]); };
    return v(1) + " " + v(2) + (Published() ? " published" : "");
  }
  std::string Did(PanelChange c, int32_t k) {  // what an action asked to redraw, and slider k after it
    static const char* const kRedraws[] = {"nothing", "slider", "bus bar", "bypass", "drag", "editor", "unused"};
    return std::string(kRedraws[c.redraw]) + " " + std::to_string(c.slider) + " | " + Slider(k);
  }
  int32_t BandX(int32_t j) const { return panel.geometry.areaLeft + 26 + 32 * j; }
  int32_t MidY() const { return panel.geometry.areaTop + 88; }
};

TEST_F(PanelFixture, DragUpStopsAtTheTopAndComesBackAtOnce) {
  const int32_t y0 = MidY();
  EXPECT_EQ(Did(ApplyLeftPress(&panel, BandX(4), y0), 4), "drag 4 | 0.000000 0.000000") << "a press alone changes nothing";
  EXPECT_EQ(Did(ApplyPointerMove(&panel, y0 - 30), 4), "slider 4 | 3.000000 3.000000 published");
  EXPECT_EQ(Did(ApplyPointerMove(&panel, y0 - 200), 4), "slider 4 | 12.000000 12.000000 published");
  EXPECT_EQ(Did(ApplyPointerMove(&panel, y0 - 190), 4), "slider 4 | 11.000000 11.000000 published") << "down again from the top";
  EXPECT_EQ(Did(ApplyPointerMove(&panel, y0 - 190), 4), "nothing -1 | 11.000000 11.000000") << "unchanged y applies nothing";
  EXPECT_EQ(Did(ApplyDoubleClick(&panel, BandX(5), y0), 5), "nothing -1 | 0.000000 0.000000") << "while dragging";
  EXPECT_EQ(Did(ApplyWheelStep(&panel, -1), 4), "nothing -1 | 11.000000 11.000000") << "while dragging";
  EXPECT_EQ(EndPanelDrag(&panel), 1);
  EXPECT_EQ(Did(ApplyPointerMove(&panel, y0), 4), "nothing -1 | 11.000000 11.000000") << "after the drag";
  EXPECT_EQ(EndPanelDrag(&panel), 0);
}

TEST_F(PanelFixture, EveryEditWritesRecordsOneAndTwoOnlyAndPublishes) {
  GEQ15ChannelParam untouched[kChannelRecords - 2];  // distinctive values that no edit may touch
  for (int n = 3; n <= 8; ++n) Record(n) = untouched[n - 3] = Param({0, 0, 0, 0, 0, 0, 1.25f * n}, 0.0f, n);
  StoreSliderValue(&panel, kGainSlider, 11.8f), StoreSliderValue(&panel, 2, -7.5f), Published();
  panel.drag.sliderIndex = kGainSlider;
  EXPECT_EQ(Did(ApplyWheelStep(&panel, -1), kGainSlider), "slider 15 | 12.000000 12.000000 published") << "a notch forward from 11.8";
  EXPECT_EQ(Did(ApplyWheelStep(&panel, 1), kGainSlider), "slider 15 | 11.500000 11.500000 published") << "a notch back";
  panel.drag.sliderIndex = 0;
  EXPECT_EQ(Did(ApplyWheelStep(&panel, 0), 0), "slider 0 | 0.000000 0.000000 published") << "less than a notch, on band 1";
  EXPECT_EQ(Did(ApplyTypedText(&panel, 14, "5.25"), 14), "slider 14 | 5.250000 5.250000 published");
  EXPECT_EQ(Did(ApplyTypedText(&panel, 14, ""), 14), "nothing -1 | 5.250000 5.250000");
  EXPECT_EQ(Did(ApplyDoubleClick(&panel, BandX(2), MidY()), 2), "slider 2 | 0.000000 0.000000 published");
  for (int32_t expected : {1, 0}) {
    EXPECT_EQ(ApplyLeftPress(&panel, panel.geometry.bypassLeft + 5, panel.geometry.bypassTop + 5).redraw, kRedrawBypass);
    EXPECT_EQ(std::make_tuple(Record(1).bypass, Record(2).bypass, Published()), std::make_tuple(expected, expected, true));
  }
  StoreSliderValue(&panel, kSliderCount, 5.0f);  // past the last slider: no field of any record
  EXPECT_FALSE(Published());
  for (int n = 3; n <= 8; ++n) EXPECT_EQ(std::memcmp(&Record(n), &untouched[n - 3], sizeof untouched[0]), 0) << n;
}

TEST_F(PanelFixture, InputThatMustChangeNothing) {
  StoreSliderValue(&panel, 5, 4.0f);
  StoreSliderValue(&panel, kGainSlider, 2.0f);
  Published();
  EXPECT_EQ(ApplyDoubleClick(&panel, BandX(5), panel.geometry.areaTop + 5).redraw, kRedrawNothing) << "above";
  EXPECT_EQ(ApplyLeftPress(&panel, panel.geometry.areaLeft + 603, panel.geometry.areaTop + 20).redraw, kRedrawNothing)
      << "inert zone";
  ApplyPointerMove(&panel, 0);
  EXPECT_EQ(Slider(5) + ", " + Slider(kGainSlider), "4.000000 4.000000, 2.000000 2.000000");
  // Bus cells beyond the bus count, or any while the host is not running, choose nothing; a bus
  // is chosen without a publication.
  const int32_t y = panel.geometry.busTop + 20;
  for (const auto& [cell, busCount, redraw, bus] : {std::make_tuple(5, 5, kRedrawNothing, 0), std::make_tuple(3, 5, kRedrawBusBar, 3),
                                                    std::make_tuple(1, 0, kRedrawNothing, 3)}) {
    panel.busCount = busCount;
    EXPECT_EQ(ApplyLeftPress(&panel, BusCellRect(&panel.geometry, cell).left + 5, y).redraw, redraw) << "cell " << cell;
    EXPECT_EQ(std::make_pair(panel.engine->bus.load(), Published()), std::make_pair(bus, false)) << "cell " << cell;
  }
  ApplyTypedText(&panel, 1, "-4");
  EXPECT_EQ(Slider(1), "-4.000000 -4.000000 published") << "with the host not running";
  GEQ15_Destroy(panel.engine);  // nothing crashes before the equalizer exists
  EXPECT_EQ(std::make_tuple(ApplyLeftPress(&panel, panel.geometry.bypassLeft + 3, panel.geometry.bypassTop + 3).redraw,
                            ApplyTypedText(&panel, 0, "3").redraw, ApplyDoubleClick(&panel, BandX(0), MidY()).redraw),
            std::make_tuple(kRedrawNothing, kRedrawNothing, kRedrawNothing));
}

// `before` and `after`: the focused slider's value, the selected bus, or the bypass switch.
TEST_F(PanelFixture, EveryKeyAtEachKindOfStop) {
  enum : int32_t { Bar = kFocusBusBar, Sw = kFocusBypass, B1 = kFocusFirstSlider, B9 = B1 + 8, G = B1 + kGainSlider };
  const int32_t None = kRedrawNothing, Cells = kRedrawBusBar, Knob = kRedrawSlider, Key = kRedrawBypass, Edit = kOpenEditor, No = kKeyUnused;
  const struct { int32_t stop; float before; PanelKey key; int32_t shift, stopAfter, redraw; float after; } rows[] = {
      // Page Up, Down, End and Delete on band 9 and Space on the switch are measured end to end.
      {Bar, 0, kKeyTab, 0, B1, None, 0}, {Bar, 0, kKeyTab, 1, Sw, None, 0}, {Sw, 0, kKeyTab, 0, Bar, None, 0},
      {Bar, 0, kKeyRight, 0, Bar, Cells, 1}, {Bar, 4, kKeyRight, 0, Bar, Cells, 4}, {Bar, 3, kKeyLeft, 0, Bar, Cells, 2},
      {Bar, 0, kKeyLeft, 0, Bar, Cells, 0}, {Bar, 7, kKeyRight, 0, Bar, Cells, 0}, {Bar, 1, kKeyEnd, 0, Bar, Cells, 4},
      {Bar, 3, kKeyHome, 0, Bar, Cells, 0}, {Bar, 3, kKeyUp, 0, Bar, No, 3}, {Sw, 0, kKeyEnter, 0, Sw, No, 0},
      {B9, 0, kKeyUp, 0, B9, Knob, 0.5f}, {B9, 0, kKeyUp, 1, B9, Knob, 0.1f}, {B9, 0, kKeyDown, 1, B9, Knob, -0.1f},
      {B9, 11, kKeyPageUp, 0, B9, Knob, 12}, {B9, -10.5f, kKeyPageDown, 0, B9, Knob, -12}, {G, -3, kKeyHome, 0, G, Knob, 12},
      {G, 3, kKeyEnd, 0, G, Knob, -12}, {B9, -3, kKeyZero, 0, B9, Knob, 0}, {B9, 4, kKeyEnter, 0, B9, Edit, 4},
      {G, 4, kKeyF2, 0, G, Edit, 4}, {B9, 4, kKeyLeft, 0, B9 - 1, None, 4}, {B1, 4, kKeyLeft, 0, B1, None, 4},
      {G - 1, 4, kKeyRight, 0, G, None, 4}, {G, 4, kKeyRight, 0, G, None, 4}, {B9, 4, kKeySpace, 0, B9, No, 4}};
  auto value = [&](int32_t stop) -> std::string {  // the bus, the switch of both records, or the slider
    if (stop == Bar || stop == Sw) return std::to_string(stop == Bar ? panel.engine->bus.load() : Record(1).bypass * 10 + Record(2).bypass);
    return Slider(stop - B1);
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    const auto& r = rows[i];
    panel.focus.stop = r.stop;
    panel.engine->bus.store(r.stop == Bar ? static_cast<int32_t>(r.before) : 0);
    Record(1).bypass = Record(2).bypass = r.stop == Sw ? static_cast<int32_t>(r.before) : 0;
    if (r.stop != Bar && r.stop != Sw) StoreSliderValue(&panel, r.stop - B1, r.before);
    Published();
    const PanelChange c = ApplyPanelKey(&panel, r.key, r.shift ? kKeyShift : 0);
    const bool published = c.redraw == Knob || c.redraw == Key;
    const std::string after = r.stop == Bar ? std::to_string(int(r.after)) : r.stop == Sw ? std::to_string(int(r.after) * 11)
                              : std::to_string(r.after) + " " + std::to_string(r.after) + (published ? " published" : "");
    EXPECT_EQ(std::make_tuple(c.redraw, panel.focus.stop, value(r.stop), c.slider),
              std::make_tuple(r.redraw, r.stopAfter, after, c.redraw == Knob || c.redraw == Edit ? r.stop - B1 : -1)) << "row " << i;
  }
}

// Presses move the focus; the focus rectangle lies in margins no element's own redraw touches.
TEST_F(PanelFixture, FocusFollowsPressesAndItsRectangleStaysClearOfEveryElement) {
  const PanelGeometry& g = panel.geometry;  // a press on a slider is in the end-to-end test
  FocusPanelAt(&panel, g.bypassLeft + 3, g.bypassTop + 3);
  EXPECT_EQ(panel.focus.stop, kFocusBypass);
  FocusPanelAt(&panel, BusCellRect(&g, 6).left, g.busTop);
  FocusPanelAt(&panel, g.areaLeft + kInputMeterX + 2, g.areaTop + 60);
  EXPECT_EQ(panel.focus.stop, kFocusBusBar) << "an empty cell takes it to the bar; a meter takes no focus";
  for (int32_t stop = 0; stop < kFocusStops; ++stop) {
    panel.focus.stop = stop;
    EXPECT_EQ(PanelFocusedChild(&panel), stop == kFocusBusBar ? kChildBusCell : stop == kFocusBypass ? kChildBypass : kChildSlider + stop - 1);
    const PanelRect f = PanelFocusRect(&panel);
    for (int32_t child = 1; child <= PanelChildCount(&panel); ++child) {
      const PanelRect r = PanelChildRect(&panel, child);
      const bool apart = r.right <= f.left || r.left >= f.right || r.bottom <= f.top || r.top >= f.bottom;
      EXPECT_TRUE(apart || child == PanelFocusedChild(&panel)) << "stop " << stop << " overlaps child " << child;
    }
  }
}

// Roles, the reading order and the hit test are read through oleacc end to end, as are the names
// of one child of each kind; every band is named after its centre, to two digits.
TEST_F(PanelFixture, NamesValueTextsStatesOrderAndTheNoticeInPlaceOfTheCells) {
  for (int32_t s = 0; s < kBandCount; ++s) {
    const std::string name = PanelSliderName(s), unit = name.substr(name.rfind(' '));
    const double hz = std::atof(name.c_str() + 5) * (unit == " kHz" ? 1000 : 1);
    EXPECT_TRUE(name.rfind("Band ", 0) == 0 && (unit == " Hz" || unit == " kHz") && std::fabs(hz / kBandCentreHz[s] - 1) < 0.02) << name;
  }
  // The selected cell is checked, those past the bus count unavailable; backwards the same order.
  EXPECT_EQ(std::make_tuple(PanelChildState(&panel, kChildBusCell), PanelChildState(&panel, kChildBusCell + 1), PanelChildState(&panel, kChildBusCell + 5)),
            std::make_tuple(kStateFocusable | kStateChecked, kStateFocusable, kStateFocusable | kStateUnavailable));
  std::string forward, backward;
  for (int32_t c = NavigatePanel(&panel, 0, kNavFirst); c; c = NavigatePanel(&panel, c, kNavNext)) forward += " " + std::to_string(c);
  for (int32_t c = NavigatePanel(&panel, 0, kNavLast); c; c = NavigatePanel(&panel, c, kNavPrevious)) backward = " " + std::to_string(c) + backward;
  EXPECT_EQ(backward, forward);
  // Values read as set, rounded to a tenth (never "-0.0"); a NaN from a file works as 0 dB.
  const struct { float value; const char* text; } values[] = {{3.0f, "+3.0 dB"}, {-0.04f, "+0.0 dB"}, {-11.96f, "-12.0 dB"},
                                                              {40.0f, "+40.0 dB"}, {kNaN, "+0.0 dB"}};
  for (const auto& v : values) {
    Record(1).g9 = v.value;
    EXPECT_EQ(PanelChildValue(&panel, kChildSlider + 8), v.text);
  }
  panel.engine->meterReadout.peak[9] = 1.0f;
  EXPECT_EQ(PanelChildValue(&panel, kChildInputMeter) + ", " + PanelChildValue(&panel, kChildOutputMeter), "Silent, +0.0 dB");
  panel.busCount = 0;  // the host stopped: the notice stands in for the cells, which are hidden
  EXPECT_EQ(std::make_tuple(PanelChildCount(&panel), NavigatePanel(&panel, 0, kNavFirst), PanelChildState(&panel, kChildBusCell) & kStateInvisible,
                            FocusPanelChild(&panel, kChildBusCell)), std::make_tuple(kChildNotice, kChildNotice, kStateInvisible, 0));
}

// Whatever changed the records (here written directly, as a load does), each change is told once.
TEST_F(PanelFixture, EachChangeIsAnnouncedOnce) {
  auto events = [&] {  // F focus, V value, S state, R reorder, each with its child
    PanelEvent e[kMaxPanelEvents];
    std::string told;
    for (int32_t i = 0, n = CollectPanelEvents(&panel, e); i < n; ++i) told += "FVSR"[e[i].kind] + std::to_string(e[i].child) + " ";
    return told;
  };
  panel.engine->bus.store(2);
  EXPECT_EQ(events(), "") << "the state at start is no change";
  panel.focus.hasFocus = 1;
  EXPECT_EQ(events(), "F3 ");
  Record(1).g9 = Record(2).g9 = 3.0f;
  Record(1).g1 = Record(2).g1 = kNaN;
  EXPECT_EQ(events(), "V9 V17 ");
  EXPECT_EQ(events(), "") << "once, a NaN too";
  TogglePanelBypass(&panel);
  SelectPanelBus(&panel, 0);  // the bar has the focus, which follows its selection
  EXPECT_EQ(events(), "F1 S25 S3 S1 ");
  panel.busCount = 0;
  EXPECT_EQ(events(), "F28 R0 S1 ");
  panel.focus.hasFocus = 0;
  EXPECT_EQ(events(), "");
  panel.focus.hasFocus = 1;
  EXPECT_EQ(events(), "F28 ");
}

}  // namespace
