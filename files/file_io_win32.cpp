// The Windows half of the file module: wide-character calls throughout; char paths are in the
// ANSI code page, as the system's own A functions take them.
#include <windows.h>

#include <cstdio>
#include <string>

#include "files/file_calls_win32.h"
#include "files/file_io.h"
#include "files/file_platform.h"

SaveFileCalls g_saveFileCalls = {WriteFile, FlushFileBuffers, MoveFileExW};

namespace {

thread_local DWORD g_lastError = 0;

template <typename T>
T Failed(T result) {
  g_lastError = GetLastError();
  return result;
}

std::wstring Widen(const char* path) {
  const int n = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
  std::wstring wide(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], n);
  wide.resize(wide.size() - 1);
  return wide;
}

std::string Narrow(const std::wstring& path) {
  const int n = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(n > 0 ? static_cast<size_t>(n) : 1, '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, &narrow[0], n, nullptr, nullptr);
  narrow.resize(narrow.size() - 1);
  return narrow;
}

// A new file under a name no other writer uses; INVALID_HANDLE_VALUE when none can be made.
HANDLE CreateUnique(const std::wstring& path, std::wstring* temporary) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    wchar_t suffix[40];
    std::swprintf(suffix, 40, L".tmp-%lu-%u", GetCurrentProcessId(), attempt);
    *temporary = path + suffix;
    HANDLE file = CreateFileW(temporary->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

template <typename Char>
using SpecialFolderPath = BOOL(WINAPI*)(HWND, Char*, int, BOOL);
template <typename Char>
using FolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, Char*);

template <typename Entry>
Entry Resolve(HMODULE library, const char* name) {
  return reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

template <typename Char>
void LookUp(int folder, Char* out) {
  constexpr bool kWide = sizeof(Char) == sizeof(wchar_t);
  out[0] = 0;
  HMODULE shell = LoadLibraryA("SHELL32.DLL");
  if (shell == nullptr) return;
  bool found = false;
  auto special = Resolve<SpecialFolderPath<Char>>(shell, kWide ? "SHGetSpecialFolderPathW" : "SHGetSpecialFolderPathA");
  if (special != nullptr) {
    found = special(nullptr, out, folder, TRUE) == TRUE;
    if (!found) out[0] = 0;
  }
  FreeLibrary(shell);
  if (found) return;
  if (HMODULE shfolder = LoadLibraryA("SHFOLDER.DLL")) {
    auto lookup = Resolve<FolderPath<Char>>(shfolder, kWide ? "SHGetFolderPathW" : "SHGetFolderPathA");
    if (lookup != nullptr && out[0] == 0 && lookup(nullptr, folder, nullptr, 0, out) != S_OK) out[0] = 0;
    FreeLibrary(shfolder);
  }
  out[MAX_PATH - 1] = 0;
}

}  // namespace

int32_t QueryFileSize(const wchar_t* path, uint64_t* size) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed(0);
  *size = 0;
  LARGE_INTEGER full;
  if (GetFileSizeEx(file, &full)) *size = static_cast<uint64_t>(full.QuadPart);
  CloseHandle(file);
  return 1;
}

int32_t ReadWholeFile(const wchar_t* path, uint32_t n, void* dest) {
  HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed(0);
  DWORD got = 0;
  const BOOL ok = ReadFile(file, dest, n, &got, nullptr);
  if (!ok) Failed(0);
  else if (got != n) g_lastError = ERROR_HANDLE_EOF;
  CloseHandle(file);
  return ok && got == n ? 1 : 0;
}

namespace platform {

bool QuerySize(const wchar_t* path, uint64_t* size) { return QueryFileSize(path, size) == 1; }
bool ReadExactly(const wchar_t* path, uint32_t n, void* dest) { return ReadWholeFile(path, n, dest) == 1; }
bool QuerySize(const char* path, uint64_t* size) { return QuerySize(Widen(path).c_str(), size); }
bool ReadExactly(const char* path, uint32_t n, void* dest) { return ReadExactly(Widen(path).c_str(), n, dest); }
bool IsMissing(int error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

}  // namespace platform

int32_t WriteFileReplacing(const wchar_t* path, const void* bytes, size_t n, ReplaceMode mode) {
  // Beside the target, so the final move stays on one volume and is a plain rename.
  std::wstring temporary = std::wstring(path) + L".tmp";
  HANDLE file = mode.uniqueTemporary
                    ? CreateUnique(path, &temporary)
                    : CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed(-1);
  const char* at = static_cast<const char*>(bytes);
  size_t left = n;
  bool written = true;
  while (left > 0 && written) {
    DWORD put = 0;
    const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    written = g_saveFileCalls.writeFile(file, at, chunk, &put, nullptr) && put > 0;
    if (!written) Failed(0);
    at += put;
    left -= put;
  }
  if (written && mode.flush && !g_saveFileCalls.flushFileBuffers(file)) written = Failed(false);
  CloseHandle(file);
  if (!written) {
    DeleteFileW(temporary.c_str());
    return -2;
  }
  if (!g_saveFileCalls.moveFileEx(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Failed(0);
    DeleteFileW(temporary.c_str());
    return -3;
  }
  return 0;
}

int32_t WriteFileReplacing(const char* path, const void* bytes, size_t n, ReplaceMode mode) {
  return WriteFileReplacing(Widen(path).c_str(), bytes, n, mode);
}

int32_t CreateTemporaryBeside(const char* path, std::string* temporary) {
  std::wstring wide;
  HANDLE file = CreateUnique(Widen(path), &wide);
  if (file == INVALID_HANDLE_VALUE) return Failed(-1);
  CloseHandle(file);
  *temporary = Narrow(wide);
  return 0;
}

int32_t ReplaceWithTemporary(const char* temporary, const char* path) {
  const std::wstring from = Widen(temporary), to = Widen(path);
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0 : Failed(-1);
}

bool IsSameFile(const char* a, const char* b) {
  auto identify = [](const char* path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE h = CreateFileW(Widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const BOOL ok = GetFileInformationByHandle(h, info);
    CloseHandle(h);
    return ok != FALSE;
  };
  BY_HANDLE_FILE_INFORMATION ia, ib;
  if (!identify(a, &ia) || !identify(b, &ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
         ia.nFileIndexLow == ib.nFileIndexLow;
}

void LookUpSpecialFolder(int folder, char* out) { LookUp(folder, out); }
void LookUpSpecialFolder(int folder, wchar_t* out) { LookUp(folder, out); }

int LastFileError() { return static_cast<int>(g_lastError); }

std::string FileErrorText(int error) {
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(error), 0, text,
                 sizeof text, nullptr);
  std::string s(text);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}
