// A helper for the end-to-end tests, run beside the program under Wine: it answers boxes and file
// dialogs and presses keys in popup menus; the window itself is driven with vez15-remote.
// SECONDS defaults to E2E_DEADLINE from the environment.
//   keys NAME...                         into an open popup menu
//   box CAPTION SECONDS [ok|yes|no]      print the box's text, then press the button till it closes
//   filedialog TITLE SECONDS PATH        type PATH into the dialog ("-": any owned one), confirm so
//   nodialog SECONDS                     wait until the main window's dialogs are gone and done
// A wait that fails prints the program's windows, for the failure message.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

HWND MainWindow() { return FindWindowA("MainWindowClass", nullptr); }

// Polls `found` every 100 ms until it gives a window or the time is up.
template <typename Find>
HWND WaitFor(double seconds, Find found) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  for (;;) {
    if (HWND w = found()) return w;
    if (GetTickCount64() >= end) return nullptr;
    Sleep(100);
  }
}

// The first top-level window (or descendant of `parent`) for which `match` holds, from a list taken
// first: a sibling-to-sibling walk stops at one destroyed meanwhile (a file dialog's file list).
BOOL CALLBACK Collect(HWND w, LPARAM list) { return reinterpret_cast<std::vector<HWND>*>(list)->push_back(w), TRUE; }
template <typename Match>
HWND FindWhere(const Match& match, HWND parent = nullptr) {
  std::vector<HWND> all;
  parent ? EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&all)) : EnumWindows(Collect, reinterpret_cast<LPARAM>(&all));
  for (HWND w : all)
    if (match(w)) return w;
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

// Acts on `dialog` until it is hidden or gone: a dialog still settling can drop a press, and one
// pressed again is harmless, since the messages left over die with the dialog.
template <typename Act>
bool ActUntilClosed(HWND dialog, double seconds, Act act) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  do {
    act();
    if (WaitFor(2, [&] { return IsWindowVisible(dialog) ? nullptr : dialog; })) return true;
  } while (GetTickCount64() < end);
  return false;
}

bool IsClass(HWND w, const char* name) { return w && _stricmp(ClassOf(w).c_str(), name) == 0; }
HWND ChildOf(HWND w, const char* name) { return FindWhere([&](HWND c) { return IsClass(c, name); }, w); }
bool IsMessage(HWND w) { return IsClass(w, "Static") && GetWindowTextLengthA(w) > 0; }
std::string MessageOf(HWND dialog) {
  char text[1024] = {};
  if (HWND m = FindWhere(IsMessage, dialog)) GetWindowTextA(m, text, sizeof text);
  return text;
}

// A failed wait prints the program's dialogs and visible windows, each with its message.
int Failed(const char* what, const char* title) {
  std::printf("%s \"%s\"\n", what, title);
  DWORD program = 0, process = 0;
  GetWindowThreadProcessId(MainWindow(), &program);
  FindWhere([&](HWND w) {
    char text[256] = {};
    GetWindowTextA(w, text, sizeof text);
    if (GetWindowThreadProcessId(w, &process) && process == program && (IsClass(w, "#32770") || IsWindowVisible(w)))
      std::printf("window class=%s title=%s visible=%d owned-by-dialog=%d text=%s\n", ClassOf(w).c_str(), text,
                  IsWindowVisible(w) ? 1 : 0, IsClass(GetWindow(w, GW_OWNER), "#32770") ? 1 : 0, MessageOf(w).c_str());
    return false;
  });
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string verb = argc > 1 ? argv[1] : "";
  const char* deadline = std::getenv("E2E_DEADLINE");
  const double seconds = argc > 2 && verb != "keys" ? std::atof(argv[2]) : deadline ? std::atof(deadline) : 90;
  if ((verb == "box" || verb == "filedialog") && argc >= 4) {
    // A file dialog's name field is its one edit field. A box may share its caption with the file
    // dialog before it, or be that dialog's own complaint: the program's box has a message, no
    // edit field or combo box, and no dialog for its owner.
    const double seconds = std::atof(argv[3]);
    HWND dialog = WaitFor(seconds, [&] {
      HWND w = Find(argv[2]);
      if (!w) return w;
      const bool fits = verb == "filedialog" ? ChildOf(w, "Edit") != nullptr
                                             : !ChildOf(w, "Edit") && !ChildOf(w, "ComboBox") && FindWhere(IsMessage, w) &&
                                                   !IsClass(GetWindow(w, GW_OWNER), "#32770");
      return fits ? w : nullptr;
    });
    if (!dialog) return Failed("no window", argv[2]);
    if (verb == "filedialog" && argc >= 5) {
      HWND field = ChildOf(dialog, "Edit");
      const bool closed = ActUntilClosed(dialog, seconds, [&] {
        SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
        Press(dialog, IDOK);
      });
      return closed ? 0 : Failed("the file dialog did not take the name in", argv[2]);
    }
    std::printf("text=%s\n", MessageOf(dialog).c_str());
    const std::string button = argc > 4 ? argv[4] : "";
    if (button.empty()) return 0;
    const int id = button == "yes" ? IDYES : button == "no" ? IDNO : IDOK;
    return ActUntilClosed(dialog, seconds, [&] { Press(dialog, id); }) ? 0 : Failed("the box did not close", argv[2]);
  }
  if (verb == "nodialog") {
    // Wine hides a file dialog well before the call returns to the program: wait until the
    // dialog is gone, then until the window's thread answers, so the handler that opened it
    // has finished its work.
    if (WaitFor(seconds, [] { return Find("+") ? nullptr : GetDesktopWindow(); }) == nullptr)
      return Failed("still open:", "dialogs");
    DWORD_PTR answer;
    if (SendMessageTimeoutA(MainWindow(), WM_NULL, 0, 0, SMTO_NORMAL, seconds * 1000, &answer)) return 0;
    return Failed("no answer from", "the main window");
  }
  HWND w = MainWindow();
  if (!w) return std::printf("no main window\n"), 1;
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
  std::fprintf(stderr, "usage: e2e-driver box|filedialog|nodialog|keys ...\n");
  return 2;
}
