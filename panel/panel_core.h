// The panel's arithmetic: layout, hit test, knob and meter mapping and the value edits of drag,
// wheel, typed text, double click and the bypass switch. Portable: the Win32 layer calls these
// and only adds pointer capture and drawing.
#pragma once

#include <cstdint>

#include "panel/panel_state.h"

// Hit codes of PanelHitTest.
constexpr int32_t kHitNone = -1;
constexpr int32_t kHitInertZone = 49;
constexpr int32_t kHitBusCell = 50;  // + cell index 0..7
constexpr int32_t kHitSlider = 100;
constexpr int32_t kHitBypassSwitch = 200;

constexpr int32_t kBusCells = 8;
constexpr int32_t kGainSlider = 15;

// Layout constants of the skin (slider area origin L, T).
constexpr int32_t kSkinWidth = 660;
constexpr int32_t kSkinHeight = 177;
constexpr int32_t kKnobWidth = 22;
constexpr int32_t kKnobHeight = 38;
constexpr int32_t kKnobHalf = 19;  // the knob is centred on its track position
constexpr int32_t kMeterWidth = 10;
constexpr int32_t kMeterHeight = 105;
constexpr int32_t kMeterTop = 33;  // offset from T
constexpr int32_t kInputMeterX = 521;   // offset from L
constexpr int32_t kOutputMeterX = 537;  // offset from L
constexpr int32_t kBypassWidth = 26;
constexpr int32_t kBypassHeight = 24;
constexpr int32_t kScaleRows = 5;
constexpr int32_t kScaleColumn1 = 3, kScaleColumn2 = 488;  // offsets from L, 14 pixels wide

// What the bus bar shows while the host is not running.
extern const char kHostNotRunningNotice[];

// Fills the geometry from the client rectangle (left, top, right).
void ComputePanelGeometry(PanelGeometry* g, int32_t clientLeft, int32_t clientTop, int32_t clientRight);

int32_t BusCellWidth(const PanelGeometry* g);
PanelRect BusCellRect(const PanelGeometry* g, int32_t cell);  // both ends belong to the cell

// One slider's knob column: left x, track top t and track length h, in client pixels.
struct SliderColumn {
  int32_t x, trackTop, trackLength;
};
SliderColumn SliderColumnOf(const PanelGeometry* g, int32_t slider);

// Hit code at a client point; the slider index goes to *slider when given.
int32_t PanelHitTest(const PanelGeometry* g, int32_t x, int32_t y, int32_t* slider);

// Knob offset below the track top, always within 0..trackLength (a settings file may carry values
// outside the knob range, and NaN sits at the 0 dB position).
int32_t KnobOffset(float value, int32_t trackLength);

// Meter level in dB from the float's bits (no logarithm call): -200 below the silence threshold.
double MeterLevelDb(float level);
// The level a meter shows for a channel pair: the larger one; a NaN entry never wins over a level.
float MeterPairLevel(float a, float b);
// Lit rows of a meter, 0..kMeterHeight. NaN lights nothing.
int32_t MeterLitHeight(float level);

// The value the panel shows for a slider: record 1's band gain or output gain.
float SliderValue(const GEQ15Filter* filter, int32_t slider);

// Value changes. Each returns the new value, already limited.
float DragValue(float current, int32_t deltaY);    // 0.1 dB per pixel, up raises
float WheelValue(float current, int32_t steps);    // 0.5 dB per step, negative steps raise
// Reads typed text as a decimal number (text without one, such as "abc", "inf" or "0x5", gives
// 0) and limits it to minimum..maximum. Returns 0 when the text is empty (nothing to apply), 1
// with *value set.
int32_t TypedValue(const char* text, float minimum, float maximum, float* value);

// What a pointer action changed, so the caller redraws exactly that element.
enum PanelRedraw : int32_t {
  kRedrawNothing = 0,
  kRedrawSlider = 1,  // the slider in PanelChange::slider
  kRedrawBusBar = 2,
  kRedrawBypass = 3,
  kDragStarted = 4,   // a drag began on PanelChange::slider; the caller captures the pointer
  kOpenEditor = 5,    // a key asked for the value editor of PanelChange::slider
  kKeyUnused = 6,     // a key the panel has no use for: the caller passes it on
};
struct PanelChange {
  PanelRedraw redraw;
  int32_t slider;
};

// Writes a slider value into records 1 and 2 and publishes. Records 3..8 are never touched.
void StoreSliderValue(PanelState* panel, int32_t slider, float value);

// Chooses bus cell `cell` as a click on it does: only a cell that names a bus (below busCount).
PanelChange SelectPanelBus(PanelState* panel, int32_t cell);
// Turns the bypass switch of records 1 and 2 over and publishes.
PanelChange TogglePanelBypass(PanelState* panel);

// The pointer actions of the panel, without capture or drawing.
PanelChange ApplyLeftPress(PanelState* panel, int32_t x, int32_t y);
PanelChange ApplyPointerMove(PanelState* panel, int32_t y);
PanelChange ApplyDoubleClick(PanelState* panel, int32_t x, int32_t y);
PanelChange ApplyWheelStep(PanelState* panel, int32_t steps);
// Steps for a wheel delta (the signed high word): one notch away from the user is -1, towards
// the user +1, less than a notch 0.
int32_t WheelSteps(int16_t wheelDelta);
// Applies typed editor text to a slider; empty or null text changes nothing.
PanelChange ApplyTypedText(PanelState* panel, int32_t slider, const char* text);
// Ends a drag in the record (the caller releases the capture). Returns 1 when a drag was active.
int32_t EndPanelDrag(PanelState* panel);
