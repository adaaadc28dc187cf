#include "shell/shell_win32.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

#include "files/file_io.h"
#include "shell/shell_text.h"

char startupFolder[512];

namespace {

constexpr char kTrayTip[] = "VEZ-15 (Kelmora)";

static_assert(sizeof(void*) != 4 || sizeof(NOTIFYICONDATAA) == 508,
              "the tray record is the full ANSI form");

using NotifyIconA = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAA);

// Resolved once and kept for the rest of the process.
HMODULE g_shellLibrary;
NotifyIconA g_notifyIcon;

template <typename Entry>
Entry Resolve(HMODULE library, const char* name) {
  return reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

bool NotifyAvailable() {
  if (g_shellLibrary == nullptr) g_shellLibrary = LoadLibraryA("SHELL32.DLL");
  if (g_notifyIcon == nullptr && g_shellLibrary != nullptr) {
    g_notifyIcon = Resolve<NotifyIconA>(g_shellLibrary, "Shell_NotifyIconA");
  }
  return g_notifyIcon != nullptr;
}

NOTIFYICONDATAA TrayRecord(void* window) {
  NOTIFYICONDATAA record{};
  record.cbSize = sizeof record;
  record.hWnd = static_cast<HWND>(window);
  record.uID = kTrayMessage;
  record.uFlags = NIF_MESSAGE;
  record.uCallbackMessage = kTrayMessage;
  return record;
}

}  // namespace

void InitSpecialFolders() {
  static bool done = false;
  if (done) return;
  done = true;
  LookUpSpecialFolder(kFolderStartup, startupFolder);
}

int32_t TrayIconAdd(void* window, void* icon) {
  if (!NotifyAvailable()) return -1;
  NOTIFYICONDATAA record = TrayRecord(window);
  record.uFlags |= NIF_TIP;
  if (icon != nullptr) {
    record.uFlags |= NIF_ICON;
    record.hIcon = static_cast<HICON>(icon);
  }
  CopyTipText(record.szTip, kTrayTipSize, kTrayTip);
  return g_notifyIcon(NIM_ADD, &record) ? 0 : -1;
}

int32_t TrayIconDelete(void* window) {
  if (!NotifyAvailable()) return -1;
  NOTIFYICONDATAA record = TrayRecord(window);
  g_notifyIcon(NIM_DELETE, &record);
  return 0;
}

int32_t StartupShortcutDelete(const char* folder) {
  char path[kShortcutPathSize];
  if (BuildShortcutPath(folder, path, sizeof path) != 0) return 0;
  return DeleteFileA(path) ? 1 : 0;
}

int32_t StartupShortcutCreate(const char* target, const char* folder) {
  char path[kShortcutPathSize];
  if (target == nullptr || BuildShortcutPath(folder, path, sizeof path) != 0) {
    return static_cast<int32_t>(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  }
  IShellLinkA* link = nullptr;
  HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                    reinterpret_cast<void**>(&link));
  if (FAILED(result)) return static_cast<int32_t>(result);
  link->SetPath(target);
  link->SetDescription(kShortcutName);
  link->SetArguments(nullptr);
  char workingFolder[kWorkingFolderSize];
  if (ExecutableFolder(target, workingFolder, sizeof workingFolder) == 0) {
    link->SetWorkingDirectory(workingFolder);
  }
  IPersistFile* file = nullptr;
  result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (SUCCEEDED(result)) {
    wchar_t widePath[kShortcutPathSize];
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, kShortcutPathSize) == 0) {
      result = HRESULT_FROM_WIN32(GetLastError());
    } else {
      result = file->Save(widePath, TRUE);
    }
    file->Release();
  }
  link->Release();
  return static_cast<int32_t>(result);
}
