#include "curves/correction_summary.h"

#include <cmath>
#include <cstdio>

namespace {

std::string Counted(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// One decimal, without printing a rounded-away negative value as "-0.0".
std::string Db(double db) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", std::fabs(db) < 0.05 ? 0.0 : db);
  return text;
}

}  // namespace

std::string FormatFrequency(double hz) {
  char text[32];
  // From 999.5 Hz on, three digits of Hz would round up to "1e+03 Hz".
  if (hz >= 999.5) std::snprintf(text, sizeof text, "%.3g kHz", hz / 1000.0);
  else std::snprintf(text, sizeof text, "%.3g Hz", hz);
  return text;
}

std::string FormatImportSummary(const Correction& correction, const CorrectionFit& fit) {
  std::string what;
  if (!correction.points.empty()) what = Counted(correction.points.size(), "point", "points");
  if (!correction.filters.empty()) {
    if (!what.empty()) what += " and ";
    what += Counted(correction.filters.size(), "filter", "filters");
  }
  std::string text = "Imported " + what + ": RMS error " + Db(fit.rmsErrorDb) + " dB, largest " +
                     Db(fit.maxErrorDb) + " dB at " + FormatFrequency(fit.maxErrorHz) + ".";
  text += " Output gain " + Db(fit.param.gain) + " dB.";
  if (!correction.note.empty()) text += " " + correction.note;
  return text;
}
