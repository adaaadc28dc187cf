#include "panel/panel_access.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "panel/panel_keys.h"

namespace {

const char* const kSliderNames[kSliderCount] = {
    "Band 25 Hz",  "Band 40 Hz",   "Band 63 Hz",   "Band 100 Hz", "Band 160 Hz", "Band 250 Hz",
    "Band 400 Hz", "Band 630 Hz",  "Band 1 kHz",   "Band 1.6 kHz", "Band 2.5 kHz", "Band 4 kHz",
    "Band 6.3 kHz", "Band 10 kHz", "Band 16 kHz", "Output gain"};

// Reading order, left to right: the bar, the bands, the two meters, the gain, the switch.
int32_t ReadingOrder(const PanelState* panel, int32_t (&order)[kChildNotice]) {
  int32_t n = 0;
  if (NoticeShown(panel)) {
    order[n++] = kChildNotice;
  } else {
    for (int32_t i = 0; i < kBusCells; ++i) order[n++] = kChildBusCell + i;
  }
  for (int32_t j = 0; j < kBandCount; ++j) order[n++] = kChildSlider + j;
  order[n++] = kChildInputMeter;
  order[n++] = kChildOutputMeter;
  order[n++] = kChildSlider + kGainSlider;
  order[n++] = kChildBypass;
  return n;
}

bool IsBusCell(int32_t child) { return child >= kChildBusCell && child < kChildBusCell + kBusCells; }

const char* BusLabelOf(const PanelState* panel, int32_t cell) {
  return cell < panel->busCount && panel->busLabels ? panel->busLabels[cell] : "";
}

bool CellAvailable(const PanelState* panel, int32_t cell) {
  const char* label = BusLabelOf(panel, cell);
  return !NoticeShown(panel) && cell < panel->busCount && label != nullptr && label[0] != '\0';
}

// The cell the bar shows selected, or -1 (none, or the notice instead of cells).
int32_t SelectedCell(const PanelState* panel) {
  const int32_t bus = panel->engine->bus.load(std::memory_order_relaxed);
  return bus >= 0 && CellAvailable(panel, bus) ? bus : -1;
}

bool BypassOn(const PanelState* panel) {
  return panel->engine->filter != nullptr && panel->engine->filter->param[0].bypass != 0;
}

std::string Decibels(double db) {
  char text[32];
  // Rounded first, so that a value just below zero reads "+0.0 dB" and not "-0.0 dB".
  double shown = std::round(db * 10.0) / 10.0;
  std::snprintf(text, sizeof text, "%+.1f dB", shown == 0.0 ? 0.0 : shown);
  return text;
}

std::string MeterText(const PanelState* panel, int32_t child) {
  const float* peak = panel->engine->meterReadout.peak;
  const float level = child == kChildInputMeter ? MeterPairLevel(peak[0], peak[1]) : MeterPairLevel(peak[8], peak[9]);
  const double db = std::isnan(level) ? -200.0 : MeterLevelDb(level);
  return db <= -200.0 ? "Silent" : Decibels(db);
}

}  // namespace

bool NoticeShown(const PanelState* panel) { return panel->busCount < 1 || panel->busLabels == nullptr; }

int32_t PanelChildCount(const PanelState* panel) { return NoticeShown(panel) ? kChildNotice : kChildNotice - 1; }

int32_t SliderOfChild(int32_t child) {
  return child >= kChildSlider && child < kChildSlider + kSliderCount ? child - kChildSlider : -1;
}

PanelRole PanelChildRole(int32_t child) {
  if (IsBusCell(child)) return kRoleRadioButton;
  if (SliderOfChild(child) >= 0) return kRoleSlider;
  if (child == kChildBypass) return kRoleCheckButton;
  if (child == kChildInputMeter || child == kChildOutputMeter) return kRoleMeter;
  return kRoleStaticText;
}

const char* PanelSliderName(int32_t slider) { return slider >= 0 && slider < kSliderCount ? kSliderNames[slider] : ""; }

std::string PanelChildName(const PanelState* panel, int32_t child) {
  if (IsBusCell(child)) {
    const char* label = BusLabelOf(panel, child - kChildBusCell);
    return label ? label : "";
  }
  if (SliderOfChild(child) >= 0) return PanelSliderName(SliderOfChild(child));
  switch (child) {
    case kChildBypass: return "Bypass";
    case kChildInputMeter: return "Input level";
    case kChildOutputMeter: return "Output level";
    case kChildNotice: return kHostNotRunningNotice;
    default: return "";
  }
}

std::string PanelChildValue(const PanelState* panel, int32_t child) {
  const int32_t slider = SliderOfChild(child);
  if (slider >= 0 && panel->engine->filter) {
    const float v = SliderValue(panel->engine->filter, slider);
    return Decibels(std::isnan(v) ? 0.0 : v);  // NaN from a file sits, and works, as 0 dB
  }
  if (child == kChildInputMeter || child == kChildOutputMeter) return MeterText(panel, child);
  return "";
}

uint32_t PanelChildState(const PanelState* panel, int32_t child) {
  const bool focused = panel->focus.hasFocus && PanelFocusedChild(panel) == child;
  uint32_t state = focused ? kStateFocused : 0;
  if (IsBusCell(child)) {
    const int32_t cell = child - kChildBusCell;
    if (NoticeShown(panel)) return kStateInvisible | kStateUnavailable;
    state |= kStateFocusable;
    if (!CellAvailable(panel, cell)) state |= kStateUnavailable;
    if (cell == SelectedCell(panel)) state |= kStateChecked;
    return state;
  }
  if (SliderOfChild(child) >= 0) return state | kStateFocusable;
  if (child == kChildBypass) return state | kStateFocusable | (BypassOn(panel) ? kStateChecked : 0);
  if (child == kChildNotice) return state | kStateFocusable | kStateReadOnly;
  return state | kStateReadOnly;
}

PanelRect PanelChildRect(const PanelState* panel, int32_t child) {
  const PanelGeometry* g = &panel->geometry;
  if (IsBusCell(child)) return BusCellRect(g, child - kChildBusCell);
  const int32_t slider = SliderOfChild(child);
  if (slider >= 0) {
    // The knob's whole travel: what the slider's own redraw covers.
    const SliderColumn c = SliderColumnOf(g, slider);
    return PanelRect{c.x, c.trackTop - kKnobHalf, c.x + kKnobWidth, c.trackTop + c.trackLength + kKnobHalf};
  }
  const int32_t meterTop = g->areaTop + kMeterTop;
  switch (child) {
    case kChildBypass: return PanelRect{g->bypassLeft, g->bypassTop, g->bypassLeft + kBypassWidth, g->bypassTop + kBypassHeight};
    case kChildInputMeter:
    case kChildOutputMeter: {
      const int32_t left = g->areaLeft + (child == kChildInputMeter ? kInputMeterX : kOutputMeterX);
      return PanelRect{left, meterTop, left + kMeterWidth, meterTop + kMeterHeight};
    }
    case kChildNotice: return PanelRect{g->busLeft, g->busTop, g->busRight, g->busBottom};
    default: return PanelRect{0, 0, 0, 0};
  }
}

int32_t PanelChildAt(const PanelState* panel, int32_t x, int32_t y) {
  int32_t order[kChildNotice];
  const int32_t n = ReadingOrder(panel, order);
  for (int32_t i = 0; i < n; ++i) {
    const PanelRect r = PanelChildRect(panel, order[i]);
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return order[i];
  }
  return 0;
}

int32_t NavigatePanel(const PanelState* panel, int32_t child, PanelNavigation direction) {
  int32_t order[kChildNotice];
  const int32_t n = ReadingOrder(panel, order);
  if (direction == kNavFirst) return order[0];
  if (direction == kNavLast) return order[n - 1];
  for (int32_t i = 0; i < n; ++i) {
    if (order[i] != child) continue;
    const int32_t next = direction == kNavNext ? i + 1 : i - 1;
    return next >= 0 && next < n ? order[next] : 0;
  }
  return 0;
}

int32_t PanelFocusedChild(const PanelState* panel) {
  const int32_t stop = panel->focus.stop;
  if (stop == kFocusBypass) return kChildBypass;
  if (stop >= kFocusFirstSlider && stop < kFocusFirstSlider + kSliderCount) return kChildSlider + stop - kFocusFirstSlider;
  if (NoticeShown(panel)) return kChildNotice;
  const int32_t selected = SelectedCell(panel);
  return kChildBusCell + (selected >= 0 ? selected : 0);
}

int32_t FocusPanelChild(PanelState* panel, int32_t child) {
  const bool exists = child >= 1 && child <= PanelChildCount(panel);
  if (!exists || (PanelChildState(panel, child) & kStateFocusable) == 0) return 0;
  const int32_t slider = SliderOfChild(child);
  panel->focus.stop = child == kChildBypass ? kFocusBypass : slider >= 0 ? kFocusFirstSlider + slider : kFocusBusBar;
  return 1;
}

const char* PanelChildActionName(const PanelState* panel, int32_t child) {
  if (IsBusCell(child)) return CellAvailable(panel, child - kChildBusCell) ? "Check" : nullptr;
  if (child == kChildBypass && panel->engine->filter) return BypassOn(panel) ? "Uncheck" : "Check";
  return nullptr;
}

PanelChange DoPanelChildAction(PanelState* panel, int32_t child) {
  if (PanelChildActionName(panel, child) == nullptr) return PanelChange{kRedrawNothing, -1};
  return child == kChildBypass ? TogglePanelBypass(panel) : SelectPanelBus(panel, child - kChildBusCell);
}

int32_t CollectPanelEvents(PanelState* panel, PanelEvent (&events)[kMaxPanelEvents]) {
  PanelAnnounced& last = panel->announced;
  int32_t n = 0;
  const int32_t focused = panel->focus.hasFocus ? PanelFocusedChild(panel) : 0;
  if (focused != last.focusChild) {
    last.focusChild = focused;
    if (focused) events[n++] = PanelEvent{kEventFocus, focused};
  }
  const GEQ15Filter* filter = panel->engine->filter;
  if (filter == nullptr) return n;
  const int32_t bypass = BypassOn(panel) ? 1 : 0, selected = SelectedCell(panel);
  if (last.valid) {
    for (int32_t s = 0; s < kSliderCount; ++s) {
      const float v = SliderValue(filter, s);
      if (std::memcmp(&v, &last.values[s], sizeof v) != 0) events[n++] = PanelEvent{kEventValueChange, kChildSlider + s};
    }
    if (bypass != last.bypass) events[n++] = PanelEvent{kEventStateChange, kChildBypass};
    if (panel->busCount != last.busCount || panel->busLabels != last.busLabels) events[n++] = PanelEvent{kEventReorder, 0};
    if (selected != last.selectedCell) {
      if (last.selectedCell >= 0) events[n++] = PanelEvent{kEventStateChange, kChildBusCell + last.selectedCell};
      if (selected >= 0) events[n++] = PanelEvent{kEventStateChange, kChildBusCell + selected};
    }
  }
  for (int32_t s = 0; s < kSliderCount; ++s) last.values[s] = SliderValue(filter, s);
  last.bypass = bypass;
  last.selectedCell = selected;
  last.busCount = panel->busCount;
  last.busLabels = panel->busLabels;
  last.valid = 1;
  return n;
}
