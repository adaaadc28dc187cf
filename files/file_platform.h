// What each platform's half of the file module gives the shared half. Internal to files/.
#pragma once

#include <cstdint>

namespace platform {

// 1 when the file could be opened and its size read, else 0 with the error recorded.
bool QuerySize(const char* path, uint64_t* size);
// True when exactly n bytes were read into dest.
bool ReadExactly(const char* path, uint32_t n, void* dest);
#ifdef _WIN32
bool QuerySize(const wchar_t* path, uint64_t* size);
bool ReadExactly(const wchar_t* path, uint32_t n, void* dest);
#endif
// The error says that the file (or a folder on its path) does not exist.
bool IsMissing(int error);

}  // namespace platform
