// Headphone-correction files as people exchange them, read into one target curve:
//   - "GraphicEQ: f1 g1; f2 g2; ..." curve points (the Equalizer APO form),
//   - "Preamp: X dB" and "Filter n: ON PK Fc F Hz Gain G dB Q Q" lines (parametric or
//     fixed-band; "BW Oct B" may stand in place of Q; LSC/HSC shelves are read too),
//   - a two-column CSV of frequency and gain (comma, semicolon, tab or spaces between them),
//   - a CSV whose first line names more than two columns: the frequency column and the
//     `equalization` column are read (failing that, the second column, which `note` names).
// Comments ('#' to the end of the line), blank lines, CR LF line ends and a UTF-8 byte-order
// mark are tolerated; a decimal comma is read where it cannot be mistaken for a separator.
#pragma once

#include <string>
#include <vector>

struct CurvePoint {
  double hz;
  double db;
};

enum class FilterKind { Peak, LowShelf, HighShelf };

struct ParametricFilter {
  FilterKind kind;
  double hz;
  double db;
  double q;
  int line;  // where it was read, for messages
};

struct Correction {
  std::vector<CurvePoint> points;          // sorted by frequency, one value per frequency
  std::vector<ParametricFilter> filters;   // enabled filters only
  bool hasPreamp = false;
  double preampDb = 0.0;  // the file's own headroom; not part of the target shape
  std::string note;       // a choice the file left to the reader, as a sentence for the user; or empty
};

// Reads `text`. On failure returns false and sets `error` to "line N: what is wrong".
bool ParseCorrection(const std::string& text, Correction* out, std::string* error);

// The correction's level at hz in dB, without the preamp: curve points interpolated linearly
// over log frequency (held flat beyond the first and last point), plus every filter designed
// at sampleRate.
double CorrectionTargetDb(const Correction& correction, double sampleRate, double hz);
