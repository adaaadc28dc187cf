#include "curves/response_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "curves/correction_summary.h"

namespace {

constexpr double kClipMarginDb = 0.005;  // a peak the plot shows on the 0 dB line does not clip

std::string PeakText(const ResponseView& view) {
  char text[64];
  std::snprintf(text, sizeof text, "Peak %+.1f dB at ", view.peak.db);
  return text + FormatFrequency(view.peak.hz);
}

}  // namespace

PlotArea ResponsePlotArea(int32_t clientWidth, int32_t clientHeight) {
  PlotArea a{kViewMarginLeft, kViewMarginTop, clientWidth - 1 - kViewMarginRight,
             clientHeight - 1 - kViewMarginBottom};
  // A window smaller than its minimum still gets a plot of at least one pixel.
  a.right = std::max(a.right, a.left + 1);
  // A whole number of pixels per grid step: the grid lines, and a flat curve on the 0 dB line,
  // then fall on whole rows instead of between two.
  const int32_t steps = static_cast<int32_t>((kViewTopDb - kViewBottomDb) / kViewGridDb);
  a.bottom = a.top + std::max(steps, (a.bottom - a.top) / steps * steps);
  return a;
}

int32_t PlotColumn(const PlotArea& area, double hz) {
  const double t = std::log(hz / kViewLowHz) / std::log(kViewHighHz / kViewLowHz);
  return area.left + static_cast<int32_t>(std::lround(t * (area.right - area.left)));
}

int32_t PlotRow(const PlotArea& area, double db) {
  const double t = (kViewTopDb - db) / (kViewTopDb - kViewBottomDb);
  const double row = area.top + t * (area.bottom - area.top);
  return static_cast<int32_t>(std::lround(std::clamp(row, double(area.top), double(area.bottom))));
}

void BuildResponseView(const GEQ15ChannelParam records[2], int32_t sampleRate, const PlotArea& area,
                       ResponseView* view) {
  view->sampleRate = sampleRate;
  view->curveCount = std::memcmp(&records[0], &records[1], sizeof records[0]) == 0 ? 1 : 2;
  view->outputGainDb = records[0].gain;
  view->bypassed = records[0].bypass != 0;
  const double span = std::log(kViewHighHz / kViewLowHz);
  GEQ15ChannelCoefs coefs[2];
  for (int c = 0; c < view->curveCount; ++c) {
    DesignChannel(records[c], sampleRate, &coefs[c]);
    view->rows[c].resize(area.right - area.left + 1);
    for (int32_t x = area.left; x <= area.right; ++x) {
      const double hz = kViewLowHz * std::exp(span * (x - area.left) / (area.right - area.left));
      view->rows[c][x - area.left] = PlotRow(area, CascadeResponseDb(coefs[c], sampleRate, hz));
    }
    const ResponsePeak peak = FindResponsePeak(coefs[c], sampleRate, kViewLowHz, kViewHighHz);
    if (c == 0 || peak.db > view->peak.db) view->peak = peak;
  }
  view->rows[1].resize(view->curveCount == 2 ? view->rows[1].size() : 0);
  for (int i = 0; i < kBandCount; ++i) {
    view->markerColumn[i] = PlotColumn(area, kBandCentreHz[i]);
    view->markerRow[i] = PlotRow(area, CascadeResponseDb(coefs[0], sampleRate, kBandCentreHz[i]));
  }
}

std::string ClipWarning(const ResponseView& view) {
  return view.peak.db > kClipMarginDb ? PeakText(view) + ": loud input will clip" : std::string();
}

std::string DescribeResponse(const ResponseView& view) {
  char head[160];
  std::snprintf(head, sizeof head, "Response from 20 Hz to 20 kHz at %d Hz, output gain %+.1f dB%s%s. ",
                static_cast<int>(view.sampleRate), static_cast<double>(view.outputGainDb),
                view.curveCount == 2 ? ", left and right differ" : "", view.bypassed ? ", bypassed" : "");
  const std::string warning = ClipWarning(view);
  return head + (warning.empty() ? PeakText(view) + ": no clipping." : warning + ".");
}
