// Shell integration: the Startup folder, the tray icon and the Startup shortcut.
// Window and icon handles are passed as opaque pointers so that callers need no platform header.
#pragma once

#include <cstdint>

// The tray icon's identifier and the message it sends the window.
constexpr uint32_t kTrayMessage = 26748;

// The Startup folder (ANSI), looked up once by InitSpecialFolders; empty when unknown.
extern char startupFolder[512];

void InitSpecialFolders();

// 0 when the icon was added, -1 otherwise.
int32_t TrayIconAdd(void* window, void* icon);
// 0, or -1 when the shell's notify function is unavailable.
int32_t TrayIconDelete(void* window);

// 0 on success, otherwise the failing COM result. With an unknown (empty) folder nothing is
// written and the result is the path-not-found error.
int32_t StartupShortcutCreate(const char* target, const char* folder);
// Nonzero when the shortcut was deleted. With an unknown folder nothing is deleted: 0.
int32_t StartupShortcutDelete(const char* folder);
