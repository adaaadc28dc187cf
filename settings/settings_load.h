// Loading a settings file by its path, on every platform: the tool's loads, and on Windows the
// program's (through SaveSettings' counterpart LoadSettings).
#pragma once

#include "settings/settings_document.h"
#include "settings/text_buffer.h"

// Reads the whole file at `path` into the record's buffer and applies it to `engine` and the
// record's saved placement as the start-up load does. kNone when it was read and applied (the
// load's result 1); otherwise nothing but the buffer has changed and the result says why the file
// was not read (the load's result -1). What was applied goes to `summary` when one is given.
SettingsFileProblem LoadSettingsFromPath(EngineContext* engine, SettingsRecord* settings, const char* path,
                                         SettingsLoadSummary* summary = nullptr);
#ifdef _WIN32
SettingsFileProblem LoadSettingsFromPath(EngineContext* engine, SettingsRecord* settings, const wchar_t* path,
                                         SettingsLoadSummary* summary = nullptr);
#endif
