// Start-up and shutdown of everything that lives as long as the main window: the panel's
// drawing objects, the host link, the equalizer and the settings buffer.
#include <windows.h>

#include <cstring>

#include "app/app_win32.h"
#include "app/insert_context.h"
#include "host/insert_callback.h"
#include "host/remote_api_win32.h"
#include "panel/panel_win32.h"
#include "settings/settings_file.h"
#include "settings/text_buffer.h"

StartupProgress g_startup;

namespace {

const char kInitErrorCaption[] = "Init Error";

int32_t FailInit(HWND window, const char* text) {
  MessageBoxA(window, text, kInitErrorCaption, MB_ICONERROR | MB_OK);
  return 0;
}

// The audio thread's only way to the window: a posted command, never a sent one.
void PostRestartCommand(void* hwnd) {
  g_app.startOwed.store(1, std::memory_order_release);
  PostMessageA(static_cast<HWND>(hwnd), WM_COMMAND, kRestartCommandId, 0);
}

}  // namespace

void UpdateHostType(HWND window) {
  const int32_t changed = RefreshHostType(&g_app.host, &g_remoteApi);
  g_app.panel.busCount = g_app.host.busCount;
  g_app.panel.busLabels = g_app.host.busLabels;
  if (changed) InvalidateRect(window, nullptr, TRUE);
}

int32_t InitializeApplication(HWND window) {
  // The host may write another client's name here; the zeros to its end matter.
  char clientName[kClientNameSize] = {};
  std::strncpy(clientName, kClientName, sizeof clientName - 1);

  g_startup = StartupProgress{};
  g_app.hwnd = window;

  CreatePanelResources();
  g_startup.panelResources = true;

  int32_t frameWidth = 0, captionHeight = 0;
  GetWindowFrameMetrics(nullptr, &frameWidth, &captionHeight);
  g_app.minDx = 698 + 2 * frameWidth;
  g_app.minDy = 300 + 2 * frameWidth + captionHeight;

  const int32_t bound = BindRemoteLibrary();
  if (bound == kBindHostNotFound) return FailInit(window, "Orlune is not installed");
  if (bound < 0) return FailInit(window, "Failed To Link To OrluneRemote.dll");

  RemoteApi& api = g_remoteApi;
  if (api.KLORM_Login() < 0) return FailInit(window, "Failed To Login");
  g_startup.loggedIn = true;

  g_app.host.hostStatus = api.KLORM_IsParametersDirty();
  if (g_app.host.hostStatus == 0) {
    UpdateHostType(window);
  } else {
    g_app.host.hostType = 0;  // the timer asks again later
  }

  // The engine is handed to the callback only once it exists (below); until then a host that
  // calls at once finds nothing to do.
  g_app.insert.engine.store(nullptr, std::memory_order_relaxed);
  g_app.insert.restart = PostRestartCommand;
  g_app.insert.window = window;
  const int32_t registered =
      api.KLORM_AudioCallbackRegister(kHostModeOutputInsert, InsertCallback, &g_app.insert, clientName);
  if (registered == kHostInsertBusy) {
    char text[160];
    FormatInsertInUseMessage(clientName, text, sizeof text);
    return FailInit(window, text);
  }
  g_startup.callbackRegistered = true;

  if (GEQ15_Create(&g_app.engine) < 0) return FailInit(window, "Cannot Create GEQ15 Filter Object");
  g_startup.filterCreated = true;
  g_app.insert.engine.store(&g_app.engine, std::memory_order_release);

  InitTextBuffer(&g_app.settings.buffer);
  g_startup.settingsBuffer = true;

  LoadAppSettings(nullptr, 0);
  g_startup.complete = true;
  return 1;
}

int32_t ShutdownApplication() {
  RemoteApi& api = g_remoteApi;
  // Log out only from a session we opened, and unregister only a callback that is ours: when
  // another client holds the insert, unregistering could take it away from that client.
  if (g_startup.loggedIn && api.KLORM_Logout) api.KLORM_Logout();
  if (g_startup.callbackRegistered && api.KLORM_AudioCallbackUnregister) api.KLORM_AudioCallbackUnregister();
  g_startup.loggedIn = g_startup.callbackRegistered = false;

  // No callback can run any more, so the equalizer and its exchanges can go.
  g_app.insert.engine.store(nullptr, std::memory_order_relaxed);
  if (g_startup.filterCreated) GEQ15_Destroy(&g_app.engine);
  if (g_startup.panelResources) ReleasePanelResources();
  if (g_startup.settingsBuffer) ReleaseTextBuffer(&g_app.settings.buffer);
  g_startup.filterCreated = g_startup.panelResources = g_startup.settingsBuffer = false;
  return 1;
}

int32_t SaveAppSettings(HWND owner, int32_t useDialog) {
  const WindowPlacement window{g_app.x0, g_app.y0, g_app.dx, g_app.dy};
  return SaveSettings(&g_app.engine, &g_app.settings, window, owner, useDialog);
}

int32_t LoadAppSettings(HWND owner, int32_t useDialog) {
  SettingsLoadSummary found{};
  const int32_t result = LoadSettings(&g_app.engine, &g_app.settings, owner, useDialog, &found);
  RaiseSavedSize(found, g_app.minDx, g_app.minDy, &g_app.settings.saved);
  return result;
}
