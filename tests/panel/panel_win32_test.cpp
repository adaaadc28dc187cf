// The panel's Win32 layer under Wine: the KL2CTL toolkit's lifetime, the drawing objects, the
// popup editor against a toolkit stop, and the screen helpers. Rendering and typing into the
// editor are checked in a real window by panel_view_test.sh.
#include <gtest/gtest.h>

#include <cstring>

#include "panel/panel_win32.h"

namespace {

HWND MakeOwnerWindow() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "PanelWin32TestClass";
  RegisterClassA(&wc);
  return CreateWindowA(wc.lpszClassName, "panel test", WS_POPUP | WS_VISIBLE, 0, 0, 688, 290, nullptr, nullptr,
                       wc.hInstance, nullptr);
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

// Stopping the toolkit while the editor's modal loop runs must close the editor before its font
// is deleted. A timer inside that loop does the stop; typing into the editor is driven for real
// by panel_view_test.sh.
struct {
  bool sawEditor, editorClosed, fontGone;
} g_stop;

void CALLBACK StopToolkitInsideEditor(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  HWND editor = KL2CTL_OpenEditor();
  g_stop.sawEditor = editor != nullptr;
  if (!editor) return;
  KL2CTL_Stop();
  g_stop.editorClosed = !IsWindowVisible(editor) && KL2CTL_OpenEditor() == nullptr;
  g_stop.fontGone = KL2CTL_Font(kFontSlotEditor) == nullptr;
}

TEST(PopupEditorTest, StopWhileOpenClosesTheEditorFirst) {
  KL2CTL_Start(GetModuleHandleA(nullptr));
  HWND owner = MakeOwnerWindow();
  SetTimer(nullptr, 0, 150, StopToolkitInsideEditor);
  EXPECT_EQ(OpenPopupEditor(owner, 100, 100, 84, "0.0"), nullptr) << "closed without a value";
  EXPECT_TRUE(g_stop.sawEditor);
  EXPECT_TRUE(g_stop.editorClosed);
  EXPECT_TRUE(g_stop.fontGone);
  EXPECT_TRUE(IsWindowEnabled(owner)) << "the owner is usable again";
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
