#include "panel/panel_core.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// 20*log10(1 + k/128) for the top 7 mantissa bits: the meter needs no logarithm call per tick.
constexpr float kMantissaDb[128] = {
    0.0f, 0.0675948113f, 0.13466765f, 0.201226518f, 0.267279238f, 0.332833439f, 0.397896588f, 0.462475985f,
    0.526578784f, 0.590211928f, 0.653382361f, 0.71609664f, 0.77836132f, 0.840182841f, 0.901567519f, 0.962521374f,
    1.02305043f, 1.08316064f, 1.14285767f, 1.20214725f, 1.26103497f, 1.31952596f, 1.37762582f, 1.43533957f,
    1.49267232f, 1.54962921f, 1.606215f, 1.66243458f, 1.71829259f, 1.7737937f, 1.8289423f, 1.88374305f,
    1.93820024f, 1.99231815f, 2.04610085f, 2.09955263f, 2.15267754f, 2.20547938f, 2.25796247f, 2.31013012f,
    2.36198616f, 2.41353464f, 2.46477914f, 2.51572275f, 2.56636953f, 2.61672258f, 2.66678548f, 2.71656156f,
    2.76605392f, 2.81526589f, 2.86420059f, 2.91286111f, 2.96125078f, 3.009372f, 3.05722833f, 3.1048224f,
    3.15215707f, 3.1992352f, 3.24605942f, 3.29263282f, 3.33895755f, 3.38503671f, 3.43087268f, 3.47646785f,
    3.52182508f, 3.56694674f, 3.61183524f, 3.65649295f, 3.70092201f, 3.74512506f, 3.78910446f, 3.83286214f,
    3.87640047f, 3.91972184f, 3.96282792f, 4.00572157f, 4.04840374f, 4.09087801f, 4.13314486f, 4.17520761f,
    4.21706724f, 4.25872612f, 4.30018663f, 4.34144974f, 4.38251781f, 4.42339277f, 4.46407604f, 4.50457001f,
    4.54487562f, 4.58499527f, 4.62493038f, 4.66468287f, 4.70425415f, 4.74364614f, 4.78286028f, 4.82189798f,
    4.86076117f, 4.89945078f, 4.93796921f, 4.97631788f, 5.01449776f, 5.05251026f, 5.0903573f, 5.12804031f,
    5.16556025f, 5.20291901f, 5.24011755f, 5.27715778f, 5.31404066f, 5.35076761f, 5.38733959f, 5.42375851f,
    5.46002531f, 5.49614143f, 5.53210783f, 5.56792593f, 5.60359716f, 5.63912249f, 5.67450285f, 5.70973969f,
    5.74483442f, 5.77978754f, 5.81460094f, 5.84927511f, 5.88381147f, 5.91821098f, 5.95247507f, 5.98660421f,
};
static_assert(sizeof(kMantissaDb) / sizeof(kMantissaDb[0]) == 128, "one entry per 7-bit mantissa");

constexpr float kDbPerOctave = 6.0206f;    // 20*log10(2), one exponent step
constexpr float kSilence = 1e-10f;         // below this a meter reads -200 dB
constexpr float kDbPerPixel = 0.1f;        // drag step; applied in double precision
constexpr int32_t kDbPerNotchInSteps = 5;  // a wheel notch moves 5 drag steps (0.5 dB)

bool Inside(int32_t v, int32_t low, int32_t high) { return v >= low && v <= high; }

// Limits a value to the knob range; NaN has no position, so it counts as 0 dB.
float LimitToKnobRange(double v) {
  if (std::isnan(v)) return 0.0f;
  if (v < kGainMinDb) return kGainMinDb;
  if (v > kGainMaxDb) return kGainMaxDb;
  return static_cast<float>(v);
}

float* SliderField(GEQ15ChannelParam* p, int32_t slider) {
  return slider == kGainSlider ? &p->gain : &p->bands[slider];
}

}  // namespace

const char kHostNotRunningNotice[] = "Orlune is not running... Launch Orlune";

void ComputePanelGeometry(PanelGeometry* g, int32_t cl, int32_t ct, int32_t cr) {
  g->busLeft = cl + 10;
  g->busTop = ct + 10;
  g->busRight = cr - 10;
  g->busBottom = ct + 60;
  // The slider area is exactly the skin and does not follow the client width.
  g->areaLeft = cl + 10;
  g->areaTop = ct + 70;
  g->areaRight = cl + 670;
  g->areaBottom = ct + 247;
  g->inertLeft = cr - 100;
  g->inertTop = ct + 70;
  g->inertRight = cr - 20;
  g->inertBottom = ct + 95;
  g->bypassLeft = g->areaLeft + 627;
  g->bypassTop = g->areaTop + 138;
  g->bypassRight = g->areaLeft + 653;
  g->bypassBottom = g->areaTop + 162;
}

int32_t BusCellWidth(const PanelGeometry* g) { return (g->busRight - g->busLeft) / kBusCells; }

PanelRect BusCellRect(const PanelGeometry* g, int32_t cell) {
  int32_t w = BusCellWidth(g);
  int32_t left = g->busLeft + cell * w;
  return PanelRect{left, g->busTop, left + w - 10, g->busBottom};
}

SliderColumn SliderColumnOf(const PanelGeometry* g, int32_t slider) {
  int32_t height = g->areaBottom - g->areaTop;
  if (slider == kGainSlider) return SliderColumn{g->areaLeft + 592, g->areaTop + 33, height - 66};
  return SliderColumn{g->areaLeft + 15 + 32 * slider, g->areaTop + 25, height - 50};
}

int32_t PanelHitTest(const PanelGeometry* g, int32_t x, int32_t y, int32_t* slider) {
  if (Inside(x, g->inertLeft, g->inertRight) && Inside(y, g->inertTop, g->inertBottom)) return kHitInertZone;
  for (int32_t i = 0; i < kBusCells; ++i) {
    PanelRect r = BusCellRect(g, i);
    if (Inside(x, r.left, r.right) && Inside(y, r.top, r.bottom)) return kHitBusCell + i;
  }
  const int32_t L = g->areaLeft, T = g->areaTop, B = g->areaBottom;
  // In order, so the column shared by two neighbours goes to the lower index.
  for (int32_t j = 0; j < kBandCount; ++j) {
    if (Inside(x, L + 10 + 32 * j, L + 42 + 32 * j) && Inside(y, T + 10, B - 10)) {
      if (slider) *slider = j;
      return kHitSlider;
    }
  }
  if (Inside(x, L + 586, L + 618) && Inside(y, T + 15, B - 15)) {
    if (slider) *slider = kGainSlider;
    return kHitSlider;
  }
  if (Inside(x, g->bypassLeft, g->bypassRight) && Inside(y, g->bypassTop, g->bypassBottom)) return kHitBypassSwitch;
  return kHitNone;
}

int32_t KnobOffset(float value, int32_t trackLength) {
  if (trackLength <= 0) return 0;
  if (std::isnan(value)) value = 0.0f;
  const double span = static_cast<double>(kGainMaxDb) - kGainMinDb;
  double above = std::trunc((static_cast<double>(value) - kGainMinDb) * trackLength / span);
  // A settings file may carry values beyond the knob range: keep every copy inside the column.
  if (above < 0.0) above = 0.0;
  if (above > trackLength) above = trackLength;
  return trackLength - static_cast<int32_t>(above);
}

double MeterLevelDb(float level) {
  if (static_cast<double>(level) < static_cast<double>(kSilence)) return -200.0;
  uint32_t bits;
  std::memcpy(&bits, &level, sizeof bits);
  int32_t exponent = static_cast<int32_t>((bits >> 23) & 0xFF);
  uint32_t mantissaTop = (bits >> 16) & 0x7F;
  return static_cast<double>(kDbPerOctave) * (exponent - 127) + static_cast<double>(kMantissaDb[mantissaTop]);
}

float MeterPairLevel(float a, float b) { return (b > a || std::isnan(a)) ? b : a; }

int32_t MeterLitHeight(float level) {
  // NaN would otherwise read as a huge exponent and light the whole meter.
  if (std::isnan(level)) return 0;
  double lit = std::trunc((MeterLevelDb(level) + 66.0) * kMeterHeight / 72.0);
  if (lit < 0.0) return 0;
  if (lit > kMeterHeight) return kMeterHeight;
  return static_cast<int32_t>(lit);
}

float SliderValue(const GEQ15Filter* filter, int32_t slider) {
  const GEQ15ChannelParam& p = filter->param[0];
  return slider == kGainSlider ? p.gain : p.bands[slider];
}

float DragValue(float current, int32_t deltaY) {
  return LimitToKnobRange(static_cast<float>(current - deltaY * static_cast<double>(kDbPerPixel)));
}

float WheelValue(float current, int32_t steps) {
  double change = static_cast<double>(kDbPerNotchInSteps * steps) * static_cast<double>(kDbPerPixel);
  return LimitToKnobRange(static_cast<float>(current - change));
}

namespace {

// The typed value as a decimal number: white space, an optional sign, digits with an optional
// point and exponent. strtod alone would also read "inf", "nan" and hexadecimal "0x5"; to the user
// those are text without a number, which counts as 0 (a hexadecimal reading stops at the 'x').
double DecimalValue(const char* text) {
  const char* start = text;
  while (std::isspace(static_cast<unsigned char>(*start))) ++start;
  const char* digits = start + (*start == '+' || *start == '-' ? 1 : 0);
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  if (!isDigit(digits[0]) && !(digits[0] == '.' && isDigit(digits[1]))) return 0.0;
  if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) return 0.0;
  return std::strtod(start, nullptr);
}

}  // namespace

int32_t TypedValue(const char* text, float minimum, float maximum, float* value) {
  if (text == nullptr || text[0] == '\0') return 0;
  double v = DecimalValue(text);
  if (minimum > v) v = minimum;
  if (v > maximum) v = maximum;
  *value = static_cast<float>(v);
  return 1;
}

void StoreSliderValue(PanelState* panel, int32_t slider, float value) {
  GEQ15Filter* filter = panel->engine->filter;
  if (filter == nullptr || slider < 0 || slider >= kSliderCount) return;
  // The panel edits the stereo pair as one: records 1 and 2 always change together.
  GEQ15ChannelParam records[kChannelRecords];
  std::memcpy(records, filter->param, sizeof records);
  *SliderField(&records[0], slider) = value;
  *SliderField(&records[1], slider) = value;
  GEQ15_SetParams(panel->engine, records);
}

PanelChange SelectPanelBus(PanelState* panel, int32_t cell) {
  if (cell < 0 || cell >= panel->busCount) return PanelChange{kRedrawNothing, -1};
  GEQ15_SetBus(panel->engine, cell);
  return PanelChange{kRedrawBusBar, -1};
}

PanelChange TogglePanelBypass(PanelState* panel) {
  GEQ15Filter* filter = panel->engine->filter;
  if (filter == nullptr) return PanelChange{kRedrawNothing, -1};
  GEQ15ChannelParam records[kChannelRecords];
  std::memcpy(records, filter->param, sizeof records);
  records[0].bypass = records[1].bypass = filter->param[0].bypass == 0 ? 1 : 0;
  GEQ15_SetParams(panel->engine, records);
  return PanelChange{kRedrawBypass, -1};
}

PanelChange ApplyLeftPress(PanelState* panel, int32_t x, int32_t y) {
  int32_t slider = -1;
  int32_t hit = PanelHitTest(&panel->geometry, x, y, &slider);
  if (hit >= kHitBusCell && hit < kHitBusCell + kBusCells) return SelectPanelBus(panel, hit - kHitBusCell);
  if (hit == kHitSlider) {
    // The value does not change on the press; only movement from here on counts.
    panel->drag.sliderIndex = slider;
    panel->drag.lastY = y;
    panel->drag.dragging = 1;
    panel->drag.mode = kHitSlider;
    return PanelChange{kDragStarted, slider};
  }
  if (hit == kHitBypassSwitch) return TogglePanelBypass(panel);
  return PanelChange{kRedrawNothing, -1};
}

PanelChange ApplyPointerMove(PanelState* panel, int32_t y) {
  DragState& d = panel->drag;
  if (!d.dragging || y == d.lastY || panel->engine->filter == nullptr) return PanelChange{kRedrawNothing, -1};
  float value = DragValue(SliderValue(panel->engine->filter, d.sliderIndex), y - d.lastY);
  d.lastY = y;
  StoreSliderValue(panel, d.sliderIndex, value);
  return PanelChange{kRedrawSlider, d.sliderIndex};
}

PanelChange ApplyDoubleClick(PanelState* panel, int32_t x, int32_t y) {
  int32_t slider = -1;
  if (panel->drag.dragging || panel->engine->filter == nullptr) return PanelChange{kRedrawNothing, -1};
  if (PanelHitTest(&panel->geometry, x, y, &slider) != kHitSlider) return PanelChange{kRedrawNothing, -1};
  StoreSliderValue(panel, slider, 0.0f);
  return PanelChange{kRedrawSlider, slider};
}

int32_t WheelSteps(int16_t wheelDelta) { return static_cast<int32_t>(wheelDelta) / -120; }

PanelChange ApplyWheelStep(PanelState* panel, int32_t steps) {
  int32_t slider = panel->drag.sliderIndex;
  if (panel->drag.dragging || panel->engine->filter == nullptr || slider < 0 || slider >= kSliderCount)
    return PanelChange{kRedrawNothing, -1};
  // A partial notch (0 steps) still stores, publishes and redraws the unchanged value.
  StoreSliderValue(panel, slider, WheelValue(SliderValue(panel->engine->filter, slider), steps));
  return PanelChange{kRedrawSlider, slider};
}

PanelChange ApplyTypedText(PanelState* panel, int32_t slider, const char* text) {
  float value;
  if (panel->engine->filter == nullptr || slider < 0 || slider >= kSliderCount) return PanelChange{kRedrawNothing, -1};
  if (!TypedValue(text, panel->engine->gainMin, panel->engine->gainMax, &value)) return PanelChange{kRedrawNothing, -1};
  StoreSliderValue(panel, slider, value);
  return PanelChange{kRedrawSlider, slider};
}

int32_t EndPanelDrag(PanelState* panel) {
  if (!panel->drag.dragging) return 0;
  panel->drag.dragging = 0;
  panel->drag.mode = 0;
  return 1;
}
