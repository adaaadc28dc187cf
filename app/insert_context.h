// The application's single record: cleared at start and handed to the host as the insert
// callback's user data. Portable: platform handles are kept as opaque pointers and cast back
// by the Win32 layer.
#pragma once

#include <cstdint>

#include "engine/geq15.h"
#include "settings/text_buffer.h"
#include "panel/panel_state.h"

// A coordinate that is not yet known; equals the platform's default-position value.
constexpr int32_t kUnsetCoordinate = INT32_MIN;

struct InsertContext {
  void* hwnd;          // main window; target of the posted restart command
  void* instance;      // module instance
  uintptr_t timerId;
  int32_t tickCount;
  int32_t hostStatus;  // last answer of the host poll
  int32_t hostType;    // 0 = none yet
  int32_t busCount;
  const char* const* busLabels;  // fixed label list of the host type, or null

  PanelGeometry geometry;  // rectangles of the last full repaint
  DragState drag;          // pointer drag and wheel target of the panel

  void* trayMenu;
  int32_t x0, y0, dx, dy;                          // window placement
  int32_t savedX0, savedY0, savedDx, savedDy;      // placement read from the settings file
  int32_t minDx, minDy;                            // minimum window size
  TextBuffer settingsBuffer;                       // where the settings file is built and read

  EngineContext engine;  // started flag, process, channel block, bus, exchange, meters, filter
};

// The one instance, owned by the application shell.
extern InsertContext g_app;

// The three switches kept in the registry, each 0 or 1.
extern int32_t sysTray;
extern int32_t showOnRun;
extern int32_t showOnTop;
