// Decisions of the application that need no platform: window placement arithmetic, the
// wheel step, the host poll, the start-up record of what exists, and the texts the application shows.
// The Win32 layer asks the platform for the inputs and applies the answers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/insert_callback.h"        // the restart command
#include "settings/settings_document.h"  // the window's start-up size

// ---- fixed numbers of the main window ----
constexpr uint32_t kMainTimerId = 16489;
constexpr uint32_t kMainTimerPeriodMs = 50;
constexpr int32_t kHostPollMask = 0xF;  // poll the host when the tick count's low four bits are 0

// Command identifiers of the tray menu, the system menu and the window's own posts.
enum AppCommand : int32_t {
  kCmdLoadSettings = 11,
  kCmdSaveSettings = 12,
  kCmdResetAll = 13,
  kCmdImportCorrection = 14,
  kCmdShowResponse = 15,
  kCmdInitialPlacement = 20,
  kCmdShowOnTop = 59,
  kCmdSysTray = 60,
  kCmdShowOnRun = 61,
  kCmdShutDown = 70,
  kCmdShow = 71,
  kCmdHide = 72,
  kCmdExitMenu = 73,
  kCmdStartAudio = kRestartCommandId,  // posted by the insert callback
  kFirstAppCommand = 20,
  kLastAppCommand = kCmdStartAudio,
};

// ---- texts ----
extern const char kMutexName[];
extern const char kMainClassName[];
extern const char kClientName[];
// Builds "Kelmora Graphic EQ 15 (Version: <the project's version>)" into out; returns its length.
size_t BuildWindowTitle(char* out, size_t outSize);

// The host writes the other client's name into a 64-byte buffer and may leave it unterminated:
// only the first 63 bytes are shown and nothing past the buffer is read.
constexpr size_t kClientNameSize = 64;
size_t FormatInsertInUseMessage(const char (&clientName)[kClientNameSize], char* out, size_t outSize);

// ---- switches ----
// A switch read from the registry: on when the stored value is non-zero; kept when the read failed.
int32_t SwitchFromRegistry(int32_t readOk, int32_t storedValue, int32_t current);
// Command 20 shows the window unless tray mode is on without show-on-start-up.
bool InitialPlacementShows(int32_t sysTray, int32_t showOnRun);

// ---- placement ----
struct ScreenRect {
  int32_t x, y, width, height;
};
// Where KeepWindowOnMonitor puts a window with the given rectangle (left, top, right, bottom)
// on the monitor m. The width and height used are one pixel larger than the window's.
void KeepOnMonitorPosition(int32_t left, int32_t top, int32_t right, int32_t bottom, const ScreenRect& m,
                           int32_t* x, int32_t* y);
void CenterOnMonitorPosition(int32_t left, int32_t top, int32_t right, int32_t bottom, const ScreenRect& m,
                             int32_t* x, int32_t* y);
// Both coordinates still unset: the window has never reported where it is.
bool PlacementUnset(int32_t x0, int32_t y0);
// A loaded size below this screen's minimum window size would cut the panel off: raised to it
// after a load that found a configuration element.
void RaiseSavedSize(const SettingsLoadSummary& found, int32_t minDx, int32_t minDy, WindowPlacement* saved);

// ---- host poll ----
enum class HostPollAction { None, HostStopped, HostAnswers };
// Decides what the timer does after the tick counter was advanced to tickCount: nothing on
// ticks other than every 16th, otherwise according to the host's status.
bool IsHostPollTick(int32_t tickCount);
HostPollAction DecideHostPoll(int32_t hostStatus, int32_t hostType);

// ---- start-up record ----
// What InitializeApplication got done. The destroy message arrives even when the window's
// creation failed; this record lets that path release exactly what exists and keeps it from
// overwriting the stored settings file with one lacking the channel records.
struct StartupProgress {
  bool panelResources;
  bool loggedIn;
  bool callbackRegistered;  // registration went through and the insert is not another client's
  bool filterCreated;
  bool settingsBuffer;
  bool complete;            // InitializeApplication returned 1
};
