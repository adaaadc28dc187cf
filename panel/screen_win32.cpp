// Questions about the screen and window frames. The only state kept is the looked-up monitor
// functions.
#include "panel/panel_win32.h"

#ifndef SM_CXPADDEDBORDER
#define SM_CXPADDEDBORDER 92
#endif

MonitorFunctions& MonitorFunctionsInUse() {
  static MonitorFunctions functions = [] {
    MonitorFunctions found{};
    if (HMODULE user32 = GetModuleHandleA("user32.dll")) {
      found.monitorFromPoint = reinterpret_cast<MonitorFromPointFn>(
          reinterpret_cast<void*>(GetProcAddress(user32, "MonitorFromPoint")));
      found.getMonitorInfo = reinterpret_cast<GetMonitorInfoFn>(
          reinterpret_cast<void*>(GetProcAddress(user32, "GetMonitorInfoA")));
    }
    return found;
  }();
  return functions;
}

void MonitorRectAtPoint(int32_t* x, int32_t* y, int32_t* width, int32_t* height) {
  const MonitorFunctions& functions = MonitorFunctionsInUse();
  if (functions.monitorFromPoint == nullptr || functions.getMonitorInfo == nullptr) {
    *x = 0;
    *y = 0;
    *width = GetSystemMetrics(SM_CXSCREEN);
    *height = GetSystemMetrics(SM_CYSCREEN);
    return;
  }
  POINT p{*x, *y};
  HMONITOR monitor = functions.monitorFromPoint(p, MONITOR_DEFAULTTONEAREST);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (monitor && functions.getMonitorInfo(monitor, &info)) {
    // The whole monitor, task bar included.
    *x = info.rcMonitor.left;
    *y = info.rcMonitor.top;
    *width = info.rcMonitor.right - info.rcMonitor.left;
    *height = info.rcMonitor.bottom - info.rcMonitor.top;
    return;
  }
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  *width = work.right - work.left;
  *height = work.bottom - work.top;
}

void GetWindowFrameMetrics(int32_t* menuHeight, int32_t* frameWidth, int32_t* captionHeight) {
  if (menuHeight) *menuHeight = GetSystemMetrics(SM_CYMENU);
  if (frameWidth) *frameWidth = GetSystemMetrics(SM_CXPADDEDBORDER) + GetSystemMetrics(SM_CXFRAME);
  if (captionHeight) *captionHeight = GetSystemMetrics(SM_CYCAPTION);
}

void GetPopupFrameMetrics(int32_t* captionHeight, int32_t* menuHeight, int32_t* borderWidth) {
  // The 344-byte form carries iPaddedBorderWidth; older systems reject that size.
  NONCLIENTMETRICSA metrics{};
  static_assert(sizeof(NONCLIENTMETRICSA) == 344, "the form of NONCLIENTMETRICSA with iPaddedBorderWidth");
  metrics.cbSize = sizeof metrics;
  int32_t caption, menu, border;
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    caption = metrics.iCaptionHeight;
    menu = metrics.iMenuHeight;
    border = metrics.iBorderWidth + metrics.iPaddedBorderWidth;
  } else {
    caption = GetSystemMetrics(SM_CYCAPTION);
    menu = GetSystemMetrics(SM_CYMENU);
    border = GetSystemMetrics(SM_CXDLGFRAME) + GetSystemMetrics(SM_CXPADDEDBORDER);
  }
  if (captionHeight) *captionHeight = caption;
  if (menuHeight) *menuHeight = menu;
  if (borderWidth) *borderWidth = border;
}
