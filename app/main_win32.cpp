// The program's entry point: one instance per session, then the main window and its loop.
#include <objbase.h>
#include <windows.h>

#include <new>

#include "app/app_win32.h"
#include "app/insert_context.h"
#include "panel/panel_win32.h"
#include "resources/resource_ids.h"
#include "settings/registry_win32.h"
#include "shell/shell_win32.h"

namespace {

void SetPlacementDefaults(InsertContext* app) {
  app->x0 = app->y0 = kUnsetCoordinate;
  app->settings.saved.x0 = app->settings.saved.y0 = kUnsetCoordinate;
  app->dx = app->settings.saved.dx = kWindowWidth;
  app->dy = app->settings.saved.dy = kWindowHeight;
}

void ReadSwitch(const char* name, int32_t* sw) {
  int32_t stored = 0;
  int32_t ok = RegistryReadSwitch(name, &stored);
  *sw = SwitchFromRegistry(ok, stored, *sw);
}

int ShowSorry(const char* text) { return MessageBoxA(nullptr, text, "Sorry", MB_ICONERROR | MB_OK); }

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Everything starts from a cleared record; the atomics in it rule out a plain memset.
  g_app.~InsertContext();
  new (&g_app) InsertContext{};
  g_app.panel.engine = &g_app.engine;
  g_app.instance = instance;
  SetPlacementDefaults(&g_app);

  HANDLE mutex = CreateMutexA(nullptr, TRUE, kMutexName);
  if (mutex == nullptr) return -1;
  // Another instance owns the settings file and the host's insert: leave without a trace.
  if (GetLastError() == ERROR_ALREADY_EXISTS) return -1;
  WaitForSingleObject(mutex, INFINITE);  // held until the process ends

  const bool comStarted = SUCCEEDED(CoInitialize(nullptr));
  InitSpecialFolders();
  KL2CTL_Start(instance);

  ReadSwitch("GEQ15_SysTray", &g_app.sysTray);
  ReadSwitch("GEQ15_SysTrayShowOnRun", &g_app.showOnRun);
  ReadSwitch("GEQ15_ShowOnTop", &g_app.showOnTop);

  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(VEZ15_ICON));
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = kMainClassName;
  if (RegisterClassExA(&wc) == 0) {
    ShowSorry("Failed to register main class...");
    return 0;
  }

  char title[64];
  BuildWindowTitle(title, sizeof title);
  HWND window = CreateWindowExA(g_app.showOnTop ? WS_EX_TOPMOST : 0, kMainClassName, title,
                                WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                                CW_USEDEFAULT, CW_USEDEFAULT, g_app.dx, g_app.dy, nullptr, nullptr, instance,
                                nullptr);
  if (window == nullptr) {
    ShowSorry("Failed to create window...");
    return 0;
  }

  MSG msg;
  int exitCode = 0;
  for (;;) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      exitCode = static_cast<int>(msg.wParam);
      break;
    }
    if (got < 0) break;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }

  KL2CTL_Stop();
  if (comStarted) CoUninitialize();
  return exitCode;
}
