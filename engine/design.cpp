// Band filter design: each band is the peaking biquad of the Audio EQ Cookbook in its
// bandwidth form, normalised by a0. Every intermediate is a double; each coefficient is rounded
// to float only when stored, so the results are the same on every build.
#include <cmath>

#include "engine/geq15.h"

// Two-thirds of an octave apart: 1000 Hz * 2^((band - 9) * 2/3), written with four decimals.
const double kBandCentreHz[kBandCount] = {
    24.8031,   39.3725,   62.5,      99.2125,   157.4901,  250.0,  396.8502, 629.9605,
    1000.0,    1587.401,  2519.8421, 4000.0,    6349.6042, 10079.3684, 16000.0,
};

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kBandwidthOctaves = 0.6666666666666666;

double DbToLinear(double db) { return std::pow(10.0, db / 20.0); }

void DesignChannel(const GEQ15ChannelParam& param, double k, double radiansPerHz,
                   GEQ15ChannelCoefs* out) {
  // Bypass keeps the sections in the path but designs them flat with unity gain, so switching
  // it goes through the same gain ramp as any other change.
  const bool bypassed = param.bypass != 0;
  out->gain = bypassed ? 1.0f : static_cast<float>(DbToLinear(param.gain));
  for (int i = 0; i < kBandCount; ++i) {
    const double e = bypassed ? 1.0 : DbToLinear(param.bands[i]);
    const double A = std::sqrt(e);
    const double w0 = kBandCentreHz[i] * radiansPerHz;
    const double sn = std::sin(w0);
    const double S = std::sinh(k * w0 / sn);
    const double Q = 1.0 / (2.0 * S);
    const double alpha = sn / (2.0 * Q);
    const double a0 = 1.0 + alpha / A;
    out->b0[i] = static_cast<float>((1.0 + alpha * A) / a0);
    out->a1[i] = static_cast<float>(-2.0 * std::cos(w0) / a0);
    out->b2[i] = static_cast<float>((1.0 - alpha * A) / a0);
    // Rounded to float before the sign change, so na2 is exactly -(float)a2.
    out->na2[i] = -static_cast<float>((1.0 - alpha / A) / a0);
  }
}

}  // namespace

int32_t GEQ15_CheckRate(int32_t rate) {
  if (rate < kMinSampleRate) return -2;
  if (rate > kMaxSampleRate) return -3;
  return 0;
}

int32_t GEQ15_Design(const GEQ15ChannelParam records[kLiveChannels], int32_t sampleRate, CoefficientSet* dest) {
  // Outside the accepted rates the top band may lie above half the rate, where the design's
  // bandwidth term is not finite.
  if (!records || !dest || GEQ15_CheckRate(sampleRate) != 0) return -1;
  const double k = std::log(2.0) * 0.5 * kBandwidthOctaves;
  const double radiansPerHz = kTwoPi / sampleRate;
  for (int c = 0; c < kLiveChannels; ++c) DesignChannel(records[c], k, radiansPerHz, &dest->channel[c]);
  return 0;
}
