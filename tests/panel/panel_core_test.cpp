// The panel's arithmetic: layout, hit test, knob and meter mapping, and every value edit with its
// write to records 1 and 2 and its publication.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "panel/panel_core.h"

namespace {

constexpr int32_t kClientWidth = 688;  // the program's client area
const char* const kFiveBuses[] = {"BUS A1", "BUS A2", "BUS A3", "BUS B1", "BUS B2"};

// An application record with a created equalizer, a running stream (so publishing reaches the
// exchange) and the geometry of a 688-pixel client area.
struct PanelFixture : ::testing::Test {
  InsertContext ctx{};
  void SetUp() override {
    ASSERT_EQ(GEQ15_Create(&ctx.engine), 0);
    ctx.engine.started.store(1);
    ComputePanelGeometry(&ctx.geometry, 0, 0, kClientWidth);
    ctx.busCount = 5;
    ctx.busLabels = kFiveBuses;
    FreshExchange();
  }
  void TearDown() override { GEQ15_Destroy(&ctx.engine); }

  // Back to the stream-start state, so one publication shows as slot 1 becoming ready.
  void FreshExchange() { CoefExchange_Reset(&ctx.engine.coefExchange); }
  bool Published() const { return ctx.engine.coefExchange.ready[1].load() != 0; }

  GEQ15ChannelParam& Record(int n) { return ctx.engine.filter->param[n - 1]; }
  float Value(int32_t slider) { return SliderValue(ctx.engine.filter, slider); }
  void SetValue(int32_t slider, float v) {
    StoreSliderValue(&ctx, slider, v);
    FreshExchange();
  }

  // Centre of band slider j's hit column, in the middle of its height.
  int32_t BandX(int32_t j) const { return ctx.geometry.areaLeft + 26 + 32 * j; }
  int32_t MidY() const { return ctx.geometry.areaTop + 88; }
  int32_t GainX() const { return ctx.geometry.areaLeft + 603; }
};

// ---- layout and hit test ----

TEST(PanelGeometryTest, FollowsTheClientRightEdgeOnlyForBusBarAndInertZone) {
  PanelGeometry g{};
  ComputePanelGeometry(&g, 0, 0, 682);
  EXPECT_EQ(BusCellWidth(&g), 82);
  PanelRect cell0 = BusCellRect(&g, 0);
  EXPECT_EQ(cell0.right - cell0.left, 72);
  PanelRect cell7 = BusCellRect(&g, 7);
  EXPECT_EQ(cell7.left, 10 + 7 * 82);
  EXPECT_EQ(g.inertLeft, 582);
  EXPECT_EQ(g.inertRight, 662);
  EXPECT_EQ(g.inertTop, 70);
  EXPECT_EQ(g.inertBottom, 95);
  // The slider area is the skin and stays put whatever the width.
  EXPECT_EQ(g.areaRight - g.areaLeft, kSkinWidth);
  EXPECT_EQ(g.areaBottom - g.areaTop, kSkinHeight);
  EXPECT_EQ(g.bypassLeft, 10 + 627);
  EXPECT_EQ(g.bypassBottom, 70 + 162);
}

TEST(PanelGeometryTest, TrackLengthsAndColumns) {
  PanelGeometry g{};
  ComputePanelGeometry(&g, 0, 0, kClientWidth);
  SliderColumn band3 = SliderColumnOf(&g, 3);
  EXPECT_EQ(band3.x, 10 + 15 + 96);
  EXPECT_EQ(band3.trackTop, 70 + 25);
  EXPECT_EQ(band3.trackLength, 127);
  SliderColumn gain = SliderColumnOf(&g, kGainSlider);
  EXPECT_EQ(gain.x, 10 + 592);
  EXPECT_EQ(gain.trackTop, 70 + 33);
  EXPECT_EQ(gain.trackLength, 111);
}

TEST(PanelHitTestTest, BoundariesThatMatter) {
  PanelGeometry g{};
  ComputePanelGeometry(&g, 0, 0, 682);
  const int32_t L = g.areaLeft, T = g.areaTop, B = g.areaBottom;
  int32_t slider = -7;

  // Bus cells: both ends belong, the 10-pixel gap does not.
  EXPECT_EQ(PanelHitTest(&g, 10, 10, nullptr), kHitBusCell + 0);
  EXPECT_EQ(PanelHitTest(&g, 82, 60, nullptr), kHitBusCell + 0);
  EXPECT_EQ(PanelHitTest(&g, 83, 30, nullptr), kHitNone);
  EXPECT_EQ(PanelHitTest(&g, 92, 30, nullptr), kHitBusCell + 1);
  EXPECT_EQ(PanelHitTest(&g, 10 + 7 * 82 + 72, 30, nullptr), kHitBusCell + 7);
  EXPECT_EQ(PanelHitTest(&g, 10, 61, nullptr), kHitNone);

  // Neighbouring band columns share x = L + 42: the lower index wins.
  EXPECT_EQ(PanelHitTest(&g, L + 42, T + 50, &slider), kHitSlider);
  EXPECT_EQ(slider, 0);
  EXPECT_EQ(PanelHitTest(&g, L + 43, T + 50, &slider), kHitSlider);
  EXPECT_EQ(slider, 1);
  EXPECT_EQ(PanelHitTest(&g, L + 10 + 32 * 14 + 32, T + 50, &slider), kHitSlider);
  EXPECT_EQ(slider, 14);
  EXPECT_EQ(PanelHitTest(&g, L + 9, T + 50, nullptr), kHitNone);
  EXPECT_EQ(PanelHitTest(&g, L + 20, T + 9, nullptr), kHitNone);
  EXPECT_EQ(PanelHitTest(&g, L + 20, B - 10, &slider), kHitSlider);
  EXPECT_EQ(PanelHitTest(&g, L + 20, B - 9, nullptr), kHitNone);

  // The inert zone covers the top 11 rows of the gain column and comes first.
  EXPECT_EQ(PanelHitTest(&g, L + 600, T + 15, nullptr), kHitInertZone);
  EXPECT_EQ(PanelHitTest(&g, L + 600, T + 25, nullptr), kHitInertZone);
  EXPECT_EQ(PanelHitTest(&g, L + 600, T + 26, &slider), kHitSlider);
  EXPECT_EQ(slider, kGainSlider);
  EXPECT_EQ(PanelHitTest(&g, L + 586, B - 15, &slider), kHitSlider);
  EXPECT_EQ(PanelHitTest(&g, L + 586, B - 14, nullptr), kHitNone);

  // Bypass switch, all four corners and just outside.
  EXPECT_EQ(PanelHitTest(&g, L + 627, T + 138, nullptr), kHitBypassSwitch);
  EXPECT_EQ(PanelHitTest(&g, L + 653, T + 162, nullptr), kHitBypassSwitch);
  EXPECT_EQ(PanelHitTest(&g, L + 654, T + 150, nullptr), kHitNone);
  EXPECT_EQ(PanelHitTest(&g, L + 640, T + 163, nullptr), kHitNone);
}

// ---- knob and meter mapping ----

TEST(KnobOffsetTest, EndsAndMiddleForBandsAndGain) {
  EXPECT_EQ(KnobOffset(12.0f, 127), 0);
  EXPECT_EQ(KnobOffset(0.0f, 127), 64);
  EXPECT_EQ(KnobOffset(-12.0f, 127), 127);
  EXPECT_EQ(KnobOffset(12.0f, 111), 0);
  EXPECT_EQ(KnobOffset(0.0f, 111), 56);
  EXPECT_EQ(KnobOffset(-12.0f, 111), 111);
  EXPECT_EQ(KnobOffset(6.0f, 127), 127 - 95);
}

TEST(KnobOffsetTest, ValuesFromOutsideTheRangeStayInsideTheTrack) {
  // A settings file may carry 40 dB or worse; every copy must stay inside the column.
  EXPECT_EQ(KnobOffset(40.0f, 127), 0);
  EXPECT_EQ(KnobOffset(-40.0f, 127), 127);
  EXPECT_EQ(KnobOffset(std::numeric_limits<float>::infinity(), 111), 0);
  EXPECT_EQ(KnobOffset(-std::numeric_limits<float>::infinity(), 111), 111);
  EXPECT_EQ(KnobOffset(3.0e38f, 127), 0);
  EXPECT_EQ(KnobOffset(std::nanf(""), 127), 64);
}

TEST(MeterTest, LitHeightFromTheFloatBits) {
  EXPECT_EQ(MeterLitHeight(0.0f), 0);
  EXPECT_EQ(MeterLitHeight(1e-11f), 0);
  EXPECT_EQ(MeterLitHeight(1.0f), 96);       // 0 dBFS
  EXPECT_EQ(MeterLitHeight(0.5f), 87);       // -6.0206 dB: trunc(59.98*105/72)
  EXPECT_EQ(MeterLitHeight(2.0f), 105);      // +6.02 dB
  EXPECT_EQ(MeterLitHeight(1000.0f), 105);   // far above +6 dB, never beyond the meter
  EXPECT_EQ(MeterLitHeight(std::numeric_limits<float>::infinity()), 105);
  EXPECT_EQ(MeterLitHeight(-0.5f), 0);       // peaks are magnitudes; a negative reads as silence
  EXPECT_EQ(MeterLitHeight(std::nanf("")), 0);
  EXPECT_EQ(MeterLitHeight(0.0005f), 0);     // about -66 dB: the foot of the meter
}

TEST(MeterTest, TableLookupAgreesWithTheLogarithm) {
  for (float level : {1e-9f, 0.001f, 0.0123f, 0.3f, 0.7071f, 0.999f, 1.5f}) {
    double exact = 20.0 * std::log10(level);
    // The 7-bit mantissa lookup truncates: at most 20*log10(1 + 1/128) below the exact value.
    EXPECT_LE(MeterLevelDb(level), exact + 1e-4) << level;
    EXPECT_GE(MeterLevelDb(level), exact - 0.068) << level;
  }
  EXPECT_EQ(MeterLevelDb(0.0f), -200.0);
}

TEST(MeterTest, PairLevelTakesTheLouderAndIgnoresNaN) {
  EXPECT_EQ(MeterPairLevel(0.25f, 0.5f), 0.5f);
  EXPECT_EQ(MeterPairLevel(0.5f, 0.25f), 0.5f);
  EXPECT_EQ(MeterPairLevel(std::nanf(""), 0.25f), 0.25f);
  EXPECT_EQ(MeterPairLevel(0.25f, std::nanf("")), 0.25f);
  EXPECT_EQ(MeterLitHeight(MeterPairLevel(std::nanf(""), std::nanf(""))), 0);
}

// ---- value edits ----

TEST(ValueEditTest, TypedText) {
  float v = 99.0f;
  ASSERT_EQ(TypedValue("5.25", -12.0f, 12.0f, &v), 1);
  EXPECT_EQ(v, 5.25f);
  ASSERT_EQ(TypedValue("-20", -12.0f, 12.0f, &v), 1);
  EXPECT_EQ(v, -12.0f);
  ASSERT_EQ(TypedValue("abc", -12.0f, 12.0f, &v), 1);
  EXPECT_EQ(v, 0.0f);
  ASSERT_EQ(TypedValue("1e3", -12.0f, 12.0f, &v), 1);
  EXPECT_EQ(v, 12.0f);
  ASSERT_EQ(TypedValue("  -3.5dB", -12.0f, 12.0f, &v), 1);
  EXPECT_EQ(v, -3.5f);
  // NaN would pass both clamps and reach the filters: it counts as no number.
  ASSERT_EQ(TypedValue("nan", -12.0f, 12.0f, &v), 1);
  EXPECT_EQ(v, 0.0f);
  ASSERT_EQ(TypedValue("-nan", -12.0f, 12.0f, &v), 1);
  EXPECT_EQ(v, 0.0f);
  ASSERT_EQ(TypedValue("inf", -12.0f, 12.0f, &v), 1);
  EXPECT_EQ(v, 12.0f);
  ASSERT_EQ(TypedValue("-infinity", -12.0f, 12.0f, &v), 1);
  EXPECT_EQ(v, -12.0f);
  v = 7.0f;
  EXPECT_EQ(TypedValue("", -12.0f, 12.0f, &v), 0);
  EXPECT_EQ(TypedValue(nullptr, -12.0f, 12.0f, &v), 0);
  EXPECT_EQ(v, 7.0f);
}

TEST(ValueEditTest, DragAndWheelSteps) {
  EXPECT_EQ(DragValue(0.0f, -30), 3.0f);
  EXPECT_EQ(DragValue(0.0f, -200), 12.0f);
  EXPECT_EQ(DragValue(12.0f, 10), 11.0f);
  EXPECT_EQ(DragValue(-11.95f, 5), -12.0f);
  EXPECT_EQ(WheelValue(11.8f, -1), 12.0f);
  EXPECT_EQ(WheelValue(12.0f, 1), 11.5f);
  EXPECT_EQ(WheelValue(0.0f, -3), 1.5f);
  EXPECT_EQ(WheelValue(2.0f, 0), 2.0f);
  // A NaN from a settings file would stick forever; the knob treats it as 0 dB.
  EXPECT_EQ(DragValue(std::nanf(""), -10), 0.0f);
}

TEST_F(PanelFixture, DragUpStopsAtTheTopAndComesBackAtOnce) {
  const int32_t x = BandX(4), y0 = MidY();
  PanelChange press = PanelApplyLeftPress(&ctx, x, y0);
  EXPECT_EQ(press.redraw, kDragStarted);
  EXPECT_EQ(press.slider, 4);
  EXPECT_EQ(ctx.drag.dragging, 1);
  EXPECT_EQ(ctx.drag.mode, kHitSlider);
  EXPECT_FALSE(Published()) << "a press alone changes nothing";
  EXPECT_EQ(Value(4), 0.0f);

  PanelChange move = PanelApplyPointerMove(&ctx, y0 - 30);
  EXPECT_EQ(move.redraw, kRedrawSlider);
  EXPECT_EQ(move.slider, 4);
  EXPECT_FLOAT_EQ(Value(4), 3.0f);
  EXPECT_TRUE(Published());

  PanelApplyPointerMove(&ctx, y0 - 200);
  EXPECT_EQ(Value(4), 12.0f);
  PanelApplyPointerMove(&ctx, y0 - 190);
  EXPECT_FLOAT_EQ(Value(4), 11.0f);

  // The x coordinate is not part of a move, and an unchanged y applies nothing.
  FreshExchange();
  EXPECT_EQ(PanelApplyPointerMove(&ctx, y0 - 190).redraw, kRedrawNothing);
  EXPECT_FALSE(Published());

  EXPECT_EQ(PanelEndDrag(&ctx), 1);
  EXPECT_EQ(ctx.drag.dragging, 0);
  EXPECT_EQ(ctx.drag.mode, 0);
  EXPECT_EQ(PanelApplyPointerMove(&ctx, y0).redraw, kRedrawNothing);
  EXPECT_FLOAT_EQ(Value(4), 11.0f);
  EXPECT_EQ(PanelEndDrag(&ctx), 0);
}

TEST_F(PanelFixture, EveryEditWritesRecordsOneAndTwoOnlyAndPublishes) {
  GEQ15ChannelParam untouched[kChannelRecords - 2];
  for (int n = 3; n <= 8; ++n) {
    Record(n).g7 = 1.25f * n;  // distinctive values that no edit may touch
    Record(n).bypass = n;
    untouched[n - 3] = Record(n);
  }

  // Wheel over the gain: one notch forward from 11.8 stops at 12, one back gives 11.5.
  SetValue(kGainSlider, 11.8f);
  ctx.drag.sliderIndex = kGainSlider;
  ctx.drag.mode = kHitSlider;
  EXPECT_EQ(PanelApplyWheelStep(&ctx, -1).slider, kGainSlider);
  EXPECT_EQ(Record(1).gain, 12.0f);
  EXPECT_TRUE(Published());
  FreshExchange();
  PanelApplyWheelStep(&ctx, 1);
  EXPECT_EQ(Record(1).gain, 11.5f);
  EXPECT_EQ(Record(2).gain, 11.5f);
  EXPECT_TRUE(Published());
  FreshExchange();
  // Less than a notch: the value stays but is still stored and published.
  EXPECT_EQ(PanelApplyWheelStep(&ctx, 0).redraw, kRedrawSlider);
  EXPECT_EQ(Record(1).gain, 11.5f);
  EXPECT_TRUE(Published());

  // Typed text.
  FreshExchange();
  EXPECT_EQ(PanelApplyTypedText(&ctx, 14, "5.25").redraw, kRedrawSlider);
  EXPECT_EQ(Record(1).g15, 5.25f);
  EXPECT_EQ(Record(2).g15, 5.25f);
  EXPECT_TRUE(Published());
  FreshExchange();
  EXPECT_EQ(PanelApplyTypedText(&ctx, 14, "").redraw, kRedrawNothing);
  EXPECT_EQ(PanelApplyTypedText(&ctx, 14, nullptr).redraw, kRedrawNothing);
  EXPECT_FALSE(Published());
  EXPECT_EQ(Record(1).g15, 5.25f);
  PanelApplyTypedText(&ctx, 0, "nan");
  EXPECT_EQ(Record(1).g1, 0.0f);
  EXPECT_FALSE(std::isnan(Record(2).g1));

  // Double click sets 0.0 on the slider under the pointer.
  SetValue(2, -7.5f);
  EXPECT_EQ(Record(2).g3, -7.5f);
  EXPECT_EQ(PanelApplyDoubleClick(&ctx, BandX(2), MidY()).slider, 2);
  EXPECT_EQ(Record(1).g3, 0.0f);
  EXPECT_EQ(Record(2).g3, 0.0f);
  EXPECT_TRUE(Published());

  // Bypass toggles both records.
  FreshExchange();
  const int32_t bx = ctx.geometry.bypassLeft + 5, by = ctx.geometry.bypassTop + 5;
  EXPECT_EQ(PanelApplyLeftPress(&ctx, bx, by).redraw, kRedrawBypass);
  EXPECT_EQ(Record(1).bypass, 1);
  EXPECT_EQ(Record(2).bypass, 1);
  EXPECT_TRUE(Published());
  PanelApplyLeftPress(&ctx, bx, by);
  EXPECT_EQ(Record(1).bypass, 0);
  EXPECT_EQ(Record(2).bypass, 0);

  for (int n = 3; n <= 8; ++n)
    EXPECT_EQ(std::memcmp(&Record(n), &untouched[n - 3], sizeof(GEQ15ChannelParam)), 0) << "record " << n;
}

TEST_F(PanelFixture, DoubleClickAndWheelWaitWhileDragging) {
  SetValue(5, 4.0f);
  PanelApplyLeftPress(&ctx, BandX(5), MidY());
  EXPECT_EQ(PanelApplyDoubleClick(&ctx, BandX(5), MidY()).redraw, kRedrawNothing);
  EXPECT_EQ(PanelApplyWheelStep(&ctx, -1).redraw, kRedrawNothing);
  EXPECT_EQ(Value(5), 4.0f);
  EXPECT_FALSE(Published());
  PanelEndDrag(&ctx);
  EXPECT_EQ(PanelApplyDoubleClick(&ctx, BandX(5), ctx.geometry.areaTop + 5).redraw, kRedrawNothing)
      << "above the hit column";
  EXPECT_EQ(Value(5), 4.0f);
}

TEST_F(PanelFixture, BusCellsBeyondTheBusCountAndTheInertZoneDoNothing) {
  const int32_t y = ctx.geometry.busTop + 20;
  PanelRect cell6 = BusCellRect(&ctx.geometry, 6);
  PanelRect cell3 = BusCellRect(&ctx.geometry, 3);
  EXPECT_EQ(PanelApplyLeftPress(&ctx, cell6.left + 5, y).redraw, kRedrawNothing);
  EXPECT_EQ(ctx.engine.bus.load(), 0);
  EXPECT_EQ(PanelApplyLeftPress(&ctx, cell3.left + 5, y).redraw, kRedrawBusBar);
  EXPECT_EQ(ctx.engine.bus.load(), 3);
  EXPECT_FALSE(Published()) << "choosing a bus publishes nothing";

  ctx.busCount = 0;  // host not running: the notice covers the bar
  ctx.busLabels = nullptr;
  EXPECT_EQ(PanelApplyLeftPress(&ctx, cell3.left + 5, y).redraw, kRedrawNothing);
  EXPECT_EQ(ctx.engine.bus.load(), 3);

  SetValue(kGainSlider, 2.0f);
  EXPECT_EQ(PanelApplyLeftPress(&ctx, GainX(), ctx.geometry.areaTop + 20).redraw, kRedrawNothing);
  EXPECT_EQ(ctx.drag.dragging, 0);
  PanelApplyPointerMove(&ctx, 0);
  EXPECT_EQ(Value(kGainSlider), 2.0f);
}

TEST_F(PanelFixture, EditsBeforeTheStreamStartChangeRecordsWithoutPublishing) {
  ctx.engine.started.store(0);
  PanelApplyTypedText(&ctx, 1, "-4");
  EXPECT_EQ(Record(1).g2, -4.0f);
  EXPECT_EQ(Record(2).g2, -4.0f);
  EXPECT_FALSE(Published());
}

TEST(PanelWithoutFilterTest, NothingCrashesBeforeTheEqualizerExists) {
  InsertContext ctx{};
  ComputePanelGeometry(&ctx.geometry, 0, 0, kClientWidth);
  EXPECT_EQ(PanelApplyLeftPress(&ctx, ctx.geometry.bypassLeft + 3, ctx.geometry.bypassTop + 3).redraw, kRedrawNothing);
  EXPECT_EQ(PanelApplyTypedText(&ctx, 0, "3").redraw, kRedrawNothing);
  EXPECT_EQ(PanelApplyDoubleClick(&ctx, ctx.geometry.areaLeft + 26, ctx.geometry.areaTop + 88).redraw, kRedrawNothing);
}

}  // namespace
