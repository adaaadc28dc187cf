// The tests' own evaluation of a designed cascade, kept apart from the response module it checks.
#pragma once

#include <cmath>
#include <complex>

#include "curves/response.h"

// |H| in dB of the sections as processing runs them (y = b0 x + a1 (x1 - y1) + b2 x2 + na2 y2).
inline double ReferenceDb(const GEQ15ChannelCoefs& c, double rate, double hz, bool withGain = true) {
  const std::complex<double> z1 = std::polar(1.0, -2.0 * 3.141592653589793 * hz / rate);
  std::complex<double> h = withGain ? double(c.gain) : 1.0;
  for (int i = 0; i < kBandCount; ++i)
    h *= (double(c.b0[i]) + double(c.a1[i]) * z1 + double(c.b2[i]) * z1 * z1) /
         (1.0 + double(c.a1[i]) * z1 - double(c.na2[i]) * z1 * z1);
  return 20.0 * std::log10(std::abs(h));
}
