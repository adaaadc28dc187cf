// The panel's Win32 layer: the KL2CTL toolkit, the panel's drawing objects, rendering, pointer
// input with the popup value editor, and the screen helpers. Everything runs on the window's
// thread. The arithmetic lives in panel_core.h.
#pragma once

#include <windows.h>

#include <cstdint>

#include "panel/panel_core.h"

// ---- KL2CTL: the process-wide palette, brushes, pens, fonts and the open popup editor ----
constexpr int32_t kPaletteSize = 16;
constexpr int32_t kFontSlots = 32;
constexpr int32_t kFontSlotScale = 2;   // scale labels
constexpr int32_t kFontSlotEditor = 7;  // popup value editor

int32_t KL2CTL_Start(HINSTANCE instance);  // -> 1; only the first start creates anything
void KL2CTL_Stop();                        // only the last stop deletes (closing an open editor first)
int32_t KL2CTL_StartCount();
HINSTANCE KL2CTL_Instance();
COLORREF KL2CTL_Color(int32_t index);
HBRUSH KL2CTL_Brush(int32_t index);
HPEN KL2CTL_Pen(int32_t index);
HFONT KL2CTL_Font(int32_t slot);
HWND KL2CTL_OpenEditor();  // the popup value editor while one is open, else null
void KL2CTL_SetOpenEditor(HWND editor);

// ---- PanelResources: the panel's own fonts, pen, brushes and skin bitmaps ----

struct PanelResources {
  HFONT busFont;
  HFONT noticeFont;
  HPEN busPen;
  HBRUSH emptyBrush;
  HBRUSH cellBrush;
  HBRUSH selectedBrush;
  HBRUSH noticeBrush;
  COLORREF scaleTextColor;
  COLORREF noticeTextColor;
  HBITMAP menuPower;  // menu item bitmap of the shut-down entries
  HBITMAP skin;
  HBITMAP knob;
  HBITMAP meterUnlit;
  HBITMAP meterLit;
  HBITMAP bypassOff;
  HBITMAP bypassOn;
};

// The set the drawing procedures use.
extern PanelResources g_panelResources;

// Loads the bitmaps from the program's own module. Objects that fail stay null. -> 0
int32_t CreatePanelResources(PanelResources* res = &g_panelResources);
// Deletes every non-null object and clears the set; safe to call twice or without create. -> 0
int32_t ReleasePanelResources(PanelResources* res = &g_panelResources);

// ---- rendering (into the given device context; the window composes a full repaint off screen) ----
void PaintPanel(PanelState* panel, HDC dc, HWND window);  // everything except the meters; the focus cue
void DrawBusBar(PanelState* panel, HDC dc);
void DrawSlider(PanelState* panel, int32_t slider, HDC dc);
void DrawAllSliders(PanelState* panel, HDC dc);
void DrawBypassSwitch(PanelState* panel, HDC dc);
void DrawScaleLabels(PanelState* panel, HDC dc);
void DrawLevelMeters(PanelState* panel, HDC dc);  // from the engine's meter readout

// ---- pointer input (client coordinates as signed 16-bit values from the message) ----
// Routes one of the window's pointer messages to the panel (move, left and right press, double
// click, release, cancel mode, wheel) and returns true; any other message is left alone (false).
// The window and the tests send their input through here alike.
bool RoutePanelPointerMessage(PanelState* panel, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PanelPress(PanelState* panel, int32_t x, int32_t y, HWND window, int32_t rightButton);
void PanelPointerMove(PanelState* panel, int32_t y, HWND window);
void PanelDoubleClick(PanelState* panel, int32_t x, int32_t y, HWND window);
// The caller has set drag.sliderIndex and drag.mode (kHitSlider) from its own hit test.
void PanelWheelStep(PanelState* panel, int32_t steps, HWND window);
// Ends a drag on button release or cancel mode: releases the capture and gives it back.
void ReleasePanelDrag(PanelState* panel);
// Redraws the one element a change touched, through a context obtained for the window and
// released after, then announces what changed. Every input path ends here.
void ShowPanelChange(PanelState* panel, HWND window, const PanelChange& change);
// Runs the value editor for a slider with its corner at client point (x, y) - 2, as a right
// press there does, and applies the typed value; nothing while a drag is active.
void EditPanelSlider(PanelState* panel, int32_t slider, int32_t x, int32_t y, HWND window);

// ---- keyboard and screen readers ----
// Routes key messages (WM_KEYDOWN, WM_CHAR), the window's focus (WM_SETFOCUS, WM_KILLFOCUS)
// and its keyboard cues (WM_UPDATEUISTATE) to the panel; true when handled. Keys the panel has
// no use for, and every system key, are left to the default handling.
bool RoutePanelKeyMessage(PanelState* panel, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The answer to WM_GETOBJECT: the panel's own accessible object for OBJID_CLIENT, else 0.
LRESULT AnswerPanelGetObject(PanelState* panel, HWND window, WPARAM wParam, LPARAM lParam);
// Tells screen readers what changed since the last call (focus, values, switch, bus) and moves
// the focus rectangle. Called after every change the panel makes and on the window's timer,
// which catches changes made elsewhere (load, reset, import).
void AnnouncePanelChanges(PanelState* panel, HWND window);
// The focus rectangle where it was last placed: around the focused element while the keyboard
// cue is shown and the window has the focus, else nowhere.
void DrawFocusCue(PanelState* panel, HDC dc);

// ---- popup value editor ----
struct PopupEditRequest {
  int32_t x, y;            // screen position of the editor's top-left corner
  int32_t width, height;   // size of the edit field
  int32_t accepted;        // 1 when the user confirmed with Enter
  uint32_t colours;        // bits 0..3 text palette index, bits 4..7 background palette index
  const char* initialText;
  char result[1024];
  uint16_t fontSlot;
  HWND editControl;
  const char* fieldName;   // the edit field's name for screen readers: the slider's
};

// Runs the editor modally; returns a malloc'ed copy of the confirmed text (the caller frees it)
// or null when cancelled.
char* OpenPopupEditor(HWND owner, int32_t x, int32_t y, int32_t width, const char* text,
                      const char* fieldName = nullptr);
INT_PTR CALLBACK PopupEditorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK PopupKeyFilter(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);

// ---- screen helpers ----
// The multiple-monitor functions, looked up from user32 by name on first use, so the program
// also loads on systems that lack them; where one is null the primary screen stands for the
// only monitor. Tests may replace them.
using MonitorFromPointFn = HMONITOR(WINAPI*)(POINT, DWORD);
using GetMonitorInfoFn = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);
struct MonitorFunctions {
  MonitorFromPointFn monitorFromPoint;
  GetMonitorInfoFn getMonitorInfo;
};
MonitorFunctions& MonitorFunctionsInUse();
void MonitorRectAtPoint(int32_t* x, int32_t* y, int32_t* width, int32_t* height);
void GetWindowFrameMetrics(int32_t* menuHeight, int32_t* frameWidth, int32_t* captionHeight);
void GetPopupFrameMetrics(int32_t* captionHeight, int32_t* menuHeight, int32_t* borderWidth);
