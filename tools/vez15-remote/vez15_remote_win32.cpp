// vez15-remote: drives a running VEZ-15 from another program, for runs without a display or a
// user (scripts/run.sh, the benchmarks, the soak, the end-to-end tests). It reaches the window
// where no input device can: the system menu, the tray icon, the close path.
//   wait [SECONDS]      until the main window exists (default: E2E_DEADLINE, else 90 s); 1 if not
//   info                the window as a user sees it: title, visible, topmost, rect, size, client, origin
//   syscmd ID           a system-menu command, as a choice in the window's system menu
//   command ID          a command of the tray menu or the window's own (WM_COMMAND)
//   tray EVENT          a tray icon notification (513 left button down, 516 right button down)
//   close [TITLE]       asks the main window (or the program's window with this title) to close
// Exit code 0 when the message was delivered, 1 when there is no such window, 2 on bad usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app_logic.h"
#include "shell/shell_win32.h"
#include "tools/vez15-remote/window_search_win32.h"

namespace {

// A visible top-level window of the program's process with this title.
struct TitleSearch {
  const char* title;
  DWORD process;
  HWND found;
};
BOOL CALLBACK MatchTitle(HWND w, LPARAM data) {
  auto* s = reinterpret_cast<TitleSearch*>(data);
  char text[512] = {};
  GetWindowTextA(w, text, sizeof text);
  DWORD process = 0;
  GetWindowThreadProcessId(w, &process);
  if (process != s->process || !IsWindowVisible(w) || std::strcmp(text, s->title) != 0) return TRUE;
  s->found = w;
  return FALSE;
}
HWND ProgramWindow(const char* title) {
  TitleSearch search{title, 0, nullptr};
  if (!GetWindowThreadProcessId(MainWindow(), &search.process)) return nullptr;
  EnumWindows(MatchTitle, reinterpret_cast<LPARAM>(&search));
  return search.found;
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

int Usage() {
  std::fprintf(stderr, "usage: vez15-remote wait [SECONDS] | info | syscmd ID | command ID | tray EVENT | close [TITLE]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string verb = argc > 1 ? argv[1] : "";
  const char* deadline = std::getenv("E2E_DEADLINE");
  const double seconds = deadline ? std::atof(deadline) : 90;
  if (verb == "wait") return WaitFor(argc > 2 ? std::atof(argv[2]) : seconds, MainWindow) ? 0 : 1;
  if (verb == "close") {
    HWND target = argc > 2 ? WaitFor(seconds, [&] { return ProgramWindow(argv[2]); }) : MainWindow();
    return target && PostMessageA(target, WM_CLOSE, 0, 0) ? 0 : 1;
  }
  HWND w = MainWindow();
  if (verb == "info") return w ? Info(w) : (std::printf("no main window\n"), 1);
  if (argc < 3) return Usage();
  const int id = std::atoi(argv[2]);
  if (verb == "syscmd") return w && PostMessageA(w, WM_SYSCOMMAND, static_cast<WPARAM>(id), 0) ? 0 : 1;
  if (verb == "command") return w && PostMessageA(w, WM_COMMAND, static_cast<WPARAM>(id), 0) ? 0 : 1;
  if (verb == "tray") return w && PostMessageA(w, kTrayMessage, kTrayMessage, static_cast<LPARAM>(id)) ? 0 : 1;
  return Usage();
}
