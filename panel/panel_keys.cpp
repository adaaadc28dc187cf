#include "panel/panel_keys.h"

#include <cstring>

#include "panel/panel_access.h"

namespace {

constexpr int32_t kNotchesPerPage = 6;  // Page Up and Page Down: 3 dB, six wheel notches

PanelChange Handled() { return PanelChange{kRedrawNothing, -1}; }
PanelChange Unused() { return PanelChange{kKeyUnused, -1}; }

// Left and Right step through the buses that a click could choose; Home and End go to the ends.
PanelChange BusBarKey(PanelState* panel, PanelKey key) {
  const int32_t count = panel->busCount, bus = panel->engine->bus.load(std::memory_order_relaxed);
  const int32_t current = bus >= 0 && bus < count ? bus : -1;
  int32_t cell;
  switch (key) {
    case kKeyLeft: cell = current > 0 ? current - 1 : 0; break;
    case kKeyRight: cell = current < count - 1 ? current + 1 : count - 1; break;
    case kKeyHome: cell = 0; break;
    case kKeyEnd: cell = count - 1; break;
    default: return Unused();
  }
  return count > 0 ? SelectPanelBus(panel, cell) : Handled();
}

PanelChange SliderKey(PanelState* panel, int32_t slider, PanelKey key, int32_t modifiers) {
  const bool fine = (modifiers & kKeyShift) != 0;
  GEQ15Filter* filter = panel->engine->filter;
  const float v = filter ? SliderValue(filter, slider) : 0.0f;
  float value;
  switch (key) {
    case kKeyLeft:
    case kKeyRight: {
      // To the neighbouring slider; the ends stay where they are.
      const int32_t next = slider + (key == kKeyLeft ? -1 : 1);
      if (next >= 0 && next < kSliderCount) panel->focus.stop = kFocusFirstSlider + next;
      return Handled();
    }
    // Shift: one pixel of drag; otherwise one wheel notch. Up raises.
    case kKeyUp: value = fine ? DragValue(v, -1) : WheelValue(v, -1); break;
    case kKeyDown: value = fine ? DragValue(v, 1) : WheelValue(v, 1); break;
    case kKeyPageUp: value = WheelValue(v, -kNotchesPerPage); break;
    case kKeyPageDown: value = WheelValue(v, kNotchesPerPage); break;
    case kKeyHome: value = kGainMaxDb; break;
    case kKeyEnd: value = kGainMinDb; break;
    case kKeyDelete:
    case kKeyZero: value = 0.0f; break;  // as a double click
    case kKeyEnter:
    case kKeyF2: return PanelChange{kOpenEditor, slider};
    default: return Unused();
  }
  if (filter == nullptr) return Handled();
  StoreSliderValue(panel, slider, value);
  return PanelChange{kRedrawSlider, slider};
}

}  // namespace

void FocusPanelAt(PanelState* panel, int32_t x, int32_t y) {
  int32_t slider = -1;
  const int32_t hit = PanelHitTest(&panel->geometry, x, y, &slider);
  if (hit >= kHitBusCell && hit < kHitBusCell + kBusCells) panel->focus.stop = kFocusBusBar;
  else if (hit == kHitSlider) panel->focus.stop = kFocusFirstSlider + slider;
  else if (hit == kHitBypassSwitch) panel->focus.stop = kFocusBypass;
}

PanelChange ApplyPanelKey(PanelState* panel, PanelKey key, int32_t modifiers) {
  int32_t& stop = panel->focus.stop;
  if (key == kKeyTab) {
    stop = (stop + ((modifiers & kKeyShift) ? kFocusStops - 1 : 1)) % kFocusStops;
    return Handled();
  }
  if (stop == kFocusBusBar) return BusBarKey(panel, key);
  if (stop == kFocusBypass) return key == kKeySpace ? TogglePanelBypass(panel) : Unused();
  return SliderKey(panel, stop - kFocusFirstSlider, key, modifiers);
}

void KnobCentre(const PanelState* panel, int32_t slider, int32_t* x, int32_t* y) {
  const SliderColumn c = SliderColumnOf(&panel->geometry, slider);
  const float value = panel->engine->filter ? SliderValue(panel->engine->filter, slider) : 0.0f;
  *x = c.x + kKnobWidth / 2;
  *y = c.trackTop + KnobOffset(value, c.trackLength);
}

PanelRect PanelFocusRect(const PanelState* panel) {
  const PanelRect r = PanelChildRect(panel, PanelFocusedChild(panel));
  return PanelRect{r.left - 3, r.top - 3, r.right + 3, r.bottom + 3};
}

int32_t FocusFrameMoved(PanelState* panel, PanelRect* drawn, PanelRect* now) {
  const bool shown = panel->focus.cueShown && panel->focus.hasFocus;
  *now = shown ? PanelFocusRect(panel) : PanelRect{0, 0, 0, 0};
  *drawn = panel->announced.focusFrame;
  if (std::memcmp(drawn, now, sizeof *now) == 0) return 0;
  panel->announced.focusFrame = *now;
  return 1;
}
