#include "app/app_logic.h"

#include <cstdio>
#include <cstring>

#include "vez15_version.h"

const char kMutexName[] = "KelmoraOrluneGEQ";
const char kMainClassName[] = "MainWindowClass";
const char kClientName[] = "Kelmora 15 Bands Graphic EQ";

size_t BuildWindowTitle(char* out, size_t outSize) {
  int n = std::snprintf(out, outSize, "%s%s%s%s", "Kelmora Graphic EQ 15", " (Version: ", VEZ15_VERSION_TEXT, ")");
  return n < 0 ? 0 : static_cast<size_t>(n);
}

size_t FormatInsertInUseMessage(const char (&clientName)[kClientNameSize], char* out, size_t outSize) {
  // "%.*s" stops at the first zero or after 63 bytes, whichever comes first.
  int n = std::snprintf(out, outSize, "Orlune Output Insert already in use by:\n%.*s",
                        static_cast<int>(kClientNameSize - 1), clientName);
  return n < 0 ? 0 : static_cast<size_t>(n);
}

int32_t SwitchFromRegistry(int32_t readOk, int32_t storedValue, int32_t current) {
  if (!readOk) return current;
  return storedValue != 0 ? 1 : 0;
}

bool InitialPlacementShows(int32_t sysTray, int32_t showOnRun) { return sysTray == 0 || showOnRun != 0; }

void KeepOnMonitorPosition(int32_t left, int32_t top, int32_t right, int32_t bottom, const ScreenRect& m,
                           int32_t* x, int32_t* y) {
  // The extra pixel is deliberate: a window touching the monitor's right or bottom edge is
  // pulled one pixel inside it.
  const int64_t w = static_cast<int64_t>(right) - left + 1;
  const int64_t h = static_cast<int64_t>(bottom) - top + 1;
  int64_t nx = left, ny = top;
  if (left + w > static_cast<int64_t>(m.x) + m.width) nx = static_cast<int64_t>(m.x) + m.width - w;
  if (top + h > static_cast<int64_t>(m.y) + m.height) ny = static_cast<int64_t>(m.y) + m.height - h;
  if (nx < m.x) nx = m.x;
  if (ny < m.y) ny = m.y;
  *x = static_cast<int32_t>(nx);
  *y = static_cast<int32_t>(ny);
}

void CenterOnMonitorPosition(int32_t left, int32_t top, int32_t right, int32_t bottom, const ScreenRect& m,
                             int32_t* x, int32_t* y) {
  const int32_t w = right - left + 1;
  const int32_t h = bottom - top + 1;
  const int32_t spareX = (m.width - w) >> 1;  // arithmetic shift: negative spare stays negative
  const int32_t spareY = (m.height - h) >> 1;
  *x = m.x + (spareX > 0 ? spareX : 0);
  *y = m.y + (spareY > 0 ? spareY : 0);
}

bool PlacementUnset(int32_t x0, int32_t y0) { return x0 == INT32_MIN && y0 == INT32_MIN; }

void RaiseSavedSize(const SettingsLoadSummary& found, int32_t minDx, int32_t minDy, WindowPlacement* saved) {
  if (found.configurations == 0) return;
  if (saved->dx < minDx) saved->dx = minDx;
  if (saved->dy < minDy) saved->dy = minDy;
}

bool IsHostPollTick(int32_t tickCount) { return (tickCount & kHostPollMask) == 0; }

HostPollAction DecideHostPoll(int32_t hostStatus, int32_t hostType) {
  if (hostStatus < 0 && hostType != 0) return HostPollAction::HostStopped;
  if (hostStatus >= 0 && hostType == 0) return HostPollAction::HostAnswers;
  return HostPollAction::None;
}
