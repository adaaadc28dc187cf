// KL2CTL: the process-wide palette, brushes, pens and fonts, shared by the popup value editor and
// the scale labels. Started once per process, stopped after the message loop.
#include "panel/panel_win32.h"

namespace {

constexpr COLORREF kPalette[kPaletteSize] = {
    RGB(0, 0, 0),       RGB(204, 40, 20),   RGB(252, 60, 30),   RGB(240, 235, 54),
    RGB(6, 28, 157),    RGB(15, 95, 226),   RGB(140, 147, 228), RGB(3, 107, 122),
    RGB(36, 167, 49),   RGB(64, 64, 64),    RGB(84, 84, 84),    RGB(110, 110, 110),
    RGB(130, 130, 130), RGB(180, 180, 180), RGB(230, 230, 230), RGB(255, 255, 255),
};

struct FontSpec {
  int height;
  int weight;
};
// Only the first 16 of the 32 slots are filled.
constexpr FontSpec kFontTable[16] = {
    {10, 400}, {10, 700}, {12, 400}, {12, 700}, {14, 400}, {14, 700}, {16, 400}, {16, 700},
    {18, 400}, {18, 700}, {20, 400}, {20, 700}, {26, 800}, {26, 800}, {38, 400}, {38, 800},
};

struct Toolkit {
  int32_t startCount;
  HINSTANCE instance;
  HWND openEditor;
  COLORREF colour[kPaletteSize];
  HBRUSH brush[kPaletteSize];
  HPEN pen[kPaletteSize];
  HFONT font[kFontSlots];
};
Toolkit g_kit;

}  // namespace

int32_t KL2CTL_Start(HINSTANCE instance) {
  if (++g_kit.startCount != 1) return 1;
  g_kit.instance = instance;
  g_kit.openEditor = nullptr;
  for (int32_t i = 0; i < kPaletteSize; ++i) {
    g_kit.colour[i] = kPalette[i];
    g_kit.brush[i] = CreateSolidBrush(kPalette[i]);
  }
  for (int32_t i = 0; i < kPaletteSize; ++i) g_kit.pen[i] = CreatePen(PS_SOLID, 0, kPalette[i]);
  for (int32_t i = 0; i < 16; ++i)
    g_kit.font[i] = CreateFontA(kFontTable[i].height, 0, 0, 0, kFontTable[i].weight, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
  return 1;
}

void KL2CTL_Stop() {
  if (g_kit.startCount <= 0) return;  // unbalanced stop: nothing was started
  if (--g_kit.startCount != 0) return;
  // The editor still draws with our fonts and brushes: close it before they go.
  if (g_kit.openEditor) {
    SendMessageA(g_kit.openEditor, WM_CLOSE, 0, 0);
    g_kit.openEditor = nullptr;
  }
  for (int32_t i = 0; i < kPaletteSize; ++i) {
    if (g_kit.brush[i]) DeleteObject(g_kit.brush[i]);
    g_kit.brush[i] = nullptr;
    if (g_kit.pen[i]) DeleteObject(g_kit.pen[i]);
    g_kit.pen[i] = nullptr;
  }
  for (int32_t i = 0; i < kFontSlots; ++i) {
    if (g_kit.font[i]) DeleteObject(g_kit.font[i]);
    g_kit.font[i] = nullptr;
  }
}

int32_t KL2CTL_StartCount() { return g_kit.startCount; }
HINSTANCE KL2CTL_Instance() { return g_kit.instance; }

COLORREF KL2CTL_Color(int32_t index) {
  return index >= 0 && index < kPaletteSize ? g_kit.colour[index] : 0;
}
HBRUSH KL2CTL_Brush(int32_t index) { return index >= 0 && index < kPaletteSize ? g_kit.brush[index] : nullptr; }
HPEN KL2CTL_Pen(int32_t index) { return index >= 0 && index < kPaletteSize ? g_kit.pen[index] : nullptr; }
HFONT KL2CTL_Font(int32_t slot) { return slot >= 0 && slot < kFontSlots ? g_kit.font[slot] : nullptr; }
HWND KL2CTL_OpenEditor() { return g_kit.openEditor; }
void KL2CTL_SetOpenEditor(HWND editor) { g_kit.openEditor = editor; }
