// The panel's own drawing objects: created when the main window is created, released at shutdown.
#include "panel/panel_win32.h"
#include "resources/resource_ids.h"

PanelResources g_panelResources;

namespace {

HBITMAP LoadSkinBitmap(HINSTANCE module, int32_t id) {
  // A DIB section keeps the pixels exactly as stored, whatever the display depth.
  return static_cast<HBITMAP>(LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

HFONT ArialBold(int height, int weight) {
  return CreateFontA(height, 0, 0, 0, weight, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
}

template <typename Handle>
void DeleteAndClear(Handle* h) {
  if (*h) DeleteObject(*h);
  *h = nullptr;
}

}  // namespace

int32_t CreatePanelResources(PanelResources* res) {
  HINSTANCE module = GetModuleHandleA(nullptr);
  res->busFont = ArialBold(18, 800);
  res->noticeFont = ArialBold(24, 800);
  res->busPen = CreatePen(PS_SOLID, 0, RGB(5, 5, 30));
  res->emptyBrush = CreateSolidBrush(RGB(5, 5, 30));
  res->cellBrush = CreateSolidBrush(RGB(10, 120, 150));
  res->selectedBrush = CreateSolidBrush(RGB(100, 240, 240));
  res->noticeBrush = CreateSolidBrush(RGB(250, 0, 0));
  res->scaleTextColor = RGB(180, 180, 180);
  res->noticeTextColor = RGB(250, 250, 250);
  res->menuPower = static_cast<HBITMAP>(LoadImageA(module, MAKEINTRESOURCEA(VEZ15_BITMAP_MENU_POWER), IMAGE_BITMAP, 0, 0, 0));
  res->skin = LoadSkinBitmap(module, VEZ15_BITMAP_SKIN);
  res->knob = LoadSkinBitmap(module, VEZ15_BITMAP_KNOB);
  res->meterUnlit = LoadSkinBitmap(module, VEZ15_BITMAP_METER_UNLIT);
  res->meterLit = LoadSkinBitmap(module, VEZ15_BITMAP_METER_LIT);
  res->bypassOff = LoadSkinBitmap(module, VEZ15_BITMAP_BYPASS_OFF);
  res->bypassOn = LoadSkinBitmap(module, VEZ15_BITMAP_BYPASS_ON);
  return 0;
}

int32_t ReleasePanelResources(PanelResources* res) {
  DeleteAndClear(&res->bypassOn);
  DeleteAndClear(&res->bypassOff);
  DeleteAndClear(&res->meterLit);
  DeleteAndClear(&res->meterUnlit);
  DeleteAndClear(&res->knob);
  DeleteAndClear(&res->skin);
  DeleteAndClear(&res->menuPower);
  DeleteAndClear(&res->noticeBrush);
  DeleteAndClear(&res->selectedBrush);
  DeleteAndClear(&res->cellBrush);
  DeleteAndClear(&res->emptyBrush);
  DeleteAndClear(&res->busPen);
  DeleteAndClear(&res->noticeFont);
  DeleteAndClear(&res->busFont);
  res->scaleTextColor = 0;
  res->noticeTextColor = 0;
  return 0;
}
