// Magnitude response of the equalizer as the engine runs it: one channel's fifteen designed
// sections in series times its output gain, evaluated from the stored float coefficients.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/geq15.h"

// Designs the coefficients of one channel record at the given rate, through the engine's own
// configuration and design. Returns 0, or the engine's negative status for a rate it refuses.
int32_t DesignChannel(const GEQ15ChannelParam& param, int32_t sampleRate, GEQ15ChannelCoefs* out);

// |H|^2 of one normalised biquad (a0 = 1) at w radians per sample.
double BiquadPowerGain(double b0, double b1, double b2, double a1, double a2, double w);

// Level in dB of band `band` (0-based) of a designed channel alone, at hz.
double BandResponseDb(const GEQ15ChannelCoefs& coefs, int band, double sampleRate, double hz);

// Level in dB of the designed cascade, output gain included, at hz.
double CascadeResponseDb(const GEQ15ChannelCoefs& coefs, double sampleRate, double hz);

// Frequencies 1/12 octave apart from 20 Hz up to 20 kHz.
std::vector<double> TwelfthOctaveGrid();

struct ResponsePeak {
  double hz;
  double db;
};

// Highest level of the cascade between lowHz and highHz (highHz is kept below half the rate):
// a fine logarithmic scan, then narrowed around the best point, so that a peak between two
// scan points is not missed by more than a hundredth of a dB.
ResponsePeak FindResponsePeak(const GEQ15ChannelCoefs& coefs, double sampleRate, double lowHz, double highHz);
