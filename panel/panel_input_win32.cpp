// Pointer input on the panel and the popup value editor. The decisions are made by the portable
// core; this layer captures the pointer, runs the editor and redraws the one changed element.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "panel/panel_access.h"
#include "panel/panel_keys.h"
#include "panel/panel_win32.h"

namespace {

constexpr int32_t kEditorWidth = 84;
constexpr int32_t kEditorHeight = 25;
constexpr int32_t kEditControlId = 10;
constexpr DWORD kEditorStyle = 0x92800180;  // WS_POPUP|WS_VISIBLE|WS_CLIPCHILDREN|WS_BORDER|DS_MODALFRAME|DS_NOIDLEMSG
constexpr uint32_t kEditorColours = 0 | (14 << 4);  // black text on light grey
constexpr size_t kTemplateBytes = 1024;

// Only one editor is ever open, so the edit field's own procedure can live here.
WNDPROC g_editPreviousProc;

// The window that held the pointer capture when the drag began; given back when it ends.
HWND g_previousCapture;

void ForgetEditor(HWND dialog) {
  if (KL2CTL_OpenEditor() == dialog) KL2CTL_SetOpenEditor(nullptr);
}

void CloseOpenEditor() {
  HWND open = KL2CTL_OpenEditor();
  if (open) SendMessageA(open, WM_CLOSE, 0, 0);  // returns once the editor has handled it
}

}  // namespace

void ShowPanelChange(PanelState* panel, HWND window, const PanelChange& change) {
  const bool drawn = change.redraw == kRedrawSlider || change.redraw == kRedrawBusBar || change.redraw == kRedrawBypass;
  HDC dc = drawn ? GetDC(window) : nullptr;
  if (dc) {
    if (change.redraw == kRedrawSlider) DrawSlider(panel, change.slider, dc);
    else if (change.redraw == kRedrawBusBar) DrawBusBar(panel, dc);
    else DrawBypassSwitch(panel, dc);
    ReleaseDC(window, dc);
  }
  AnnouncePanelChanges(panel, window);
}

void EditPanelSlider(PanelState* panel, int32_t slider, int32_t x, int32_t y, HWND window) {
  AnnouncePanelChanges(panel, window);  // the focus came to the slider before the editor takes it
  char* typed = nullptr;
  if (!panel->drag.dragging && panel->engine->filter) {
    char text[64];
    std::snprintf(text, sizeof text, "%0.1f", SliderValue(panel->engine->filter, slider));
    POINT p{x, y};
    ClientToScreen(window, &p);
    typed = OpenPopupEditor(window, p.x - 2, p.y - 2, kEditorWidth, text, PanelSliderName(slider));
  }
  ShowPanelChange(panel, window, ApplyTypedText(panel, slider, typed));
  std::free(typed);
}

void PanelPress(PanelState* panel, int32_t x, int32_t y, HWND window, int32_t rightButton) {
  FocusPanelAt(panel, x, y);  // announced with what the press does
  if (rightButton) {
    int32_t slider = -1;
    if (PanelHitTest(&panel->geometry, x, y, &slider) == kHitSlider) EditPanelSlider(panel, slider, x, y, window);
    else AnnouncePanelChanges(panel, window);
    return;
  }
  PanelChange change = ApplyLeftPress(panel, x, y);
  // The capture keeps the moves coming when the pointer leaves the column or the window.
  if (change.redraw == kDragStarted) g_previousCapture = SetCapture(window);
  ShowPanelChange(panel, window, change);
}

void PanelPointerMove(PanelState* panel, int32_t y, HWND window) {
  ShowPanelChange(panel, window, ApplyPointerMove(panel, y));
}

void PanelDoubleClick(PanelState* panel, int32_t x, int32_t y, HWND window) {
  ShowPanelChange(panel, window, ApplyDoubleClick(panel, x, y));
}

void PanelWheelStep(PanelState* panel, int32_t steps, HWND window) {
  ShowPanelChange(panel, window, ApplyWheelStep(panel, steps));
}

void ReleasePanelDrag(PanelState* panel) {
  if (!EndPanelDrag(panel)) return;
  HWND previous = g_previousCapture;
  g_previousCapture = nullptr;
  ReleaseCapture();
  if (previous) SetCapture(previous);
}

bool RoutePanelPointerMessage(PanelState* panel, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const int32_t x = static_cast<int16_t>(LOWORD(lParam)), y = static_cast<int16_t>(HIWORD(lParam));
  switch (message) {
    case WM_MOUSEMOVE:
      if (panel->drag.mode == kHitSlider) PanelPointerMove(panel, y, window);
      return true;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      PanelPress(panel, x, y, window, message == WM_RBUTTONDOWN ? 1 : 0);
      return true;
    case WM_LBUTTONDBLCLK:
      PanelDoubleClick(panel, x, y, window);
      return true;
    case WM_LBUTTONUP:
    case WM_CANCELMODE:
      ReleasePanelDrag(panel);
      return true;
    case WM_MOUSEWHEEL: {
      // The wheel's position is on the screen; the knob under it takes the steps.
      if (panel->drag.dragging) return true;
      POINT p{x, y};
      ScreenToClient(window, &p);
      int32_t slider = -1;
      if (PanelHitTest(&panel->geometry, p.x, p.y, &slider) != kHitSlider) return true;
      panel->drag.sliderIndex = slider;
      panel->drag.mode = kHitSlider;
      PanelWheelStep(panel, WheelSteps(static_cast<int16_t>(HIWORD(wParam))), window);
      return true;
    }
    default:
      return false;
  }
}

char* OpenPopupEditor(HWND owner, int32_t x, int32_t y, int32_t width, const char* text, const char* fieldName) {
  CloseOpenEditor();
  PopupEditRequest request{};
  request.x = x;
  request.y = y;
  request.width = width;
  request.height = kEditorHeight;
  request.accepted = 0;
  request.colours = kEditorColours;
  request.initialText = text;
  request.fontSlot = kFontSlotEditor;
  request.fieldName = fieldName;

  // An in-memory template with no controls: the edit field is made at dialog initialisation.
  HGLOBAL memory = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, kTemplateBytes);
  if (memory == nullptr) return nullptr;
  auto* dialogTemplate = static_cast<DLGTEMPLATE*>(memory);
  dialogTemplate->style = kEditorStyle;
  HINSTANCE instance = KL2CTL_Instance() ? KL2CTL_Instance() : GetModuleHandleA(nullptr);
  DialogBoxIndirectParamA(instance, dialogTemplate, owner, PopupEditorProc, reinterpret_cast<LPARAM>(&request));
  GlobalFree(memory);

  if (request.accepted != 1) return nullptr;
  size_t length = std::strlen(request.result);
  char* copy = static_cast<char*>(std::malloc(length + 2));
  if (copy) std::memcpy(copy, request.result, length + 1);
  return copy;
}

INT_PTR CALLBACK PopupEditorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* request = reinterpret_cast<PopupEditRequest*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      request = reinterpret_cast<PopupEditRequest*>(lParam);
      KL2CTL_SetOpenEditor(dialog);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      int32_t border = 0;
      GetPopupFrameMetrics(nullptr, nullptr, &border);
      // A hidden label just before the edit field names it for screen readers, as a visible
      // label would ("Band 1 kHz"); oleacc takes an edit field's name from the label before it.
      HWND label = CreateWindowExA(0, "static", request->fieldName ? request->fieldName : "", WS_CHILD, 0, 0, 0, 0,
                                   dialog, nullptr, reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE)),
                                   nullptr);
      HWND edit = CreateWindowExA(WS_EX_CLIENTEDGE, "edit", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0,
                                  request->width, request->height, dialog,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditControlId)),
                                  reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE)), nullptr);
      request->editControl = edit;
      if (label) SetWindowPos(label, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      if (edit) {
        g_editPreviousProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PopupKeyFilter)));
        SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(KL2CTL_Font(request->fontSlot)), TRUE);
        SendMessageA(edit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(2, 2));
        SetWindowTextA(edit, request->initialText ? request->initialText : "");
        SendMessageA(edit, EM_SETSEL, 0, -1);
      }
      SetWindowPos(dialog, nullptr, request->x, request->y, request->width + 2 * border,
                   request->height + 2 * border, SWP_NOZORDER | SWP_SHOWWINDOW);
      if (edit) SetFocus(edit);
      return 0;  // the focus is set
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK && request) {
        GetWindowTextA(request->editControl, request->result, sizeof request->result);
        request->accepted = 1;
        ForgetEditor(dialog);
        EndDialog(dialog, 0);
        return 0;
      }
      if (LOWORD(wParam) == kEditControlId && HIWORD(wParam) == EN_KILLFOCUS) {
        if (GetFocus() != dialog) {
          ForgetEditor(dialog);
          EndDialog(dialog, 0);
          return 1;
        }
      }
      return 0;
    case WM_KILLFOCUS: {
      HWND focus = reinterpret_cast<HWND>(wParam);
      if (focus != dialog && (request == nullptr || focus != request->editControl)) {
        EndDialog(dialog, 0);
        return 1;
      }
      return 0;
    }
    case WM_CLOSE:
    case WM_CANCELMODE:
    case WM_SYSKEYDOWN:
    case WM_SYSCOMMAND:
      EndDialog(dialog, 0);
      return 1;
    case WM_CTLCOLOREDIT: {
      uint32_t colours = request ? request->colours : kEditorColours;
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetBkColor(dc, KL2CTL_Color((colours >> 4) & 15));
      SetTextColor(dc, KL2CTL_Color(colours & 15));
      return reinterpret_cast<INT_PTR>(KL2CTL_Brush((colours >> 4) & 15));
    }
    case WM_DESTROY:
      ForgetEditor(dialog);
      return 0;
    default:
      return 0;
  }
}

LRESULT CALLBACK PopupKeyFilter(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
  if ((message == WM_KEYDOWN || message == WM_KEYUP) && (wParam == VK_RETURN || wParam == VK_ESCAPE)) {
    // The press acts; the release is only consumed. Enter that opened the editor from the
    // keyboard is released inside it, and must not confirm the value before anything is typed.
    HWND dialog = GetParent(edit);
    if (message == WM_KEYUP) return 1;
    if (wParam == VK_RETURN) PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    else PostMessageA(dialog, WM_CLOSE, 0, 0);
    return 1;
  }
  return CallWindowProcA(g_editPreviousProc, edit, message, wParam, lParam);
}
