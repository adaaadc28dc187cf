#include "curves/response.h"

#include <cmath>
#include <memory>

namespace {
constexpr double kTwoPi = 6.283185307179586;
}  // namespace

int32_t DesignChannel(const GEQ15ChannelParam& param, int32_t sampleRate, GEQ15ChannelCoefs* out) {
  const int32_t refused = GEQ15_CheckRate(sampleRate);
  if (refused != 0) return refused;
  const GEQ15ChannelParam pair[kLiveChannels] = {param, param};
  auto set = std::make_unique<CoefficientSet>();
  GEQ15_Design(pair, sampleRate, set.get());
  *out = set->channel[0];
  return 0;
}

double BiquadPowerGain(double b0, double b1, double b2, double a1, double a2, double w) {
  // |b0 + b1 z^-1 + b2 z^-2|^2 on the unit circle in terms of phi = sin^2(w/2):
  //   (b0 + b1 + b2)^2 - 4 phi (b0 b1 + b1 b2 + 4 b0 b2) + 16 b0 b2 phi^2.
  // The plain cosine form subtracts numbers near 4 to get results near 1e-12 for the low
  // bands at high rates; this form keeps the small sums apart and loses nothing there.
  const double s = std::sin(0.5 * w);
  const double phi = s * s;
  const double num = (b0 + b1 + b2) * (b0 + b1 + b2) - 4.0 * phi * (b0 * b1 + b1 * b2 + 4.0 * b0 * b2) +
                     16.0 * b0 * b2 * phi * phi;
  const double den = (1.0 + a1 + a2) * (1.0 + a1 + a2) - 4.0 * phi * (a1 + a1 * a2 + 4.0 * a2) + 16.0 * a2 * phi * phi;
  return num / den;
}

double BandResponseDb(const GEQ15ChannelCoefs& coefs, int band, double sampleRate, double hz) {
  // Processing computes y = b0 v + a1 (x1 - y1) + b2 x2 + na2 y2, so the feedback polynomial
  // is 1 + a1 z^-1 - na2 z^-2 and the feed-forward one b0 + a1 z^-1 + b2 z^-2.
  const double w = kTwoPi * hz / sampleRate;
  const double power = BiquadPowerGain(coefs.b0[band], coefs.a1[band], coefs.b2[band], coefs.a1[band],
                                       -static_cast<double>(coefs.na2[band]), w);
  return 10.0 * std::log10(power);
}

double CascadeResponseDb(const GEQ15ChannelCoefs& coefs, double sampleRate, double hz) {
  double db = 20.0 * std::log10(std::fabs(static_cast<double>(coefs.gain)));
  for (int i = 0; i < kBandCount; ++i) db += BandResponseDb(coefs, i, sampleRate, hz);
  return db;
}

std::vector<double> TwelfthOctaveGrid() {
  std::vector<double> grid;
  for (int k = 0;; ++k) {
    const double hz = 20.0 * std::pow(2.0, k / 12.0);
    if (hz > 20000.0 * (1.0 + 1e-12)) break;
    grid.push_back(hz);
  }
  return grid;
}

ResponsePeak FindResponsePeak(const GEQ15ChannelCoefs& coefs, double sampleRate, double lowHz, double highHz) {
  highHz = std::fmin(highHz, 0.499 * sampleRate);
  const double step = std::pow(2.0, 1.0 / 48.0);
  ResponsePeak best{lowHz, CascadeResponseDb(coefs, sampleRate, lowHz)};
  for (double hz = lowHz * step; hz < highHz; hz *= step) {
    const double db = CascadeResponseDb(coefs, sampleRate, hz);
    if (db > best.db) best = {hz, db};
  }
  const double atHigh = CascadeResponseDb(coefs, sampleRate, highHz);
  if (atHigh > best.db) best = {highHz, atHigh};

  // Golden-section search in log frequency over the two scan intervals around the best point.
  double lo = std::log(std::fmax(lowHz, best.hz / step));
  double hi = std::log(std::fmin(highHz, best.hz * step));
  const double ratio = (std::sqrt(5.0) - 1.0) / 2.0;
  auto at = [&](double logHz) { return CascadeResponseDb(coefs, sampleRate, std::exp(logHz)); };
  double x1 = hi - ratio * (hi - lo), x2 = lo + ratio * (hi - lo);
  double f1 = at(x1), f2 = at(x2);
  for (int i = 0; i < 60 && hi - lo > 1e-9; ++i) {
    if (f1 < f2) {
      lo = x1; x1 = x2; f1 = f2; x2 = lo + ratio * (hi - lo); f2 = at(x2);
    } else {
      hi = x2; x2 = x1; f2 = f1; x1 = hi - ratio * (hi - lo); f1 = at(x1);
    }
  }
  if (f1 > best.db) best = {std::exp(x1), f1};
  if (f2 > best.db) best = {std::exp(x2), f2};
  return best;
}
