#include "curves/correction_import.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "curves/response.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

std::vector<std::string_view> SplitOn(std::string_view s, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    size_t at = s.find(separator, start);
    parts.push_back(Trim(s.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start)));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

std::vector<std::string_view> SplitWords(std::string_view s) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && IsSpace(s[i])) ++i;
    size_t start = i;
    while (i < s.size() && !IsSpace(s[i])) ++i;
    if (i > start) words.push_back(s.substr(start, i - start));
  }
  return words;
}

// A plain decimal number, independent of the process locale. With `commaDecimal` one ','
// counts as the decimal point, for tokens where no separator can be a comma.
bool ParseNumber(std::string_view token, bool commaDecimal, double* value) {
  std::string text(Trim(token));
  if (commaDecimal && text.find('.') == std::string::npos && std::count(text.begin(), text.end(), ',') == 1)
    std::replace(text.begin(), text.end(), ',', '.');
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') {
    ++first;
    if (first != last && (*first == '+' || *first == '-')) return false;
  }
  if (first == last) return false;
  double v = 0.0;
  auto [end, ec] = std::from_chars(first, last, v, std::chars_format::fixed | std::chars_format::scientific);
  if (ec != std::errc() || end != last || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

std::string LineError(int line, const std::string& what) { return "line " + std::to_string(line) + ": " + what; }

std::string Quote(std::string_view s) {
  if (s.size() > 40) return "'" + std::string(s.substr(0, 40)) + "...'";
  return "'" + std::string(s) + "'";
}

bool ParseFrequency(std::string_view token, bool commaDecimal, double* hz) {
  return ParseNumber(token, commaDecimal, hz) && *hz > 0.0;
}

// "GraphicEQ: 20 -6.3; 21 -6.3; ..." after the colon.
bool ParseGraphicEq(std::string_view body, int line, std::vector<CurvePoint>* points, std::string* error) {
  for (std::string_view item : SplitOn(body, ';')) {
    if (item.empty()) continue;  // a trailing ';' or a doubled one
    std::vector<std::string_view> words = SplitWords(item);
    CurvePoint p{};
    if (words.size() != 2 || !ParseFrequency(words[0], true, &p.hz) || !ParseNumber(words[1], true, &p.db)) {
      *error = LineError(line, "expected 'frequency gain' pairs separated by ';', found " + Quote(item));
      return false;
    }
    points->push_back(p);
  }
  return true;
}

// "Preamp: -6.2 dB"
bool ParsePreamp(std::string_view body, int line, Correction* out, std::string* error) {
  std::vector<std::string_view> words = SplitWords(body);
  double db = 0.0;
  if (words.empty() || words.size() > 2 || !ParseNumber(words[0], true, &db) ||
      (words.size() == 2 && !EqualsNoCase(words[1], "dB"))) {
    *error = LineError(line, "expected 'Preamp: <gain> dB', found " + Quote(body));
    return false;
  }
  out->hasPreamp = true;
  out->preampDb = db;
  return true;
}

// "Filter 1: ON PK Fc 1000 Hz Gain -3.5 dB Q 1.41" (or "BW Oct 0.667" for the Q).
bool ParseFilter(std::string_view rest, int line, Correction* out, std::string* error) {
  size_t colon = rest.find(':');
  std::string_view label = Trim(rest.substr(0, colon));
  double number = 0.0;
  if (colon == std::string_view::npos || (!label.empty() && !ParseNumber(label, false, &number))) {
    *error = LineError(line, "expected 'Filter <n>: ON PK Fc <Hz> Hz Gain <dB> dB Q <Q>'");
    return false;
  }
  std::vector<std::string_view> words = SplitWords(rest.substr(colon + 1));
  if (words.empty()) {
    *error = LineError(line, "the filter has no settings");
    return false;
  }
  if (EqualsNoCase(words[0], "OFF")) return true;
  if (!EqualsNoCase(words[0], "ON")) {
    *error = LineError(line, "expected ON or OFF after the filter's colon, found " + Quote(words[0]));
    return false;
  }
  if (words.size() < 2) {
    *error = LineError(line, "the filter has no type");
    return false;
  }
  ParametricFilter f{FilterKind::Peak, 0.0, 0.0, 0.0, line};
  std::string_view type = words[1];
  if (EqualsNoCase(type, "PK") || EqualsNoCase(type, "PEQ")) f.kind = FilterKind::Peak;
  else if (EqualsNoCase(type, "LSC") || EqualsNoCase(type, "LS")) f.kind = FilterKind::LowShelf;
  else if (EqualsNoCase(type, "HSC") || EqualsNoCase(type, "HS")) f.kind = FilterKind::HighShelf;
  else if (EqualsNoCase(type, "NO")) return true;  // a placeholder that does nothing
  else {
    *error = LineError(line, "filter type " + Quote(type) + " is not supported (use PK, LSC or HSC)");
    return false;
  }
  bool haveFc = false, haveGain = false, haveQ = false;
  for (size_t i = 2; i < words.size();) {
    std::string_view key = words[i];
    auto value = [&](size_t at, double* v, bool positive) {
      return at < words.size() && ParseNumber(words[at], true, v) && (!positive || *v > 0.0);
    };
    if (EqualsNoCase(key, "Fc")) {
      if (!value(i + 1, &f.hz, true)) break;
      haveFc = true;
      i += 2;
      if (i < words.size() && EqualsNoCase(words[i], "Hz")) ++i;
    } else if (EqualsNoCase(key, "Gain")) {
      if (!value(i + 1, &f.db, false)) break;
      haveGain = true;
      i += 2;
      if (i < words.size() && EqualsNoCase(words[i], "dB")) ++i;
    } else if (EqualsNoCase(key, "Q")) {
      if (!value(i + 1, &f.q, true)) break;
      haveQ = true;
      i += 2;
    } else if (EqualsNoCase(key, "BW") && i + 1 < words.size() && EqualsNoCase(words[i + 1], "Oct")) {
      double octaves = 0.0;
      if (!value(i + 2, &octaves, true)) break;
      // The usual conversion between bandwidth in octaves and Q.
      const double span = std::pow(2.0, octaves);
      f.q = std::sqrt(span) / (span - 1.0);
      haveQ = true;
      i += 3;
    } else {
      *error = LineError(line, "unexpected " + Quote(key) + " in the filter (expected Fc, Gain, Q or BW Oct)");
      return false;
    }
  }
  if (!(haveFc && haveGain && haveQ)) {
    *error = LineError(line, "the filter needs a positive 'Fc <Hz> Hz', a 'Gain <dB> dB' and a positive 'Q <Q>' or 'BW Oct <octaves>'");
    return false;
  }
  out->filters.push_back(f);
  return true;
}

// One line of the two-column CSV. The column separator is a semicolon or a tab when there is
// one (a comma is then a decimal comma); otherwise one comma; otherwise spaces.
enum class CsvRow { Values, NotNumeric, Ambiguous };
CsvRow ParseCsvRow(std::string_view text, std::vector<std::string_view>* fields, bool* commaDecimal) {
  *commaDecimal = false;
  if (text.find(';') != std::string_view::npos) {
    *fields = SplitOn(text, ';');
    *commaDecimal = true;
  } else if (text.find('\t') != std::string_view::npos) {
    *fields = SplitOn(text, '\t');
    *commaDecimal = true;
  } else {
    size_t commas = std::count(text.begin(), text.end(), ',');
    std::vector<std::string_view> words = SplitWords(text);
    if (commas == 0) {
      *fields = words;
    } else if (words.size() == 2 && (commas == 1 || commas == 2) &&
               (words[0].back() != ',' && words[1].front() != ',')) {
      // "20,5 -3,2": the space separates, every comma is a decimal comma.
      *fields = words;
      *commaDecimal = true;
    } else if (commas == 1) {
      *fields = SplitOn(text, ',');
    } else {
      return CsvRow::Ambiguous;
    }
  }
  // A trailing separator leaves an empty last field; real exports do that.
  if (fields->size() > 2 && fields->back().empty()) fields->pop_back();
  for (std::string_view f : *fields) {
    double v;
    if (!ParseNumber(f, *commaDecimal, &v)) return CsvRow::NotNumeric;
  }
  return CsvRow::Values;
}

// The columns a header line picks when it names more than two, as the raw results of a large
// public collection of headphone corrections do ("frequency,raw,error,smoothed,...,
// equalization,...,target"). Its separator holds for every row: names have no decimal commas,
// so a comma there separates, and a comma-separated row can then hold none either.
struct CsvColumns {
  char separator = 0;  // ';', '\t' or ','; 0 for runs of spaces
  size_t hz = 0, db = 1;
};

std::vector<std::string_view> SplitColumns(std::string_view line, char separator) {
  std::vector<std::string_view> fields = separator ? SplitOn(line, separator) : SplitWords(line);
  if (fields.size() > 2 && fields.back().empty()) fields.pop_back();  // a trailing separator
  return fields;
}

bool ReadCsvHeader(std::string_view line, CsvColumns* columns, std::string* note) {
  columns->separator = 0;
  for (char c : {';', '\t', ','}) {
    if (line.find(c) != std::string_view::npos) {
      columns->separator = c;
      break;
    }
  }
  std::vector<std::string_view> names = SplitColumns(line, columns->separator);
  if (names.size() <= 2) return false;  // two columns are read as they always were
  double number;
  for (std::string_view& name : names) {
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = Trim(name.substr(1, name.size() - 2));
    if (name.empty() || ParseNumber(name, true, &number)) return false;  // not a line of names
  }
  auto column = [&](auto matches) { return static_cast<size_t>(std::find_if(names.begin(), names.end(), matches) - names.begin()); };
  columns->hz = column([](std::string_view n) { return StartsWithNoCase(n, "freq") || EqualsNoCase(n, "Hz"); });
  if (columns->hz == names.size()) columns->hz = 0;
  columns->db = column([](std::string_view n) { return EqualsNoCase(n, "equalization"); });
  if (columns->db == names.size()) {
    columns->db = columns->hz == 0 ? 1 : 0;
    *note = "Gain taken from column " + std::to_string(columns->db + 1) + " (" + Quote(names[columns->db]) +
            "): the header names no 'equalization' column.";
  }
  return true;
}

bool ParseColumnsRow(std::string_view line, const CsvColumns& columns, int lineNumber, CurvePoint* p, std::string* error) {
  std::vector<std::string_view> fields = SplitColumns(line, columns.separator);
  const bool commaDecimal = columns.separator != ',';
  if (std::max(columns.hz, columns.db) < fields.size() && ParseFrequency(fields[columns.hz], commaDecimal, &p->hz) &&
      ParseNumber(fields[columns.db], commaDecimal, &p->db))
    return true;
  *error = LineError(lineNumber, "expected a frequency in Hz in column " + std::to_string(columns.hz + 1) +
                                     " and a gain in dB in column " + std::to_string(columns.db + 1) +
                                     ", as the first line names them, found " + Quote(line));
  return false;
}

void SortAndMerge(std::vector<CurvePoint>* points) {
  std::stable_sort(points->begin(), points->end(), [](const CurvePoint& a, const CurvePoint& b) { return a.hz < b.hz; });
  std::vector<CurvePoint> merged;
  for (const CurvePoint& p : *points) {
    if (!merged.empty() && merged.back().hz == p.hz) merged.back() = p;  // the later value wins
    else merged.push_back(p);
  }
  *points = std::move(merged);
}

}  // namespace

bool ParseCorrection(const std::string& text, Correction* out, std::string* error) {
  *out = Correction{};
  std::string_view all(text);
  if (all.size() >= 3 && std::memcmp(all.data(), "\xEF\xBB\xBF", 3) == 0) all.remove_prefix(3);

  enum class Kind { Unknown, EqualizerApo, Csv } kind = Kind::Unknown;
  bool sawData = false, namedColumns = false;
  CsvColumns columns;
  int lineNumber = 0;
  size_t pos = 0;
  while (pos < all.size()) {
    size_t end = all.find_first_of("\r\n", pos);
    std::string_view raw = all.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    ++lineNumber;
    if (end == std::string_view::npos) pos = all.size();
    else pos = end + ((all[end] == '\r' && end + 1 < all.size() && all[end + 1] == '\n') ? 2 : 1);

    if (raw.find('\0') != std::string_view::npos) {
      *error = LineError(lineNumber, "the file is not text");
      return false;
    }
    std::string_view line = Trim(raw.substr(0, raw.find('#')));
    if (line.empty()) continue;

    const bool apoLine = StartsWithNoCase(line, "GraphicEQ:") || StartsWithNoCase(line, "Preamp:") ||
                         StartsWithNoCase(line, "Filter");
    if (kind == Kind::Unknown) kind = apoLine ? Kind::EqualizerApo : Kind::Csv;

    if (kind == Kind::EqualizerApo) {
      bool ok;
      if (StartsWithNoCase(line, "GraphicEQ:")) ok = ParseGraphicEq(line.substr(10), lineNumber, &out->points, error);
      else if (StartsWithNoCase(line, "Preamp:")) ok = ParsePreamp(line.substr(7), lineNumber, out, error);
      else if (StartsWithNoCase(line, "Filter")) ok = ParseFilter(line.substr(6), lineNumber, out, error);
      else {
        *error = LineError(lineNumber, "expected a Preamp:, Filter or GraphicEQ: line, found " + Quote(line));
        ok = false;
      }
      if (!ok) return false;
      continue;
    }

    if (!sawData && ReadCsvHeader(line, &columns, &out->note)) {
      sawData = namedColumns = true;
      continue;
    }
    if (namedColumns) {
      CurvePoint p{};
      if (!ParseColumnsRow(line, columns, lineNumber, &p, error)) return false;
      out->points.push_back(p);
      continue;
    }
    std::vector<std::string_view> fields;
    bool commaDecimal = false;
    CsvRow row = ParseCsvRow(line, &fields, &commaDecimal);
    if (row == CsvRow::Ambiguous) {
      *error = LineError(lineNumber, "cannot tell the column separator from a decimal comma in " + Quote(line) +
                                         "; separate the columns with ';' or a tab");
      return false;
    }
    if (row == CsvRow::NotNumeric && !sawData && fields.size() == 2) {
      sawData = true;  // the column headings, e.g. "frequency,gain"
      continue;
    }
    CurvePoint p{};
    if (row == CsvRow::NotNumeric || fields.size() != 2 || !ParseFrequency(fields[0], commaDecimal, &p.hz) ||
        !ParseNumber(fields[1], commaDecimal, &p.db)) {
      *error = LineError(lineNumber, "expected two columns, frequency in Hz and gain in dB, found " + Quote(line));
      return false;
    }
    sawData = true;
    out->points.push_back(p);
  }

  if (out->points.empty() && out->filters.empty()) {
    *error = "no curve points or filters found";
    return false;
  }
  SortAndMerge(&out->points);
  return true;
}

namespace {

// Audio EQ Cookbook sections, normalised by a0, in the form BiquadPowerGain takes.
double FilterResponseDb(const ParametricFilter& f, double sampleRate, double hz) {
  const double w0 = kTwoPi * f.hz / sampleRate;
  const double A = std::pow(10.0, f.db / 40.0);
  const double alpha = std::sin(w0) / (2.0 * f.q);
  const double c = std::cos(w0);
  double b0, b1, b2, a0, a1, a2;
  switch (f.kind) {
    case FilterKind::Peak:
      b0 = 1 + alpha * A; b1 = -2 * c; b2 = 1 - alpha * A;
      a0 = 1 + alpha / A; a1 = -2 * c; a2 = 1 - alpha / A;
      break;
    case FilterKind::LowShelf: {
      const double s = 2 * std::sqrt(A) * alpha;
      b0 = A * ((A + 1) - (A - 1) * c + s); b1 = 2 * A * ((A - 1) - (A + 1) * c); b2 = A * ((A + 1) - (A - 1) * c - s);
      a0 = (A + 1) + (A - 1) * c + s; a1 = -2 * ((A - 1) + (A + 1) * c); a2 = (A + 1) + (A - 1) * c - s;
      break;
    }
    case FilterKind::HighShelf:
    default: {
      const double s = 2 * std::sqrt(A) * alpha;
      b0 = A * ((A + 1) + (A - 1) * c + s); b1 = -2 * A * ((A - 1) + (A + 1) * c); b2 = A * ((A + 1) + (A - 1) * c - s);
      a0 = (A + 1) - (A - 1) * c + s; a1 = 2 * ((A - 1) - (A + 1) * c); a2 = (A + 1) - (A - 1) * c - s;
      break;
    }
  }
  const double w = kTwoPi * hz / sampleRate;
  return 10.0 * std::log10(BiquadPowerGain(b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0, w));
}

double InterpolateCurve(const std::vector<CurvePoint>& points, double hz) {
  if (points.empty()) return 0.0;
  if (hz <= points.front().hz) return points.front().db;
  if (hz >= points.back().hz) return points.back().db;
  auto upper = std::upper_bound(points.begin(), points.end(), hz, [](double f, const CurvePoint& p) { return f < p.hz; });
  const CurvePoint& b = *upper;
  const CurvePoint& a = *(upper - 1);
  const double t = std::log(hz / a.hz) / std::log(b.hz / a.hz);
  return a.db + t * (b.db - a.db);
}

}  // namespace

double CorrectionTargetDb(const Correction& correction, double sampleRate, double hz) {
  double db = InterpolateCurve(correction.points, hz);
  for (const ParametricFilter& f : correction.filters) db += FilterResponseDb(f, sampleRate, hz);
  return db;
}
