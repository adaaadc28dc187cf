// geq15-tool render --settings FILE [--block N] [--no-fade] IN OUT
// Plays an audio file through the equalizer as the host would and writes the result.
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "files/file_io.h"
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
    "with more than two channels are refused. The rate must be %d to %d Hz.\n"
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

// The file moves through two threads in chunks of whole blocks, round a ring of kSlots buffers:
// chunk n is read into slot n % kSlots, equalized there and written out, which frees the slot for
// chunk n + kSlots. Only the main thread equalizes; reading and writing are each done by one
// thread at a time, in order. The other thread reads and writes; the main thread writes or reads
// only when it has nothing to equalize. On two cores the equalizer then runs on one without a
// break while the file's input and output share the other; where reading is slow (FLAC), the main
// thread writes between chunks instead of waiting. Chunks are large, so the system is asked for
// big reads and writes and the threads meet rarely: each meeting can cost a wake-up on the other
// core, as dear as equalizing a few thousand frames.
constexpr int64_t kChunkFrames = 65536;
constexpr int64_t kFirstChunkFrames = 4096;
constexpr int kSlots = 4;

struct RenderPipeline {
  AudioInput* in = nullptr;
  AudioOutput* out = nullptr;
  OfflineRender* render = nullptr;
  int channels = 0;
  int64_t blockSize = 0;
  int64_t capacity = 0;    // frames per slot, a whole number of blocks
  int64_t smallest = 0;    // frames of the first chunk, a whole number of blocks
  int64_t fileFrames = 0;  // as the file's header gives them
  // The slots' buffers, one per channel, then room for one chunk's interleaved frames on their
  // way in and one on their way out. Left unset: each page is first touched by a read or a write
  // beside the equalizer, rather than cleared before anything starts.
  std::unique_ptr<float[]> samples;
  int64_t frames[kSlots] = {};  // of the chunk in each slot: whole blocks but for the file's last chunk

  // Under the mutex: chunks read, equalized and written so far, each counter advanced only by the
  // thread doing that work, and what is being done.
  std::mutex mutex;
  std::condition_variable changed;
  int64_t read = 0, equalized = 0, written = 0;
  int64_t framesRead = 0, lastAsked = 0;
  bool reading = false, writing = false;
  bool inputEnded = false, failed = false;
  std::string readError, writeError;  // set by the thread that failed, read after both end
  int64_t framesEqualized = 0;        // the main thread's own, for the progress bar

  float* Channel(int64_t chunk, int c) { return samples.get() + ((chunk % kSlots) * channels + c) * capacity; }
  float* Staging(int direction) { return samples.get() + (kSlots + direction) * channels * capacity; }
  bool Done() const { return failed || (inputEnded && written == read); }

  // Chunks grow from the smallest by doubling and, as the file's end nears, shrink to half of what
  // is left: the equalizer starts after a short read, and little is left to write after its last
  // block.
  int64_t NextChunkFrames() const {
    const int64_t halfLeft = (fileFrames - framesRead) / 2;
    const int64_t halfLeftInBlocks = (halfLeft + blockSize - 1) / blockSize * blockSize;
    return std::min({capacity, std::max(smallest, 2 * lastAsked), std::max(smallest, halfLeftInBlocks)});
  }

  // Each of these, called with the lock held, does its work when it is due and no other thread is
  // doing it, and says whether it did.
  bool ReadNext(std::unique_lock<std::mutex>& lock) {
    if (reading || inputEnded || failed || read - written == kSlots) return false;
    reading = true;
    const int64_t chunk = read;
    const int64_t asked = NextChunkFrames();
    lock.unlock();
    float* to[2] = {Channel(chunk, 0), Channel(chunk, channels - 1)};
    const int64_t got = ReadAudioFrames(in, to, asked, Staging(0));
    if (got < 0) readError = AudioInputError(in);
    lock.lock();
    reading = false;
    frames[chunk % kSlots] = got;
    read += got > 0;
    framesRead += std::max<int64_t>(got, 0);
    lastAsked = asked;
    inputEnded = got < asked;
    failed = failed || got < 0;
    changed.notify_all();
    return true;
  }

  bool EqualizeNext(std::unique_lock<std::mutex>& lock, Progress* progress) {
    if (equalized == read || failed) return false;
    const int64_t chunk = equalized;
    lock.unlock();
    const int64_t count = frames[chunk % kSlots];
    for (int64_t at = 0; at < count; at += blockSize) {
      float* block[2] = {Channel(chunk, 0) + at, channels == 2 ? Channel(chunk, 1) + at : nullptr};
      RenderPlanarBlock(render, block, static_cast<int32_t>(std::min(blockSize, count - at)));
    }
    progress->Update(framesEqualized += count);
    lock.lock();
    ++equalized;
    changed.notify_all();
    return true;
  }

  bool WriteNext(std::unique_lock<std::mutex>& lock) {
    if (writing || written == equalized || failed) return false;
    writing = true;
    const int64_t chunk = written;
    lock.unlock();
    const float* from[2] = {Channel(chunk, 0), Channel(chunk, channels - 1)};
    const bool ok = WriteAudioFrames(out, from, frames[chunk % kSlots], Staging(1), &writeError);
    lock.lock();
    writing = false;
    failed = failed || !ok;
    written += ok;
    changed.notify_all();
    return true;
  }

  // The other thread.
  void ReadAndWriteAll() {
    std::unique_lock<std::mutex> lock(mutex);
    while (!Done())
      if (!ReadNext(lock) && !WriteNext(lock)) changed.wait(lock);
  }

  // The main thread.
  void EqualizeAll(Progress* progress) {
    std::unique_lock<std::mutex> lock(mutex);
    while (!Done())
      if (!EqualizeNext(lock, progress) && !WriteNext(lock) && !ReadNext(lock)) changed.wait(lock);
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
      std::fprintf(out, kRenderHelp, static_cast<int>(kMinSampleRate), static_cast<int>(kMaxSampleRate));
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
  if (GEQ15_CheckRate(rate) != 0)
    return Fail(err, kExitUsage, inPath + " has a sample rate of " + std::to_string(rate) + " Hz; the equalizer runs at " +
                                     std::to_string(kMinSampleRate) + " to " + std::to_string(kMaxSampleRate) + " Hz");
  const int format = OutputFormatFor(outPath, in.info.format, &error);
  if (format == 0) return Fail(err, kExitUsage, error);
  if (IsSameFile(inPath.c_str(), outPath.c_str()))
    return Fail(err, kExitUsage, outPath + " is the input file itself; write the result to another file");

  AudioOutput output;
  if (!OpenAudioOutput(outPath, format, rate, channels, &output, &error)) return Fail(err, kExitUsage, error);
  OfflineRender render;
  struct StopRender {
    OfflineRender* render;
    ~StopRender() { StopOfflineRender(render); }
  } stopRender{&render};
  if (StartOfflineRender(&render, records, rate, blockSize, channels, noFade) != 0) {
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
  pipe.render = &render;
  pipe.channels = channels;
  pipe.blockSize = blockSize;
  pipe.fileFrames = in.info.frames;
  pipe.smallest = std::max<int64_t>(1, kFirstChunkFrames / blockSize) * blockSize;
  // A short file needs no more than its own length, in whole blocks.
  pipe.capacity = std::max<int64_t>(1, kChunkFrames / blockSize) * blockSize;
  if (in.info.frames >= 0 && in.info.frames < pipe.capacity)
    pipe.capacity = std::max<int64_t>(1, (in.info.frames + blockSize - 1) / blockSize) * blockSize;
  pipe.samples.reset(new float[static_cast<size_t>((kSlots + 2) * channels * pipe.capacity)]);
  Progress progress(err, in.info.frames, rate);
  std::thread reader([&pipe] { pipe.ReadAndWriteAll(); });
  pipe.EqualizeAll(&progress);
  reader.join();
  bool ok = pipe.readError.empty() && pipe.writeError.empty();
  if (!pipe.readError.empty()) error = "cannot read " + inPath + ": " + pipe.readError;
  else if (!pipe.writeError.empty()) error = pipe.writeError;
  progress.Finish();
  StopOfflineRender(&render);
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
