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

struct DragState {
  int32_t sliderIndex;    // slider dragged or last addressed by the wheel: 0..14 bands, 15 gain
  int32_t lastY;          // client y of the last applied press or move
  int32_t dragging;       // 1 while a slider drag is active
  int32_t mode;           // kHitSlider while a slider is addressed by a drag or the wheel, else 0
};

struct PanelState {
  PanelGeometry geometry;
  DragState drag;
  int32_t busCount;              // cells of the bus bar that name a bus
  const char* const* busLabels;  // the host type's label list, or null
  EngineContext* engine;         // the equalizer the panel edits and whose meters it shows
};
