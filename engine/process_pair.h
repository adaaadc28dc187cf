// The vector kernels of block processing: both channels of the stereo pair at once. Used by
// GEQ15_Process only; the selection of a path is in process_paths.h.
#pragma once

#include <cstdint>

#include "engine/geq15.h"

// Sections of the pair in double precision, band-major with the two channels side by side, so
// one 128-bit vector holds one band of both channels and one 256-bit vector two bands. Every
// value is a float widened exactly, so loading and storing back loses nothing. Band 16 is
// padding for the 256-bit layout: zero coefficients, and its output feeds nothing.
constexpr int kPairBands = 16;
struct PairSections {
  double b0[kPairBands][2], a1[kPairBands][2], b2[kPairBands][2], na2[kPairBands][2];
  double x1[kPairBands][2], x2[kPairBands][2], y1[kPairBands][2], y2[kPairBands][2];
};
constexpr size_t kPairSectionsAlign = 64;

// The pair's block: samples in place, output gain and step, held peaks, per channel.
struct PairBlock {
  float* samples[2];
  int32_t frames;
  float gain[2], step[2];
  float peakIn[2], peakOut[2];
};

// Runs the block through both channels' sections on `path` (a vector path, which the
// caller has checked is supported). The two sample buffers must not overlap.
void ProcessPair(int32_t path, PairSections* sections, PairBlock* block);

bool CpuHasAvx2();
bool CpuHasAvx512();
