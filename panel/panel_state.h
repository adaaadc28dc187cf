// The panel's portable state kept in the application record: the rectangles of the last full
// repaint and the pointer drag. Plain records, no platform headers.
#pragma once

#include <cstdint>

// Rectangles in client pixels. All zero until the first full repaint fills them, so the hit test
// and the element drawings work from the layout the user actually saw.
struct PanelGeometry {
  int32_t busLeft, busTop, busRight, busBottom;      // bus selector bar
  int32_t areaLeft, areaTop, areaRight, areaBottom;  // slider area (the skin): L, T, -, B
  int32_t inertLeft, inertTop, inertRight, inertBottom;
  int32_t bypassLeft, bypassTop, bypassRight, bypassBottom;
};

struct DragState {
  void* previousCapture;  // window that held the pointer capture when the drag began (HWND)
  int32_t sliderIndex;    // slider dragged or last addressed by the wheel: 0..14 bands, 15 gain
  int32_t lastY;          // client y of the last applied press or move
  int32_t dragging;       // 1 while a slider drag is active
  int32_t mode;           // kHitSlider while a slider is addressed by a drag or the wheel, else 0
};
