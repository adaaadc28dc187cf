// The panel's portable state: the rectangles of the last full repaint, the pointer drag, the bus
// list the bar shows and the equalizer it edits. Plain records, no platform headers.
#pragma once

#include <cstdint>

#include "engine/geq15.h"

// Rectangles in client pixels. All zero until the first full repaint fills them, so the hit test
// and the element drawings work from the layout the user actually saw.
struct PanelGeometry {
  int32_t busLeft, busTop, busRight, busBottom;      // bus selector bar
  int32_t areaLeft, areaTop, areaRight, areaBottom;  // slider area (the skin): L, T, -, B
  int32_t inertLeft, inertTop, inertRight, inertBottom;
  int32_t bypassLeft, bypassTop, bypassRight, bypassBottom;
};

// Sliders of the panel: the fifteen bands, then the output gain.
constexpr int32_t kSliderCount = 16;

// A rectangle in client pixels.
struct PanelRect {
  int32_t left, top, right, bottom;
};

struct DragState {
  int32_t sliderIndex;    // slider dragged or last addressed by the wheel: 0..14 bands, 15 gain
  int32_t lastY;          // client y of the last applied press or move
  int32_t dragging;       // 1 while a slider drag is active
  int32_t mode;           // kHitSlider while a slider is addressed by a drag or the wheel, else 0
};

// The keyboard focus inside the panel.
struct PanelFocus {
  int32_t stop;      // the focus stop in Tab order (panel_keys.h), the bus bar at first
  int32_t cueShown;  // 1 once the keyboard was used: the focus rectangle may be drawn
  int32_t hasFocus;  // 1 while the window has the keyboard focus
};

// What screen readers and the focus rectangle were told last, so that every change, whatever
// made it (pointer, keyboard, editor, load, reset, import), is announced once.
struct PanelAnnounced {
  int32_t valid;                 // 0 until the first look: the state at start is not a change
  float values[kSliderCount];    // compared bit for bit, so a NaN from a file is no change each time
  int32_t bypass;
  int32_t selectedCell;          // the bus cell shown selected, or -1
  int32_t busCount;
  const char* const* busLabels;
  int32_t focusChild;            // child that got the last focus event; 0 while the window had no focus
  PanelRect focusFrame;          // where the focus rectangle was drawn; all zero when it was not
};

struct PanelState {
  PanelGeometry geometry;
  DragState drag;
  int32_t busCount;              // cells of the bus bar that name a bus
  const char* const* busLabels;  // the host type's label list, or null
  EngineContext* engine;         // the equalizer the panel edits and whose meters it shows
  PanelFocus focus;
  PanelAnnounced announced;
};
