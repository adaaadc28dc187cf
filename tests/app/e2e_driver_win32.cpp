// A helper for the end-to-end tests, run beside the program under Wine: it answers boxes and file
// dialogs, presses keys in popup menus, and reads and drives the main window's accessible object
// through oleacc as a screen reader does, from its own process (Wine marshals IAccessible between
// processes). The window itself is driven with vez15-remote.
// SECONDS defaults to E2E_DEADLINE from the environment.
//   keys NAME...                         into an open popup menu
//   box CAPTION SECONDS [ok|yes|no]      print the box's text, then press the button till it closes
//   filedialog TITLE SECONDS PATH        type PATH into the dialog ("-": any owned one), confirm so
//   nodialog SECONDS                     wait until the main window's dialogs are gone and done
//   tree                                 every child: id role "name" "value", states [action], the
//                                        reading order, and any child a hit test at its centre misses
//   set CHILD TEXT | do CHILD | focus CHILD   put_accValue, default action, take the focus
//   events FILE                          appends "focus|value|state|reorder CHILD" lines until the program ends
//   describe [TITLE]                     name and description of the window with the keyboard focus,
//                                        or of another window of the program by its title
// A wait that fails prints the program's windows, for the failure message.
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/vez15-remote/window_search_win32.h"

namespace {

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
std::string TextOf(HWND w) {
  char text[1024] = {};
  if (w) GetWindowTextA(w, text, sizeof text);
  return text;
}
// A visible window with this title; "-": a dialog owned by the main window; "+": such a dialog
// even when Wine has hidden it already.
HWND Find(const std::string& title) {
  return FindWhere([&](HWND w) {
    const bool owned = title == "-" || title == "+";
    return (owned ? ClassOf(w) == "#32770" && GetWindow(w, GW_OWNER) == MainWindow() : title == TextOf(w)) &&
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
std::string MessageOf(HWND dialog) { return TextOf(FindWhere(IsMessage, dialog)); }

// A failed wait prints the program's dialogs and visible windows, each with its message.
int Failed(const char* what, const char* title) {
  std::printf("%s \"%s\"\n", what, title);
  DWORD program = 0, process = 0;
  GetWindowThreadProcessId(MainWindow(), &program);
  FindWhere([&](HWND w) {
    if (GetWindowThreadProcessId(w, &process) && process == program && (IsClass(w, "#32770") || IsWindowVisible(w)))
      std::printf("window class=%s title=%s visible=%d owned-by-dialog=%d text=%s\n", ClassOf(w).c_str(), TextOf(w).c_str(),
                  IsWindowVisible(w) ? 1 : 0, IsClass(GetWindow(w, GW_OWNER), "#32770") ? 1 : 0, MessageOf(w).c_str());
    return false;
  });
  return 1;
}

VARIANT Child(LONG id) {
  VARIANT v{};
  v.vt = VT_I4;
  v.lVal = id;
  return v;
}

std::string Text(IAccessible* a, LONG id, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*)) {
  BSTR text = nullptr;
  const std::string out = (a->*get)(Child(id), &text) == S_OK && text ? std::string(text, text + SysStringLen(text)) : "";
  SysFreeString(text);
  return out;
}

LONG Number(IAccessible* a, LONG id, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*)) {
  VARIANT v;
  return (a->*get)(Child(id), &v) == S_OK && v.vt == VT_I4 ? v.lVal : -1;
}

// Roles and states in the words oleacc gives readers to speak.
int Tree(IAccessible* a) {
  LONG count = 0;
  a->get_accChildCount(&count);
  std::printf("count %ld\n", count);
  std::string misses;
  for (LONG id = 1; id <= count; ++id) {
    const LONG role = Number(a, id, &IAccessible::get_accRole), state = Number(a, id, &IAccessible::get_accState);
    char word[64] = "";
    GetRoleTextA(static_cast<DWORD>(role), word, sizeof word);
    std::string line = std::to_string(id) + " " + word, action = Text(a, id, &IAccessible::get_accDefaultAction);
    line += " \"" + Text(a, id, &IAccessible::get_accName) + "\" \"" + Text(a, id, &IAccessible::get_accValue) + "\"";
    for (DWORD bit = 1; bit != 0; bit <<= 1) {
      if ((state & bit) && GetStateTextA(bit, word, sizeof word)) line += std::string(", ") + word;
    }
    std::printf("%s%s\n", line.c_str(), action.empty() ? "" : (" [" + action + "]").c_str());
    LONG x, y, w, h;
    VARIANT hit{};
    if ((state & STATE_SYSTEM_INVISIBLE) == 0 && a->accLocation(&x, &y, &w, &h, Child(id)) == S_OK &&
        (a->accHitTest(x + w / 2, y + h / 2, &hit) != S_OK || hit.vt != VT_I4 || hit.lVal != id))
      misses += " " + std::to_string(id);
  }
  std::printf("order");
  VARIANT at;
  for (HRESULT hr = a->accNavigate(NAVDIR_FIRSTCHILD, Child(CHILDID_SELF), &at); hr == S_OK && at.vt == VT_I4;
       hr = a->accNavigate(NAVDIR_NEXT, Child(at.lVal), &at))
    std::printf(" %ld", at.lVal);
  std::printf("\nhit test misses:%s\n", misses.empty() ? " none" : misses.c_str());
  return 0;
}

HWND g_window;
FILE* g_events;
void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND w, LONG object, LONG child, DWORD, DWORD) {
  static const struct { DWORD event; const char* name; } kEvents[] = {{EVENT_OBJECT_FOCUS, "focus"},
      {EVENT_OBJECT_VALUECHANGE, "value"}, {EVENT_OBJECT_STATECHANGE, "state"}, {EVENT_OBJECT_REORDER, "reorder"}};
  if (w != g_window || object != OBJID_CLIENT) return;
  for (const auto& e : kEvents) if (e.event == event) std::fprintf(g_events, "%s %ld\n", e.name, child), std::fflush(g_events);
}

int Events(const char* path) {
  DWORD process = 0;
  GetWindowThreadProcessId(g_window, &process);
  if ((g_events = std::fopen(path, "ab")) == nullptr ||
      !SetWinEventHook(EVENT_OBJECT_REORDER, EVENT_OBJECT_VALUECHANGE, nullptr, OnEvent, process, 0, WINEVENT_OUTOFCONTEXT))
    return 1;
  std::fprintf(g_events, "ready\n"), std::fflush(g_events);
  MSG msg;
  while (IsWindow(g_window)) {  // the hook's calls arrive through this thread's messages
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 200, QS_ALLINPUT);
  }
  return 0;
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
  CoInitialize(nullptr);
  g_window = w;
  if (verb == "events" && argc > 2) return Events(argv[2]);
  GUITHREADINFO focus{};
  focus.cbSize = sizeof focus;
  GetGUIThreadInfo(GetWindowThreadProcessId(g_window, nullptr), &focus);
  HWND target = verb != "describe" ? g_window : argc > 2 ? FindWindowA(nullptr, argv[2]) : focus.hwndFocus;
  IAccessible* a = nullptr;
  if (!target || FAILED(AccessibleObjectFromWindow(target, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&a))))
    return std::printf("no accessible object\n"), 1;
  const LONG id = argc > 2 ? std::atol(argv[2]) : 0;
  HRESULT hr = S_OK;
  if (verb == "tree") return Tree(a);
  if (verb == "describe") std::printf("%s\n%s\n", Text(a, CHILDID_SELF, &IAccessible::get_accName).c_str(),
                                      Text(a, CHILDID_SELF, &IAccessible::get_accDescription).c_str());
  else if (verb == "do") hr = a->accDoDefaultAction(Child(id));
  else if (verb == "focus") hr = a->accSelect(SELFLAG_TAKEFOCUS, Child(id));
  else if (verb == "set" && argc > 3) {
    std::wstring text(argv[3], argv[3] + std::char_traits<char>::length(argv[3]));
    BSTR value = SysAllocString(text.c_str());
    hr = a->put_accValue(Child(id), value);
    SysFreeString(value);
  } else {
    return std::fprintf(stderr, "usage: e2e-driver box|filedialog|nodialog|keys|tree|set|do|focus|events|describe ...\n"), 2;
  }
  a->Release();
  return hr == S_OK ? 0 : (std::printf("failed: 0x%08lx\n", static_cast<unsigned long>(hr)), 1);
}
