// Loading a settings file through the C library, for the command-line tool on any platform.
// The program itself reads through the wide-character platform calls instead.
#pragma once

#include "app/insert_context.h"
#include "settings/settings_document.h"
#include "settings/text_buffer.h"

// Reads the whole file at `path` into `buffer` and applies it to `ctx` as the start-up load
// does. kNone when it was read and applied (the load's result 1); otherwise nothing but the
// buffer has changed and the result says why the file was not read (the load's result -1).
// What was applied goes to `summary` when one is given.
SettingsFileProblem LoadSettingsFromPath(InsertContext* ctx, TextBuffer* buffer, const char* path,
                                         SettingsLoadSummary* summary = nullptr);
