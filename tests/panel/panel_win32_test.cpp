// The panel's Win32 layer under Wine: the KL2CTL toolkit's lifetime, the drawing objects, the
// popup value editor driven by messages, the screen helpers, and the rendering read back from
// a memory bitmap at chosen pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "panel/panel_win32.h"

namespace {

constexpr int kClientW = 688, kClientH = 290;
const char* const kTwoBuses[] = {"BUS A", "BUS B"};
const char* const kFiveBuses[] = {"BUS A1", "BUS A2", "BUS A3", "BUS B1", "BUS B2"};
const char* const kEightBuses[] = {"BUS A1", "BUS A2", "BUS A3", "BUS A4", "BUS A5", "BUS B1", "BUS B2", "BUS B3"};

HWND MakeWindow() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "PanelWin32TestClass";
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    registered = RegisterClassA(&wc) != 0;
  }
  RECT r{0, 0, kClientW, kClientH};
  AdjustWindowRect(&r, WS_POPUP, FALSE);
  HWND w = CreateWindowA("PanelWin32TestClass", "panel test", WS_POPUP, 0, 0, r.right - r.left, r.bottom - r.top,
                       nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  return w;
}

// ---- KL2CTL and PanelResources lifetimes ----

TEST(KL2CTLTest, OnlyTheFirstStartCreatesAndOnlyTheLastStopDeletes) {
  ASSERT_EQ(KL2CTL_StartCount(), 0);
  EXPECT_EQ(KL2CTL_Start(GetModuleHandleA(nullptr)), 1);
  HBRUSH brush = KL2CTL_Brush(14);
  HFONT font = KL2CTL_Font(kFontSlotEditor);
  ASSERT_NE(brush, nullptr);
  ASSERT_NE(font, nullptr);
  EXPECT_NE(KL2CTL_Pen(0), nullptr);
  EXPECT_EQ(KL2CTL_Font(16), nullptr) << "only 16 of the 32 slots are filled";
  EXPECT_EQ(KL2CTL_Color(8), RGB(36, 167, 49));

  EXPECT_EQ(KL2CTL_Start(GetModuleHandleA(nullptr)), 1);
  EXPECT_EQ(KL2CTL_StartCount(), 2);
  EXPECT_EQ(KL2CTL_Brush(14), brush) << "a second start creates nothing new";
  LOGFONTA lf{};
  ASSERT_GT(GetObjectA(KL2CTL_Font(kFontSlotEditor), sizeof lf, &lf), 0);
  EXPECT_EQ(lf.lfHeight, 16);
  EXPECT_EQ(lf.lfWeight, 700);
  EXPECT_STREQ(lf.lfFaceName, "Arial");

  KL2CTL_Stop();
  EXPECT_EQ(KL2CTL_StartCount(), 1);
  EXPECT_EQ(KL2CTL_Brush(14), brush);
  EXPECT_NE(GetObjectType(brush), 0u) << "still alive after the inner stop";

  KL2CTL_Stop();
  EXPECT_EQ(KL2CTL_StartCount(), 0);
  for (int i = 0; i < kPaletteSize; ++i) {
    EXPECT_EQ(KL2CTL_Brush(i), nullptr);
    EXPECT_EQ(KL2CTL_Pen(i), nullptr);
  }
  for (int i = 0; i < kFontSlots; ++i) EXPECT_EQ(KL2CTL_Font(i), nullptr);
  KL2CTL_Stop();  // an extra stop must not drive the count negative
  EXPECT_EQ(KL2CTL_StartCount(), 0);
}

// ---- popup value editor, driven by messages from a timer inside its modal loop ----

enum class EditorAction { TypeAndEnter, Escape, StopToolkit };
struct EditorScript {
  EditorAction action;
  const char* text;
  bool sawEditor;
  bool editorHiddenAfterStop;
  bool fontsGoneAfterStop;
} g_script;

void CALLBACK DriveEditor(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  HWND editor = KL2CTL_OpenEditor();
  g_script.sawEditor = editor != nullptr;
  if (!editor) return;
  HWND edit = GetWindow(editor, GW_CHILD);
  switch (g_script.action) {
    case EditorAction::TypeAndEnter:
      SetWindowTextA(edit, g_script.text);
      PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
      PostMessageA(edit, WM_KEYUP, VK_RETURN, 0xC0000001);
      break;
    case EditorAction::Escape:
      SetWindowTextA(edit, "7");
      // The dialog manager takes the key press for itself; the release reaches the edit field.
      PostMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
      PostMessageA(edit, WM_KEYUP, VK_ESCAPE, 0xC0000001);
      break;
    case EditorAction::StopToolkit:
      KL2CTL_Stop();
      g_script.editorHiddenAfterStop = !IsWindowVisible(editor) && KL2CTL_OpenEditor() == nullptr;
      g_script.fontsGoneAfterStop = KL2CTL_Font(kFontSlotEditor) == nullptr;
      break;
  }
}

char* RunEditor(HWND owner, EditorAction action, const char* text) {
  g_script = EditorScript{action, text, false, false, false};
  SetTimer(nullptr, 0, 150, DriveEditor);
  return OpenPopupEditor(owner, 100, 100, 84, "0.0");
}

TEST(PopupEditorTest, EnterConfirmsEscapeCancelsStopClosesFirst) {
  KL2CTL_Start(GetModuleHandleA(nullptr));
  HWND owner = MakeWindow();
  ShowWindow(owner, SW_SHOW);

  char* typed = RunEditor(owner, EditorAction::TypeAndEnter, "5.25");
  EXPECT_TRUE(g_script.sawEditor);
  ASSERT_NE(typed, nullptr);
  EXPECT_STREQ(typed, "5.25");
  std::free(typed);
  EXPECT_EQ(KL2CTL_OpenEditor(), nullptr) << "forgotten once closed";

  typed = RunEditor(owner, EditorAction::TypeAndEnter, "");
  ASSERT_NE(typed, nullptr) << "an empty confirmation still returns text; the panel ignores it";
  EXPECT_STREQ(typed, "");
  std::free(typed);

  EXPECT_EQ(RunEditor(owner, EditorAction::Escape, nullptr), nullptr);
  EXPECT_TRUE(g_script.sawEditor);
  EXPECT_TRUE(IsWindowEnabled(owner)) << "the owner is usable again";

  EXPECT_EQ(RunEditor(owner, EditorAction::StopToolkit, nullptr), nullptr);
  EXPECT_TRUE(g_script.sawEditor);
  EXPECT_TRUE(g_script.editorHiddenAfterStop);
  EXPECT_TRUE(g_script.fontsGoneAfterStop);
  EXPECT_EQ(KL2CTL_StartCount(), 0);
  DestroyWindow(owner);
}

// ---- screen helpers ----

TEST(ScreenTest, MonitorAndFrameMetrics) {
  int32_t x = 100000, y = 50, w = 0, h = 0;
  MonitorRectAtPoint(&x, &y, &w, &h);
  EXPECT_GT(w, 0) << "a point right of every monitor still gets the nearest one";
  EXPECT_GT(h, 0);
  EXPECT_LE(x, 100000 - w);
  int32_t caption = -1, menu = -1, border = -1;
  GetPopupFrameMetrics(&caption, &menu, &border);
  EXPECT_GT(caption, 0);
  EXPECT_GT(menu, 0);
  EXPECT_GE(border, 1);
  int32_t frame = -1;
  GetWindowFrameMetrics(nullptr, &frame, nullptr);
  EXPECT_GE(frame, 1);
  GetPopupFrameMetrics(nullptr, nullptr, nullptr);  // every output optional
}

// ---- rendering, read back from a memory bitmap ----

struct RenderFixture : ::testing::Test {
  InsertContext ctx{};
  HWND window = nullptr;
  HDC dc = nullptr;
  HBITMAP target = nullptr;
  HGDIOBJ previous = nullptr;

  void SetUp() override {
    KL2CTL_Start(GetModuleHandleA(nullptr));
    ASSERT_EQ(PanelResources_Create(), 0);
    ASSERT_EQ(GEQ15_Create(&ctx.engine), 0);
    window = MakeWindow();
    RECT client{};
    GetClientRect(window, &client);
    ASSERT_EQ(client.right, kClientW);
    ASSERT_EQ(client.bottom, kClientH);
    HDC screen = GetDC(nullptr);
    dc = CreateCompatibleDC(screen);
    target = CreateCompatibleBitmap(screen, kClientW, kClientH);
    ReleaseDC(nullptr, screen);
    previous = SelectObject(dc, target);
    RECT all{0, 0, kClientW, kClientH};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  }
  void TearDown() override {
    SelectObject(dc, previous);
    DeleteObject(target);
    DeleteDC(dc);
    DestroyWindow(window);
    GEQ15_Destroy(&ctx.engine);
    PanelResources_Release();
    KL2CTL_Stop();
  }
  COLORREF At(int x, int y) { return GetPixel(dc, x, y); }
  GEQ15ChannelParam& Record1() { return ctx.engine.filter->param[0]; }
  // The knob's dark centre line sits on the track position.
  int32_t KnobCentreRow(int32_t slider) {
    SliderColumn c = SliderColumnOf(&ctx.geometry, slider);
    return c.trackTop + KnobOffset(SliderValue(ctx.engine.filter, slider), c.trackLength);
  }
};

bool IsDark(COLORREF c) { return GetRValue(c) < 40 && GetGValue(c) < 40 && GetBValue(c) < 40; }

TEST_F(RenderFixture, KnobsSitOnTheirRowsAndStayInsideTheColumn) {
  Record1().g1 = 12.0f;
  Record1().g2 = 0.0f;
  Record1().g3 = -12.0f;
  Record1().g4 = 40.0f;  // from a settings file: drawn at the top, nothing outside the column
  Record1().gain = -12.0f;
  PaintPanel(&ctx, dc, window);
  const int32_t L = ctx.geometry.areaLeft, T = ctx.geometry.areaTop;
  const int32_t knobMid = 11;  // a pixel inside the centre line, away from the rounded ends
  struct Case {
    int32_t slider, row;
  } cases[] = {{0, T + 25}, {1, T + 25 + 64}, {2, T + 152}, {3, T + 25}, {kGainSlider, T + 144}};
  for (const Case& c : cases) {
    SliderColumn col = SliderColumnOf(&ctx.geometry, c.slider);
    EXPECT_EQ(KnobCentreRow(c.slider), c.row);
    EXPECT_TRUE(IsDark(At(col.x + knobMid, c.row))) << "centre line of slider " << c.slider;
    EXPECT_FALSE(IsDark(At(col.x + knobMid, c.row - 3))) << "knob face above the line, slider " << c.slider;
  }
  // Redrawing one slider at a new value leaves no trace of the old knob.
  SliderColumn col0 = SliderColumnOf(&ctx.geometry, 0);
  COLORREF faceAtTop = At(col0.x + knobMid, T + 22);
  Record1().g1 = -12.0f;
  DrawSlider(&ctx, 0, dc);
  EXPECT_NE(At(col0.x + knobMid, T + 22), faceAtTop);
  EXPECT_TRUE(IsDark(At(col0.x + knobMid, T + 152)));
  // The skin itself sits at the slider area's origin: its light frame runs along the top.
  EXPECT_FALSE(IsDark(At(L + 300, T)));
}

TEST_F(RenderFixture, MetersLightTheirHeightFromTheSnapshot) {
  PaintPanel(&ctx, dc, window);
  const int32_t L = ctx.geometry.areaLeft, T = ctx.geometry.areaTop;
  ctx.engine.meterReadout.peak[0] = 0.2f;
  ctx.engine.meterReadout.peak[1] = 1.0f;              // input: the louder channel, 96 rows
  ctx.engine.meterReadout.peak[8] = std::nanf("");     // output: NaN lights nothing
  ctx.engine.meterReadout.peak[9] = std::nanf("");
  DrawLevelMeters(&ctx, dc);
  // Every fourth meter row (3, 7, ...) is a dark gap between segments, so test rows 4k.
  auto lit = [&](int32_t meterX, int32_t meterRow) {
    COLORREF c = At(L + meterX + 4, T + kMeterTop + meterRow);
    return GetGValue(c) > 120 || GetRValue(c) > 200;
  };
  EXPECT_TRUE(lit(kInputMeterX, 104));
  EXPECT_TRUE(lit(kInputMeterX, 12));   // 96 lit rows: 9..104
  EXPECT_FALSE(lit(kInputMeterX, 8));
  EXPECT_FALSE(lit(kInputMeterX, 0));
  EXPECT_FALSE(lit(kOutputMeterX, 104));
  // Above +6 dB the whole meter is lit and the rows beside it are untouched.
  COLORREF above = At(L + kOutputMeterX + 4, T + kMeterTop - 1);
  ctx.engine.meterReadout.peak[8] = 4.0f;
  DrawLevelMeters(&ctx, dc);
  EXPECT_TRUE(lit(kOutputMeterX, 0));
  EXPECT_EQ(At(L + kOutputMeterX + 2, T + kMeterTop), RGB(255, 54, 0));
  EXPECT_EQ(At(L + kOutputMeterX + 4, T + kMeterTop - 1), above);
}

TEST_F(RenderFixture, BusCellsForTwoFiveAndEightBusesAndTheNotice) {
  struct Case {
    int32_t count;
    const char* const* labels;
    int32_t selected;
  } cases[] = {{2, kTwoBuses, 1}, {5, kFiveBuses, 2}, {8, kEightBuses, 7}, {2, kTwoBuses, 5}};
  for (const Case& c : cases) {
    ctx.busCount = c.count;
    ctx.busLabels = c.labels;
    ctx.engine.bus.store(c.selected);
    PaintPanel(&ctx, dc, window);
    for (int32_t i = 0; i < kBusCells; ++i) {
      PanelRect cell = BusCellRect(&ctx.geometry, i);
      COLORREF expected = i >= c.count ? RGB(5, 5, 30) : i == c.selected ? RGB(100, 240, 240) : RGB(10, 120, 150);
      EXPECT_EQ(At(cell.left + 3, cell.top + 3), expected) << c.count << " buses, cell " << i;
    }
  }
  ctx.busCount = 0;
  ctx.busLabels = nullptr;
  PaintPanel(&ctx, dc, window);
  EXPECT_EQ(At(ctx.geometry.busLeft + 3, ctx.geometry.busTop + 3), RGB(250, 0, 0));
  EXPECT_EQ(At(ctx.geometry.busRight - 3, ctx.geometry.busBottom - 3), RGB(250, 0, 0));
  int white = 0;  // the notice text, in 250,250,250 across the middle of the box
  for (int x = ctx.geometry.busLeft; x < ctx.geometry.busRight; ++x)
    for (int y = ctx.geometry.busTop + 15; y < ctx.geometry.busBottom - 15; ++y) white += At(x, y) == RGB(250, 250, 250);
  EXPECT_GT(white, 200);
}

TEST_F(RenderFixture, BypassKeyInBothStates) {
  PaintPanel(&ctx, dc, window);
  const int32_t cx = ctx.geometry.bypassLeft + 13, cy = ctx.geometry.bypassTop + 12;
  COLORREF off = At(cx, cy);
  EXPECT_LT(std::abs(GetRValue(off) - GetBValue(off)), 20) << "grey when not bypassed";
  Record1().bypass = 1;
  DrawBypassSwitch(&ctx, dc);
  COLORREF on = At(cx, cy);
  EXPECT_GT(GetBValue(on), 200);
  EXPECT_GT(GetBValue(on), GetRValue(on) + 10) << "glowing cyan when bypassed";
}

TEST(PanelResourcesTest, LoadsTheSkinAndReleasingTwiceDeletesNothingTwice) {
  PanelResources res{};
  EXPECT_EQ(PanelResources_Release(&res), 0) << "release without create";
  ASSERT_EQ(PanelResources_Create(&res), 0);
  struct Expect {
    HBITMAP bitmap;
    int w, h, bits;
  } expected[] = {{res.skin, 660, 177, 24},      {res.knob, 22, 38, 24},      {res.meterUnlit, 10, 105, 24},
                  {res.meterLit, 10, 105, 24},   {res.bypassOff, 26, 24, 24}, {res.bypassOn, 26, 24, 24},
                  {res.menuPower, 16, 16, 1}};
  for (const Expect& e : expected) {
    BITMAP bm{};
    ASSERT_NE(e.bitmap, nullptr);
    ASSERT_GT(GetObjectA(e.bitmap, sizeof bm, &bm), 0);
    EXPECT_EQ(bm.bmWidth, e.w);
    EXPECT_EQ(bm.bmHeight, e.h);
    if (e.bits == 24) {
      EXPECT_EQ(bm.bmBitsPixel, 24) << "kept as the stored 24-bit DIB";
    }
  }
  HBRUSH selected = res.selectedBrush;
  EXPECT_EQ(PanelResources_Release(&res), 0);
  EXPECT_EQ(GetObjectType(selected), 0u) << "deleted";
  PanelResources empty{};
  EXPECT_EQ(std::memcmp(&res, &empty, sizeof res), 0) << "every handle and colour cleared";
  EXPECT_EQ(PanelResources_Release(&res), 0);
  EXPECT_EQ(std::memcmp(&res, &empty, sizeof res), 0);
}

}  // namespace
