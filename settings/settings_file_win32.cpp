#include <windows.h>
#include <commdlg.h>

#include <cwchar>

#include "settings/settings_document.h"
#include "settings/settings_file.h"
#include "settings/save_calls_win32.h"
#include "settings/settings_path.h"

namespace {

constexpr wchar_t kFilterList[] = L"xml\0*.XML\0All (*.*)\0*.*\0";
constexpr wchar_t kSaveTitle[] = L"Save Current Graphic EQ Configuration...";
constexpr wchar_t kOpenTitle[] = L"Load Graphic EQ Configuration...";
constexpr wchar_t kTemporarySuffix[] = L".tmp";
// The dialog is told less than the buffer holds, leaving room for the ".xml" added later.
constexpr DWORD kDialogPathChars = 260;
static_assert(sizeof(void*) != 4 || sizeof(OPENFILENAMEW) == 88,
              "the dialogs take the full wide-character structure");

// Runs the Save or Open dialog into `path` (kSettingsPathSize units). Nonzero when chosen.
BOOL RunFileDialog(void* owner, wchar_t* path, bool save) {
  std::wcscpy(path, L"*.xml");
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = static_cast<HWND>(owner);
  dialog.lpstrFilter = kFilterList;
  dialog.nFilterIndex = 0;
  dialog.lpstrFile = path;
  dialog.nMaxFile = kDialogPathChars;
  dialog.lpstrTitle = save ? kSaveTitle : kOpenTitle;
  dialog.Flags = OFN_HIDEREADONLY | OFN_NONETWORKBUTTON | OFN_ENABLESIZING;
  BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
  path[kSettingsPathSize - 1] = L'\0';
  return chosen;
}

bool FileExists(const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

using SpecialFolderPathW = BOOL(WINAPI*)(HWND, LPWSTR, int, BOOL);
using FolderPathW = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
constexpr int kFolderDocuments = 5;  // CSIDL_PERSONAL

template <typename Entry>
Entry Resolve(HMODULE library, const char* name) {
  return reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// Writes the Documents folder, or an empty string, into `out` (at least MAX_PATH units). The
// lookups are found by name, so the program also loads where a shell lacks them.
void GetDocumentsFolderW(wchar_t* out) {
  out[0] = L'\0';
  HMODULE shell = LoadLibraryA("SHELL32.DLL");
  if (shell == nullptr) return;
  bool found = false;
  if (auto lookup = Resolve<SpecialFolderPathW>(shell, "SHGetSpecialFolderPathW")) {
    found = lookup(nullptr, out, kFolderDocuments, TRUE) == TRUE;
    if (!found) out[0] = L'\0';
  }
  FreeLibrary(shell);
  if (found) return;
  if (HMODULE folder = LoadLibraryA("SHFOLDER.DLL")) {
    auto lookup = Resolve<FolderPathW>(folder, "SHGetFolderPathW");
    if (lookup != nullptr && out[0] == L'\0' &&
        lookup(nullptr, kFolderDocuments, nullptr, 0, out) != S_OK) {
      out[0] = L'\0';
    }
    FreeLibrary(folder);
  }
}

bool DefaultSettingsPath(wchar_t* path, bool createFolder) {
  wchar_t documents[kSettingsPathSize];
  GetDocumentsFolderW(documents);
  if (createFolder) {
    if (BuildSettingsFolder(documents, path, kSettingsPathSize) != 0) return false;
    CreateDirectoryW(path, nullptr);  // an existing folder is fine
  }
  return BuildSettingsFilePath(documents, path, kSettingsPathSize) == 0;
}

}  // namespace

SaveFileCalls g_saveFileCalls = {WriteFile, FlushFileBuffers, MoveFileExW};

int32_t QueryFileSize(const wchar_t* path, uint64_t* size) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  *size = 0;
  LARGE_INTEGER full;
  if (GetFileSizeEx(file, &full)) *size = static_cast<uint64_t>(full.QuadPart);
  CloseHandle(file);
  return 1;
}

int32_t ReadWholeFile(const wchar_t* path, uint32_t n, void* dest) {
  HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD got = 0;
  BOOL ok = ReadFile(file, dest, n, &got, nullptr);
  CloseHandle(file);
  return ok && got == n ? 1 : 0;
}

int32_t WriteFileReplacing(const wchar_t* path, const void* bytes, uint32_t n) {
  // Beside the target, so the final move stays on one volume and is a plain rename. A file
  // left by an interrupted save has the same name and is simply overwritten by the next one.
  wchar_t temporary[kSettingsPathSize] = L"";
  if (AppendPath(temporary, kSettingsPathSize, path) != 0 ||
      AppendPath(temporary, kSettingsPathSize, kTemporarySuffix) != 0) {
    return -1;
  }
  HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  const char* at = static_cast<const char*>(bytes);
  uint32_t left = n;
  bool written = true;
  while (left > 0 && written) {
    DWORD put = 0;
    written = g_saveFileCalls.writeFile(file, at, left, &put, nullptr) && put > 0;
    at += put;
    left -= put;
  }
  // The data must be on disk before the rename makes it the settings file, or a power cut
  // could leave a renamed but empty file.
  written = written && g_saveFileCalls.flushFileBuffers(file);
  CloseHandle(file);
  if (!written) {
    DeleteFileW(temporary);
    return -2;
  }
  if (!g_saveFileCalls.moveFileEx(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(temporary);
    return -3;
  }
  return 0;
}

int32_t SaveSettingsToPath(EngineContext* engine, SettingsRecord* settings, const WindowPlacement& window,
                           const wchar_t* path) {
  if (engine->filter == nullptr) return -1;
  TextBuffer* buffer = &settings->buffer;
  if (BuildSettingsDocument(buffer, engine->bus.load(std::memory_order_relaxed), window.x0, window.y0, window.dx,
                            window.dy, engine->filter->param) != 0) {
    return -2;
  }
  return WriteFileReplacing(path, buffer->data, buffer->length) == 0 ? 1 : -3;
}

int32_t SaveSettings(EngineContext* engine, SettingsRecord* settings, const WindowPlacement& window, void* owner,
                     int32_t useDialog) {
  // Without the equalizer object (a start-up that failed) there are no channel records to
  // save: writing would replace the stored settings with a file that lacks them.
  if (engine->filter == nullptr) return -1;
  wchar_t path[kSettingsPathSize];
  if (useDialog) {
    if (!RunFileDialog(owner, path, true)) return 0;
    StripExtension(path);
    if (AppendPath(path, kSettingsPathSize, L".xml") != 0) return -2;
    if (FileExists(path) &&
        MessageBoxA(static_cast<HWND>(owner), "File already exists.\nDo you Want To Replace it ?",
                    "File Exists", MB_ICONQUESTION | MB_YESNO) == IDNO) {
      return 0;
    }
  } else if (!DefaultSettingsPath(path, true)) {
    return -2;
  }
  return SaveSettingsToPath(engine, settings, window, path);
}

int32_t LoadSettingsFromFile(EngineContext* engine, SettingsRecord* settings, const wchar_t* path,
                             SettingsLoadSummary* summary) {
  uint64_t size = 0;
  if (!QueryFileSize(path, &size)) return -1;
  if (CheckSettingsFileSize(size) != SettingsFileProblem::kNone) return -1;
  const uint32_t n = static_cast<uint32_t>(size);
  TextBuffer* buffer = &settings->buffer;
  if (PrepareTextBuffer(buffer, n) != 0) return -1;
  if (!ReadWholeFile(path, n, buffer->data)) return -1;
  return ApplySettingsDocument(engine, &settings->saved, buffer->data, n, summary);
}

int32_t LoadSettings(EngineContext* engine, SettingsRecord* settings, void* owner, int32_t useDialog,
                     SettingsLoadSummary* summary) {
  wchar_t path[kSettingsPathSize];
  if (useDialog) {
    if (!RunFileDialog(owner, path, false)) return 0;
  } else if (!DefaultSettingsPath(path, false)) {
    return -1;
  }
  return LoadSettingsFromFile(engine, settings, path, summary);
}
