// The settings file on Windows: Save and Open dialogs, the default file in the documents
// folder, the overwrite question, and the wide-character file calls beneath them.
// Window handles are passed as opaque pointers so that callers need no platform header.
#pragma once

#include <cstdint>

#include "engine/geq15.h"
#include "files/file_io.h"
#include "settings/settings_document.h"

// Results of SaveSettings:
//   1   the document was written to the target (replacing it whole);
//   0   the user cancelled the dialog or declined to replace an existing file;
//  -1   there is no equalizer object: nothing is written, so a stored file is never replaced
//       by one without the channel records (and the settings buffer is not touched);
//  -2   the document could not be built (no memory) or the path does not fit: nothing written;
//  -3   writing or replacing failed: the stored file is as it was and no temporary file stays.
// The document holds the engine's bus and records and the window placement `window`.
int32_t SaveSettings(EngineContext* engine, SettingsRecord* settings, const WindowPlacement& window, void* owner,
                     int32_t useDialog);
// Results of LoadSettings: 1 read and applied; 0 dialog cancelled; -1 the file was not read
// (missing, unreadable, empty, larger than 1048576 bytes, no memory, read short). What was
// applied goes to `summary` when one is given.
int32_t LoadSettings(EngineContext* engine, SettingsRecord* settings, void* owner, int32_t useDialog,
                     SettingsLoadSummary* summary = nullptr);

// Builds the document and writes it to `path` as SaveSettings does (1, -1, -2, -3).
int32_t SaveSettingsToPath(EngineContext* engine, SettingsRecord* settings, const WindowPlacement& window,
                           const wchar_t* path);
// Reads `path` and applies it as LoadSettings does (1 or -1).
int32_t LoadSettingsFromFile(EngineContext* engine, SettingsRecord* settings, const wchar_t* path,
                             SettingsLoadSummary* summary = nullptr);
