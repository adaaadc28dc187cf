// Whole files, for every part of the system: read at once within a size limit, and written so that
// a file is only ever replaced by a complete one. Also the one lookup of the user's special
// folders. Paths are the platform's: char everywhere (the ANSI code page on Windows) and, on
// Windows, UTF-16 too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// ---- reading ----

// Why a file was not read. The system's own reason is FileErrorText(LastFileError()).
enum class FileReadProblem : int32_t {
  kNone = 0,
  kMissing,     // it does not exist
  kCannotOpen,  // it exists but cannot be opened
  kTooLarge,    // above the caller's limit: not read at all
  kNoMemory,    // the caller had no room for it
  kCannotRead,  // the read failed (a folder, a device error) or ended before the size announced
};

// Where a read puts the file: asked once for room for its n bytes, once the size is known and
// within the limit; null when there is no memory.
using FileRoom = void* (*)(void* owner, uint32_t n);

// Reads the whole file at `path` when it holds at most `limit` bytes: its size first, then
// exactly that many bytes into room(owner, n). `*n` is the file's size when it was known.
FileReadProblem ReadFileWithin(const char* path, uint32_t limit, FileRoom room, void* owner, uint32_t* n);
// The same into `bytes`.
FileReadProblem ReadFileWithin(const char* path, uint32_t limit, std::string* bytes);

// ---- replacing ----

struct ReplaceMode {
  // The data reaches the disk before the rename makes it the file: a power cut then leaves the
  // old file or the new one, never an empty one. Costs a wait for the disk.
  bool flush;
  // A temporary name no other writer uses (several may write the same target at once); a
  // writer that is the only one keeps one fixed name, so a file a killed write left is simply
  // overwritten by the next write instead of staying for good.
  bool uniqueTemporary;
};
// Without a mode: flushed, under the fixed name (a program's own file, such as its settings).

// Writes n bytes to a temporary file beside `path` and renames it over `path` in one step.
// 0; -1 the temporary file cannot be created; -2 writing (or flushing) it failed; -3 the rename
// failed. On failure `path` is as it was and the temporary file is removed.
int32_t WriteFileReplacing(const char* path, const void* bytes, size_t n, ReplaceMode mode = {true, false});

// The halves of a replacing write for a writer that streams its file: a new empty file beside
// `path` under a unique name, which goes to `temporary` (0, or -1), and the rename over `path`
// (0, or -1 with `temporary` left for the caller to remove).
int32_t CreateTemporaryBeside(const char* path, std::string* temporary);
int32_t ReplaceWithTemporary(const char* temporary, const char* path);

// True when both paths name one existing file (also through links or different spellings).
bool IsSameFile(const char* a, const char* b);

// ---- the system's reasons ----
// The error of this thread's last failed call here (errno, or GetLastError on Windows).
int LastFileError();
// What the system says about an error, without a line end.
std::string FileErrorText(int error);

#ifdef _WIN32
// The program's own calls, on UTF-16 paths. 1 when the file could be opened (shared for reading;
// `size` set to its full 64-bit size), else 0 with `size` untouched.
int32_t QueryFileSize(const wchar_t* path, uint64_t* size);
// 1 when exactly n bytes were read; the file is opened unshared, so another open handle fails it.
int32_t ReadWholeFile(const wchar_t* path, uint32_t n, void* dest);
FileReadProblem ReadFileWithin(const wchar_t* path, uint32_t limit, FileRoom room, void* owner, uint32_t* n);
FileReadProblem ReadFileWithin(const wchar_t* path, uint32_t limit, std::string* bytes);
int32_t WriteFileReplacing(const wchar_t* path, const void* bytes, size_t n, ReplaceMode mode = {true, false});

// ---- special folders ----
constexpr int kFolderDocuments = 5;  // CSIDL_PERSONAL
constexpr int kFolderStartup = 7;    // CSIDL_STARTUP
// Writes the folder into `out` (MAX_PATH units), or an empty string when it cannot be found.
// The shell's lookups are found by name, SHELL32's first (creating the folder) and SHFOLDER's
// after it, so the program also runs on a system that lacks either.
void LookUpSpecialFolder(int folder, char* out);
void LookUpSpecialFolder(int folder, wchar_t* out);
#endif
