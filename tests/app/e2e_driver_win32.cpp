// A small helper for the end-to-end tests: it reaches the main window where no input device
// can (the system menu, the tray icon), reports what a user would see (title, size, style,
// message boxes) and answers boxes and file dialogs. It runs beside the program under Wine.
// Every wait ends after SECONDS: the verb's argument, else E2E_DEADLINE from the environment.
//
//   e2e-driver wait SECONDS                  wait for the main window; exit 1 when none appears
//   e2e-driver info                          title, visibility, topmost, window and client rects
//   e2e-driver syscmd ID | close | tray EVENT
//   e2e-driver box CAPTION SECONDS [ok|yes|no]   print the box's text, then press the button
//   e2e-driver filedialog TITLE SECONDS PATH type PATH into the dialog and confirm it; TITLE "-"
//                                            takes any dialog owned by the main window
//   e2e-driver nodialog SECONDS              wait until no dialog of the main window is left and
//                                            the program is back in its message loop
//   e2e-driver keys NAME...                  wait for an open popup menu, then post key presses
//                                            (down, up, return, escape) to the main window's thread
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

// A visible top-level window with this title; "-": a dialog owned by the main window;
// "+": such a dialog even when Wine has hidden it already.
struct Search {
  const char* title;
  HWND found;
};
BOOL CALLBACK Match(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<Search*>(p);
  char text[512] = {};
  const bool owned = s->title[0] == '-' || s->title[0] == '+';
  if (owned) GetClassNameA(w, text, sizeof text);
  else GetWindowTextA(w, text, sizeof text);
  const bool match = owned ? std::strcmp(text, "#32770") == 0 && GetWindow(w, GW_OWNER) == MainWindow()
                           : std::strcmp(text, s->title) == 0;
  if (!match || (s->title[0] != '+' && !IsWindowVisible(w))) return TRUE;
  s->found = w;
  return FALSE;
}
HWND Find(const char* title) {
  Search s{title, nullptr};
  EnumWindows(Match, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// The first child of `parent` of class `cls` that carries text (`withText`) or any.
struct ChildSearch {
  const char* cls;
  bool withText;
  HWND found;
};
BOOL CALLBACK MatchChild(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<ChildSearch*>(p);
  char cls[64];
  GetClassNameA(w, cls, sizeof cls);
  if (_stricmp(cls, s->cls) != 0 || (s->withText && GetWindowTextLengthA(w) == 0)) return TRUE;
  s->found = w;
  return FALSE;
}
HWND Child(HWND parent, const char* cls, bool withText) {
  ChildSearch s{cls, withText, nullptr};
  EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&s));
  return s.found;
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
  const double seconds = argc > 2 && verb != "keys" ? std::atof(argv[2]) : deadline ? std::atof(deadline) : 90;
  if (verb == "wait") return WaitFor(seconds, MainWindow) ? 0 : 1;
  if ((verb == "box" || verb == "filedialog") && argc >= 4) {
    HWND dialog = WaitFor(std::atof(argv[3]), [&] { return Find(argv[2]); });
    if (!dialog) return std::printf("no window \"%s\"\n", argv[2]), 1;
    if (verb == "filedialog" && argc >= 5) {
      // The file name field is the dialog's one edit field, wherever the combo boxes nest it.
      HWND field = Child(dialog, "Edit", false);
      if (!field) return std::printf("no file name field in \"%s\"\n", argv[2]), 1;
      SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
      Press(dialog, IDOK);
      return 0;
    }
    char text[1024] = {};
    GetWindowTextA(Child(dialog, "Static", true), text, sizeof text);
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

  HWND w = MainWindow();
  if (!w) return std::printf("no main window\n"), 1;
  if (verb == "info") return Info(w);
  if (verb == "close") return PostMessageA(w, WM_CLOSE, 0, 0) ? 0 : 1;
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
  if (verb == "tray") return PostMessageA(w, 26748, 26748, static_cast<LPARAM>(id)) ? 0 : 1;  // the tray's message
  std::fprintf(stderr, "usage: e2e-driver wait|info|syscmd|close|tray|box|filedialog|nodialog|keys ...\n");
  return 2;
}
