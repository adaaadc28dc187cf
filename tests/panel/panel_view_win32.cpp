// A real window showing the panel for panel_view_test.sh: it routes input like the program's
// window procedure, runs one command at a time from COMMAND_FILE ("buses N SELECTED",
// "set SLIDER DB", "meters IN1 IN2 OUT1 OUT2", "quit") and writes the channel
// records, a count of executed commands ("ack") and whether the editor is open to STATE_FILE.
//   panel_view.exe STATE_FILE COMMAND_FILE
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "panel/panel_win32.h"

namespace {

constexpr int kOriginX = 40, kOriginY = 240;  // client origin on the screen (no frame, no WM)
const char* const kBusLabels[8] = {"BUS A1", "BUS A2", "BUS A3", "BUS A4", "BUS A5", "BUS B1", "BUS B2", "BUS B3"};

InsertContext g_ctx;
GEQ15ChannelParam g_othersAtStart[kChannelRecords - 2];
std::string g_statePath, g_commandPath;
int g_ack;

void WriteState() {
  const GEQ15Filter* f = g_ctx.engine.filter;
  std::string text = "ack " + std::to_string(g_ack) + "\nbus " + std::to_string(g_ctx.engine.bus.load()) + "\n";
  for (int r = 0; r < 2; ++r) {
    char line[512];
    int n = std::snprintf(line, sizeof line, "rec%d %d", r + 1, f->param[r].bypass);
    for (int b = 0; b < kBandCount; ++b) n += std::snprintf(line + n, sizeof line - n, " %.4f", f->param[r].bands[b]);
    std::snprintf(line + n, sizeof line - n, " %.4f\n", f->param[r].gain);
    text += line;
  }
  bool othersKept = std::memcmp(&f->param[2], g_othersAtStart, sizeof g_othersAtStart) == 0;
  text += std::string("others_kept ") + (othersKept ? "1" : "0") + "\n";
  // Typing may start once the popup editor holds the focus.
  text += std::string("editor ") + (KL2CTL_OpenEditor() && IsChild(KL2CTL_OpenEditor(), GetFocus()) ? "1" : "0") + "\n";
  std::string temp = g_statePath + ".tmp";
  if (FILE* out = std::fopen(temp.c_str(), "wb")) {
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
    MoveFileExA(temp.c_str(), g_statePath.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
}

void RunCommand(HWND window, const char* command) {
  int a = 0, b = 0;
  float v[4] = {};
  if (std::sscanf(command, "buses %d %d", &a, &b) == 2) {
    g_ctx.busCount = a > 0 && a <= 8 ? a : 0;
    g_ctx.busLabels = g_ctx.busCount ? kBusLabels : nullptr;
    g_ctx.engine.bus.store(b);
  } else if (std::sscanf(command, "set %d %f", &a, &v[0]) == 2) {
    StoreSliderValue(&g_ctx, a, v[0]);
  } else if (std::sscanf(command, "meters %f %f %f %f", &v[0], &v[1], &v[2], &v[3]) == 4) {
    MeterSnapshot& m = g_ctx.engine.meterReadout;
    m.peak[0] = v[0], m.peak[1] = v[1], m.peak[8] = v[2], m.peak[9] = v[3];
  } else if (std::strncmp(command, "quit", 4) == 0) {
    DestroyWindow(window);
    return;
  }
  InvalidateRect(window, nullptr, TRUE);
  UpdateWindow(window);
  ++g_ack;
}

void PollCommands(HWND window) {
  FILE* in = std::fopen(g_commandPath.c_str(), "rb");
  if (in) {
    char command[256] = {};
    size_t n = std::fread(command, 1, sizeof command - 1, in);
    std::fclose(in);
    DeleteFileA(g_commandPath.c_str());
    command[n] = '\0';
    RunCommand(window, command);
  }
  if (IsWindow(window)) WriteState();
}

int16_t Low(LPARAM l) { return static_cast<int16_t>(LOWORD(l)); }
int16_t High(LPARAM l) { return static_cast<int16_t>(HIWORD(l)); }

LRESULT CALLBACK ViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      PaintPanel(&g_ctx, dc, window);
      DrawLevelMeters(&g_ctx, dc);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_TIMER:
      PollCommands(window);
      return 0;
    case WM_LBUTTONDOWN:
      PanelPress(&g_ctx, Low(lParam), High(lParam), window, 0);
      return 0;
    case WM_RBUTTONDOWN:
      PanelPress(&g_ctx, Low(lParam), High(lParam), window, 1);
      return 0;
    case WM_LBUTTONDBLCLK:
      PanelDoubleClick(&g_ctx, Low(lParam), High(lParam), window);
      return 0;
    case WM_MOUSEMOVE:
      if (g_ctx.drag.mode == kHitSlider) PanelPointerMove(&g_ctx, High(lParam), window);
      return 0;
    case WM_LBUTTONUP:
    case WM_CANCELMODE:
      PanelReleaseDrag(&g_ctx);
      return 0;
    case WM_MOUSEWHEEL: {
      if (g_ctx.drag.dragging) return 0;
      POINT p{Low(lParam), High(lParam)};
      ScreenToClient(window, &p);
      int32_t slider = -1;
      if (PanelHitTest(&g_ctx.geometry, p.x, p.y, &slider) != kHitSlider) return 0;
      g_ctx.drag.sliderIndex = slider;
      g_ctx.drag.mode = kHitSlider;
      PanelWheelStep(&g_ctx, static_cast<int16_t>(HIWORD(wParam)) / -120, window);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const char* className, const char* title, WNDPROC proc, int x, int y, int w, int h, UINT style,
                HBRUSH background) {
  WNDCLASSA wc{};
  wc.style = style;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = background;
  wc.lpszClassName = className;
  RegisterClassA(&wc);
  return CreateWindowA(className, title, WS_POPUP | WS_VISIBLE, x, y, w, h, nullptr, nullptr, wc.hInstance, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: panel_view.exe STATE_FILE COMMAND_FILE\n");
    return 2;
  }
  g_statePath = argv[1];
  g_commandPath = argv[2];
  KL2CTL_Start(GetModuleHandleA(nullptr));
  PanelResources_Create();
  if (GEQ15_Create(&g_ctx.engine) != 0) {
    std::fprintf(stderr, "panel_view: cannot create the equalizer\n");
    return 1;
  }
  for (int r = 2; r < kChannelRecords; ++r) {  // values no panel action may touch
    g_ctx.engine.filter->param[r].g7 = 1.5f * r;
    g_ctx.engine.filter->param[r].bypass = r;
  }
  std::memcpy(g_othersAtStart, &g_ctx.engine.filter->param[2], sizeof g_othersAtStart);

  // A neighbouring window: clicking it takes the focus away from the popup editor.
  MakeWindow("PanelViewNeighbour", "VEZ15 neighbour", DefWindowProcA, kOriginX, kOriginY + 320, 200, 60, 0,
             static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
  HWND window = MakeWindow("PanelViewClass", "VEZ15 panel view", ViewProc, kOriginX, kOriginY, 688, 290, CS_DBLCLKS,
                           static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  SetTimer(window, 1, 50, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  GEQ15_Destroy(&g_ctx.engine);
  PanelResources_Release();
  KL2CTL_Stop();
  return 0;
}
