#include "tools/simhost/sim_audio.h"

#include "files/file_io.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>

namespace {

constexpr double kPi = 3.14159265358979323846;
// Brings the pink filter's output back to the RMS of its white input (measured over a long run).
constexpr double kPinkToUnityRms = 0.324;

std::string Trim(const std::string& s) {
  const size_t begin = s.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  const size_t end = s.find_last_not_of(" \t\r\n");
  return s.substr(begin, end - begin + 1);
}

bool ParseInt(const std::string& text, int32_t* out) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < INT32_MIN || v > INT32_MAX) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

bool ParseDouble(const std::string& text, double* out) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

bool ParseBool(const std::string& text, bool* out) {
  if (text == "1" || text == "yes" || text == "true" || text == "on") return *out = true, true;
  if (text == "0" || text == "no" || text == "false" || text == "off") return *out = false, true;
  return false;
}

std::vector<std::string> Split(const std::string& s, char sep, size_t maxParts) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (parts.size() + 1 < maxParts) {
    const size_t at = s.find(sep, start);
    if (at == std::string::npos) break;
    parts.push_back(s.substr(start, at - start));
    start = at + 1;
  }
  parts.push_back(s.substr(start));
  return parts;
}

uint32_t NextNoise(uint32_t* state) {  // xorshift32: cheap and never stuck at 0 from a non-zero seed
  uint32_t x = *state;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  return *state = x;
}

double UniformNoise(uint32_t* state) { return NextNoise(state) / 2147483648.0 - 1.0; }

uint32_t ReadLe32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t ReadLe16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

std::string ApplySimConfig(SimConfig* c, const std::string& rawKey, const std::string& rawValue) {
  const std::string key = Trim(rawKey);
  const std::string value = Trim(rawValue);
  auto bad = [&](const char* what) { return key + "=" + value + ": " + what; };
  if (key == "type") {
    if (!ParseInt(value, &c->hostType)) return bad("expected a host type (1, 2 or 3)");
  } else if (key == "rate") {
    if (!ParseInt(value, &c->rate) || c->rate < 1) return bad("expected a sample rate in Hz");
  } else if (key == "block") {
    if (!ParseInt(value, &c->block)) return bad("expected the announced block size in frames");
  } else if (key == "buffer_frames") {
    if (!ParseInt(value, &c->bufferFrames) || c->bufferFrames < 0) return bad("expected frames per buffer (0 = block)");
  } else if (key == "pacing") {
    if (value == "realtime") c->realtime = true;
    else if (value == "fast") c->realtime = false;
    else return bad("expected realtime or fast");
  } else if (key == "seconds") {
    if (!ParseDouble(value, &c->runSeconds) || c->runSeconds < 0) return bad("expected a run length in seconds");
  } else if (key == "in_place") {
    if (!ParseBool(value, &c->inPlace)) return bad("expected 0 or 1");
  } else if (key == "settle") {
    if (!ParseDouble(value, &c->settleSeconds) || c->settleSeconds < 0) return bad("expected seconds");
  } else if (key == "window") {
    if (!ParseDouble(value, &c->windowSeconds) || c->windowSeconds <= 0) return bad("expected seconds");
  } else if (key == "eq_bus") {
    if (!ParseInt(value, &c->eqBus) || c->eqBus < 0) return bad("expected a bus index from 0");
  } else if (key == "signal") {
    SignalGenerator probe;
    const std::string error = InitSignalGenerator(&probe, value, 0);
    if (!error.empty()) return bad(error.c_str());
    c->signal = value;
  } else if (key.compare(0, 7, "signal.") == 0) {
    int32_t channel = 0;
    if (!ParseInt(key.substr(7), &channel) || channel < 0 || channel >= 128) return bad("expected signal.N, N from 0 to 127");
    SignalGenerator probe;
    const std::string error = InitSignalGenerator(&probe, value, channel);
    if (!error.empty()) return bad(error.c_str());
    c->channelSignal[channel] = value;
  } else if (key == "report") {
    c->reportPath = value;
  } else if (key == "wav_out") {
    c->wavOutPath = value;
  } else if (key == "control") {
    c->controlPath = value;
  } else if (key == "busy_client") {
    c->busyClient = value;
  } else if (key == "login_result") {
    if (!ParseInt(value, &c->loginResult)) return bad("expected an integer");
  } else if (key == "stopped") {
    if (!ParseBool(value, &c->stopped)) return bad("expected 0 or 1");
  } else if (key == "restart_at" || key == "stop_at" || key == "back_at") {
    double* target = key == "restart_at" ? &c->restartAt : key == "stop_at" ? &c->stopAt : &c->backAt;
    if (!ParseDouble(value, target)) return bad("expected seconds after login");
  } else {
    return bad("unknown setting");
  }
  return "";
}

void ApplySimConfigText(SimConfig* config, const std::string& text, std::vector<std::string>* errors) {
  std::istringstream lines(text);
  std::string line;
  int lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#' || trimmed[0] == ';' || trimmed[0] == '[') continue;
    const size_t eq = trimmed.find('=');
    if (eq == std::string::npos) {
      errors->push_back("line " + std::to_string(lineNumber) + ": expected key=value: " + trimmed);
      continue;
    }
    const std::string error = ApplySimConfig(config, trimmed.substr(0, eq), trimmed.substr(eq + 1));
    if (!error.empty()) errors->push_back("line " + std::to_string(lineNumber) + ": " + error);
  }
}

int32_t SimChannelTotal(int32_t hostType) {
  switch (hostType) {
    case 1: return 2 * 8;
    case 2: return 5 * 8;
    case 3: return 8 * 8;
    default: return 0;
  }
}

int32_t SimFramesPerBuffer(const SimConfig& config) {
  if (config.bufferFrames > 0) return config.bufferFrames;
  return config.block > 0 ? config.block : 256;
}

std::string InitSignalGenerator(SignalGenerator* gen, const std::string& signal, int32_t channel) {
  *gen = SignalGenerator();
  gen->noiseState = 0x9E3779B9u ^ (static_cast<uint32_t>(channel) * 0x85EBCA6Bu + 1u);
  if (gen->noiseState == 0) gen->noiseState = 1;
  const std::vector<std::string> parts = Split(signal, ':', signal.compare(0, 4, "wav:") == 0 ? 2 : 4);
  double db = 0;
  if (parts[0] == "silence" && parts.size() == 1) {
    gen->kind = SignalGenerator::kSilence;
  } else if (parts[0] == "sine" && parts.size() == 3) {
    if (!ParseDouble(parts[1], &gen->frequency) || gen->frequency < 0) return "sine:HZ:DB needs a frequency in Hz";
    if (!ParseDouble(parts[2], &db)) return "sine:HZ:DB needs a peak level in dBFS";
    gen->kind = SignalGenerator::kSine;
    gen->amplitude = std::pow(10.0, db / 20.0);
  } else if ((parts[0] == "white" || parts[0] == "pink") && parts.size() == 2) {
    if (!ParseDouble(parts[1], &db)) return parts[0] + ":DB needs an RMS level in dBFS";
    gen->kind = parts[0] == "white" ? SignalGenerator::kWhite : SignalGenerator::kPink;
    // Uniform noise in [-1, 1) has an RMS of 1/sqrt(3); the pink filter's own gain is scaled
    // out in FillSignal.
    gen->amplitude = std::pow(10.0, db / 20.0) * std::sqrt(3.0);
  } else if (parts[0] == "wav" && parts.size() == 2) {
    gen->kind = SignalGenerator::kWav;
    const std::string error = ReadWavFirstChannel(parts[1], &gen->samples);
    if (!error.empty()) return error;
  } else {
    return "expected silence, sine:HZ:DB, white:DB, pink:DB or wav:PATH, got '" + signal + "'";
  }
  return "";
}

void FillSignal(SignalGenerator* gen, int32_t rate, float* out, int32_t frames) {
  for (int32_t i = 0; i < frames; ++i, ++gen->position) {
    double v = 0;
    switch (gen->kind) {
      case SignalGenerator::kSilence: break;
      case SignalGenerator::kSine:
        // From the sample index, not an accumulated phase, so long runs do not drift.
        v = gen->amplitude * std::sin(2.0 * kPi * gen->frequency * static_cast<double>(gen->position) / rate);
        break;
      case SignalGenerator::kWhite: v = gen->amplitude * UniformNoise(&gen->noiseState); break;
      case SignalGenerator::kPink: {
        const double w = UniformNoise(&gen->noiseState);
        double* b = gen->pink;  // Paul Kellet's refined pink filter
        b[0] = 0.99886 * b[0] + w * 0.0555179;
        b[1] = 0.99332 * b[1] + w * 0.0750759;
        b[2] = 0.96900 * b[2] + w * 0.1538520;
        b[3] = 0.86650 * b[3] + w * 0.3104856;
        b[4] = 0.55000 * b[4] + w * 0.5329522;
        b[5] = -0.7616 * b[5] - w * 0.0168980;
        const double p = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + w * 0.5362;
        b[6] = w * 0.115926;
        v = gen->amplitude * p * kPinkToUnityRms;
        break;
      }
      case SignalGenerator::kWav:
        if (!gen->samples.empty()) v = gen->samples[static_cast<size_t>(gen->position % static_cast<int64_t>(gen->samples.size()))];
        break;
    }
    out[i] = static_cast<float>(v);
  }
}

// A signal file is played from memory; longer ones than this are not what the host is for.
constexpr uint32_t kMaxWavBytes = 1u << 30;

std::string ReadWavFirstChannel(const std::string& path, std::vector<float>* samples) {
  std::string bytes;
  const FileReadProblem problem = ReadFileWithin(path.c_str(), kMaxWavBytes, &bytes);
  if (problem == FileReadProblem::kTooLarge) return "'" + path + "' is larger than 1 GiB";
  if (problem != FileReadProblem::kNone) return "cannot open WAV file '" + path + "'";
  const std::vector<unsigned char> data(bytes.begin(), bytes.end());
  if (data.size() < 12 || std::memcmp(data.data(), "RIFF", 4) != 0 || std::memcmp(data.data() + 8, "WAVE", 4) != 0)
    return "'" + path + "' is not a RIFF WAVE file";
  uint16_t format = 0, channels = 0, bits = 0;
  size_t pos = 12;
  while (pos + 8 <= data.size()) {
    const uint32_t size = ReadLe32(&data[pos + 4]);
    const size_t body = pos + 8;
    if (size > data.size() - body) return "'" + path + "' has a truncated chunk";
    if (std::memcmp(&data[pos], "fmt ", 4) == 0 && size >= 16) {
      format = ReadLe16(&data[body]);
      channels = ReadLe16(&data[body + 2]);
      bits = ReadLe16(&data[body + 14]);
    } else if (std::memcmp(&data[pos], "data", 4) == 0) {
      if (channels == 0) return "'" + path + "' has its data before its format";
      const bool pcm16 = format == 1 && bits == 16;
      const bool float32 = format == 3 && bits == 32;
      if (!pcm16 && !float32) return "'" + path + "': only 16-bit PCM and 32-bit float WAV files are read";
      const size_t frameBytes = static_cast<size_t>(channels) * (bits / 8);
      samples->clear();
      for (size_t f = body; f + frameBytes <= body + size; f += frameBytes) {
        if (pcm16) {
          samples->push_back(static_cast<int16_t>(ReadLe16(&data[f])) / 32768.0f);
        } else {
          float v;
          std::memcpy(&v, &data[f], 4);
          samples->push_back(v);
        }
      }
      if (samples->empty()) return "'" + path + "' holds no samples";
      return "";
    }
    pos = body + size + (size & 1);
  }
  return "'" + path + "' has no data chunk";
}

bool WriteWavFloat(const std::string& path, int32_t rate, int32_t channels, const std::vector<float>& interleaved) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const uint32_t dataBytes = static_cast<uint32_t>(interleaved.size() * 4);
  unsigned char header[44];
  auto put32 = [&](int at, uint32_t v) { for (int i = 0; i < 4; ++i) header[at + i] = static_cast<unsigned char>(v >> (8 * i)); };
  auto put16 = [&](int at, uint16_t v) { header[at] = v & 0xFF; header[at + 1] = static_cast<unsigned char>(v >> 8); };
  std::memcpy(header, "RIFF", 4);
  put32(4, 36 + dataBytes);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  put32(16, 16);
  put16(20, 3);
  put16(22, static_cast<uint16_t>(channels));
  put32(24, static_cast<uint32_t>(rate));
  put32(28, static_cast<uint32_t>(rate * channels * 4));
  put16(32, static_cast<uint16_t>(channels * 4));
  put16(34, 32);
  std::memcpy(header + 36, "data", 4);
  put32(40, dataBytes);
  bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;
  if (!interleaved.empty()) ok = ok && std::fwrite(interleaved.data(), 4, interleaved.size(), file) == interleaved.size();
  return std::fclose(file) == 0 && ok;
}

void FillUntouched(float* out, int32_t frames) {
  for (int32_t i = 0; i < frames; ++i) std::memcpy(&out[i], &kUntouchedPattern, 4);
}

void AddChannelStats(ChannelStats* s, const float* in, const float* out, int32_t frames, int32_t windowOffset,
                      int32_t inWindow, bool outputSeparate) {
  if (outputSeparate) {
    if (std::memcmp(in, out, static_cast<size_t>(frames) * 4) != 0) s->exactCopy = false;
    for (int32_t i = 0; i < frames; ++i) {
      uint32_t bits;
      std::memcpy(&bits, &out[i], 4);
      if (bits == kUntouchedPattern) ++s->untouched;
    }
  } else {
    s->exactCopy = s->exactCopy && std::memcmp(in, out, static_cast<size_t>(frames) * 4) == 0;
  }
  for (int32_t i = windowOffset; i < windowOffset + inWindow; ++i) {
    const double x = in[i], y = out[i];
    s->inSquares += x * x;
    s->outSquares += y * y;
    if (std::fabs(in[i]) > s->inPeak) s->inPeak = std::fabs(in[i]);
    if (std::fabs(out[i]) > s->outPeak) s->outPeak = std::fabs(out[i]);
  }
  s->windowFrames += inWindow;
}

double LevelDb(double linear) {
  return linear > 0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

double RmsDb(double squares, int64_t frames) {
  return frames > 0 ? LevelDb(std::sqrt(squares / static_cast<double>(frames))) : -std::numeric_limits<double>::infinity();
}

std::string FormatSimReport(const SimReport& r) {
  std::ostringstream o;
  o.setf(std::ios::fixed);
  o.precision(4);
  o << "# simulated Orlune host report\n"
    << "host_type=" << r.hostType << "\nrate=" << r.rate << "\nblock=" << r.block << "\nbuffer_frames=" << r.bufferFrames
    << "\nchannels=" << r.channelTotal << "\neq_bus=" << r.eqBus << "\nstarts=" << r.starts
    << "\nrestart_requests=" << r.restartRequests << "\nbuffers=" << r.buffers
    << "\nwindow_complete=" << (r.windowComplete ? 1 : 0) << "\n";
  bool othersExact = true;
  int64_t untouchedTotal = 0;
  for (size_t j = 0; j < r.channels.size(); ++j) {
    const ChannelStats& s = r.channels[j];
    const bool equalized = static_cast<int32_t>(j / 8) == r.eqBus && j % 8 < 2;
    if (!equalized && !s.exactCopy) othersExact = false;
    untouchedTotal += s.untouched;
    o << "channel=" << j << " bus=" << j / 8 << " signal=" << (j < r.signals.size() ? r.signals[j] : "silence")
      << " window_frames=" << s.windowFrames << " in_rms_db=" << RmsDb(s.inSquares, s.windowFrames)
      << " in_peak_db=" << LevelDb(s.inPeak) << " out_rms_db=" << RmsDb(s.outSquares, s.windowFrames)
      << " out_peak_db=" << LevelDb(s.outPeak) << " exact_copy=" << (s.exactCopy ? 1 : 0)
      << " untouched=" << s.untouched << "\n";
  }
  o << "non_equalized_exact=" << (othersExact ? 1 : 0) << "\nuntouched_total=" << untouchedTotal << "\n";
  return o.str();
}
