// The main window's procedure: creation and destruction, the system and tray menus, the
// 50 ms timer that redraws the meters and watches the host, and pointer and key input, focus
// and the accessible object for the panel.
#include <windows.h>

#include "app/app_win32.h"
#include "app/curve_features_win32.h"
#include "app/insert_context.h"
#include "host/remote_api.h"
#include "panel/panel_win32.h"
#include "resources/resource_ids.h"
#include "settings/registry_win32.h"
#include "settings/settings_file.h"
#include "shell/shell_win32.h"

namespace {


HICON AppIcon() { return LoadIconA(static_cast<HINSTANCE>(g_app.instance), MAKEINTRESOURCEA(VEZ15_ICON)); }

void ShowAndRaise(HWND window) {
  if (PlacementUnset(g_app.x0, g_app.y0)) CenterWindowOnMonitor(window);
  ShowWindow(window, SW_SHOWNORMAL);
  SetForegroundWindow(window);
}

void RecordWindowRect(HWND window, bool withSize) {
  RECT r;
  if (!GetWindowRect(window, &r)) return;
  g_app.x0 = r.left;
  g_app.y0 = r.top;
  if (withSize) {
    g_app.dx = r.right - r.left;
    g_app.dy = r.bottom - r.top;
  }
}

void BuildTrayMenu() {
  HMENU menu = CreatePopupMenu();
  g_app.trayMenu = menu;
  if (menu == nullptr) return;
  AppendMenuA(menu, MF_STRING, kCmdShow, "Show GEQ15");
  AppendMenuA(menu, MF_STRING, kCmdHide, "Hide GEQ15");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kCmdShutDown, "Shut Down GEQ15");
  AppendMenuA(menu, MF_STRING, kCmdExitMenu, "Exit Menu");
  SetMenuItemBitmaps(menu, kCmdShutDown, MF_BYCOMMAND, g_panelResources.menuPower, g_panelResources.menuPower);
}

void ExtendSystemMenu(HWND window) {
  HMENU menu = GetSystemMenu(window, FALSE);
  if (menu == nullptr) return;
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kCmdResetAll, "Reset GEQ15");
  AppendMenuA(menu, MF_STRING, kCmdLoadSettings, "Load GEQ Settings");
  AppendMenuA(menu, MF_STRING, kCmdSaveSettings, "Save GEQ Settings");
  AppendMenuA(menu, MF_STRING, kCmdImportCorrection, "Import Correction...");
  AppendMenuA(menu, MF_STRING, kCmdShowResponse, "Show Response...");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kCmdSysTray, "System Tray (Close = Hide)");
  AppendMenuA(menu, MF_STRING, kCmdShowOnRun, "Show App On Startup");
  AppendMenuA(menu, MF_STRING, kCmdShowOnTop, "Always Visible");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kCmdShutDown, "Shut Down GEQ15");
  SetMenuItemBitmaps(menu, kCmdShutDown, MF_BYCOMMAND, g_panelResources.menuPower, g_panelResources.menuPower);
}

LRESULT OnCreate(HWND window) {
  if (InitializeApplication(window) == 0) return -1;
  // Focus cues as the platform's convention has them: hidden after pointer input, shown once
  // the keyboard is used (the panel follows WM_UPDATEUISTATE).
  SendMessageA(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, UISF_HIDEFOCUS), 0);
  BuildTrayMenu();
  ExtendSystemMenu(window);
  if (g_app.sysTray) TrayIconAdd(window, AppIcon());  // a missing icon leaves the switch on
  g_app.timerId = SetTimer(window, kMainTimerId, kMainTimerPeriodMs, nullptr);
  PostMessageA(window, WM_COMMAND, kCmdInitialPlacement, 0);
  g_app.startOwed.store(1, std::memory_order_relaxed);
  PostMessageA(static_cast<HWND>(g_app.hwnd), WM_COMMAND, kCmdStartAudio, 0);
  return 0;
}

void OnDestroy(HWND window) {
  // The destroy message also comes for a window whose creation failed, and again from the
  // platform when a window we already shut down is torn down at exit. Only the first one after
  // a complete start-up saves: anything else would replace the stored settings with a file
  // that lacks the channel records.
  const bool normalShutdown = g_startup.complete;
  g_startup.complete = false;
  if (normalShutdown) SaveAppSettings(window, 0);
  if (normalShutdown && g_app.sysTray) TrayIconDelete(static_cast<HWND>(g_app.hwnd));
  if (g_app.timerId != 0) KillTimer(window, g_app.timerId);
  g_app.timerId = 0;
  ShutdownApplication();
  // A failed creation must not post the quit message: it would end the message box that the
  // entry point shows next before the user could read it.
  if (normalShutdown) PostQuitMessage(0);
}

void ToggleShowOnTop(HWND window) {
  const bool on = g_app.showOnTop != 1;
  g_app.showOnTop = on ? 1 : 0;
  RegistryWriteSwitch("GEQ15_ShowOnTop", g_app.showOnTop);
  LONG ex = GetWindowLongA(window, GWL_EXSTYLE);
  SetWindowLongA(window, GWL_EXSTYLE, on ? (ex | WS_EX_TOPMOST) : (ex & ~WS_EX_TOPMOST));
  UpdateWindow(window);
  SetWindowPos(window, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
}

void ToggleSysTray(HWND window) {
  if (g_app.sysTray == 1) {
    TrayIconDelete(window);
    g_app.sysTray = 0;
    RegistryWriteSwitch("GEQ15_SysTray", 0);
    StartupShortcutDelete(startupFolder);
    return;
  }
  if (TrayIconAdd(window, AppIcon()) != 0) return;  // no icon: tray mode stays off
  g_app.sysTray = 1;
  RegistryWriteSwitch("GEQ15_SysTray", 1);
  char self[1024];
  GetModuleFileNameA(nullptr, self, sizeof self);
  self[sizeof self - 1] = 0;
  StartupShortcutCreate(self, startupFolder);
}

LRESULT OnSysCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (LOWORD(wParam)) {
    case kCmdLoadSettings:
      if (LoadAppSettings(window, 1) == 1) InvalidateRect(window, nullptr, FALSE);
      return 1;
    case kCmdSaveSettings:
      SaveAppSettings(window, 1);
      return 1;
    case kCmdImportCorrection:
      ImportCorrection(window);
      return 1;
    case kCmdShowResponse:
      ShowResponseWindow(window);
      return 1;
    case kCmdResetAll:
      if (MessageBoxA(window, "Entire Matrix will be initialized.\nPlease Confirm reset All?", "New Matrix",
                      MB_ICONQUESTION | MB_YESNO) == IDNO)
        return 0;
      GEQ15_ResetParams(&g_app.engine);
      InvalidateRect(window, nullptr, FALSE);
      return DefWindowProcA(window, message, wParam, lParam);
    case kCmdShowOnTop:
      ToggleShowOnTop(window);
      return 1;
    case kCmdSysTray:
      ToggleSysTray(window);
      return 1;
    case kCmdShowOnRun:
      g_app.showOnRun = g_app.showOnRun == 1 ? 0 : 1;
      RegistryWriteSwitch("GEQ15_SysTrayShowOnRun", g_app.showOnRun);
      return 1;
    case kCmdShutDown:
      PostMessageA(static_cast<HWND>(g_app.hwnd), WM_DESTROY, 0, 0);
      return 1;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

// Starts the host's stream when a start is owed. Command 200 is posted for it, but a posted
// message can be lost: a modal loop that ends while it takes messages (the value editor closing
// on a focus change) drops the one it has just taken, and the host would then wait for a start
// that never comes, with the audio stopped. So the timer looks too, and whichever comes first
// starts the stream once.
void StartAudioIfOwed() {
  if (g_app.startOwed.exchange(0, std::memory_order_acquire) == 0) return;
  // The host gets a moment between its restart request and the new start; the window's
  // thread is blocked for it, which is why the audio thread only ever posts this command.
  Sleep(50);
  if (g_remoteApi.KLORM_AudioCallbackStart) g_remoteApi.KLORM_AudioCallbackStart();
}

void OnTimer(HWND window) {
  g_app.tickCount += 1;
  StartAudioIfOwed();
  // Screen readers hear of changes made outside the panel (load, reset, import) within a tick.
  AnnouncePanelChanges(&g_app.panel, window);
  // The meters are read even while nobody sees them, so the audio thread keeps publishing and
  // the held peaks keep decaying; a hidden or minimized window is not drawn into (its paint on
  // showing draws them).
  if (g_app.engine.filter && GEQ15_ReadMeters(g_app.engine.filter, &g_app.engine.meterReadout) == 0 &&
      IsWindowVisible(window) && !IsIconic(window)) {
    HDC dc = GetDC(window);
    if (dc) {
      DrawLevelMeters(&g_app.panel, dc);
      ReleaseDC(window, dc);
    }
  }
  if (!IsHostPollTick(g_app.tickCount)) return;
  if (!g_remoteApi.KLORM_IsParametersDirty) return;
  g_app.host.hostStatus = g_remoteApi.KLORM_IsParametersDirty();
  switch (DecideHostPoll(g_app.host.hostStatus, g_app.host.hostType)) {
    case HostPollAction::HostStopped:
      g_app.host.hostType = 0;
      g_app.host.busCount = g_app.panel.busCount = 0;
      InvalidateRect(window, nullptr, TRUE);
      break;
    case HostPollAction::HostAnswers:
      UpdateHostType(window);
      break;
    case HostPollAction::None:
      break;
  }
}

void OnInitMenu(HWND window) {
  HMENU menu = GetSystemMenu(window, FALSE);
  if (menu == nullptr) return;
  CheckMenuItem(menu, kCmdSysTray, MF_BYCOMMAND | (g_app.sysTray == 1 ? MF_CHECKED : MF_UNCHECKED));
  CheckMenuItem(menu, kCmdShowOnRun, MF_BYCOMMAND | (g_app.showOnRun == 1 ? MF_CHECKED : MF_UNCHECKED));
  CheckMenuItem(menu, kCmdShowOnTop, MF_BYCOMMAND | (g_app.showOnTop == 1 ? MF_CHECKED : MF_UNCHECKED));
}

void OnTrayNotification(HWND window, LPARAM lParam) {
  switch (LOWORD(lParam)) {
    case WM_LBUTTONDOWN:
      ShowAndRaise(static_cast<HWND>(g_app.hwnd));
      break;
    case WM_RBUTTONDOWN: {
      POINT p;
      GetCursorPos(&p);
      // Without being the foreground window, the menu would stay open after a click elsewhere.
      SetForegroundWindow(window);
      TrackPopupMenu(static_cast<HMENU>(g_app.trayMenu), TPM_RIGHTBUTTON, p.x, p.y, 0, window, nullptr);
      break;
    }
    default:
      break;
  }
}

// The whole client area is composed off screen and copied in one step, so a repaint never shows
// the bare background or the skin without its knobs. The background (black, as the class's
// brush) is drawn only here: WM_ERASEBKGND draws nothing. Without memory for the off-screen
// copy the window is painted directly.
void PaintWindow(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  if (dc) {
    RECT client;
    GetClientRect(window, &client);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP canvas = memory ? CreateCompatibleBitmap(dc, client.right, client.bottom) : nullptr;
    HGDIOBJ previous = canvas ? SelectObject(memory, canvas) : nullptr;
    HDC target = canvas ? memory : dc;
    FillRect(target, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    PaintPanel(&g_app.panel, target, window);
    // Fresh meters with every paint, so a window shown again has them at once.
    if (g_app.engine.filter && GEQ15_ReadMeters(g_app.engine.filter, &g_app.engine.meterReadout) == 0)
      DrawLevelMeters(&g_app.panel, target);
    if (canvas) {
      BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
      SelectObject(memory, previous);
      DeleteObject(canvas);
    }
    if (memory) DeleteDC(memory);
  }
  EndPaint(window, &ps);
}

void MoveAndShow(HWND window, int32_t left, int32_t top, int32_t x, int32_t y) {
  if (x == left && y == top) {
    ShowWindow(window, SW_SHOW);
  } else {
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
  }
}

bool MonitorOfWindow(HWND window, RECT* r, ScreenRect* m) {
  if (!GetWindowRect(window, r)) return false;
  m->x = r->left;
  m->y = r->top;
  MonitorRectAtPoint(&m->x, &m->y, &m->width, &m->height);
  return true;
}

}  // namespace

void KeepWindowOnMonitor(HWND window) {
  RECT r;
  ScreenRect m;
  if (!MonitorOfWindow(window, &r, &m)) return;
  int32_t x, y;
  KeepOnMonitorPosition(r.left, r.top, r.right, r.bottom, m, &x, &y);
  MoveAndShow(window, r.left, r.top, x, y);
}

void CenterWindowOnMonitor(HWND window) {
  RECT r;
  ScreenRect m;
  if (!MonitorOfWindow(window, &r, &m)) return;
  int32_t x, y;
  CenterOnMonitorPosition(r.left, r.top, r.right, r.bottom, m, &x, &y);
  MoveAndShow(window, r.left, r.top, x, y);
}

void HandleAppCommand(int32_t command, HWND window) {
  HWND main = static_cast<HWND>(g_app.hwnd);
  switch (command) {
    case kCmdInitialPlacement: {
      const bool show = InitialPlacementShows(g_app.sysTray, g_app.showOnRun);
      int32_t x = g_app.settings.saved.x0, y = g_app.settings.saved.y0;
      if (x == kUnsetCoordinate || y == kUnsetCoordinate) {
        // No saved position (a first start): the unset marker is no place to move to. The
        // window goes to the middle of the primary monitor, also when it starts hidden in the
        // tray, so "Show GEQ15" later finds it there.
        RECT r;
        ScreenRect primary{0, 0, 0, 0};
        GetWindowRect(window, &r);
        MonitorRectAtPoint(&primary.x, &primary.y, &primary.width, &primary.height);
        CenterOnMonitorPosition(r.left, r.top, r.right, r.bottom, primary, &x, &y);
      }
      SetWindowPos(window, HWND_TOP, x, y, 0, 0, SWP_NOSIZE | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
      if (show) {
        KeepWindowOnMonitor(window);
        InvalidateRect(window, nullptr, FALSE);
      }
      break;
    }
    case kCmdShutDown:
      PostMessageA(main, WM_DESTROY, 0, 0);
      break;
    case kCmdShow:
      ShowAndRaise(window);
      break;
    case kCmdHide:
      ShowWindow(main, SW_HIDE);
      break;
    case kCmdStartAudio:
      StartAudioIfOwed();
      break;
    default:  // 73 "Exit Menu" and the rest of the range: nothing
      break;
  }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate(window);
    case WM_DESTROY:
      OnDestroy(window);
      return 0;
    case WM_MOVE:
      RecordWindowRect(window, false);
      return 0;
    case WM_SIZE:
      RecordWindowRect(window, true);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint covers the client area; erasing first would only flash
    case WM_PAINT:
      PaintWindow(window);
      return 0;
    case WM_CLOSE:
      if (g_app.sysTray) {
        ShowWindow(static_cast<HWND>(g_app.hwnd), SW_HIDE);
      } else {
        PostMessageA(window, WM_DESTROY, 0, 0);
      }
      return 0;
    case WM_COMMAND: {
      const int32_t id = LOWORD(wParam);
      if (id >= kFirstAppCommand && id <= kLastAppCommand) HandleAppCommand(id, window);
      return 0;
    }
    case WM_SYSCOMMAND:
      return OnSysCommand(window, message, wParam, lParam);
    case WM_TIMER:
      if (wParam == kMainTimerId) OnTimer(window);
      return 0;
    case WM_INITMENU:
      OnInitMenu(window);
      return 0;
    case kTrayMessage:
      OnTrayNotification(window, lParam);
      return 0;
    case WM_GETOBJECT:
      if (LRESULT object = AnswerPanelGetObject(&g_app.panel, window, wParam, lParam)) return object;
      return DefWindowProcA(window, message, wParam, lParam);
    default:
      if (RoutePanelPointerMessage(&g_app.panel, window, message, wParam, lParam)) return 0;
      if (RoutePanelKeyMessage(&g_app.panel, window, message, wParam, lParam)) return 0;
      return DefWindowProcA(window, message, wParam, lParam);
  }
}
