// Key messages for the panel: the keys of panel_keys.h, the keyboard focus entering and leaving
// the window, and the keyboard cues. System keys (Alt combinations, F10) arrive as WM_SYSKEYDOWN,
// which never comes here: the platform's default handling keeps them working.
#include "panel/panel_keys.h"
#include "panel/panel_win32.h"

namespace {

bool KeyOf(WPARAM vk, PanelKey* key) {
  static constexpr struct { WPARAM vk; PanelKey key; } kKeys[] = {
      {VK_TAB, kKeyTab},     {VK_LEFT, kKeyLeft},       {VK_RIGHT, kKeyRight}, {VK_UP, kKeyUp},
      {VK_DOWN, kKeyDown},   {VK_PRIOR, kKeyPageUp},    {VK_NEXT, kKeyPageDown}, {VK_HOME, kKeyHome},
      {VK_END, kKeyEnd},     {VK_DELETE, kKeyDelete},   {VK_RETURN, kKeyEnter}, {VK_F2, kKeyF2},
      {VK_SPACE, kKeySpace}};
  for (const auto& k : kKeys) {
    if (k.vk == vk) return *key = k.key, true;
  }
  return false;
}

// The keyboard was used: from now on the focus rectangle is shown. The window's UI state says
// so too, for whoever asks it; where the platform keeps no UI state the panel's own flag stands.
void ShowFocusCue(PanelState* panel, HWND window) {
  if (panel->focus.cueShown) return;
  panel->focus.cueShown = 1;
  SendMessageA(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

bool ApplyKey(PanelState* panel, HWND window, PanelKey key, int32_t modifiers) {
  const PanelChange change = ApplyPanelKey(panel, key, modifiers);
  if (change.redraw == kKeyUnused) return false;
  ShowFocusCue(panel, window);
  if (change.redraw == kOpenEditor) {
    int32_t x, y;
    KnobCentre(panel, change.slider, &x, &y);
    EditPanelSlider(panel, change.slider, x, y, window);
  } else {
    ShowPanelChange(panel, window, change);
  }
  return true;
}

}  // namespace

bool RoutePanelKeyMessage(PanelState* panel, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  PanelKey key;
  switch (message) {
    case WM_KEYDOWN:
      return KeyOf(wParam, &key) && ApplyKey(panel, window, key, GetKeyState(VK_SHIFT) < 0 ? kKeyShift : 0);
    case WM_CHAR:  // the typed 0, whatever key the keyboard layout gives it
      return wParam == '0' && ApplyKey(panel, window, kKeyZero, 0);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      panel->focus.hasFocus = message == WM_SETFOCUS ? 1 : 0;
      AnnouncePanelChanges(panel, window);
      return true;
    case WM_UPDATEUISTATE:
      // The platform keeps the window's UI state; the panel follows what it says of the focus.
      DefWindowProcA(window, message, wParam, lParam);
      if (HIWORD(wParam) & UISF_HIDEFOCUS) {
        const bool hidden = LOWORD(wParam) == UIS_INITIALIZE
                                ? (SendMessageA(window, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) != 0
                                : LOWORD(wParam) == UIS_SET;
        panel->focus.cueShown = hidden ? 0 : 1;
        AnnouncePanelChanges(panel, window);
      }
      return true;
    default:
      return false;
  }
}
