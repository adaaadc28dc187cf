#include "curves/correction_fit.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "curves/response.h"

namespace {

constexpr int N = kBandCount;

struct Problem {
  int32_t rate;
  std::vector<double> hz;      // sample frequencies, evenly spaced in log frequency
  std::vector<double> target;  // target level at each, dB
};

GEQ15ChannelParam ParamFromGains(const double gains[N]) {
  GEQ15ChannelParam p{};
  for (int i = 0; i < N; ++i) p.bands[i] = static_cast<float>(gains[i]);
  return p;
}

// Level of each band alone at every sample frequency: bandDb[i][j].
void BandLevels(const Problem& pr, const double gains[N], std::vector<double> bandDb[N]) {
  GEQ15ChannelCoefs coefs;
  DesignChannel(ParamFromGains(gains), pr.rate, &coefs);
  for (int i = 0; i < N; ++i) {
    bandDb[i].resize(pr.hz.size());
    for (size_t j = 0; j < pr.hz.size(); ++j) bandDb[i][j] = BandResponseDb(coefs, i, pr.rate, pr.hz[j]);
  }
}

double Cost(const Problem& pr, const double gains[N], std::vector<double>* residual) {
  std::vector<double> bandDb[N];
  BandLevels(pr, gains, bandDb);
  residual->assign(pr.hz.size(), 0.0);
  double cost = 0.0;
  for (size_t j = 0; j < pr.hz.size(); ++j) {
    double level = 0.0;
    for (int i = 0; i < N; ++i) level += bandDb[i][j];
    (*residual)[j] = level - pr.target[j];
    cost += (*residual)[j] * (*residual)[j];
  }
  return cost;
}

// Band i's coefficients depend on its own gain only, so one design with every gain raised and
// one with every gain lowered give all fifteen columns of the Jacobian by central differences.
// The step is wide on purpose: the low bands' poles sit so close to the unit circle that the
// float rounding of their coefficients moves the response by hundredths of a dB in steps, and
// a narrow difference would measure that noise instead of the slope.
void Jacobian(const Problem& pr, const double gains[N], std::vector<double> jac[N]) {
  const double h = 0.25;
  double up[N], down[N];
  for (int i = 0; i < N; ++i) { up[i] = gains[i] + h; down[i] = gains[i] - h; }
  std::vector<double> upDb[N], downDb[N];
  BandLevels(pr, up, upDb);
  BandLevels(pr, down, downDb);
  for (int i = 0; i < N; ++i) {
    jac[i].resize(pr.hz.size());
    for (size_t j = 0; j < pr.hz.size(); ++j) jac[i][j] = (upDb[i][j] - downDb[i][j]) / (2 * h);
  }
}

// Solves the n x n system a x = b in place by Gaussian elimination with partial pivoting.
bool Solve(int n, double a[N][N], double b[N], double x[N]) {
  for (int col = 0; col < n; ++col) {
    int pivot = col;
    for (int r = col + 1; r < n; ++r)
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    if (std::fabs(a[pivot][col]) < 1e-300) return false;
    if (pivot != col) {
      for (int c = 0; c < n; ++c) std::swap(a[col][c], a[pivot][c]);
      std::swap(b[col], b[pivot]);
    }
    for (int r = col + 1; r < n; ++r) {
      const double f = a[r][col] / a[col][col];
      for (int c = col; c < n; ++c) a[r][c] -= f * a[col][c];
      b[r] -= f * b[col];
    }
  }
  for (int r = n - 1; r >= 0; --r) {
    double s = b[r];
    for (int c = r + 1; c < n; ++c) s -= a[r][c] * x[c];
    x[r] = s / a[r][r];
  }
  return true;
}

void FitGains(const Problem& pr, double gains[N]) {
  const double low = kGainMinDb, high = kGainMaxDb;
  std::vector<double> residual;
  double cost = Cost(pr, gains, &residual);
  double lambda = 1e-3;
  for (int iteration = 0; iteration < 300 && cost > 1e-20; ++iteration) {
    std::vector<double> jac[N];
    Jacobian(pr, gains, jac);
    double grad[N];
    for (int i = 0; i < N; ++i) {
      grad[i] = 0.0;
      for (size_t j = 0; j < residual.size(); ++j) grad[i] += jac[i][j] * residual[j];
    }
    // A gain held at its limit while the slope pushes it further out stays there; the step
    // is solved for the others only, so that the clamp does not spoil their direction.
    int freeBand[N], n = 0;
    for (int i = 0; i < N; ++i) {
      const bool pinnedLow = gains[i] <= low && grad[i] > 0.0;
      const bool pinnedHigh = gains[i] >= high && grad[i] < 0.0;
      if (!pinnedLow && !pinnedHigh) freeBand[n++] = i;
    }
    if (n == 0) break;

    bool improved = false;
    double largestStep = 0.0;
    for (int attempt = 0; attempt < 20 && !improved; ++attempt) {
      double a[N][N], b[N], step[N];
      for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
          double s = 0.0;
          for (size_t j = 0; j < residual.size(); ++j) s += jac[freeBand[r]][j] * jac[freeBand[c]][j];
          a[r][c] = s;
        }
        a[r][r] += lambda * (a[r][r] + 1e-9);
        b[r] = -grad[freeBand[r]];
      }
      if (!Solve(n, a, b, step)) { lambda *= 4; continue; }
      double trial[N];
      std::copy(gains, gains + N, trial);
      largestStep = 0.0;
      for (int r = 0; r < n; ++r) {
        double& g = trial[freeBand[r]];
        const double before = g;
        g = std::clamp(g + step[r], low, high);
        largestStep = std::fmax(largestStep, std::fabs(g - before));
      }
      std::vector<double> trialResidual;
      const double trialCost = Cost(pr, trial, &trialResidual);
      if (trialCost < cost) {
        std::copy(trial, trial + N, gains);
        residual = std::move(trialResidual);
        cost = trialCost;
        lambda = std::fmax(lambda / 3, 1e-12);
        improved = true;
      } else {
        lambda *= 4;
      }
    }
    if (!improved || largestStep < 1e-7) break;
  }
}

}  // namespace

bool FitCorrection(const Correction& correction, int32_t sampleRate, CorrectionFit* fit, std::string* error) {
  if (GEQ15_CheckRate(sampleRate) != 0) {
    *error = "sample rate " + std::to_string(sampleRate) + " Hz is outside " + std::to_string(kMinSampleRate) + " to " +
             std::to_string(kMaxSampleRate) + " Hz";
    return false;
  }
  for (const ParametricFilter& f : correction.filters) {
    if (f.hz >= 0.5 * sampleRate) {
      *error = "line " + std::to_string(f.line) + ": Fc " + std::to_string(static_cast<long>(f.hz)) +
               " Hz is not below half the sample rate (" + std::to_string(sampleRate) + " Hz)";
      return false;
    }
  }

  Problem pr;
  pr.rate = sampleRate;
  const double step = std::pow(2.0, 1.0 / 24.0);
  for (double hz = kFitLowHz; hz <= kFitHighHz * (1 + 1e-9); hz *= step) {
    pr.hz.push_back(hz);
    pr.target.push_back(CorrectionTargetDb(correction, sampleRate, hz));
  }

  // Start from the target read at each centre; the fit then accounts for the overlap.
  double gains[N];
  for (int i = 0; i < N; ++i)
    gains[i] = std::clamp(CorrectionTargetDb(correction, sampleRate, kBandCentreHz[i]), double{kGainMinDb},
                          double{kGainMaxDb});
  FitGains(pr, gains);

  // The file keeps five decimals; fit, error and headroom are all judged on what it will hold.
  for (int i = 0; i < N; ++i) gains[i] = std::round(gains[i] * 1e5) / 1e5;
  GEQ15ChannelCoefs coefs;
  ResponsePeak peak{};
  for (int round = 0;; ++round) {
    fit->param = ParamFromGains(gains);
    DesignChannel(fit->param, sampleRate, &coefs);
    peak = FindResponsePeak(coefs, sampleRate, 20.0, 20000.0);
    // The output gain cannot go below kGainMinDb, so a curve that peaks higher than that
    // headroom is lowered as a whole until the output gain can give it all it needs.
    const double headroom = -kGainMinDb;
    if (peak.db <= headroom || round == 8) break;
    for (int i = 0; i < N; ++i)
      gains[i] = std::fmax(kGainMinDb, std::round((gains[i] - (peak.db - headroom) - 0.01) * 1e5) / 1e5);
  }

  double sumSquares = 0.0;
  fit->maxErrorDb = 0.0;
  fit->maxErrorHz = pr.hz.front();
  for (size_t j = 0; j < pr.hz.size(); ++j) {
    const double e = CascadeResponseDb(coefs, sampleRate, pr.hz[j]) - pr.target[j];
    sumSquares += e * e;
    if (std::fabs(e) > fit->maxErrorDb) { fit->maxErrorDb = std::fabs(e); fit->maxErrorHz = pr.hz[j]; }
  }
  fit->rmsErrorDb = std::sqrt(sumSquares / pr.hz.size());

  fit->peakDb = peak.db;
  fit->peakHz = peak.hz;
  // Rounded down to whole hundredths of a dB, with a hair more, so that the gain read back from
  // the file still keeps the peak at or below 0 dB after float rounding.
  fit->param.gain = peak.db > 0.0 ? static_cast<float>(-std::ceil((peak.db + 1e-6) * 100.0) / 100.0) : 0.0f;
  return true;
}
