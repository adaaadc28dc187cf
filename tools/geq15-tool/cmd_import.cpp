// geq15-tool import CORRECTION [-o OUT.xml] [--rate HZ]
// A headphone correction (GraphicEQ line, parametric or fixed-band filters, or a CSV curve)
// fitted to the fifteen bands and written as a settings file the program loads.
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "settings/settings_document.h"
#include "settings/text_buffer.h"
#include "tools/geq15-tool/commands.h"
#include "curves/correction_fit.h"
#include "curves/correction_import.h"
#include "files/file_io.h"
#include "tools/geq15-tool/output_file.h"
#include "tools/geq15-tool/tool_args.h"

namespace tool {

namespace {

const char kImportHelp[] =
    "usage: geq15-tool import CORRECTION [-o OUT.xml] [--rate HZ]\n"
    "\n"
    "Reads a headphone correction and writes VEZ-15 settings that approximate it, for\n"
    "\"Load GEQ Settings\". CORRECTION may hold:\n"
    "  a line 'GraphicEQ: f1 g1; f2 g2; ...'\n"
    "  'Preamp: X dB' and 'Filter n: ON PK Fc F Hz Gain G dB Q Q' lines (BW Oct B in place of\n"
    "  Q, LSC/HSC shelves and OFF filters are read too)\n"
    "  two columns, frequency in Hz and gain in dB, separated by a comma, semicolon, tab or spaces\n"
    "  columns named by a first line such as 'frequency,raw,error,...,equalization,...': the\n"
    "  frequency and 'equalization' columns are read (without one, the second column)\n"
    "Comments start with '#'. The fifteen band gains (-12 to +12 dB) are fitted by least squares\n"
    "over log frequency to the real response of the bands, designed at HZ (default %d). The\n"
    "file's preamp is replaced by an output gain that keeps the response's peak at or below 0 dB.\n"
    "Both channels get the same values. Without -o the settings go to stdout.\n";

constexpr size_t kMaxCorrectionBytes = 16u << 20;

std::string Kilohertz(double hz) {
  char text[32];
  if (hz >= 1000.0) std::snprintf(text, sizeof text, "%.1f kHz", hz / 1000.0);
  else std::snprintf(text, sizeof text, "%.0f Hz", hz);
  return text;
}

}  // namespace

int RunImport(int argc, char** argv, FILE* out, FILE* err) {
  const char* name = "import";
  std::string correctionPath, outPath;
  int32_t rate = kRateBeforeStart;
  OptionCursor options(argc, argv);
  while (const char* arg = options.Next()) {
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      std::fprintf(out, kImportHelp, static_cast<int>(kRateBeforeStart));
      return kExitOk;
    } else if (std::strcmp(arg, "-o") == 0 || std::strcmp(arg, "--output") == 0) {
      const char* value = options.TakeValue();
      if (!value || !*value) return UsageError(err, name, "-o needs a file name");
      outPath = value;
    } else if (std::strcmp(arg, "--rate") == 0) {
      const char* value = options.TakeValue();
      if (!ParseSampleRate(value, &rate))
        return UsageError(err, name, "--rate needs a sample rate from %d to %d Hz, not '%s'",
                          static_cast<int>(kMinSampleRate), static_cast<int>(kMaxSampleRate), value ? value : "");
    } else if (arg[0] == '-' && arg[1] != '\0') {
      return UsageError(err, name, "unknown option '%s'", arg);
    } else if (correctionPath.empty()) {
      correctionPath = arg;
    } else {
      return UsageError(err, name, "one correction file only ('%s' is extra)", arg);
    }
  }
  if (correctionPath.empty()) return UsageError(err, name, "which correction file? Give its path");
  if (!outPath.empty() && IsSameFile(outPath.c_str(), correctionPath.c_str()))
    return UsageError(err, name, "-o %s would overwrite the correction file itself; choose another name", outPath.c_str());

  std::string text, error;
  if (!ReadInputFile(correctionPath, kMaxCorrectionBytes, &text, &error)) {
    std::fprintf(err, "geq15-tool %s: %s\n", name, error.c_str());
    return kExitUsage;
  }
  Correction correction;
  if (!ParseCorrection(text, &correction, &error)) {
    std::fprintf(err, "geq15-tool %s: %s: %s\n", name, correctionPath.c_str(), error.c_str());
    return kExitUsage;
  }
  CorrectionFit fit;
  if (!FitCorrection(correction, rate, &fit, &error)) {
    std::fprintf(err, "geq15-tool %s: %s: %s\n", name, correctionPath.c_str(), error.c_str());
    return kExitUsage;
  }

  // The document as a save would write it: bus 0, the placement of a program that has not yet
  // placed its window, both live records with the fit, records 3 to 8 at their defaults.
  GEQ15ChannelParam records[kChannelRecords] = {fit.param, fit.param};
  TextBuffer document{};
  InitTextBuffer(&document);
  const int32_t built = BuildSettingsDocument(&document, 0, kUnsetCoordinate, kUnsetCoordinate, kWindowWidth,
                                              kWindowHeight, records);
  if (built != 0) {
    ReleaseTextBuffer(&document);
    std::fprintf(err, "geq15-tool %s: out of memory while building the settings\n", name);
    return kExitFailure;
  }
  const std::string bytes(document.data, document.length);
  ReleaseTextBuffer(&document);

  if (outPath.empty()) {
    std::fwrite(bytes.data(), 1, bytes.size(), out);
  } else if (!WriteOutputFile(outPath, bytes, &error)) {
    std::fprintf(err, "geq15-tool %s: %s\n", name, error.c_str());
    return kExitFailure;
  }

  std::fprintf(err, "band gains (dB):");
  for (int i = 0; i < kBandCount; ++i) std::fprintf(err, " %.1f", fit.param.bands[i]);
  std::fprintf(err, "\nfit from 20 Hz to 16 kHz at %d Hz: RMS error %.2f dB, maximum error %.2f dB at %s\n",
               static_cast<int>(rate), fit.rmsErrorDb, fit.maxErrorDb, Kilohertz(fit.maxErrorHz).c_str());
  std::fprintf(err, "output gain %.2f dB: the bands peak at %+.2f dB (%s)", fit.param.gain, fit.peakDb,
               Kilohertz(fit.peakHz).c_str());
  if (correction.hasPreamp) std::fprintf(err, "; the file's preamp of %.2f dB is not used", correction.preampDb);
  std::fprintf(err, "\n");
  if (!correction.note.empty()) std::fprintf(err, "%s\n", correction.note.c_str());
  return kExitOk;
}

}  // namespace tool
