#include <windows.h>
#include <commdlg.h>

#include <cwchar>

#include "settings/settings_document.h"
#include "settings/settings_file.h"
#include "settings/settings_load.h"
#include "settings/settings_path.h"

namespace {

constexpr wchar_t kFilterList[] = L"xml\0*.XML\0All (*.*)\0*.*\0";
constexpr wchar_t kSaveTitle[] = L"Save Current Graphic EQ Configuration...";
constexpr wchar_t kOpenTitle[] = L"Load Graphic EQ Configuration...";
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

bool DefaultSettingsPath(wchar_t* path, bool createFolder) {
  wchar_t documents[kSettingsPathSize];
  LookUpSpecialFolder(kFolderDocuments, documents);
  if (createFolder) {
    if (BuildSettingsFolder(documents, path, kSettingsPathSize) != 0) return false;
    CreateDirectoryW(path, nullptr);  // an existing folder is fine
  }
  return BuildSettingsFilePath(documents, path, kSettingsPathSize) == 0;
}

}  // namespace

int32_t SaveSettingsToPath(EngineContext* engine, SettingsRecord* settings, const WindowPlacement& window,
                           const wchar_t* path) {
  if (engine->filter == nullptr) return -1;
  TextBuffer* buffer = &settings->buffer;
  if (BuildSettingsDocument(buffer, engine->bus.load(std::memory_order_relaxed), window.x0, window.y0, window.dx,
                            window.dy, engine->filter->param) != 0) {
    return -2;
  }
  // The settings file is the program's only copy: it must reach the disk before it replaces the
  // old one. One instance writes it, so a fixed temporary name keeps a killed save from
  // leaving files behind.
  return WriteFileReplacing(path, buffer->data, buffer->length, ReplaceMode{true, false}) == 0 ? 1 : -3;
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
  return LoadSettingsFromPath(engine, settings, path, summary) == SettingsFileProblem::kNone ? 1 : -1;
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
