// The panel's arithmetic: layout, hit test, knob and meter mapping, and every value edit with its
// write to records 1 and 2 and its publication.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "panel/panel_core.h"

namespace {

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::nanf("");
const char* const kFiveBuses[] = {"BUS A1", "BUS A2", "BUS A3", "BUS B1", "BUS B2"};

// An application record with a created equalizer, a running stream (so publishing reaches the
// exchange) and the program's 688-pixel client area.
struct PanelFixture : ::testing::Test {
  InsertContext ctx{};
  void SetUp() override {
    ASSERT_EQ(GEQ15_Create(&ctx.engine), 0);
    ctx.engine.started.store(1);
    ComputePanelGeometry(&ctx.geometry, 0, 0, 688);
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
  // A point in the middle of band slider j's hit column.
  int32_t BandX(int32_t j) const { return ctx.geometry.areaLeft + 26 + 32 * j; }
  int32_t MidY() const { return ctx.geometry.areaTop + 88; }
};

// Rectangles as {left, top, right, bottom} and columns as {x, track top, track length}.
using Quad = std::array<int32_t, 4>;
using Triple = std::array<int32_t, 3>;

TEST(PanelGeometryTest, BusBarAndInertZoneFollowTheClientWidthTheSkinStaysPut) {
  PanelGeometry g{};
  ComputePanelGeometry(&g, 0, 0, 682);
  EXPECT_EQ(BusCellWidth(&g), 82);
  PanelRect cell7 = BusCellRect(&g, 7);
  EXPECT_EQ((Quad{cell7.left, cell7.top, cell7.right, cell7.bottom}), (Quad{584, 10, 656, 60}));
  EXPECT_EQ((Quad{g.inertLeft, g.inertTop, g.inertRight, g.inertBottom}), (Quad{582, 70, 662, 95}));
  EXPECT_EQ((Quad{g.areaLeft, g.areaTop, g.areaRight, g.areaBottom}), (Quad{10, 70, 10 + kSkinWidth, 70 + kSkinHeight}));
  EXPECT_EQ((Quad{g.bypassLeft, g.bypassTop, g.bypassRight, g.bypassBottom}), (Quad{637, 208, 663, 232}));
  SliderColumn band3 = SliderColumnOf(&g, 3), gain = SliderColumnOf(&g, kGainSlider);
  EXPECT_EQ((Triple{band3.x, band3.trackTop, band3.trackLength}), (Triple{10 + 15 + 96, 70 + 25, 127}));
  EXPECT_EQ((Triple{gain.x, gain.trackTop, gain.trackLength}), (Triple{10 + 592, 70 + 33, 111}));
}

TEST(PanelHitTestTest, BoundariesThatMatter) {
  PanelGeometry g{};
  ComputePanelGeometry(&g, 0, 0, 682);
  const int32_t L = g.areaLeft, T = g.areaTop, B = g.areaBottom;
  // {x, y, hit, slider}: both ends of a bus cell belong to it; neighbouring band columns share
  // x = L + 42 and the lower index wins; the inert zone covers the top 11 rows of the gain column.
  struct { int32_t x, y, hit, slider; } rows[] = {
      {10, 10, kHitBusCell, -1},         {82, 60, kHitBusCell, -1},           {83, 30, kHitNone, -1},
      {92, 30, kHitBusCell + 1, -1},     {10 + 7 * 82 + 72, 30, kHitBusCell + 7, -1}, {10, 61, kHitNone, -1},
      {L + 42, T + 50, kHitSlider, 0},   {L + 43, T + 50, kHitSlider, 1},     {L + 490, T + 50, kHitSlider, 14},
      {L + 9, T + 50, kHitNone, -1},     {L + 20, T + 9, kHitNone, -1},       {L + 20, B - 10, kHitSlider, 0},
      {L + 20, B - 9, kHitNone, -1},     {L + 600, T + 15, kHitInertZone, -1}, {L + 600, T + 25, kHitInertZone, -1},
      {L + 600, T + 26, kHitSlider, kGainSlider}, {L + 586, B - 15, kHitSlider, kGainSlider},
      {L + 586, B - 14, kHitNone, -1},   {L + 627, T + 138, kHitBypassSwitch, -1},
      {L + 653, T + 162, kHitBypassSwitch, -1}, {L + 654, T + 150, kHitNone, -1}, {L + 640, T + 163, kHitNone, -1},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << "at L+" << r.x - L << ", T+" << r.y - T);
    int32_t slider = -1;
    EXPECT_EQ(PanelHitTest(&g, r.x, r.y, &slider), r.hit);
    if (r.hit == kHitSlider) {
      EXPECT_EQ(slider, r.slider);
    }
    EXPECT_EQ(PanelHitTest(&g, r.x, r.y, nullptr), r.hit) << "the slider output is optional";
  }
}

TEST(KnobOffsetTest, EndsMiddleAndValuesFromOutsideTheRangeStayInsideTheTrack) {
  struct { float value; int32_t trackLength, offset; } rows[] = {{12.0f, 127, 0},   {0.0f, 127, 64},   {-12.0f, 127, 127}, {6.0f, 127, 127 - 95},
              {12.0f, 111, 0},   {0.0f, 111, 56},   {-12.0f, 111, 111},
              // A settings file may carry 40 dB or worse: every copy must stay inside the column.
              {40.0f, 127, 0},   {-40.0f, 127, 127}, {kInf, 111, 0},    {-kInf, 111, 111},
              {3.0e38f, 127, 0}, {kNaN, 127, 64}};
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.value << " dB on a track of " << r.trackLength);
    EXPECT_EQ(KnobOffset(r.value, r.trackLength), r.offset);
  }
}

TEST(MeterTest, LitHeightFromTheFloatBits) {
  struct { float level; int32_t lit; } rows[] = {{0.0f, 0},     {1e-11f, 0},  {0.0005f, 0},  // about -66 dB: the foot of the meter
              {1.0f, 96},    {0.5f, 87},                  // -6.02 dB: trunc(59.98 * 105 / 72)
              {2.0f, 105},   {1000.0f, 105}, {kInf, 105},  // above +6 dB: full, never beyond
              {-0.5f, 0},    {kNaN, 0}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.level);
    EXPECT_EQ(MeterLitHeight(r.level), r.lit);
  }
  // The louder channel of a pair is shown; a NaN never wins over a level and lights nothing.
  EXPECT_EQ(MeterPairLevel(0.25f, 0.5f), 0.5f);
  EXPECT_EQ(MeterPairLevel(0.5f, 0.25f), 0.5f);
  EXPECT_EQ(MeterPairLevel(kNaN, 0.25f), 0.25f);
  EXPECT_EQ(MeterPairLevel(0.25f, kNaN), 0.25f);
  EXPECT_EQ(MeterLitHeight(MeterPairLevel(kNaN, kNaN)), 0);
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

TEST(ValueEditTest, TypedText) {
  struct { const char* text; int32_t applied; float value; } rows[] = {{"5.25", 1, 5.25f},  {"-20", 1, -12.0f},  {"abc", 1, 0.0f},      {"1e3", 1, 12.0f},
              {"  -3.5dB", 1, -3.5f},
              // NaN would pass both clamps and reach the filters: it counts as no number.
              {"nan", 1, 0.0f},    {"-nan", 1, 0.0f},   {"inf", 1, 12.0f},     {"-infinity", 1, -12.0f},
              {"", 0, 7.0f},       {nullptr, 0, 7.0f}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text ? r.text : "(null)");
    float v = 7.0f;
    EXPECT_EQ(TypedValue(r.text, -12.0f, 12.0f, &v), r.applied);
    EXPECT_EQ(v, r.value);
  }
}

// The common steps run through the fixture's drag and wheel; these are the remaining edges.
TEST(ValueEditTest, DragAndWheelEdges) {
  EXPECT_EQ(DragValue(-11.95f, 5), -12.0f);
  EXPECT_EQ(DragValue(kNaN, -10), 0.0f) << "a NaN from a settings file would stick forever";
  EXPECT_EQ(WheelValue(0.0f, -3), 1.5f);
}

TEST_F(PanelFixture, DragUpStopsAtTheTopAndComesBackAtOnce) {
  const int32_t y0 = MidY();
  PanelChange press = PanelApplyLeftPress(&ctx, BandX(4), y0);
  EXPECT_EQ(press.redraw, kDragStarted);
  EXPECT_EQ(press.slider, 4);
  EXPECT_FALSE(Published()) << "a press alone changes nothing";

  PanelChange move = PanelApplyPointerMove(&ctx, y0 - 30);
  EXPECT_EQ(move.redraw, kRedrawSlider);
  EXPECT_EQ(move.slider, 4);
  EXPECT_FLOAT_EQ(Value(4), 3.0f);
  EXPECT_TRUE(Published());
  PanelApplyPointerMove(&ctx, y0 - 200);
  EXPECT_EQ(Value(4), 12.0f);
  PanelApplyPointerMove(&ctx, y0 - 190);
  EXPECT_FLOAT_EQ(Value(4), 11.0f);

  FreshExchange();
  EXPECT_EQ(PanelApplyPointerMove(&ctx, y0 - 190).redraw, kRedrawNothing) << "unchanged y applies nothing";
  EXPECT_FALSE(Published());

  EXPECT_EQ(PanelEndDrag(&ctx), 1);
  EXPECT_EQ(ctx.drag.dragging, 0);
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
  // Each edit must land in both live records and publish exactly then.
  auto expectBoth = [&](float GEQ15ChannelParam::*field, float v, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(Record(1).*field, v);
    EXPECT_EQ(Record(2).*field, v);
    EXPECT_TRUE(Published());
    FreshExchange();
  };

  SetValue(kGainSlider, 11.8f);
  ctx.drag.sliderIndex = kGainSlider;
  ctx.drag.mode = kHitSlider;
  EXPECT_EQ(PanelApplyWheelStep(&ctx, -1).slider, kGainSlider);
  expectBoth(&GEQ15ChannelParam::gain, 12.0f, "wheel notch forward from 11.8");
  PanelApplyWheelStep(&ctx, 1);
  expectBoth(&GEQ15ChannelParam::gain, 11.5f, "wheel notch back");
  EXPECT_EQ(PanelApplyWheelStep(&ctx, 0).redraw, kRedrawSlider);
  expectBoth(&GEQ15ChannelParam::gain, 11.5f, "less than a notch still stores and publishes");

  EXPECT_EQ(PanelApplyTypedText(&ctx, 14, "5.25").redraw, kRedrawSlider);
  expectBoth(&GEQ15ChannelParam::g15, 5.25f, "typed 5.25");
  EXPECT_EQ(PanelApplyTypedText(&ctx, 14, "").redraw, kRedrawNothing);
  EXPECT_EQ(PanelApplyTypedText(&ctx, 14, nullptr).redraw, kRedrawNothing);
  EXPECT_FALSE(Published());
  EXPECT_EQ(Record(1).g15, 5.25f);
  SetValue(0, 4.0f);
  PanelApplyTypedText(&ctx, 0, "nan");
  expectBoth(&GEQ15ChannelParam::g1, 0.0f, "typed nan");

  SetValue(2, -7.5f);
  EXPECT_EQ(PanelApplyDoubleClick(&ctx, BandX(2), MidY()).slider, 2);
  expectBoth(&GEQ15ChannelParam::g3, 0.0f, "double click");

  const int32_t bx = ctx.geometry.bypassLeft + 5, by = ctx.geometry.bypassTop + 5;
  for (int32_t expected : {1, 0}) {
    SCOPED_TRACE(testing::Message() << "bypass press to " << expected);
    EXPECT_EQ(PanelApplyLeftPress(&ctx, bx, by).redraw, kRedrawBypass);
    EXPECT_EQ(Record(1).bypass, expected);
    EXPECT_EQ(Record(2).bypass, expected);
    EXPECT_TRUE(Published());
    FreshExchange();
  }

  for (int n = 3; n <= 8; ++n)
    EXPECT_EQ(std::memcmp(&Record(n), &untouched[n - 3], sizeof(GEQ15ChannelParam)), 0) << "record " << n;
}

TEST_F(PanelFixture, InputThatMustChangeNothing) {
  SetValue(5, 4.0f);
  PanelApplyLeftPress(&ctx, BandX(5), MidY());
  EXPECT_EQ(PanelApplyDoubleClick(&ctx, BandX(5), MidY()).redraw, kRedrawNothing) << "while dragging";
  EXPECT_EQ(PanelApplyWheelStep(&ctx, -1).redraw, kRedrawNothing) << "while dragging";
  PanelEndDrag(&ctx);
  EXPECT_EQ(PanelApplyDoubleClick(&ctx, BandX(5), ctx.geometry.areaTop + 5).redraw, kRedrawNothing)
      << "above the hit column";
  EXPECT_EQ(Value(5), 4.0f);
  EXPECT_FALSE(Published());

  SetValue(kGainSlider, 2.0f);
  EXPECT_EQ(PanelApplyLeftPress(&ctx, ctx.geometry.areaLeft + 603, ctx.geometry.areaTop + 20).redraw, kRedrawNothing)
      << "inert zone";
  EXPECT_EQ(ctx.drag.dragging, 0);
  PanelApplyPointerMove(&ctx, 0);
  EXPECT_EQ(Value(kGainSlider), 2.0f);
}

TEST_F(PanelFixture, BusCellsBeyondTheBusCountOrWithoutHostDoNothing) {
  const int32_t y = ctx.geometry.busTop + 20;
  const int32_t x6 = BusCellRect(&ctx.geometry, 6).left + 5, x3 = BusCellRect(&ctx.geometry, 3).left + 5;
  EXPECT_EQ(PanelApplyLeftPress(&ctx, x6, y).redraw, kRedrawNothing);
  EXPECT_EQ(ctx.engine.bus.load(), 0);
  EXPECT_EQ(PanelApplyLeftPress(&ctx, x3, y).redraw, kRedrawBusBar);
  EXPECT_EQ(ctx.engine.bus.load(), 3);
  EXPECT_FALSE(Published()) << "choosing a bus publishes nothing";

  ctx.busCount = 0;  // host not running: the notice covers the bar
  ctx.busLabels = nullptr;
  ctx.engine.bus.store(1);
  EXPECT_EQ(PanelApplyLeftPress(&ctx, x3, y).redraw, kRedrawNothing);
  EXPECT_EQ(ctx.engine.bus.load(), 1);
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
  ComputePanelGeometry(&ctx.geometry, 0, 0, 688);
  EXPECT_EQ(PanelApplyLeftPress(&ctx, ctx.geometry.bypassLeft + 3, ctx.geometry.bypassTop + 3).redraw, kRedrawNothing);
  EXPECT_EQ(PanelApplyTypedText(&ctx, 0, "3").redraw, kRedrawNothing);
  EXPECT_EQ(PanelApplyDoubleClick(&ctx, ctx.geometry.areaLeft + 26, ctx.geometry.areaTop + 88).redraw, kRedrawNothing);
}

}  // namespace
