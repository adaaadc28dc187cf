// Path text for the settings file. Paths are wide strings (UTF-16 on Windows) held in
// fixed buffers; every operation here is bounded by the buffer's size and leaves it terminated.
#pragma once

#include <cstddef>
#include <cstdint>

// Every settings path is built in a buffer of this many wide characters.
constexpr size_t kSettingsPathSize = 1024;

// Cuts the path at its last '.', which may lie in a folder name. 1 when cut, 0 otherwise.
int32_t StripExtension(wchar_t* path);

// Appends `tail` to the terminated `path` in a buffer of `size` characters. Returns 0, or -1
// when it does not fit (the path is then left as it was).
int32_t AppendPath(wchar_t* path, size_t size, const wchar_t* tail);

// The folder of the default settings file: documents folder, a backslash unless it already
// ends in one, then "Orlune". -1 when the result would not fit (out is then empty).
int32_t BuildSettingsFolder(const wchar_t* documents, wchar_t* out, size_t size);
// The default settings file: the folder above, a backslash and "GEQ15Config.xml".
int32_t BuildSettingsFilePath(const wchar_t* documents, wchar_t* out, size_t size);
