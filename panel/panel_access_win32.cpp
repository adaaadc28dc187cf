// The panel's accessible object and its events: the portable description of panel_access.h
// handed to oleacc through the object of accessible_object_win32.h, and the one place that
// announces changes (AnnouncePanelChanges).
#include <oleacc.h>

#include "panel/accessible_object_win32.h"
#include "panel/panel_access.h"
#include "panel/panel_keys.h"
#include "panel/panel_win32.h"

namespace {

PanelState* Panel(void* context) { return static_cast<PanelState*>(context); }

int32_t ChildCount(void* context) { return PanelChildCount(Panel(context)); }

bool Text(void* context, HWND, int32_t child, AccessibleText kind, std::string* text) {
  // The panel itself is named by the window's title, through the standard object.
  if (child == 0) return false;
  const PanelState* panel = Panel(context);
  const char* action = PanelChildActionName(panel, child);
  switch (kind) {
    case kTextName: *text = PanelChildName(panel, child); break;
    case kTextValue: *text = PanelChildValue(panel, child); break;
    case kTextDefaultAction: *text = action ? action : ""; break;
    default: return false;
  }
  return !text->empty();
}

LONG Role(void*, int32_t child) {
  static constexpr LONG kRoles[] = {ROLE_SYSTEM_RADIOBUTTON, ROLE_SYSTEM_SLIDER, ROLE_SYSTEM_CHECKBUTTON,
                                    ROLE_SYSTEM_PROGRESSBAR, ROLE_SYSTEM_STATICTEXT};  // by PanelRole
  return kRoles[PanelChildRole(child)];
}

LONG State(void* context, int32_t child) {
  static constexpr struct { uint32_t panel; LONG system; } kStates[] = {
      {kStateChecked, STATE_SYSTEM_CHECKED},         {kStateFocusable, STATE_SYSTEM_FOCUSABLE},
      {kStateFocused, STATE_SYSTEM_FOCUSED},         {kStateUnavailable, STATE_SYSTEM_UNAVAILABLE},
      {kStateInvisible, STATE_SYSTEM_INVISIBLE},     {kStateReadOnly, STATE_SYSTEM_READONLY}};
  const uint32_t state = PanelChildState(Panel(context), child);
  LONG system = 0;
  for (const auto& s : kStates) system |= (state & s.panel) ? s.system : 0;
  return system;
}

bool Place(void* context, int32_t child, RECT* client) {
  const PanelRect r = PanelChildRect(Panel(context), child);
  *client = RECT{r.left, r.top, r.right, r.bottom};
  return true;
}

int32_t ChildAt(void* context, POINT client) { return PanelChildAt(Panel(context), client.x, client.y); }

int32_t Navigate(void* context, int32_t child, LONG direction) {
  switch (direction) {
    case NAVDIR_NEXT: return NavigatePanel(Panel(context), child, kNavNext);
    case NAVDIR_PREVIOUS: return NavigatePanel(Panel(context), child, kNavPrevious);
    case NAVDIR_FIRSTCHILD: return NavigatePanel(Panel(context), child, kNavFirst);
    case NAVDIR_LASTCHILD: return NavigatePanel(Panel(context), child, kNavLast);
    default: return 0;  // no spatial navigation: readers move through the reading order
  }
}

int32_t Focused(void* context) { return PanelFocusedChild(Panel(context)); }

bool TakeFocus(void* context, HWND window, int32_t child) {
  if (!FocusPanelChild(Panel(context), child)) return false;
  if (GetFocus() != window) SetFocus(window);
  AnnouncePanelChanges(Panel(context), window);
  return true;
}

bool DoDefaultAction(void* context, HWND window, int32_t child) {
  if (PanelChildActionName(Panel(context), child) == nullptr) return false;
  ShowPanelChange(Panel(context), window, DoPanelChildAction(Panel(context), child));
  return true;
}

// A slider takes text as the value editor does: its parsing and its limits.
bool SetValue(void* context, HWND window, int32_t child, const std::string& text) {
  const int32_t slider = SliderOfChild(child);
  if (slider < 0) return false;
  ShowPanelChange(Panel(context), window, ApplyTypedText(Panel(context), slider, text.c_str()));
  return true;
}

constexpr DWORD kWinEvents[] = {EVENT_OBJECT_FOCUS, EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_STATECHANGE,
                                EVENT_OBJECT_REORDER};  // by PanelEventKind

void Invalidate(HWND window, const PanelRect& r) {
  const RECT area{r.left, r.top, r.right, r.bottom};
  if (r.right > r.left) InvalidateRect(window, &area, FALSE);
}

}  // namespace

LRESULT AnswerPanelGetObject(PanelState* panel, HWND window, WPARAM wParam, LPARAM lParam) {
  const AccessibleModel model{panel, ChildCount, Text, Role, State, Place, ChildAt, Navigate, Focused,
                              TakeFocus, DoDefaultAction, SetValue};
  return AnswerGetObject(window, wParam, lParam, &model);
}

void AnnouncePanelChanges(PanelState* panel, HWND window) {
  PanelEvent events[kMaxPanelEvents];
  const int32_t count = CollectPanelEvents(panel, events);
  for (int32_t i = 0; i < count; ++i)
    NotifyWinEvent(kWinEvents[events[i].kind], window, OBJID_CLIENT, events[i].child == 0 ? CHILDID_SELF : events[i].child);
  // The rectangle is drawn only by the panel's repaint: both places are painted again.
  PanelRect drawn, now;
  if (FocusFrameMoved(panel, &drawn, &now)) {
    Invalidate(window, drawn);
    Invalidate(window, now);
  }
}
