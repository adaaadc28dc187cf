// Draws the panel straight into the given device context. Elements are painted over each other in
// a fixed order and every copy comes from a memory context made for that one copy, so nothing
// needs an off-screen buffer and an element can be redrawn alone.
#include <cstdio>

#include "panel/panel_win32.h"

namespace {

// Copies a w x h block of a bitmap from (sx, sy) to (dx, dy). Nothing to copy, nothing drawn.
void CopyBitmap(HDC dc, HBITMAP bitmap, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx, int32_t sy) {
  if (bitmap == nullptr || w <= 0 || h <= 0) return;
  HDC source = CreateCompatibleDC(dc);
  if (source == nullptr) return;
  HGDIOBJ previous = SelectObject(source, bitmap);
  BitBlt(dc, dx, dy, w, h, source, sx, sy, SRCCOPY);
  SelectObject(source, previous);
  DeleteDC(source);
}

void DrawCentredText(HDC dc, const char* text, const PanelRect& r) {
  RECT box{r.left, r.top, r.right, r.bottom};
  DrawTextA(dc, text, -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

const char* BusLabel(const PanelState* panel, int32_t cell) {
  return cell < panel->busCount ? panel->busLabels[cell] : "";
}

}  // namespace

void DrawBusBar(PanelState* panel, HDC dc) {
  const PanelGeometry* g = &panel->geometry;
  const PanelResources& res = g_panelResources;
  HGDIOBJ oldPen = SelectObject(dc, res.busPen);
  HGDIOBJ oldBrush = SelectObject(dc, res.cellBrush);
  HGDIOBJ oldFont = SelectObject(dc, res.noticeFont);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));

  if (panel->busCount >= 1 && panel->busLabels != nullptr) {
    SelectObject(dc, res.busFont);
    int32_t selected = panel->engine->bus.load(std::memory_order_relaxed);
    for (int32_t i = 0; i < kBusCells; ++i) {
      const char* label = BusLabel(panel, i);
      HBRUSH fill = res.cellBrush;
      if (i >= panel->busCount || label == nullptr || label[0] == '\0') fill = res.emptyBrush;
      else if (i == selected) fill = res.selectedBrush;
      SelectObject(dc, fill);
      PanelRect cell = BusCellRect(g, i);
      Rectangle(dc, cell.left, cell.top, cell.right, cell.bottom);
      if (label) DrawCentredText(dc, label, cell);
    }
  } else {
    SelectObject(dc, res.noticeBrush);
    SetTextColor(dc, res.noticeTextColor);
    Rectangle(dc, g->busLeft, g->busTop, g->busRight, g->busBottom);
    DrawCentredText(dc, kHostNotRunningNotice, PanelRect{g->busLeft, g->busTop, g->busRight, g->busBottom});
  }
  SelectObject(dc, oldFont);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
}

void DrawSlider(PanelState* panel, int32_t slider, HDC dc) {
  if (panel->engine->filter == nullptr || slider < 0 || slider >= kSliderCount) return;
  const PanelGeometry* g = &panel->geometry;
  const PanelResources& res = g_panelResources;
  const int32_t L = g->areaLeft, T = g->areaTop;
  SliderColumn c = SliderColumnOf(g, slider);
  int32_t p = KnobOffset(SliderValue(panel->engine->filter, slider), c.trackLength);
  int32_t top = c.trackTop - kKnobHalf;
  // Skin above the knob, the knob, skin below: the column from top to top + h + 38, each
  // pixel drawn once, so the old knob vanishes without flicker.
  CopyBitmap(dc, res.skin, c.x, top, kKnobWidth, p, c.x - L, top - T);
  CopyBitmap(dc, res.knob, c.x, top + p, kKnobWidth, kKnobHeight, 0, 0);
  CopyBitmap(dc, res.skin, c.x, top + p + kKnobHeight, kKnobWidth, c.trackLength - p, c.x - L,
             top + p + kKnobHeight - T);
}

void DrawAllSliders(PanelState* panel, HDC dc) {
  for (int32_t i = 0; i < kSliderCount; ++i) DrawSlider(panel, i, dc);
}

void DrawBypassSwitch(PanelState* panel, HDC dc) {
  if (panel->engine->filter == nullptr) return;
  const PanelGeometry* g = &panel->geometry;
  HBITMAP key = panel->engine->filter->param[0].bypass == 0 ? g_panelResources.bypassOff : g_panelResources.bypassOn;
  CopyBitmap(dc, key, g->bypassLeft, g->bypassTop, kBypassWidth, kBypassHeight, 0, 0);
}

void DrawScaleLabels(PanelState* panel, HDC dc) {
  const PanelGeometry* g = &panel->geometry;
  HGDIOBJ oldFont = SelectObject(dc, KL2CTL_Font(kFontSlotScale));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, g_panelResources.scaleTextColor);
  float value = panel->engine->gainMax;
  float step = value / 2;
  for (int32_t r = 0; r < kScaleRows; ++r) {
    char text[64];
    std::snprintf(text, sizeof text, "%0.0f", value);
    int32_t top = g->areaTop + 16 + 32 * r, bottom = g->areaTop + 32 + 32 * r;
    DrawCentredText(dc, text, PanelRect{g->areaLeft + kScaleColumn1, top, g->areaLeft + kScaleColumn1 + 14, bottom});
    DrawCentredText(dc, text, PanelRect{g->areaLeft + kScaleColumn2, top, g->areaLeft + kScaleColumn2 + 14, bottom});
    value -= step;
  }
  SelectObject(dc, oldFont);
}

void PaintPanel(PanelState* panel, HDC dc, HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  ComputePanelGeometry(&panel->geometry, client.left, client.top, client.right);
  DrawBusBar(panel, dc);
  CopyBitmap(dc, g_panelResources.skin, panel->geometry.areaLeft, panel->geometry.areaTop, kSkinWidth, kSkinHeight, 0, 0);
  DrawAllSliders(panel, dc);
  DrawBypassSwitch(panel, dc);
  DrawScaleLabels(panel, dc);
  DrawFocusCue(panel, dc);
}

void DrawFocusCue(PanelState* panel, HDC dc) {
  // Where the announcing of changes put it (FocusFrameMoved), so that a repaint and the
  // invalidation that asked for it agree.
  const PanelRect& r = panel->announced.focusFrame;
  const RECT frame{r.left, r.top, r.right, r.bottom};
  if (r.right > r.left) DrawFocusRect(dc, &frame);
}

void DrawLevelMeters(PanelState* panel, HDC dc) {
  const PanelGeometry* g = &panel->geometry;
  const MeterSnapshot& m = panel->engine->meterReadout;
  struct Meter {
    int32_t x;
    float level;
  };
  const Meter meters[2] = {{g->areaLeft + kInputMeterX, MeterPairLevel(m.peak[0], m.peak[1])},
                           {g->areaLeft + kOutputMeterX, MeterPairLevel(m.peak[8], m.peak[9])}};
  const int32_t top = g->areaTop + kMeterTop;
  for (const Meter& meter : meters) {
    int32_t lit = MeterLitHeight(meter.level);
    CopyBitmap(dc, g_panelResources.meterUnlit, meter.x, top, kMeterWidth, kMeterHeight - lit, 0, 0);
    CopyBitmap(dc, g_panelResources.meterLit, meter.x, top + kMeterHeight - lit, kMeterWidth, lit, 0, kMeterHeight - lit);
  }
}
