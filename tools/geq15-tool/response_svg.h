// A plot of the equalizer's response as a standalone SVG image: log frequency axis from 20 Hz
// to 20 kHz, -15 to +15 dB, grid and labels, the 0 dB line, the fifteen band centres marked
// with their gains, and the curve (clipped to the plot where it leaves the range).
#pragma once

#include <string>
#include <vector>

#include "engine/geq15.h"
#include "curves/response.h"

struct ResponsePlot {
  std::vector<double> hz;  // curve points, ascending
  std::vector<double> db;
  float bandGainDb[kBandCount];  // shown at the band centres
  float outputGainDb;
  bool bypassed;
  int32_t sampleRate;
  std::string title;  // e.g. the settings file's name; escaped when written
};

std::string ResponseSvg(const ResponsePlot& plot);
