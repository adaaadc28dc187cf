// Fits the fifteen band gains to a correction's target curve.
//
// The bands overlap, so the level at one band's centre depends on its neighbours too: the fit
// works on the actual magnitude response of the designed cascade, by least squares over
// log-spaced frequencies from 20 Hz to 16 kHz (Levenberg-Marquardt, each gain kept within
// -12 to +12 dB). The output gain then gives the headroom: it is lowered so that the peak of
// the resulting response between 20 Hz and 20 kHz is at most 0 dB, and never raised above 0 dB.
#pragma once

#include <cstdint>
#include <string>

#include "engine/geq15.h"
#include "curves/correction_import.h"

struct CorrectionFit {
  GEQ15ChannelParam param;  // band gains and output gain as they will be stored
  double rmsErrorDb;        // fitted cascade (without output gain) against the target, 20 Hz to 16 kHz
  double maxErrorDb;
  double maxErrorHz;
  double peakDb;            // peak of the bands alone; the output gain is its headroom
  double peakHz;
};

constexpr double kFitLowHz = 20.0;
constexpr double kFitHighHz = 16000.0;

// Returns false with a message when the correction cannot be designed at sampleRate (a rate
// outside kMinSampleRate to kMaxSampleRate, a filter at or above half the rate).
bool FitCorrection(const Correction& correction, int32_t sampleRate, CorrectionFit* fit, std::string* error);
