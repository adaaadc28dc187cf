// A screen reader's view of VEZ-15 for the end-to-end tests: a separate process that reads and
// drives the main window's accessible object through oleacc (Wine marshals IAccessible between
// processes), and records the events the program fires.
//   tree                  every child: id role "name" "value", states [action], the reading
//                         order, and any child a hit test at its centre does not find
//   set CHILD TEXT | do CHILD | focus CHILD     put_accValue, default action, take the focus
//   events FILE           appends "focus|value|state|reorder CHILD" lines until the program ends
//   describe [TITLE]      name and description of the window with the keyboard focus, or of
//                         another window of the program by its title
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

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
  CoInitialize(nullptr);
  g_window = FindWindowA("MainWindowClass", nullptr);
  if (verb == "events" && argc > 2 && g_window) return Events(argv[2]);
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
    return std::fprintf(stderr, "usage: access-client tree|set|do|focus|events|describe ...\n"), 2;
  }
  a->Release();
  return hr == S_OK ? 0 : (std::printf("failed: 0x%08lx\n", static_cast<unsigned long>(hr)), 1);
}
