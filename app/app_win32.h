// The application on Win32: the start-up and shutdown sequences and the main window's
// procedure. Everything here runs on the one user-interface thread.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/app_logic.h"

// What the running start-up got done; read by the destroy handler.
extern StartupProgress g_startup;

// Runs while the main window is being created: 1 when everything is up, 0 after an error box.
int32_t InitializeApplication(HWND window);
// Releases what InitializeApplication created, in reverse order; skips what never existed. -> 1
int32_t ShutdownApplication();
// Asks the host for its type; the panel then shows the host's bus list, and the window is
// repainted when the type changed.
void UpdateHostType(HWND window);
// The settings file of the application's record (results as SaveSettings and LoadSettings).
int32_t SaveAppSettings(HWND owner, int32_t useDialog);
int32_t LoadAppSettings(HWND owner, int32_t useDialog);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void HandleAppCommand(int32_t command, HWND window);
void KeepWindowOnMonitor(HWND window);
void CenterWindowOnMonitor(HWND window);
