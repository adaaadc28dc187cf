#include "tools/geq15-tool/response_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {

// Plot area inside the image, in SVG user units (pixels).
constexpr double kWidth = 860, kHeight = 420;
constexpr double kLeft = 60, kRight = 830, kTop = 50, kBottom = 370;
constexpr double kLowHz = 20.0, kHighHz = 20000.0;
constexpr double kMinDb = -15.0, kMaxDb = 15.0;

double X(double hz) { return kLeft + (kRight - kLeft) * std::log10(hz / kLowHz) / std::log10(kHighHz / kLowHz); }
double Y(double db) { return kTop + (kBottom - kTop) * (kMaxDb - db) / (kMaxDb - kMinDb); }

std::string Format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* pattern, ...) {
  char text[512];
  va_list args;
  va_start(args, pattern);
  std::vsnprintf(text, sizeof text, pattern, args);
  va_end(args);
  return text;
}

std::string Escape(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        // Control characters are not allowed in XML 1.0 text; anything above ASCII is kept only
        // if it is part of valid UTF-8, which we cannot promise for file names, so it goes too.
        out += (c < 0x20 || c >= 0x7F) ? '?' : static_cast<char>(c);
    }
  }
  return out;
}

std::string FrequencyLabel(double hz) {
  if (hz >= 1000.0) return Format("%gk", hz / 1000.0);
  return Format("%g", hz);
}

}  // namespace

std::string ResponseSvg(const ResponsePlot& plot) {
  std::string svg;
  svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += Format("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
                "font-family=\"Arial, Helvetica, sans-serif\" font-size=\"12\">\n",
                kWidth, kHeight, kWidth, kHeight);
  svg += Format("<rect width=\"%.0f\" height=\"%.0f\" fill=\"#ffffff\"/>\n", kWidth, kHeight);
  svg += Format("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"#f7f8fa\" stroke=\"#888888\"/>\n",
                kLeft, kTop, kRight - kLeft, kBottom - kTop);

  // Title line: what is plotted and how.
  std::string heading = plot.title.empty() ? "Equalizer response" : "Equalizer response: " + plot.title;
  svg += Format("<text x=\"%.1f\" y=\"22\" font-size=\"15\" font-weight=\"bold\" fill=\"#222222\">", kLeft) +
         Escape(heading) + "</text>\n";
  svg += Format("<text x=\"%.1f\" y=\"40\" fill=\"#555555\">channel 1 at %d Hz, output gain %+.1f dB%s</text>\n", kLeft,
                plot.sampleRate, plot.bypassed ? 0.0 : plot.outputGainDb, plot.bypassed ? ", bypassed" : "");

  // Frequency grid: decades, with 2 and 5 between them.
  svg += "<g stroke=\"#dde1e6\" stroke-width=\"1\">\n";
  for (double decade = 10.0; decade <= 10000.0; decade *= 10.0)
    for (int m = 1; m <= 9; ++m) {
      const double hz = decade * m;
      if (hz < kLowHz || hz > kHighHz) continue;
      svg += Format("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"%s/>\n", X(hz), kTop, X(hz), kBottom,
                    (m == 1) ? " stroke=\"#c3c8cf\"" : "");
    }
  for (int db = -15; db <= 15; db += 3)
    svg += Format("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>\n", kLeft, Y(db), kRight, Y(db));
  svg += "</g>\n";
  svg += Format("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#555555\" stroke-width=\"1.2\"/>\n",
                kLeft, Y(0), kRight, Y(0));

  // Axis labels.
  svg += "<g fill=\"#444444\" text-anchor=\"middle\">\n";
  const double labelled[] = {20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000};
  for (double hz : labelled)
    svg += Format("<text x=\"%.1f\" y=\"%.1f\">", X(hz), kBottom + 18) + FrequencyLabel(hz) + "</text>\n";
  svg += Format("<text x=\"%.1f\" y=\"%.1f\">frequency (Hz)</text>\n", (kLeft + kRight) / 2, kBottom + 38);
  svg += "</g>\n<g fill=\"#444444\" text-anchor=\"end\">\n";
  for (int db = -15; db <= 15; db += 3)
    svg += Format("<text x=\"%.1f\" y=\"%.1f\">%+d</text>\n", kLeft - 6, Y(db) + 4, db);
  svg += "</g>\n";
  svg += Format("<text x=\"16\" y=\"%.1f\" fill=\"#444444\" text-anchor=\"middle\" transform=\"rotate(-90 16 %.1f)\">level (dB)</text>\n",
                (kTop + kBottom) / 2, (kTop + kBottom) / 2);

  // Band centres: a dashed marker from 0 dB to the band's gain, labelled with the gain.
  svg += "<g font-size=\"10\" text-anchor=\"middle\">\n";
  for (int i = 0; i < kBandCount; ++i) {
    const double hz = kBandCentreHz[i];
    const double gain = plot.bypassed ? 0.0 : plot.bandGainDb[i];
    const double shown = std::clamp(gain, kMinDb, kMaxDb);
    svg += Format("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#e07b00\" stroke-dasharray=\"3 3\"/>\n",
                  X(hz), Y(0), X(hz), Y(shown));
    svg += Format("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3.5\" fill=\"#e07b00\"/>\n", X(hz), Y(shown));
    const double labelY = gain >= 0 ? Y(shown) - 8 : Y(shown) + 16;
    svg += Format("<text x=\"%.1f\" y=\"%.1f\" fill=\"#a35a00\">%+.1f</text>\n", X(hz), labelY, gain);
  }
  svg += "</g>\n";

  // The curve, held at the plot's edge where it leaves the range. Clamping the points instead
  // of using an SVG clip path keeps the image right in viewers that ignore clip paths.
  if (!plot.hz.empty()) {
    svg += "<polyline fill=\"none\" stroke=\"#1f5fbf\" stroke-width=\"2.2\" stroke-linejoin=\"round\" points=\"";
    for (size_t i = 0; i < plot.hz.size() && i < plot.db.size(); ++i) {
      const double db = std::isfinite(plot.db[i]) ? std::clamp(plot.db[i], kMinDb, kMaxDb) : kMinDb;
      svg += Format("%s%.2f,%.2f", i ? " " : "", X(plot.hz[i]), Y(db));
    }
    svg += "\"/>\n";
  }
  svg += "</svg>\n";
  return svg;
}
