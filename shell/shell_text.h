// Bounded text for the shell integration: the tray tip, the Startup shortcut's path and its
// working directory. Portable, so the limits are tested natively.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kTrayTipSize = 64;        // the tip field as the record's short form has it
constexpr size_t kShortcutPathSize = 2048;
constexpr size_t kWorkingFolderSize = 4096;
constexpr char kShortcutName[] = "VEZ-15 (Kelmora)";

// Copies `tip` into a field of `size` bytes, cut to size - 1 characters and terminated.
void CopyTipText(char* field, size_t size, const char* tip);

// folder + a backslash unless it ends in one + "VEZ-15 (Kelmora).LNK". -1 when the folder is
// unknown (empty): the shortcut would otherwise land in the root of the current drive. -1 too
// when it does not fit; out is then empty.
int32_t BuildShortcutPath(const char* folder, char* out, size_t size);

// The executable's folder: a copy of `path` cut at its last backslash. -1 when it does not fit.
int32_t ExecutableFolder(const char* path, char* out, size_t size);
