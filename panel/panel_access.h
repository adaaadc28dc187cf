// The panel as a screen reader sees it: one child per element with its role, name, value, state
// and place, the actions a reader may take, and the changes to announce. Portable: the Win32
// layer only hands these answers to the platform's accessibility interface.
#pragma once

#include <cstdint>
#include <string>

#include "panel/panel_core.h"

// Child ids; 0 is the panel itself. They stay the same whatever is shown.
constexpr int32_t kChildBusCell = 1;                          // + cell 0..7
constexpr int32_t kChildSlider = kChildBusCell + kBusCells;   // + slider 0..15
constexpr int32_t kChildBypass = kChildSlider + kSliderCount;
constexpr int32_t kChildInputMeter = kChildBypass + 1;
constexpr int32_t kChildOutputMeter = kChildInputMeter + 1;
constexpr int32_t kChildNotice = kChildOutputMeter + 1;       // only while the notice is shown

enum PanelRole : int32_t { kRoleRadioButton, kRoleSlider, kRoleCheckButton, kRoleMeter, kRoleStaticText };

// State bits of a child.
constexpr uint32_t kStateChecked = 1;
constexpr uint32_t kStateFocusable = 2;
constexpr uint32_t kStateFocused = 4;
constexpr uint32_t kStateUnavailable = 8;
constexpr uint32_t kStateInvisible = 16;  // bus cells while the notice stands in their place
constexpr uint32_t kStateReadOnly = 32;

// True while the bus bar shows the host-not-running notice instead of its cells.
bool NoticeShown(const PanelState* panel);
// 27 children, 28 while the notice is shown; ids run from 1 to the count.
int32_t PanelChildCount(const PanelState* panel);
// The slider a child stands for, or -1.
int32_t SliderOfChild(int32_t child);

PanelRole PanelChildRole(int32_t child);
const char* PanelSliderName(int32_t slider);  // "Band 25 Hz" ... "Band 16 kHz", "Output gain"
std::string PanelChildName(const PanelState* panel, int32_t child);
// A slider's "+3.0 dB", a meter's level ("-23.0 dB", or "Silent"); empty for the rest.
std::string PanelChildValue(const PanelState* panel, int32_t child);
uint32_t PanelChildState(const PanelState* panel, int32_t child);
// The place a child is drawn: left and top inside, right and bottom just outside.
PanelRect PanelChildRect(const PanelState* panel, int32_t child);
// The child drawn at a client point, or 0.
int32_t PanelChildAt(const PanelState* panel, int32_t x, int32_t y);

enum PanelNavigation : int32_t { kNavNext, kNavPrevious, kNavFirst, kNavLast };
// Children in reading order (the bar, the bands, the meters, the gain, the switch), skipping
// what is not shown; 0 when there is no such child.
int32_t NavigatePanel(const PanelState* panel, int32_t child, PanelNavigation direction);

// The child of the focus stop: the bus bar's selected cell (its first cell when none is), the
// notice in its place, a slider or the switch.
int32_t PanelFocusedChild(const PanelState* panel);
// Gives the focus to a child's stop; 0 for a child that takes no focus (a meter).
int32_t FocusPanelChild(PanelState* panel, int32_t child);

// The default action: "Check" for a bus cell (choose it), "Check" or "Uncheck" for the switch;
// null where there is none.
const char* PanelChildActionName(const PanelState* panel, int32_t child);
PanelChange DoPanelChildAction(PanelState* panel, int32_t child);

enum PanelEventKind : int32_t { kEventFocus, kEventValueChange, kEventStateChange, kEventReorder };
struct PanelEvent {
  PanelEventKind kind;
  int32_t child;  // 0 for the panel itself
};
constexpr int32_t kMaxPanelEvents = 24;
// The events of what changed since the last call, focus first; meters announce nothing (twenty
// changes a second would drown the speech). Returns how many it wrote.
int32_t CollectPanelEvents(PanelState* panel, PanelEvent (&events)[kMaxPanelEvents]);
