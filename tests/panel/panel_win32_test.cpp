// The panel's Win32 layer under Wine: the KL2CTL toolkit's lifetime, the popup editor (typed
// value, Escape, focus lost, and a toolkit stop while open), rendering at chosen pixels, the
// drawing objects and the screen helpers. What a user sees end to end is in tests/app.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "panel/panel_keys.h"
#include "panel/panel_win32.h"

namespace {

HWND MakeWindow(const char* title) {
  return CreateWindowA("STATIC", title, WS_POPUP | WS_VISIBLE, 0, 0, 688, 290, nullptr, nullptr,
                       GetModuleHandleA(nullptr), nullptr);
}

TEST(KL2CTLTest, OnlyTheFirstStartCreatesAndOnlyTheLastStopDeletes) {
  ASSERT_EQ(KL2CTL_StartCount(), 0);
  KL2CTL_Start(GetModuleHandleA(nullptr));
  HBRUSH brush = KL2CTL_Brush(14);
  KL2CTL_Start(GetModuleHandleA(nullptr));
  EXPECT_EQ(KL2CTL_Brush(14), brush) << "a second start creates nothing new";
  KL2CTL_Stop();
  EXPECT_NE(GetObjectType(brush), 0u) << "still alive after the inner stop";
  KL2CTL_Stop();
  EXPECT_EQ(GetObjectType(brush), 0u) << "deleted by the last stop";
  EXPECT_EQ(std::make_tuple(static_cast<void*>(KL2CTL_Brush(14)), static_cast<void*>(KL2CTL_Pen(0)), static_cast<void*>(KL2CTL_Font(kFontSlotEditor))),
            std::make_tuple(nullptr, nullptr, nullptr));
  KL2CTL_Stop();  // an extra stop must not drive the count negative
  EXPECT_EQ(KL2CTL_StartCount(), 0);
}

// What the timer does inside the editor's modal loop: type a text and press a key, take the
// focus away, or stop the toolkit.
struct { const char* text; WPARAM key; HWND focus; bool stop, sawEditor; } g_user;

void CALLBACK ActInEditor(HWND, UINT, UINT_PTR id, DWORD) {
  HWND editor = KL2CTL_OpenEditor();
  if (editor == nullptr) return;  // not open yet: the next tick
  KillTimer(nullptr, id);
  g_user.sawEditor = true;
  SetWindowTextA(GetDlgItem(editor, 10), g_user.text);
  if (g_user.key) SendMessageA(GetDlgItem(editor, 10), WM_KEYDOWN, g_user.key, 0);
  if (g_user.focus) SetFocus(g_user.focus);
  if (g_user.stop) KL2CTL_Stop();
}

// A panel with an engine of its own and a window, the toolkit started (each test stops it).
struct Win32Panel : ::testing::Test {
  void SetUp() override {
    KL2CTL_Start(GetModuleHandleA(nullptr));
    ASSERT_EQ(GEQ15_Create(panel.engine), 0);
    ComputePanelGeometry(&panel.geometry, 0, 0, 688);
  }
  void TearDown() override { GEQ15_Destroy(panel.engine), DestroyWindow(owner); }
  HWND owner = MakeWindow("panel test");
  EngineContext engine{};
  PanelState panel{{}, {}, 0, nullptr, &engine, {}, {}};
};

// The editor opened by Enter is in the end-to-end test, where the key is released inside it.
TEST_F(Win32Panel, EditorEnterAppliesEscapeFocusLossAndAStopCancelWheelAndKeys) {
  HWND neighbour = MakeWindow("neighbour");
  const struct { const char* text; WPARAM key; HWND focus; bool stop; float g7; } rows[] = {
      {"5.25", VK_RETURN, nullptr, false, 5.25f}, {"3", VK_ESCAPE, nullptr, false, 5.25f},
      {"4", 0, neighbour, false, 5.25f}, {"6", 0, nullptr, true, 5.25f}};  // a stop closes the editor first
  SetWindowPos(owner, nullptr, 100, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);  // screen and client differ
  POINT knob7{panel.geometry.areaLeft + 26 + 32 * 6, panel.geometry.areaTop + 60}, onScreen = knob7;
  ClientToScreen(owner, &onScreen);
  for (const auto& row : rows) {
    g_user = {row.text, row.key, row.focus, row.stop, false};
    SetTimer(nullptr, 0, 50, ActInEditor);
    RoutePanelPointerMessage(&panel, owner, WM_RBUTTONDOWN, 0, MAKELPARAM(knob7.x, knob7.y));
    // The editor was seen, the value applied to both records or not, the editor closed and the owner usable again.
    EXPECT_EQ(std::make_tuple(g_user.sawEditor, panel.engine->filter->param[0].g7, panel.engine->filter->param[1].g7,
                              KL2CTL_OpenEditor() == nullptr, IsWindowEnabled(owner) != 0), std::make_tuple(true, row.g7, row.g7, true, true)) << row.text;
  }
  // The wheel arrives in screen coordinates; a notch away from the user raises the knob under it.
  RoutePanelPointerMessage(&panel, owner, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), MAKELPARAM(onScreen.x, onScreen.y));
  EXPECT_EQ(std::make_pair(panel.engine->filter->param[0].g7, panel.engine->filter->param[1].g7), std::make_pair(5.75f, 5.75f));
  EXPECT_EQ(KL2CTL_StartCount(), 0);
  // Keys the panel has no use for go on to the default handling, as system keys do (they are
  // WM_SYSKEYDOWN, which never comes here); the focus cue follows the window's UI state.
  EXPECT_FALSE(RoutePanelKeyMessage(&panel, owner, WM_KEYDOWN, 'A', 0) || RoutePanelKeyMessage(&panel, owner, WM_CHAR, '1', 0) ||
               panel.focus.cueShown) << "keys the panel does not use, and no focus cue for them";
  panel.focus.stop = kFocusFirstSlider + 5;
  EXPECT_TRUE(RoutePanelKeyMessage(&panel, owner, WM_KEYDOWN, VK_TAB, 0)) << "Tab";
  EXPECT_TRUE(RoutePanelKeyMessage(&panel, owner, WM_CHAR, '0', 0)) << "0";
  EXPECT_EQ(std::make_pair(panel.engine->filter->param[1].g7, panel.focus.cueShown), std::make_pair(0.0f, 1)) << "band 7 at 0 dB, the keyboard was used";
  RoutePanelKeyMessage(&panel, owner, WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS), 0);
  EXPECT_EQ(panel.focus.cueShown, 0) << "the window's UI state hides the focus again";
  DestroyWindow(neighbour);
}

// Knobs and meters drawn into a memory bitmap, read back at chosen pixels.
TEST_F(Win32Panel, KnobsMetersAndBypassKeyWhereTheValuesSay) {
  ASSERT_EQ(CreatePanelResources(), 0);
  const float values[] = {12.0f, 0.0f, -12.0f, 40.0f};  // 40 dB from a file stays at the top
  for (int i = 0; i < 4; ++i) panel.engine->filter->param[0].bands[i] = values[i];
  panel.engine->filter->param[0].gain = -12.0f;
  panel.engine->meterReadout.peak[0] = 1.0f;  // 0 dBFS in, silence out
  HDC screen = GetDC(nullptr), dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, CreateCompatibleBitmap(screen, 688, 290));
  PaintPanel(&panel, dc, owner);
  DrawLevelMeters(&panel, dc);
  auto dark = [&](int x, int y) { COLORREF c = GetPixel(dc, x, y); return GetRValue(c) < 40 && GetGValue(c) < 40 && GetBValue(c) < 40; };
  for (int slider : {0, 1, 2, 3, kGainSlider}) {
    const SliderColumn c = SliderColumnOf(&panel.geometry, slider);
    const int y = c.trackTop + KnobOffset(SliderValue(panel.engine->filter, slider), c.trackLength);
    EXPECT_EQ(std::make_pair(dark(c.x + 11, y), dark(c.x + 11, y - 3)), std::make_pair(true, false)) << "knob of slider " << slider << " centred on " << y;
  }
  auto lit = [&](int x, int y) { COLORREF c = GetPixel(dc, x, y); return GetGValue(c) > 120 || GetRValue(c) > 200; };
  const int in = panel.geometry.areaLeft + 525, out = panel.geometry.areaLeft + 541, top = panel.geometry.areaTop + 33;
  EXPECT_EQ(std::make_tuple(lit(in, top + 104), lit(in, top + 105 - 96), lit(in, top + 105 - 97)), std::make_tuple(true, true, false)) << "96 rows at 0 dBFS";
  EXPECT_FALSE(lit(out, top + 104)) << "a silent meter stays dark";
  const COLORREF off = GetPixel(dc, panel.geometry.bypassLeft + 13, panel.geometry.bypassTop + 12);
  panel.engine->filter->param[0].bypass = 1;
  DrawBypassSwitch(&panel, dc);
  EXPECT_NE(GetPixel(dc, panel.geometry.bypassLeft + 13, panel.geometry.bypassTop + 12), off) << "the key lights";
  DeleteObject(SelectObject(dc, old));
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  HBRUSH selected = g_panelResources.selectedBrush;
  EXPECT_EQ(ReleasePanelResources(), 0);
  EXPECT_EQ(GetObjectType(selected), 0u) << "deleted";
  const PanelResources empty{};
  EXPECT_EQ(std::memcmp(&g_panelResources, &empty, sizeof empty), 0) << "every handle cleared: nothing is deleted twice";
  KL2CTL_Stop();
}

TEST(ScreenTest, NearestMonitorOrThePrimaryScreen) {
  int32_t x = 100000, y = 50, w = 0, h = 0;
  MonitorRectAtPoint(&x, &y, &w, &h);
  EXPECT_TRUE(w > 0 && h > 0 && x <= 100000 - w) << "a point right of every monitor gets the nearest one: " << x << " " << w << "x" << h;
  const MonitorFunctions real = MonitorFunctionsInUse();
  MonitorFunctionsInUse() = MonitorFunctions{};  // a system without the multiple-monitor functions
  x = 300, y = 200;
  MonitorRectAtPoint(&x, &y, &w, &h);
  MonitorFunctionsInUse() = real;
  EXPECT_EQ(std::make_tuple(x, y, w, h), std::make_tuple(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));
}

}  // namespace
