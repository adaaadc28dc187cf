// Saves the settings in a loop, alternating two variants, until it is killed.
// Usage: settings_saver.exe TARGET EVENT_HANDLE. The inherited event is set after the first
// save, so the driver knows the loop runs before it picks a moment to kill.
#include <windows.h>

#include <cwchar>

#include "settings/settings_file.h"
#include "tests/settings/win32_test_support.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  HANDLE started = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::wcstoull(argv[2], nullptr, 10)));
  TestApp app;
  for (unsigned round = 0;; ++round) {
    app.Variant(static_cast<int>(round & 1));
    if (SaveSettingsToPath(app.ctx.get(), argv[1]) != 1) return 1;
    if (round == 0) SetEvent(started);
  }
}
