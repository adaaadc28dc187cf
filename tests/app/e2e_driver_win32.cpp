// A helper for the end-to-end tests, run beside the program under Wine: it reaches the main
// window where no input device can (system menu, tray icon), reports what a user would see and
// answers boxes and file dialogs. SECONDS defaults to E2E_DEADLINE from the environment.
//   wait SECONDS | info | syscmd ID | close [TITLE] | tray EVENT | keys NAME... (into an open popup menu)
//   box CAPTION SECONDS [ok|yes|no]      print the box's text, then press the button
//   filedialog TITLE SECONDS PATH        type PATH into the dialog ("-": any owned one) and confirm
//   nodialog SECONDS                     wait until the main window's dialogs are gone and done
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shell/shell_win32.h"

namespace {

HWND MainWindow() { return FindWindowA("MainWindowClass", nullptr); }

// Polls `found` every 100 ms until it gives a window or the time is up.
template <typename Find>
HWND WaitFor(double seconds, Find found) {
  for (int i = 0; i <= static_cast<int>(seconds * 10); ++i) {
    if (HWND w = found()) return w;
    Sleep(100);
  }
  return nullptr;
}

// The first top-level window (or descendant of `parent`) for which `match` holds.
template <typename Match>
HWND FindWhere(const Match& match, HWND parent = nullptr) {
  for (HWND w = parent ? GetWindow(parent, GW_CHILD) : GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
    if (match(w)) return w;
    if (HWND inner = parent ? FindWhere(match, w) : nullptr) return inner;
  }
  return nullptr;
}
std::string ClassOf(HWND w) {
  char cls[64] = {};
  GetClassNameA(w, cls, sizeof cls);
  return cls;
}
// A visible window with this title; "-": a dialog owned by the main window; "+": such a dialog
// even when Wine has hidden it already.
HWND Find(const std::string& title) {
  return FindWhere([&](HWND w) {
    char text[512] = {};
    GetWindowTextA(w, text, sizeof text);
    const bool owned = title == "-" || title == "+";
    return (owned ? ClassOf(w) == "#32770" && GetWindow(w, GW_OWNER) == MainWindow() : title == text) &&
           (title == "+" || IsWindowVisible(w));
  });
}

void Press(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

int Info(HWND w) {
  char title[256] = {};
  GetWindowTextA(w, title, sizeof title);
  RECT r, c;
  GetWindowRect(w, &r);
  GetClientRect(w, &c);
  POINT origin{0, 0};
  ClientToScreen(w, &origin);
  const LONG ex = GetWindowLongA(w, GWL_EXSTYLE);
  std::printf("title=%s\nvisible=%d\ntopmost=%d\nrect=%ld %ld %ld %ld\nsize=%ld %ld\nclient=%ld %ld\norigin=%ld %ld\n",
              title, IsWindowVisible(w) ? 1 : 0, (ex & WS_EX_TOPMOST) ? 1 : 0, r.left, r.top, r.right, r.bottom,
              r.right - r.left, r.bottom - r.top, c.right - c.left, c.bottom - c.top, origin.x, origin.y);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string verb = argc > 1 ? argv[1] : "";
  const char* deadline = std::getenv("E2E_DEADLINE");
  const double seconds = argc > 2 && verb != "keys" && verb != "close" ? std::atof(argv[2]) : deadline ? std::atof(deadline) : 90;
  if (verb == "wait") return WaitFor(seconds, MainWindow) ? 0 : 1;
  if ((verb == "box" || verb == "filedialog") && argc >= 4) {
    // The file name field is a file dialog's one edit field, wherever the combo boxes nest it. A
    // box may bear the caption of the file dialog before it, which has not always closed yet.
    auto editField = [](HWND w) { return _stricmp(ClassOf(w).c_str(), "Edit") == 0; };
    HWND dialog = WaitFor(std::atof(argv[3]), [&] {
      HWND w = Find(argv[2]);
      return w && (verb == "filedialog" || !FindWhere(editField, w)) ? w : nullptr;
    });
    if (!dialog) return std::printf("no window \"%s\"\n", argv[2]), 1;
    if (verb == "filedialog" && argc >= 5) {
      HWND field = FindWhere(editField, dialog);
      if (!field) return std::printf("no file name field in \"%s\"\n", argv[2]), 1;
      SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
      Press(dialog, IDOK);
      return 0;
    }
    char text[1024] = {};
    auto message = [](HWND w) { return _stricmp(ClassOf(w).c_str(), "Static") == 0 && GetWindowTextLengthA(w) > 0; };
    GetWindowTextA(FindWhere(message, dialog), text, sizeof text);
    std::printf("text=%s\n", text);
    const std::string button = argc > 4 ? argv[4] : "";
    if (!button.empty()) Press(dialog, button == "yes" ? IDYES : button == "no" ? IDNO : IDOK);
    return 0;
  }
  if (verb == "nodialog") {
    // Wine hides a file dialog well before the call returns to the program: wait until the
    // dialog is gone, then until the window's thread answers, so the handler that opened it
    // has finished its work.
    if (WaitFor(seconds, [] { return Find("+") ? nullptr : GetDesktopWindow(); }) == nullptr) return 1;
    DWORD_PTR answer;
    return SendMessageTimeoutA(MainWindow(), WM_NULL, 0, 0, SMTO_NORMAL, seconds * 1000, &answer) ? 0 : 1;
  }
  if (verb == "close") {  // the main window, or another window of the program by its title
    HWND target = argc > 2 ? WaitFor(seconds, [&] { return Find(argv[2]); }) : MainWindow();
    return target && PostMessageA(target, WM_CLOSE, 0, 0) ? 0 : 1;
  }
  HWND w = MainWindow();
  if (!w) return std::printf("no main window\n"), 1;
  if (verb == "info") return Info(w);
  if (verb == "keys") {
    // A popup menu's modal loop reads key messages of the whole thread, whatever their window;
    // keys posted before it runs would reach the window instead.
    if (!WaitFor(seconds, [] { HWND m = FindWindowA("#32768", nullptr); return IsWindowVisible(m) ? m : nullptr; }))
      return 1;
    for (int i = 2; i < argc; ++i) {
      const std::string key = argv[i];
      const WPARAM vk = key == "down" ? VK_DOWN : key == "up" ? VK_UP : key == "escape" ? VK_ESCAPE : VK_RETURN;
      PostMessageA(w, WM_KEYDOWN, vk, 1);
      PostMessageA(w, WM_KEYUP, vk, 0xC0000001);
      Sleep(100);
    }
    return 0;
  }
  const int id = argc > 2 ? std::atoi(argv[2]) : 0;
  if (verb == "syscmd") return PostMessageA(w, WM_SYSCOMMAND, static_cast<WPARAM>(id), 0) ? 0 : 1;
  if (verb == "tray") return PostMessageA(w, kTrayMessage, kTrayMessage, static_cast<LPARAM>(id)) ? 0 : 1;
  std::fprintf(stderr, "usage: e2e-driver wait|info|syscmd|close|tray|box|filedialog|nodialog|keys ...\n");
  return 2;
}
