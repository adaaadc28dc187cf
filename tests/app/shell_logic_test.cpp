#include "app/shell_logic.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

TEST(ShellTexts, TitleJoinsItsFourPiecesWithoutSeparators) {
  char title[128];
  size_t n = BuildWindowTitle(title, sizeof title);
  EXPECT_STREQ(title, "Kelmora Graphic EQ 15 (Version: 1.0.0.0)");
  EXPECT_EQ(n, std::strlen(title));
}

TEST(ShellTexts, InsertInUseShowsTheTerminatedClientName) {
  char name[kClientNameSize] = "Some Other Insert";
  char text[256];
  FormatInsertInUseMessage(name, text, sizeof text);
  EXPECT_STREQ(text, "Orlune Output Insert already in use by:\nSome Other Insert");
}

TEST(ShellTexts, InsertInUseNeverReadsPastAnUnterminatedBuffer) {
  // The name sits right before a guard region; the guard must not show up in the text.
  struct {
    char name[kClientNameSize];
    char guard[16];
  } mem;
  std::memset(mem.name, 'N', sizeof mem.name);
  std::memset(mem.guard, 'G', sizeof mem.guard);
  char text[256];
  FormatInsertInUseMessage(mem.name, text, sizeof text);
  const std::string prefix = "Orlune Output Insert already in use by:\n";
  EXPECT_EQ(std::string(text), prefix + std::string(63, 'N'));
}

TEST(ShellTexts, InsertInUseFitsASmallOutputBuffer) {
  char name[kClientNameSize] = "Client";
  char text[10];
  FormatInsertInUseMessage(name, text, sizeof text);
  EXPECT_EQ(std::strlen(text), 9u);
}

TEST(ShellSwitches, RegistryValuesBecomeZeroOrOne) {
  EXPECT_EQ(SwitchFromRegistry(1, 5, 0), 1);   // any non-zero stored value is on
  EXPECT_EQ(SwitchFromRegistry(1, 0, 1), 0);
  EXPECT_EQ(SwitchFromRegistry(0, 7, 0), 0);   // a failed read keeps the default
  EXPECT_EQ(SwitchFromRegistry(1, -1, 0), 1);
}

TEST(ShellSwitches, InitialPlacementHidesOnlyInTrayModeWithoutShowOnRun) {
  EXPECT_TRUE(InitialPlacementShows(0, 0));
  EXPECT_TRUE(InitialPlacementShows(0, 1));
  EXPECT_TRUE(InitialPlacementShows(1, 1));
  EXPECT_FALSE(InitialPlacementShows(1, 0));
}

TEST(ShellPlacement, KeepOnMonitorLeavesAWindowInsideAlone) {
  int32_t x, y;
  KeepOnMonitorPosition(100, 50, 788, 340, {0, 0, 1280, 1024}, &x, &y);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 50);
}

TEST(ShellPlacement, KeepOnMonitorPullsAWindowOnTheRightEdgeOnePixelIn) {
  int32_t x, y;
  // right edge exactly at the monitor's right edge (1280), bottom edge at its bottom
  KeepOnMonitorPosition(592, 734, 1280, 1024, {0, 0, 1280, 1024}, &x, &y);
  EXPECT_EQ(x, 591);
  EXPECT_EQ(y, 733);
}

TEST(ShellPlacement, KeepOnMonitorBringsBackAWindowOffTheLeftAndTop) {
  int32_t x, y;
  KeepOnMonitorPosition(-500, -40, 188, 250, {0, 0, 1280, 1024}, &x, &y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
}

TEST(ShellPlacement, KeepOnMonitorPrefersTheOriginForAWindowLargerThanTheMonitor) {
  int32_t x, y;
  KeepOnMonitorPosition(1400, 20, 2400, 1020, {1280, 0, 800, 600}, &x, &y);
  EXPECT_EQ(x, 1280);  // the left edge wins over the right one
  EXPECT_EQ(y, 0);
}

TEST(ShellPlacement, KeepOnMonitorHandlesTheUnsetMarkerWithoutOverflow) {
  int32_t x, y;
  KeepOnMonitorPosition(INT32_MIN, INT32_MIN, INT32_MIN + 688, INT32_MIN + 290, {0, 0, 1280, 1024}, &x, &y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
}

TEST(ShellPlacement, CenterOnMonitorUsesTheOnePixelLargerSize) {
  int32_t x, y;
  CenterOnMonitorPosition(0, 0, 688, 290, {0, 0, 1280, 1024}, &x, &y);
  EXPECT_EQ(x, (1280 - 689) >> 1);
  EXPECT_EQ(y, (1024 - 291) >> 1);
  CenterOnMonitorPosition(0, 0, 688, 290, {1280, 100, 1024, 768}, &x, &y);
  EXPECT_EQ(x, 1280 + ((1024 - 689) >> 1));
  EXPECT_EQ(y, 100 + ((768 - 291) >> 1));
}

TEST(ShellPlacement, CenterOnMonitorNeverGoesLeftOfASmallMonitor) {
  int32_t x, y;
  CenterOnMonitorPosition(0, 0, 688, 290, {-640, 0, 640, 200}, &x, &y);
  EXPECT_EQ(x, -640);
  EXPECT_EQ(y, 0);
}

TEST(ShellPlacement, UnsetNeedsBothCoordinates) {
  EXPECT_TRUE(PlacementUnset(INT32_MIN, INT32_MIN));
  EXPECT_FALSE(PlacementUnset(INT32_MIN, 0));
  EXPECT_FALSE(PlacementUnset(0, INT32_MIN));
}

TEST(ShellInput, WheelStepsTruncateTowardZero) {
  EXPECT_EQ(WheelSteps(120), -1);
  EXPECT_EQ(WheelSteps(-120), 1);
  EXPECT_EQ(WheelSteps(60), 0);
  EXPECT_EQ(WheelSteps(-60), 0);
  EXPECT_EQ(WheelSteps(240), -2);
  EXPECT_EQ(WheelSteps(-359), 2);
  EXPECT_EQ(WheelSteps(-32768), 273);
}

TEST(ShellHostPoll, OnlyEverySixteenthTickAsksTheHost) {
  int polls = 0;
  for (int32_t t = 1; t <= 64; ++t) polls += IsHostPollTick(t) ? 1 : 0;
  EXPECT_EQ(polls, 4);
  EXPECT_TRUE(IsHostPollTick(16));
  EXPECT_FALSE(IsHostPollTick(15));
  EXPECT_FALSE(IsHostPollTick(17));
}

TEST(ShellHostPoll, StatusAndKnownTypeDecideTheAction) {
  EXPECT_EQ(DecideHostPoll(-1, 2), HostPollAction::HostStopped);
  EXPECT_EQ(DecideHostPoll(-1, 0), HostPollAction::None);  // already gone: no second repaint
  EXPECT_EQ(DecideHostPoll(0, 0), HostPollAction::HostAnswers);
  EXPECT_EQ(DecideHostPoll(3, 0), HostPollAction::HostAnswers);
  EXPECT_EQ(DecideHostPoll(0, 3), HostPollAction::None);
}
