// geq15-tool design: the coefficients the engine designs for a sample rate and settings, exactly
// as the audio thread would receive them.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/geq15.h"
#include "tools/geq15-tool/commands.h"
#include "tools/geq15-tool/tool_args.h"
#include "tools/geq15-tool/tool_settings.h"

namespace tool {
namespace {

constexpr const char* kName = "design";

void PrintHelp(FILE* out) {
  std::fprintf(
      out,
      "Usage: geq15-tool design --rate HZ [--gains G1,G2,...,G15] [--gain DB] [--bypass]\n"
      "       geq15-tool design --rate HZ --settings FILE\n"
      "Designs the fifteen band filters for sample rate HZ (%d to %d) and prints channel\n"
      "1's coefficients: 'gain <linear gain>', then 'band <i> <b0> <a1> <b2> <na2>' for bands 1\n"
      "to 15. Gains are in dB; omitted gains are 0 dB. --bypass designs the bands flat with unity\n"
      "gain. --settings takes channel records 1 and 2 from settings file FILE, loaded as VEZ-15\n"
      "loads it at start-up, instead of --gains, --gain and --bypass.\n",
      static_cast<int>(kMinSampleRate), static_cast<int>(kMaxSampleRate));
}

struct DesignOptions {
  int32_t rate = 0;
  bool haveRate = false;
  GEQ15ChannelParam param{};
  bool setByHand = false;          // any of --gains, --gain, --bypass
  const char* settings = nullptr;  // --settings FILE
};

// Returns kExitOk, or the exit code to end with (help printed or a usage error reported).
int ParseOptions(int argc, char** argv, FILE* out, FILE* err, DesignOptions* options, bool* helped) {
  OptionCursor cursor(argc, argv);
  while (const char* option = cursor.Next()) {
    if (std::strcmp(option, "--help") == 0 || std::strcmp(option, "-h") == 0) {
      PrintHelp(out);
      *helped = true;
      return kExitOk;
    }
    if (std::strcmp(option, "--bypass") == 0) {
      options->param.bypass = 1;
      options->setByHand = true;
      continue;
    }
    const bool takesValue = std::strcmp(option, "--rate") == 0 || std::strcmp(option, "--gains") == 0 ||
                            std::strcmp(option, "--gain") == 0 || std::strcmp(option, "--settings") == 0;
    if (!takesValue) return UsageError(err, kName, "unknown option '%s'", option);
    const char* value = cursor.TakeValue();
    if (!value) return UsageError(err, kName, "%s needs a value", option);

    if (std::strcmp(option, "--rate") == 0) {
      int32_t rate;
      if (!ParseSampleRate(value, &rate))
        return UsageError(err, kName, "--rate must be a whole number of Hz from %d to %d, not '%s'",
                          static_cast<int>(kMinSampleRate), static_cast<int>(kMaxSampleRate), value);
      options->rate = rate;
      options->haveRate = true;
    } else if (std::strcmp(option, "--settings") == 0) {
      options->settings = value;
    } else if (std::strcmp(option, "--gains") == 0) {
      std::vector<float> gains;
      if (!ParseFloatList(value, &gains) || gains.size() != static_cast<size_t>(kBandCount))
        return UsageError(err, kName, "--gains must be %d numbers in dB separated by commas, not '%s'",
                          kBandCount, value);
      for (int i = 0; i < kBandCount; ++i) options->param.bands[i] = gains[i];
      options->setByHand = true;
    } else {
      float gain;
      if (!ParseFiniteFloat(value, &gain))
        return UsageError(err, kName, "--gain must be a number in dB, not '%s'", value);
      options->param.gain = gain;
      options->setByHand = true;
    }
  }
  if (!options->haveRate) return UsageError(err, kName, "--rate HZ is required");
  if (options->settings && options->setByHand)
    return UsageError(err, kName, "--settings gives every gain; leave out --gains, --gain and --bypass");
  return kExitOk;
}

}  // namespace

int RunDesign(int argc, char** argv, FILE* out, FILE* err) {
  DesignOptions options;
  bool helped = false;
  const int parsed = ParseOptions(argc, argv, out, err, &options, &helped);
  if (parsed != kExitOk || helped) return parsed;

  // Records 1 and 2 form the stereo pair and are always set alike, unless a file says otherwise.
  GEQ15ChannelParam records[2] = {options.param, options.param};
  if (options.settings) {
    std::string error, warning;
    if (!LoadToolSettings(options.settings, records, &error, &warning)) {
      std::fprintf(err, "geq15-tool design: %s\n", error.c_str());
      return kExitFailure;
    }
    if (!warning.empty()) std::fprintf(err, "geq15-tool design: %s\n", warning.c_str());
  }

  CoefficientSet set{};
  if (GEQ15_Design(records, options.rate, &set) != 0) {
    std::fprintf(err, "geq15-tool design: the engine refused rate %d\n", static_cast<int>(options.rate));
    return kExitFailure;
  }

  const GEQ15ChannelCoefs& ch = set.channel[0];
  std::fputs("gain ", out);
  PrintFloat(out, ch.gain);
  std::fputc('\n', out);
  for (int i = 0; i < kBandCount; ++i) {
    std::fprintf(out, "band %d ", i + 1);
    for (float value : {ch.b0[i], ch.a1[i], ch.b2[i]}) {
      PrintFloat(out, value);
      std::fputc(' ', out);
    }
    PrintFloat(out, ch.na2[i]);
    std::fputc('\n', out);
  }
  if (std::fflush(out) != 0 || std::ferror(out)) {
    std::fprintf(err, "geq15-tool design: could not write the coefficients\n");
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace tool
