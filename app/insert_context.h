// The application's single record, cleared at start: it composes the records of the layers
// below (host link, panel, settings, engine) with the window's own state and the switches.
// Only its `insert` link is handed to the host. Platform handles are kept as opaque pointers
// and cast back by the Win32 layer.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/geq15.h"
#include "host/insert_callback.h"
#include "host/remote_api.h"
#include "settings/settings_document.h"
#include "panel/panel_state.h"

struct InsertContext {
  void* hwnd;          // main window; target of the posted restart command
  void* instance;      // module instance
  uintptr_t timerId;
  int32_t tickCount;
  HostLink host;       // host status, type and bus list
  InsertLink insert;   // the insert callback's user data: `engine` and the restart hook
  // A start of the host's stream is owed: set with each post of command 200 (by the creation,
  // and by the audio thread with the host's restart request), taken by the window's thread
  // when it starts the stream.
  std::atomic<int32_t> startOwed;
  PanelState panel;    // geometry, drag and bus list of the panel; edits `engine`

  void* trayMenu;
  int32_t x0, y0, dx, dy;   // window placement
  int32_t minDx, minDy;     // minimum window size
  SettingsRecord settings;  // placement read from the settings file, document buffer

  // The three switches kept in the registry, each 0 or 1.
  int32_t sysTray;
  int32_t showOnRun;
  int32_t showOnTop;

  EngineContext engine;  // started flag, process, channel block, bus, exchange, meters, filter
};

// The one instance, owned by the application (app/).
extern InsertContext g_app;

