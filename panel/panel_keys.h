// The panel from the keyboard: the focus stops in Tab order, what each key does at each stop,
// and where the focus rectangle goes. Portable: the Win32 layer turns key messages into
// PanelKey values and draws; every decision is made here.
#pragma once

#include <cstdint>

#include "panel/panel_core.h"

// Focus stops in Tab order: the bus bar (one stop), bands 1 to 15 and the output gain, the
// bypass switch.
constexpr int32_t kFocusBusBar = 0;
constexpr int32_t kFocusFirstSlider = 1;  // + slider index
constexpr int32_t kFocusBypass = kFocusFirstSlider + kSliderCount;
constexpr int32_t kFocusStops = kFocusBypass + 1;

enum PanelKey : int32_t {
  kKeyTab,
  kKeyLeft,
  kKeyRight,
  kKeyUp,
  kKeyDown,
  kKeyPageUp,
  kKeyPageDown,
  kKeyHome,
  kKeyEnd,
  kKeyDelete,
  kKeyZero,
  kKeyEnter,
  kKeyF2,
  kKeySpace,
};
constexpr int32_t kKeyShift = 1;  // modifier bit: Shift held

// A press at (x, y) on a bus cell, a slider or the bypass switch moves the focus there;
// anywhere else the focus stays.
void FocusPanelAt(PanelState* panel, int32_t x, int32_t y);

// One key at the focus. Value keys change the slider as the pointer does (records 1 and 2,
// published); the bus bar's keys choose a bus as a click does. kKeyUnused for a key that means
// nothing at the focus; a key that only moves the focus gives kRedrawNothing.
PanelChange ApplyPanelKey(PanelState* panel, PanelKey key, int32_t modifiers);

// The knob's centre of a slider: where a right press would open the value editor.
void KnobCentre(const PanelState* panel, int32_t slider, int32_t* x, int32_t* y);

// The focus rectangle around the focused element: 3 pixels outside it, in the margins that no
// element's own redraw touches, so only a repaint of the panel draws or removes it.
PanelRect PanelFocusRect(const PanelState* panel);

// Where the focus rectangle belongs now: around the focused element while the cue is shown and
// the window has the focus, else nowhere (all zero). When that differs from where it was drawn,
// returns 1 with both places, and takes the new one as drawn.
int32_t FocusFrameMoved(PanelState* panel, PanelRect* drawn, PanelRect* now);
