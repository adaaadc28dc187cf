// geq15-tool response --settings FILE [--rate HZ] [--svg PLOT.svg] [FREQ ...]
// The level of channel 1's designed cascade, output gain included, at each FREQ or at
// 1/12-octave points from 20 Hz to 20 kHz; the peak goes to stderr with a warning above 0 dB.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tools/geq15-tool/commands.h"
#include "files/file_io.h"
#include "tools/geq15-tool/output_file.h"
#include "curves/response.h"
#include "tools/geq15-tool/response_svg.h"
#include "tools/geq15-tool/tool_args.h"
#include "tools/geq15-tool/tool_settings.h"

namespace tool {

namespace {

const char kResponseHelp[] =
    "usage: geq15-tool response --settings FILE [--rate HZ] [--svg PLOT.svg] [FREQ ...]\n"
    "\n"
    "Prints '<frequency> <dB>' lines: the magnitude response of channel 1 of the settings file,\n"
    "its fifteen bands and its output gain, as designed at HZ (default %d, %d to %d).\n"
    "Without FREQ the points are 1/12 octave apart from 20 Hz to 20 kHz. The peak of the curve\n"
    "between 20 Hz and 20 kHz is reported on stderr, with a warning when it is above 0 dB.\n"
    "  --svg PLOT.svg   also draws the curve, the band gains and the 0 dB line into PLOT.svg\n";

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int RunResponse(int argc, char** argv, FILE* out, FILE* err) {
  const char* name = "response";
  std::string settingsPath, svgPath;
  int32_t rate = kRateBeforeStart;
  std::vector<double> frequencies;
  OptionCursor options(argc, argv);
  while (const char* arg = options.Next()) {
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      std::fprintf(out, kResponseHelp, static_cast<int>(kRateBeforeStart), static_cast<int>(kMinSampleRate),
                   static_cast<int>(kMaxSampleRate));
      return kExitOk;
    } else if (std::strcmp(arg, "--settings") == 0) {
      const char* value = options.TakeValue();
      if (!value) return UsageError(err, name, "--settings needs a settings file");
      settingsPath = value;
    } else if (std::strcmp(arg, "--rate") == 0) {
      const char* value = options.TakeValue();
      if (!ParseSampleRate(value, &rate))
        return UsageError(err, name, "--rate needs a sample rate from %d to %d Hz, not '%s'",
                          static_cast<int>(kMinSampleRate), static_cast<int>(kMaxSampleRate), value ? value : "");
    } else if (std::strcmp(arg, "--svg") == 0) {
      const char* value = options.TakeValue();
      if (!value || !*value) return UsageError(err, name, "--svg needs a file name");
      svgPath = value;
    } else if (arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9') && arg[1] != '.') {
      return UsageError(err, name, "unknown option '%s'", arg);
    } else {
      float hz;
      if (!ParseFiniteFloat(arg, &hz) || hz <= 0.0f)
        return UsageError(err, name, "'%s' is not a frequency in Hz (a positive number)", arg);
      frequencies.push_back(hz);
    }
  }
  if (settingsPath.empty()) return UsageError(err, name, "--settings FILE is required");
  for (double hz : frequencies)
    if (hz >= 0.5 * rate)
      return UsageError(err, name, "%g Hz is not below half the sample rate (%d Hz)", hz, static_cast<int>(rate));
  if (!svgPath.empty() && IsSameFile(svgPath.c_str(), settingsPath.c_str()))
    return UsageError(err, name, "the plot would overwrite the settings file %s; choose another name", svgPath.c_str());

  GEQ15ChannelParam records[2];
  std::string error, warning;
  if (!LoadToolSettings(settingsPath, records, &error, &warning)) {
    std::fprintf(err, "geq15-tool %s: %s\n", name, error.c_str());
    return kExitUsage;
  }
  if (!warning.empty()) std::fprintf(err, "geq15-tool %s: warning: %s\n", name, warning.c_str());

  GEQ15ChannelCoefs coefs;
  DesignChannel(records[0], rate, &coefs);
  if (frequencies.empty()) frequencies = TwelfthOctaveGrid();
  for (double hz : frequencies) std::fprintf(out, "%.6g %.4f\n", hz, CascadeResponseDb(coefs, rate, hz));

  const ResponsePeak peak = FindResponsePeak(coefs, rate, 20.0, 20000.0);
  std::fprintf(err, "peak %+.2f dB at %.0f Hz\n", std::fabs(peak.db) < 0.005 ? 0.0 : peak.db, peak.hz);
  if (peak.db > 0.0)
    std::fprintf(err,
                 "warning: the response peaks %.2f dB above 0 dB: a loud signal near %.0f Hz will clip; "
                 "lower the output gain by at least %.2f dB to avoid it\n",
                 peak.db, peak.hz, std::ceil(peak.db * 100.0) / 100.0);

  if (!svgPath.empty()) {
    ResponsePlot plot{};
    for (double hz = 20.0; hz <= 20000.0 * (1 + 1e-9) && hz < 0.5 * rate; hz *= std::pow(2.0, 1.0 / 48.0)) {
      plot.hz.push_back(hz);
      plot.db.push_back(CascadeResponseDb(coefs, rate, hz));
    }
    for (int i = 0; i < kBandCount; ++i) plot.bandGainDb[i] = records[0].bands[i];
    plot.outputGainDb = records[0].gain;
    plot.bypassed = records[0].bypass != 0;
    plot.sampleRate = rate;
    plot.title = BaseName(settingsPath);
    if (!WriteOutputFile(svgPath, ResponseSvg(plot), &error)) {
      std::fprintf(err, "geq15-tool %s: %s\n", name, error.c_str());
      return kExitFailure;
    }
  }
  return kExitOk;
}

}  // namespace tool
