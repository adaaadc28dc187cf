// The simulated host's platform-free half: its configuration, the test signals it feeds the
// insert, what it measures and the report it writes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct SimConfig {
  int32_t hostType = 3;       // 1, 2, 3: 2, 5 or 8 buses of 8 channels
  int32_t rate = 48000;
  int32_t block = 512;        // announced with the start command
  int32_t bufferFrames = 0;   // frames of each buffer; 0 = the announced block
  bool realtime = true;       // pace buffers at the sample rate, or run as fast as possible
  double runSeconds = 0;      // stream time after which buffers stop; 0 = until unregistered
  bool inPlace = false;       // one buffer per channel for input and output
  double settleSeconds = 0.5; // measurement starts this long after each stream start
  double windowSeconds = 1.0;
  int32_t eqBus = 0;          // the bus the report treats as equalized
  std::string signal = "silence";                 // every channel without its own
  std::map<int32_t, std::string> channelSignal;   // signal.N
  std::string reportPath;     // default: OrluneRemote-report.txt beside the library
  std::string wavOutPath;     // the equalized bus's output over the window; empty = none
  std::string controlPath;    // default: OrluneRemote.control beside the library
  std::string busyClient;     // non-empty: registration answers "held by" this client
  int32_t loginResult = 0;
  bool stopped = false;       // start as a host that does not answer
  double restartAt = -1, stopAt = -1, backAt = -1;  // seconds after login; negative = never
};

// Applies one key=value setting. Returns an empty string, or what is wrong with it.
std::string ApplySimConfig(SimConfig* config, const std::string& key, const std::string& value);
// Applies every "key=value" line of an ini text ('#' and ';' start comments); collects errors.
void ApplySimConfigText(SimConfig* config, const std::string& text, std::vector<std::string>* errors);

int32_t SimChannelTotal(int32_t hostType);  // 8 per bus; 0 for an unknown type
int32_t SimFramesPerBuffer(const SimConfig& config);

// One channel's test signal. Level: peak dBFS for a sine, RMS dBFS for noise.
struct SignalGenerator {
  enum Kind { kSilence, kSine, kWhite, kPink, kWav } kind = kSilence;
  double frequency = 0;
  double amplitude = 0;
  uint32_t noiseState = 1;
  double pink[7] = {};
  int64_t position = 0;
  std::vector<float> samples;  // a WAV file's first channel, looped
};
// Parses "silence", "sine:HZ:DB", "white:DB", "pink:DB" or "wav:PATH". Returns "" or the error.
std::string InitSignalGenerator(SignalGenerator* gen, const std::string& signal, int32_t channel);
void FillSignal(SignalGenerator* gen, int32_t rate, float* out, int32_t frames);

// Reads the first channel of a 16-bit PCM or 32-bit float WAV file. Returns "" or the error.
std::string ReadWavFirstChannel(const std::string& path, std::vector<float>* samples);
// Writes interleaved 32-bit float samples. Returns false when the file cannot be written.
bool WriteWavFloat(const std::string& path, int32_t rate, int32_t channels, const std::vector<float>& interleaved);

// What the host observed on one channel since the latest stream start.
struct ChannelStats {
  double inSquares = 0, outSquares = 0;  // over the measurement window
  float inPeak = 0, outPeak = 0;
  int64_t windowFrames = 0;
  bool exactCopy = true;    // every output sample equal, bit for bit, to its input
  int64_t untouched = 0;    // output samples the insert left as the host's fill pattern
};

// Marks output samples that the insert never wrote (a signalling NaN no processing produces).
constexpr uint32_t kUntouchedPattern = 0x7FA5A5A5u;
void FillUntouched(float* out, int32_t frames);

// Adds one buffer of a channel. `inWindow` frames starting at `windowOffset` are measured.
void AddChannelStats(ChannelStats* stats, const float* in, const float* out, int32_t frames,
                      int32_t windowOffset, int32_t inWindow, bool outputSeparate);

double LevelDb(double linear);  // -inf for 0
double RmsDb(double squares, int64_t frames);

struct SimReport {
  int32_t hostType = 0, rate = 0, block = 0, bufferFrames = 0, channelTotal = 0, eqBus = 0;
  int32_t starts = 0, restartRequests = 0;
  int64_t buffers = 0;
  bool windowComplete = false;
  std::vector<std::string> signals;
  std::vector<ChannelStats> channels;
};
std::string FormatSimReport(const SimReport& report);
