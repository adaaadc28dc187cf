// The response window's picture in pixels: where the plot sits in a client area, where a
// frequency and a level land in it, and the two channels' curves traced column by column.
// Portable, so that the drawing code only draws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "curves/response.h"
#include "engine/geq15.h"

constexpr double kViewLowHz = 20.0;
constexpr double kViewHighHz = 20000.0;
constexpr double kViewTopDb = 24.0;
constexpr double kViewBottomDb = -24.0;
constexpr double kViewGridDb = 6.0;
// Room for the dB labels on the left, the status line above and the Hz labels below.
constexpr int32_t kViewMarginLeft = 44;
constexpr int32_t kViewMarginRight = 14;
constexpr int32_t kViewMarginTop = 28;
constexpr int32_t kViewMarginBottom = 24;

struct PlotArea {
  int32_t left, top, right, bottom;  // the plot's frame, inclusive, in client pixels
};

PlotArea ResponsePlotArea(int32_t clientWidth, int32_t clientHeight);
// Column of a frequency on the log axis and row of a level; rows are clamped to the frame, so
// a curve that leaves the range runs along its edge.
int32_t PlotColumn(const PlotArea& area, double hz);
int32_t PlotRow(const PlotArea& area, double db);

struct ResponseView {
  int32_t sampleRate;
  int32_t curveCount;               // 1 when records 1 and 2 are equal, else 2
  std::vector<int32_t> rows[2];     // one row per column, left to right
  int32_t markerColumn[kBandCount];
  int32_t markerRow[kBandCount];    // on record 1's curve
  ResponsePeak peak;                // the higher of both curves, output gain included
  float outputGainDb;               // record 1's
  bool bypassed;                    // record 1's
};

// Traces the designed response of both live records at sampleRate into the area.
void BuildResponseView(const GEQ15ChannelParam records[2], int32_t sampleRate, const PlotArea& area,
                       ResponseView* view);

// The warning the window shows while the response peaks above 0 dB, where loud input clips, e.g.
// "Peak +6.0 dB at 1 kHz: loud input will clip"; empty otherwise.
std::string ClipWarning(const ResponseView& view);
// What the curve shows, in words for a screen reader: range, rate, output gain, the peak and
// where it is, and whether loud input will clip.
std::string DescribeResponse(const ResponseView& view);
