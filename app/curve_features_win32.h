// The two curve features of the system menu: "Import Correction..." fits a headphone
// correction into the live records, "Show Response..." opens a window with their response.
#pragma once

#include <windows.h>

#include <cstdint>

// The rate the response and the fit are designed at: the host's once its stream ran, else 48 kHz.
int32_t CurveDesignRate();

// Runs the open-file dialog, fits the chosen file into records 1 and 2, publishes them,
// redraws the panel and reports the result (or why nothing changed) in a message box.
void ImportCorrection(HWND owner);

// Opens the response window, or brings the open one forward.
void ShowResponseWindow(HWND owner);
// Redraws the open response window now (it also notices changes on its own within 100 ms).
void RefreshResponseWindow();
