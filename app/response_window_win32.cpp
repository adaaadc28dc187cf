// "Show Response...": a resizable window with the magnitude response of the live records, drawn
// off screen and copied in one piece. It follows every change of the records, whatever made it
// (panel, reset, load, import), by comparing them with what it drew on a short timer of its own.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/curve_features_win32.h"
#include "app/insert_context.h"
#include "app/app_logic.h"
#include "curves/response_view.h"
#include "panel/accessible_object_win32.h"
#include "panel/panel_win32.h"
#include "resources/resource_ids.h"

namespace {

constexpr wchar_t kClassName[] = L"GEQ15ResponseClass";
constexpr wchar_t kTitle[] = L"GEQ15 Response";
constexpr UINT_PTR kWatchTimer = 1;
constexpr UINT kWatchPeriodMs = 100;
constexpr int32_t kMinWidth = 480, kMinHeight = 260;
constexpr int32_t kFirstClientWidth = 640, kFirstClientHeight = 320;

constexpr COLORREF kBackground = RGB(18, 18, 26);
constexpr COLORREF kGrid = RGB(52, 52, 64);
constexpr COLORREF kZeroLine = RGB(120, 120, 132);
constexpr COLORREF kLabel = RGB(180, 180, 180);
constexpr COLORREF kCurve1 = RGB(0, 206, 208);
constexpr COLORREF kCurve2 = RGB(255, 150, 0);
constexpr COLORREF kMarker = RGB(240, 220, 60);
constexpr COLORREF kWarning = RGB(255, 70, 60);

struct ResponseWindowState {
  HWND window;
  HFONT font;
  // What the picture was traced from; a difference means the records changed.
  GEQ15ChannelParam drawn[2];
  int32_t drawnRate;
  ResponseView view;
  bool valid;
};
ResponseWindowState g_response{};

bool RecordsChanged() {
  const GEQ15Filter* filter = g_app.engine.filter;
  if (filter == nullptr) return false;
  return !g_response.valid || CurveDesignRate() != g_response.drawnRate ||
         std::memcmp(g_response.drawn, filter->param, sizeof g_response.drawn) != 0;
}

void Retrace(HWND window) {
  const GEQ15Filter* filter = g_app.engine.filter;
  if (filter == nullptr) return;
  RECT client;
  GetClientRect(window, &client);
  std::memcpy(g_response.drawn, filter->param, sizeof g_response.drawn);
  g_response.drawnRate = CurveDesignRate();
  BuildResponseView(g_response.drawn, g_response.drawnRate, ResponsePlotArea(client.right, client.bottom),
                    &g_response.view);
  g_response.valid = true;
}

void Line(HDC dc, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  MoveToEx(dc, x0, y0, nullptr);
  LineTo(dc, x1, y1);
}

void Text(HDC dc, int32_t x, int32_t y, UINT align, COLORREF colour, const char* text) {
  SetTextAlign(dc, align);
  SetTextColor(dc, colour);
  TextOutA(dc, x, y, text, static_cast<int>(std::strlen(text)));
}

void DrawGrid(HDC dc, const PlotArea& a) {
  HPEN grid = CreatePen(PS_SOLID, 1, kGrid), zero = CreatePen(PS_SOLID, 1, kZeroLine);
  HGDIOBJ old = SelectObject(dc, grid);
  char label[32];
  for (double db = kViewTopDb; db >= kViewBottomDb; db -= kViewGridDb) {
    const int32_t y = PlotRow(a, db);
    SelectObject(dc, db == 0.0 ? zero : grid);
    Line(dc, a.left, y, a.right + 1, y);
    std::snprintf(label, sizeof label, "%+.0f", db);
    Text(dc, a.left - 6, y - 7, TA_RIGHT | TA_TOP, kLabel, db == 0.0 ? "0 dB" : label);
  }
  SelectObject(dc, grid);
  const double lines[] = {20, 30, 40, 50, 100, 200, 300, 400, 500, 1000, 2000, 3000, 4000, 5000, 10000, 20000};
  for (double hz : lines) {
    const int32_t x = PlotColumn(a, hz);
    Line(dc, x, a.top, x, a.bottom + 1);
    const bool labelled = hz == 20 || hz == 50 || hz == 100 || hz == 200 || hz == 500 || hz == 1000 ||
                          hz == 2000 || hz == 5000 || hz == 10000 || hz == 20000;
    if (!labelled) continue;
    if (hz >= 1000) std::snprintf(label, sizeof label, "%.0fk", hz / 1000);
    else std::snprintf(label, sizeof label, "%.0f", hz);
    Text(dc, x, a.bottom + 4, TA_CENTER | TA_TOP, kLabel, label);
  }
  SelectObject(dc, old);
  DeleteObject(grid);
  DeleteObject(zero);
}

void DrawCurve(HDC dc, const PlotArea& a, const std::vector<int32_t>& rows, COLORREF colour) {
  if (rows.empty()) return;
  HPEN pen = CreatePen(PS_SOLID, 2, colour);
  HGDIOBJ old = SelectObject(dc, pen);
  MoveToEx(dc, a.left, rows[0], nullptr);
  for (size_t i = 1; i < rows.size(); ++i) LineTo(dc, a.left + static_cast<int32_t>(i), rows[i]);
  SelectObject(dc, old);
  DeleteObject(pen);
}

void DrawStatus(HDC dc, const PlotArea& a, const ResponseView& v) {
  char text[200];
  std::snprintf(text, sizeof text, "%d Hz, output gain %+.1f dB%s", static_cast<int>(v.sampleRate),
                static_cast<double>(v.outputGainDb), v.bypassed ? ", bypassed" : "");
  Text(dc, a.left, 7, TA_LEFT | TA_TOP, kLabel, text);
  if (v.curveCount == 2) {
    Text(dc, a.right, 7, TA_RIGHT | TA_TOP, kCurve2, "  right");
    SIZE right;
    GetTextExtentPoint32A(dc, "  right", 7, &right);
    Text(dc, a.right - right.cx, 7, TA_RIGHT | TA_TOP, kCurve1, "left");
  }
  const std::string warning = ClipWarning(v);
  if (!warning.empty()) Text(dc, (a.left + a.right) / 2, a.top + 4, TA_CENTER | TA_TOP, kWarning, warning.c_str());
}

void Paint(HWND window) {
  PAINTSTRUCT ps;
  HDC target = BeginPaint(window, &ps);
  RECT client;
  GetClientRect(window, &client);
  if (client.right <= 0 || client.bottom <= 0) {  // minimized: nothing to show
    EndPaint(window, &ps);
    return;
  }
  HDC dc = CreateCompatibleDC(target);
  HBITMAP picture = CreateCompatibleBitmap(target, client.right, client.bottom);
  HGDIOBJ oldBitmap = SelectObject(dc, picture);
  HBRUSH background = CreateSolidBrush(kBackground);
  FillRect(dc, &client, background);
  DeleteObject(background);
  HGDIOBJ oldFont = SelectObject(dc, g_response.font);
  SetBkMode(dc, TRANSPARENT);

  if (RecordsChanged()) Retrace(window);
  const PlotArea a = ResponsePlotArea(client.right, client.bottom);
  DrawGrid(dc, a);
  if (g_response.valid) {
    const ResponseView& v = g_response.view;
    if (v.curveCount == 2) DrawCurve(dc, a, v.rows[1], kCurve2);
    DrawCurve(dc, a, v.rows[0], kCurve1);
    HBRUSH marker = CreateSolidBrush(kMarker);
    for (int i = 0; i < kBandCount; ++i) {
      const RECT dot{v.markerColumn[i] - 2, v.markerRow[i] - 2, v.markerColumn[i] + 3, v.markerRow[i] + 3};
      FillRect(dc, &dot, marker);
    }
    DeleteObject(marker);
    DrawStatus(dc, a, v);
  }

  BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
  SelectObject(dc, oldFont);
  SelectObject(dc, oldBitmap);
  DeleteObject(picture);
  DeleteDC(dc);
  EndPaint(window, &ps);
}

// For screen readers: the window's title names the curve, and the description says what it shows.
bool ResponseText(void*, HWND window, int32_t child, AccessibleText kind, std::string* text) {
  if (child != 0) return false;
  if (kind == kTextName) {
    char title[64];
    GetWindowTextA(window, title, sizeof title);
    *text = title;
    return true;
  }
  if (kind != kTextDescription) return false;
  if (RecordsChanged()) Retrace(window);
  if (g_response.valid) *text = DescribeResponse(g_response.view);
  return g_response.valid;
}

LRESULT CALLBACK ResponseWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      g_response.font = CreateFontA(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Arial");
      SetTimer(window, kWatchTimer, kWatchPeriodMs, nullptr);
      return 0;
    case WM_TIMER:
      if (wParam == kWatchTimer && RecordsChanged()) InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_SIZE:
      g_response.valid = false;  // the columns changed with the width
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_GETMINMAXINFO:
      reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{kMinWidth, kMinHeight};
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the whole client area is painted in one copy
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_GETOBJECT: {
      AccessibleModel model{};
      model.text = ResponseText;
      if (LRESULT object = AnswerGetObject(window, wParam, lParam, &model)) return object;
      return DefWindowProcW(window, message, wParam, lParam);
    }
    case WM_DESTROY:
      KillTimer(window, kWatchTimer);
      if (g_response.font) DeleteObject(g_response.font);
      g_response = ResponseWindowState{};
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

bool RegisterResponseClass(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (GetClassInfoExW(instance, kClassName, &wc)) return true;
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = ResponseWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(VEZ15_ICON));
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kClassName;
  return RegisterClassExW(&wc) != 0;
}

}  // namespace

int32_t CurveDesignRate() {
  // The rate the stream's sets are designed for, which the audio thread publishes at each start.
  const int32_t rate = g_app.engine.designRate.load(std::memory_order_relaxed);
  return rate != 0 ? rate : kRateBeforeStart;
}

void ShowResponseWindow(HWND owner) {
  if (g_response.window) {
    ShowWindow(g_response.window, IsIconic(g_response.window) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(g_response.window);
    return;
  }
  HINSTANCE instance = static_cast<HINSTANCE>(g_app.instance);
  if (!RegisterResponseClass(instance)) return;
  const DWORD style = WS_OVERLAPPEDWINDOW;
  RECT size{0, 0, kFirstClientWidth, kFirstClientHeight};
  AdjustWindowRectEx(&size, style, FALSE, 0);
  const int32_t width = size.right - size.left, height = size.bottom - size.top;
  // Beneath the panel when the monitor has room there, so that neither hides the other.
  int32_t x = CW_USEDEFAULT, y = CW_USEDEFAULT;
  RECT panel;
  if (GetWindowRect(owner, &panel)) {
    int32_t left = panel.left, top = panel.bottom, monitorWidth = 0, monitorHeight = 0;
    MonitorRectAtPoint(&left, &top, &monitorWidth, &monitorHeight);
    if (panel.bottom + 8 + height <= top + monitorHeight) x = panel.left, y = panel.bottom + 8;
  }
  // Owned by the main window: it stays above the panel and goes when the program ends.
  g_response.window = CreateWindowExW(0, kClassName, kTitle, style, x, y, width, height, owner, nullptr, instance,
                                      nullptr);
  if (g_response.window) ShowWindow(g_response.window, SW_SHOWNORMAL);
}

void RefreshResponseWindow() {
  if (!g_response.window) return;
  InvalidateRect(g_response.window, nullptr, FALSE);
  UpdateWindow(g_response.window);
}
