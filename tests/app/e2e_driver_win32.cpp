// A small helper for the end-to-end tests: it reaches the main window where no input device
// can (the system menu, the tray icon), reports what a user would see (title, size, style,
// message boxes) and answers boxes and file dialogs. It runs beside the program under Wine.
//
//   e2e-driver wait SECONDS                  wait for the main window; exit 1 when none appears
//   e2e-driver info                          title, visibility, topmost, window and client rects
//   e2e-driver syscmd ID | close [TITLE] | tray EVENT   TITLE: another window than the main one
//   e2e-driver box CAPTION SECONDS [ok|yes|no]   print the box's text, then press the button
//   e2e-driver filedialog TITLE SECONDS PATH type PATH into the dialog and confirm it; TITLE "-"
//                                            takes any dialog owned by the main window
//   e2e-driver nodialog SECONDS              wait until no dialog of the main window is open
//   e2e-driver keys NAME...                  post key presses (down, up, return, escape) to the
//                                            main window's thread, e.g. into an open popup menu
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kMainClass[] = "MainWindowClass";
constexpr UINT kTrayMessage = 26748;

HWND MainWindow() { return FindWindowA(kMainClass, nullptr); }

struct TitleSearch {
  const char* title;
  HWND found;
};

BOOL CALLBACK MatchTitle(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<TitleSearch*>(p);
  char text[512];
  if (GetWindowTextA(w, text, sizeof text) > 0 && std::strcmp(text, s->title) == 0 && IsWindowVisible(w)) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK MatchOwnedDialog(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<TitleSearch*>(p);
  char cls[64];
  GetClassNameA(w, cls, sizeof cls);
  if (std::strcmp(cls, "#32770") == 0 && IsWindowVisible(w) && GetWindow(w, GW_OWNER) == MainWindow()) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

HWND WaitForTitle(const char* title, double seconds) {
  const bool anyOwned = std::strcmp(title, "-") == 0;
  for (int i = 0; i <= static_cast<int>(seconds * 10); ++i) {
    TitleSearch s{title, nullptr};
    EnumWindows(anyOwned ? MatchOwnedDialog : MatchTitle, reinterpret_cast<LPARAM>(&s));
    if (s.found) return s.found;
    Sleep(100);
  }
  return nullptr;
}

std::string Escaped(const char* text) {
  std::string out;
  for (const char* c = text; *c; ++c) {
    if (*c == '\n') {
      out += "\\n";
    } else if (*c != '\r') {
      out += *c;
    }
  }
  return out;
}

// Joins the texts of a box's static controls (the message; "|" between several).
BOOL CALLBACK CollectStaticText(HWND w, LPARAM p) {
  auto* text = reinterpret_cast<std::string*>(p);
  char cls[64], part[1024];
  GetClassNameA(w, cls, sizeof cls);
  if (_stricmp(cls, "Static") != 0 || GetWindowTextA(w, part, sizeof part) <= 0) return TRUE;
  if (!text->empty()) *text += "|";
  *text += part;
  return TRUE;
}

int Box(const char* caption, double seconds, const char* button) {
  HWND box = WaitForTitle(caption, seconds);
  if (!box) {
    std::printf("no box \"%s\"\n", caption);
    return 1;
  }
  std::string text;
  EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&text));
  std::printf("text=%s\n", Escaped(text.c_str()).c_str());
  std::fflush(stdout);
  if (button) {
    int id = std::strcmp(button, "yes") == 0 ? IDYES : std::strcmp(button, "no") == 0 ? IDNO : IDOK;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
  }
  return 0;
}

BOOL CALLBACK FirstEdit(HWND w, LPARAM p) {
  char cls[16];
  GetClassNameA(w, cls, sizeof cls);
  if (_stricmp(cls, "Edit") != 0) return TRUE;
  *reinterpret_cast<HWND*>(p) = w;
  return FALSE;
}

int FileDialog(const char* title, double seconds, const char* path) {
  HWND dialog = WaitForTitle(title, seconds);
  if (!dialog) {
    std::printf("no dialog \"%s\"\n", title);
    return 1;
  }
  // The file name field is the dialog's one edit field, wherever the combo boxes nest it.
  HWND field = nullptr;
  EnumChildWindows(dialog, FirstEdit, reinterpret_cast<LPARAM>(&field));
  if (!field) {
    std::printf("no file name field in \"%s\"\n", title);
    return 1;
  }
  SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  std::printf("typed %s\n", path);
  return 0;
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
  if (argc < 2) {
    std::fprintf(stderr, "usage: e2e-driver wait|info|syscmd|close|tray|box|filedialog|nodialog|keys ...\n");
    return 2;
  }
  const std::string verb = argv[1];
  const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;

  if (verb == "wait") {
    for (int i = 0; i <= static_cast<int>(seconds * 10); ++i) {
      if (MainWindow()) return 0;
      Sleep(100);
    }
    std::printf("no main window after %g s\n", seconds);
    return 1;
  }
  if (verb == "box" && argc >= 4) return Box(argv[2], std::atof(argv[3]), argc > 4 ? argv[4] : nullptr);
  if (verb == "nodialog") {
    // Waits until the dialogs of the main window have closed and their work is done.
    for (int i = 0; i <= static_cast<int>(seconds * 10); ++i) {
      TitleSearch s{"-", nullptr};
      EnumWindows(MatchOwnedDialog, reinterpret_cast<LPARAM>(&s));
      if (!s.found) return 0;
      Sleep(100);
    }
    std::printf("a dialog of the main window is still open after %g s\n", seconds);
    return 1;
  }
  if (verb == "filedialog" && argc >= 5) return FileDialog(argv[2], std::atof(argv[3]), argv[4]);

  if (verb == "close" && argc > 2) {  // another window of the program, by its title
    HWND other = WaitForTitle(argv[2], 10);
    return other && PostMessageA(other, WM_CLOSE, 0, 0) ? 0 : 1;
  }
  HWND w = MainWindow();
  if (!w) {
    std::printf("no main window\n");
    return 1;
  }
  if (verb == "info") return Info(w);
  if (verb == "keys") {
    // A popup menu's modal loop reads key messages of the whole thread, whatever their window.
    for (int i = 2; i < argc; ++i) {
      const std::string key = argv[i];
      const WPARAM vk = key == "down" ? VK_DOWN : key == "up" ? VK_UP : key == "escape" ? VK_ESCAPE : VK_RETURN;
      PostMessageA(w, WM_KEYDOWN, vk, 1);
      PostMessageA(w, WM_KEYUP, vk, 0xC0000001);
      Sleep(100);
    }
    return 0;
  }
  if (verb == "close") return PostMessageA(w, WM_CLOSE, 0, 0) ? 0 : 1;
  if (argc < 3) return 2;
  const int id = std::atoi(argv[2]);
  if (verb == "syscmd") return PostMessageA(w, WM_SYSCOMMAND, static_cast<WPARAM>(id), 0) ? 0 : 1;
  if (verb == "tray") return PostMessageA(w, kTrayMessage, kTrayMessage, static_cast<LPARAM>(id)) ? 0 : 1;
  std::fprintf(stderr, "e2e-driver: unknown command %s\n", verb.c_str());
  return 2;
}
