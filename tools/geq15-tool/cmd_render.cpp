// geq15-tool render --settings FILE [--block N] [--no-fade] IN OUT
// Plays an audio file through the equalizer as the host would and writes the result.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cmath>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/geq15-tool/audio_file.h"
#include "tools/geq15-tool/commands.h"
#include "tools/geq15-tool/offline_render.h"
#include "tools/geq15-tool/output_file.h"
#include "tools/geq15-tool/tool_args.h"
#include "tools/geq15-tool/tool_settings.h"

namespace tool {

namespace {

const char kRenderHelp[] =
    "usage: geq15-tool render --settings FILE [--block N] [--no-fade] IN OUT\n"
    "\n"
    "Equalizes the audio file IN with the settings FILE exactly as VEZ-15 does in the host, in\n"
    "blocks of N samples (default 512, the host's block size), and writes OUT. Channel 1 goes\n"
    "through channel record 1 and channel 2 through record 2; a mono file uses record 1. Files\n"
    "with more than two channels are refused. The rate must be 44100 to 192000 Hz.\n"
    "Like the host, the output fades in from silence over the first gain ramp (512 to 2048\n"
    "samples, whole blocks); --no-fade starts at the set output gain instead.\n"
    "IN: WAV, FLAC or AIFF, integer or float samples. OUT's type comes from its name: .wav and\n"
    ".aiff get 32-bit float samples; .flac gets integers (16-bit when IN has 16 or fewer bits,\n"
    "24-bit otherwise), rounded without dither, and samples beyond full scale are clipped and\n"
    "counted on stderr. OUT appears only when complete; OUT may not be IN.\n";

// The temporary output, removed if the user interrupts the render.
char g_pendingTemp[4096];

extern "C" void RemovePendingTemp(int signal) {
  if (g_pendingTemp[0]) unlink(g_pendingTemp);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

class Progress {
 public:
  Progress(FILE* err, int64_t frames, int rate)
      : err_(err), total_(frames), shown_(isatty(fileno(err)) && frames > 5 * static_cast<int64_t>(rate)) {}
  void Update(int64_t done) {
    if (!shown_ || total_ <= 0) return;
    const int percent = static_cast<int>(done * 100 / total_);
    if (percent == last_) return;
    last_ = percent;
    char bar[41];
    for (int i = 0; i < 40; ++i) bar[i] = i < percent * 40 / 100 ? '#' : '.';
    bar[40] = '\0';
    std::fprintf(err_, "\rrendering [%s] %3d%%", bar, percent);
    std::fflush(err_);
  }
  void Finish() {
    if (shown_ && last_ >= 0) std::fprintf(err_, "\n");
  }

 private:
  FILE* err_;
  int64_t total_;
  bool shown_;
  int last_ = -1;
};

// The file moves through three threads in chunks of whole blocks: one reads and de-interleaves,
// one equalizes block by block, one interleaves and writes. On two cores the file's input and
// output then cost hardly any time beside the equalizer. A chunk is large, so the system is asked
// for big reads and writes and the threads meet rarely.
constexpr int32_t kChunkFrames = 65536;
constexpr int kChunkCount = 4;

// Buffers are left unset: the reader fills what the others use, and each page is first touched
// by the reader, beside the equalizer, rather than cleared before anything starts.
struct Chunk {
  std::unique_ptr<float[]> planar[2];  // one buffer per channel, equalized in place
  int64_t frames = 0;
};

// Hands chunks from one thread to the next; a null chunk ends the stream.
class ChunkQueue {
 public:
  void Push(Chunk* chunk) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      chunks_.push_back(chunk);
    }
    ready_.notify_one();
  }
  Chunk* Pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return !chunks_.empty(); });
    Chunk* chunk = chunks_.front();
    chunks_.pop_front();
    return chunk;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Chunk*> chunks_;
};

struct RenderPipeline {
  AudioInput* in = nullptr;
  AudioOutput* out = nullptr;
  int channels = 0;
  int64_t capacity = 0;  // frames per chunk, a whole number of blocks
  Chunk chunks[kChunkCount];
  ChunkQueue empty, read, equalized;
  std::atomic<bool> writeFailed{false};
  std::string readError, writeError;  // each written by its own thread only

  // Fills chunks from the file until it ends; only the last chunk is short.
  void ReadAll() {
    for (;;) {
      Chunk* chunk = empty.Pop();
      if (writeFailed.load()) break;
      float* target[2] = {chunk->planar[0].get(), chunk->planar[1].get()};
      chunk->frames = ReadAudioFrames(in, target, capacity);
      if (chunk->frames < 0) readError = AudioInputError(in);
      if (chunk->frames > 0) read.Push(chunk);
      if (chunk->frames < capacity) break;
    }
    read.Push(nullptr);
  }

  void WriteAll() {
    while (Chunk* chunk = equalized.Pop()) {
      const float* samples[2] = {chunk->planar[0].get(), chunk->planar[1].get()};
      if (!writeFailed.load() && !WriteAudioFrames(out, samples, chunk->frames, &writeError)) writeFailed.store(true);
      empty.Push(chunk);
    }
  }
};

int Fail(FILE* err, int code, const std::string& message) {
  std::fprintf(err, "geq15-tool render: %s\n", message.c_str());
  return code;
}

}  // namespace

const char kRenderSummary[] = "equalize an audio file (WAV, FLAC, AIFF) as the host would play it";

int RunRender(int argc, char** argv, FILE* out, FILE* err) {
  const char* name = "render";
  std::string settingsPath;
  std::vector<std::string> files;
  int32_t blockSize = 512;
  bool noFade = false;
  OptionCursor options(argc, argv);
  while (const char* arg = options.Next()) {
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      std::fputs(kRenderHelp, out);
      return kExitOk;
    } else if (std::strcmp(arg, "--settings") == 0) {
      const char* value = options.TakeValue();
      if (!value) return UsageError(err, name, "--settings needs a settings file");
      settingsPath = value;
    } else if (std::strcmp(arg, "--block") == 0) {
      const char* value = options.TakeValue();
      if (!ParseInt32(value, &blockSize) || blockSize < 1 || blockSize > 65536)
        return UsageError(err, name, "--block needs a block size from 1 to 65536 samples, not '%s'", value ? value : "");
    } else if (std::strcmp(arg, "--no-fade") == 0) {
      noFade = true;
    } else if (arg[0] == '-' && arg[1] != '\0') {
      return UsageError(err, name, "unknown option '%s'", arg);
    } else {
      files.push_back(arg);
    }
  }
  if (settingsPath.empty()) return UsageError(err, name, "--settings FILE is required");
  if (files.size() != 2) return UsageError(err, name, "give the input file and the output file (IN OUT)");
  const std::string& inPath = files[0];
  const std::string& outPath = files[1];

  GEQ15ChannelParam records[2];
  std::string error, warning;
  if (!LoadToolSettings(settingsPath, records, &error, &warning)) return Fail(err, kExitUsage, error);
  if (!warning.empty()) std::fprintf(err, "geq15-tool %s: warning: %s\n", name, warning.c_str());

  AudioInput in;
  if (!OpenAudioInput(inPath, &in, &error)) return Fail(err, kExitUsage, error);
  struct CloseInput {
    AudioInput* in;
    ~CloseInput() { CloseAudioInput(in); }
  } closeInput{&in};
  const int channels = in.info.channels;
  const int rate = in.info.samplerate;
  if (channels > 2)
    return Fail(err, kExitUsage, inPath + " has " + std::to_string(channels) +
                                     " channels; the equalizer has two records, so give a mono or stereo file");
  if (rate < 44100 || rate > 192000)
    return Fail(err, kExitUsage, inPath + " has a sample rate of " + std::to_string(rate) +
                                     " Hz; the equalizer runs at 44100 to 192000 Hz");
  const int format = OutputFormatFor(outPath, in.info.format, &error);
  if (format == 0) return Fail(err, kExitUsage, error);
  if (IsSameFile(inPath, outPath))
    return Fail(err, kExitUsage, outPath + " is the input file itself; write the result to another file");

  AudioOutput output;
  if (!OpenAudioOutput(outPath, format, rate, channels, &output, &error)) return Fail(err, kExitUsage, error);
  OfflineRender render;
  struct StopRender {
    OfflineRender* render;
    ~StopRender() { OfflineRender_Stop(render); }
  } stopRender{&render};
  if (OfflineRender_Start(&render, records, rate, blockSize, channels, noFade) != 0) {
    AbandonAudioOutput(&output);
    return Fail(err, kExitFailure, "the equalizer could not be set up (out of memory?)");
  }
  std::snprintf(g_pendingTemp, sizeof g_pendingTemp, "%s", output.temp.c_str());
  std::signal(SIGINT, RemovePendingTemp);
  std::signal(SIGTERM, RemovePendingTemp);
  std::signal(SIGHUP, RemovePendingTemp);

  RenderPipeline pipe;
  pipe.in = &in;
  pipe.out = &output;
  pipe.channels = channels;
  // A short file needs no more than its own length, in whole blocks.
  pipe.capacity = std::max<int32_t>(1, kChunkFrames / blockSize) * static_cast<int64_t>(blockSize);
  if (in.info.frames >= 0 && in.info.frames < pipe.capacity)
    pipe.capacity = std::max<int64_t>(1, (in.info.frames + blockSize - 1) / blockSize) * blockSize;
  for (Chunk& chunk : pipe.chunks) {
    for (int c = 0; c < channels; ++c) chunk.planar[c].reset(new float[static_cast<size_t>(pipe.capacity)]);
    pipe.empty.Push(&chunk);
  }
  std::thread reader([&pipe] { pipe.ReadAll(); });
  std::thread writer([&pipe] { pipe.WriteAll(); });

  Progress progress(err, in.info.frames, rate);
  int64_t done = 0;
  while (Chunk* chunk = pipe.read.Pop()) {
    for (int64_t at = 0; at < chunk->frames; at += blockSize) {
      float* block[2] = {chunk->planar[0].get() + at, channels == 2 ? chunk->planar[1].get() + at : nullptr};
      OfflineRender_Planar(&render, block, static_cast<int32_t>(std::min<int64_t>(blockSize, chunk->frames - at)));
    }
    done += chunk->frames;  // before the hand-over: from then on the chunk is the writer's
    pipe.equalized.Push(chunk);
    progress.Update(done);
  }
  pipe.equalized.Push(nullptr);
  reader.join();
  writer.join();
  bool ok = pipe.readError.empty() && pipe.writeError.empty();
  if (!pipe.readError.empty()) error = "cannot read " + inPath + ": " + pipe.readError;
  else if (!pipe.writeError.empty()) error = pipe.writeError;
  progress.Finish();
  OfflineRender_Stop(&render);
  if (ok) ok = FinishAudioOutput(&output, &error);
  else AbandonAudioOutput(&output);
  g_pendingTemp[0] = '\0';
  if (!ok) return Fail(err, kExitFailure, error + "; " + outPath + " was not written");

  if (output.overs > 0) {
    const double peakDb = 20.0 * std::log10(output.peak);
    if (output.integer)
      std::fprintf(err, "geq15-tool %s: warning: %lld samples clipped at full scale (peak %+.2f dBFS); lower the output gain by %.2f dB to avoid it\n",
                   name, static_cast<long long>(output.overs), peakDb, std::ceil(peakDb * 100.0) / 100.0);
    else
      std::fprintf(err, "geq15-tool %s: warning: %lld samples beyond full scale (peak %+.2f dBFS), kept in the float file; they will clip when played or converted to integers\n",
                   name, static_cast<long long>(output.overs), peakDb);
  }
  if (render.silencedBlocks > 0)
    std::fprintf(err, "geq15-tool %s: warning: %d blocks written as silence where the input or the settings gave NaN or infinity\n",
                 name, static_cast<int>(render.silencedBlocks));
  return kExitOk;
}

}  // namespace tool
