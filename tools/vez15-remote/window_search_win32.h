// Finding VEZ-15's main window from another process, and waiting for a window to come or go:
// vez15-remote and the end-to-end tests' driver search the same way.
#pragma once

#include <windows.h>

#include "app/app_logic.h"

inline HWND MainWindow() { return FindWindowA(kMainClassName, nullptr); }

// Polls `found` every 100 ms until it gives a window or the time is up.
template <typename Find>
HWND WaitFor(double seconds, Find found) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  for (;;) {
    if (HWND w = found()) return w;
    if (GetTickCount64() >= end) return nullptr;
    Sleep(100);
  }
}
