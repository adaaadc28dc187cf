#include "app/shell_logic.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <iterator>
#include <string>

TEST(ShellTexts, TitleJoinsItsFourPiecesWithoutSeparators) {
  char title[128];
  size_t n = BuildWindowTitle(title, sizeof title);
  EXPECT_STREQ(title, "Kelmora Graphic EQ 15 (Version: 1.0.0.0)");
  EXPECT_EQ(n, std::strlen(title));
}

TEST(ShellTexts, InsertInUseShowsTheClientNameAndNeverReadsPastItsBuffer) {
  const std::string prefix = "Orlune Output Insert already in use by:\n";
  char text[256];
  char name[kClientNameSize] = "Some Other Insert";
  FormatInsertInUseMessage(name, text, sizeof text);
  EXPECT_EQ(std::string(text), prefix + "Some Other Insert");

  // The host may leave the name unterminated: the guard right behind it must not show.
  struct {
    char name[kClientNameSize];
    char guard[16];
  } mem;
  std::memset(mem.name, 'N', sizeof mem.name);
  std::memset(mem.guard, 'G', sizeof mem.guard);
  FormatInsertInUseMessage(mem.name, text, sizeof text);
  EXPECT_EQ(std::string(text), prefix + std::string(63, 'N'));

  char small[10];
  FormatInsertInUseMessage(name, small, sizeof small);
  EXPECT_EQ(std::strlen(small), 9u);
}

TEST(ShellSwitches, RegistryValuesAndInitialPlacement) {
  EXPECT_EQ(SwitchFromRegistry(1, 5, 0), 1);  // any non-zero stored value is on
  EXPECT_EQ(SwitchFromRegistry(1, -1, 0), 1);
  EXPECT_EQ(SwitchFromRegistry(1, 0, 1), 0);
  EXPECT_EQ(SwitchFromRegistry(0, 7, 0), 0);  // a failed read keeps the default
  // Only tray mode without show-on-start-up starts hidden.
  EXPECT_TRUE(InitialPlacementShows(0, 0));
  EXPECT_TRUE(InitialPlacementShows(0, 1));
  EXPECT_TRUE(InitialPlacementShows(1, 1));
  EXPECT_FALSE(InitialPlacementShows(1, 0));
}

TEST(ShellPlacement, KeepOnMonitor) {
  struct {
    int32_t left, top, right, bottom;
    ScreenRect monitor;
    int32_t x, y;
    const char* what;
  } rows[] = {
      {100, 50, 788, 340, {0, 0, 1280, 1024}, 100, 50, "inside: left alone"},
      {592, 734, 1280, 1024, {0, 0, 1280, 1024}, 591, 733, "on the right and bottom edges: one pixel in"},
      {-500, -40, 188, 250, {0, 0, 1280, 1024}, 0, 0, "off the left and top"},
      {1400, 20, 2400, 1020, {1280, 0, 800, 600}, 1280, 0, "larger than the monitor: the origin wins"},
      {INT32_MIN, INT32_MIN, INT32_MIN + 688, INT32_MIN + 290, {0, 0, 1280, 1024}, 0, 0, "unset, no overflow"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    int32_t x = -1, y = -1;
    KeepOnMonitorPosition(r.left, r.top, r.right, r.bottom, r.monitor, &x, &y);
    EXPECT_EQ(x, r.x);
    EXPECT_EQ(y, r.y);
  }
}

TEST(ShellPlacement, CenterOnMonitorUsesTheOnePixelLargerSizeAndStaysOnASmallMonitor) {
  struct {
    ScreenRect monitor;
    int32_t x, y;
  } rows[] = {
      {{0, 0, 1280, 1024}, (1280 - 689) >> 1, (1024 - 291) >> 1},
      {{1280, 100, 1024, 768}, 1280 + ((1024 - 689) >> 1), 100 + ((768 - 291) >> 1)},
      {{-640, 0, 640, 200}, -640, 0},
  };
  for (const auto& r : rows) {
    int32_t x = -1, y = -1;
    CenterOnMonitorPosition(0, 0, 688, 290, r.monitor, &x, &y);
    EXPECT_EQ(x, r.x);
    EXPECT_EQ(y, r.y);
  }
  EXPECT_TRUE(PlacementUnset(INT32_MIN, INT32_MIN));
  EXPECT_FALSE(PlacementUnset(INT32_MIN, 0)) << "unset needs both coordinates";
  EXPECT_FALSE(PlacementUnset(0, INT32_MIN));
}

TEST(ShellInput, WheelStepsTruncateTowardZero) {
  const int16_t deltas[] = {120, -120, 60, -60, 240, -359, -32768};
  const int32_t steps[] = {-1, 1, 0, 0, -2, 2, 273};
  for (size_t i = 0; i < std::size(deltas); ++i) EXPECT_EQ(WheelSteps(deltas[i]), steps[i]) << deltas[i];
}

TEST(ShellHostPoll, EverySixteenthTickAndTheActionFromStatusAndKnownType) {
  int polls = 0;
  for (int32_t t = 1; t <= 64; ++t) polls += IsHostPollTick(t) ? 1 : 0;
  EXPECT_EQ(polls, 4);
  EXPECT_TRUE(IsHostPollTick(16));
  EXPECT_FALSE(IsHostPollTick(17));
  EXPECT_EQ(DecideHostPoll(-1, 2), HostPollAction::HostStopped);
  EXPECT_EQ(DecideHostPoll(-1, 0), HostPollAction::None);  // already gone: no second repaint
  EXPECT_EQ(DecideHostPoll(0, 0), HostPollAction::HostAnswers);
  EXPECT_EQ(DecideHostPoll(3, 0), HostPollAction::HostAnswers);
  EXPECT_EQ(DecideHostPoll(0, 3), HostPollAction::None);
}
