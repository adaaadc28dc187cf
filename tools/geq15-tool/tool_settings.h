// Channel records 1 and 2 from a settings file, loaded as the program's start-up load does
// (the settings core's loader, not a second parser), for commands that take --settings FILE.
#pragma once

#include <string>

#include "engine/geq15.h"

// On failure returns false and says why in `error` ("cannot read settings file X: the file
// is empty"). A file that reads but holds no configuration element loads as all 0 dB, as in the
// program; `warning` then says so, since it is most likely the wrong file.
bool LoadToolSettings(const std::string& path, GEQ15ChannelParam records[2], std::string* error, std::string* warning);
