// Shell integration: the Startup and Documents folders, the tray icon and the Startup shortcut.
// Window and icon handles are passed as opaque pointers so that callers need no platform header.
#pragma once

#include <cstdint>

// The Startup folder (ANSI), looked up once by InitSpecialFolders; empty when unknown.
extern char startupFolder[512];

void InitSpecialFolders();
// Writes the Documents folder, or an empty string, into `out` (at least MAX_PATH units).
void GetDocumentsFolderW(wchar_t* out);

// 0 when the icon was added, -1 otherwise.
int32_t TrayIconAdd(void* window, void* icon);
// 0, or -1 when the shell's notify function is unavailable.
int32_t TrayIconDelete(void* window);

// 0 on success, otherwise the failing COM result. With an unknown (empty) folder nothing is
// written and the result is the path-not-found error.
int32_t StartupShortcutCreate(const char* target, const char* folder);
// Nonzero when the shortcut was deleted. With an unknown folder nothing is deleted: 0.
int32_t StartupShortcutDelete(const char* folder);
