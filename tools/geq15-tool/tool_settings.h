// Channel records 1 and 2 from a settings file, loaded as the program's start-up load does
// (the settings core's loader, not a second parser), for commands that take --settings FILE.
#pragma once

#include <string>

#include "engine/geq15.h"
#include "settings/settings_document.h"

// On failure returns false and says why in `error` ("cannot read settings file X: the file
// is empty"). A file that reads but gives the loader no configuration element or no record for
// channel 1 or 2 loads as all 0 dB, as in the program; `warning` then says so, since it is most
// likely the wrong file.
bool LoadToolSettings(const std::string& path, GEQ15ChannelParam records[2], std::string* error, std::string* warning);

// The warning for a file that was read but set nothing, from what the loader applied; empty
// when the file set channel records.
std::string NoSettingsWarning(const std::string& path, const SettingsLoadSummary& summary);
