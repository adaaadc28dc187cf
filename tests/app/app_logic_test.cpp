#include "app/app_logic.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <tuple>

TEST(ShellTexts, TitleAndTheInsertInUseMessageNeverReadingPastTheName) {
  char text[256];
  BuildWindowTitle(text, sizeof text);
  EXPECT_STREQ(text, "Kelmora Graphic EQ 15 (Version: 1.0.0.0)");
  const std::string prefix = "Orlune Output Insert already in use by:\n";
  struct { char name[kClientNameSize], guard[16]; } mem;
  std::memset(&mem, 'G', sizeof mem);
  std::strcpy(mem.name, "Some Other Insert");
  FormatInsertInUseMessage(mem.name, text, sizeof text);
  EXPECT_EQ(std::string(text), prefix + "Some Other Insert");
  // The host may leave the name unterminated: the guard right behind it must not show.
  std::memset(mem.name, 'N', sizeof mem.name);
  FormatInsertInUseMessage(mem.name, text, sizeof text);
  EXPECT_EQ(std::string(text), prefix + std::string(63, 'N'));
  FormatInsertInUseMessage(mem.name, text, 10);
  EXPECT_EQ(std::strlen(text), 9u);
}

TEST(ShellSwitches, RegistryValuesAndInitialPlacement) {
  // Any non-zero stored value is on; a failed read keeps the current value.
  const int32_t reads[][4] = {{1, 5, 0, 1}, {1, -1, 0, 1}, {1, 0, 1, 0}, {0, 7, 0, 0}, {0, 0, 1, 1}};
  for (const auto& r : reads) EXPECT_EQ(SwitchFromRegistry(r[0], r[1], r[2]), r[3]) << r[0] << " " << r[1] << " " << r[2];
  // Only tray mode without show-on-start-up starts hidden.
  EXPECT_EQ(std::make_tuple(InitialPlacementShows(0, 0), InitialPlacementShows(0, 1), InitialPlacementShows(1, 1), InitialPlacementShows(1, 0)),
            std::make_tuple(true, true, true, false)) << "tray mode, show on start-up: 00, 01, 11, 10";
}

TEST(ShellPlacement, KeepOnMonitorAndCentreOnASmallOne) {
  const ScreenRect screen{0, 0, 1280, 1024};
  const struct { int32_t left, top, right, bottom; ScreenRect monitor; int32_t x, y; const char* what; } kept[] = {
      {100, 50, 788, 340, screen, 100, 50, "inside: left alone"},
      {592, 734, 1280, 1024, screen, 591, 733, "on the right and bottom edges: one pixel in"},
      {-500, -40, 188, 250, screen, 0, 0, "off the left and top"},
      {1400, 20, 2400, 1020, {1280, 0, 800, 600}, 1280, 0, "larger than the monitor: the origin wins"},
      {INT32_MIN, INT32_MIN, INT32_MIN + 688, INT32_MIN + 290, screen, 0, 0, "unset, no overflow"}};
  for (const auto& r : kept) {
    int32_t x = -1, y = -1;
    KeepOnMonitorPosition(r.left, r.top, r.right, r.bottom, r.monitor, &x, &y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(r.x, r.y)) << r.what;
  }
  // Centring uses the one pixel larger size (689 x 291) and stays on a monitor too small for it.
  const struct { ScreenRect monitor; int32_t x, y; } centred[] = {
      {screen, 295, 366}, {{1280, 100, 1024, 768}, 1280 + 167, 100 + 238}, {{-640, 0, 640, 200}, -640, 0}};
  for (const auto& r : centred) {
    int32_t x = -1, y = -1;
    CenterOnMonitorPosition(0, 0, 688, 290, r.monitor, &x, &y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(r.x, r.y)) << "monitor at " << r.monitor.x;
  }
  EXPECT_EQ(std::make_tuple(PlacementUnset(INT32_MIN, INT32_MIN), PlacementUnset(INT32_MIN, 0), PlacementUnset(0, INT32_MIN)),
            std::make_tuple(true, false, false)) << "unset needs both coordinates";
  WindowPlacement small{0, 0, 100, 900}, unread = small;
  RaiseSavedSize({1, 0}, 706, 331, &small), RaiseSavedSize({0, 0}, 706, 331, &unread);
  EXPECT_EQ(std::make_tuple(small.dx, small.dy, unread.dx), std::make_tuple(706, 900, 100)) << "raised only after a configuration was read";
}

TEST(ShellHostPoll, EverySixteenthTickAndTheActionFromStatusAndKnownType) {
  int polls = 0;
  for (int32_t t = 1; t <= 64; ++t) polls += IsHostPollTick(t) ? 1 : 0;
  EXPECT_EQ(std::make_pair(polls, IsHostPollTick(16)), std::make_pair(4, true));
  const struct { int32_t status, type; HostPollAction action; } rows[] = {
      {-1, 2, HostPollAction::HostStopped}, {-1, 0, HostPollAction::None},  // already gone: no second repaint
      {0, 0, HostPollAction::HostAnswers}, {3, 0, HostPollAction::HostAnswers}, {0, 3, HostPollAction::None}};
  for (const auto& r : rows) EXPECT_EQ(DecideHostPoll(r.status, r.type), r.action) << r.status << " " << r.type;
}
