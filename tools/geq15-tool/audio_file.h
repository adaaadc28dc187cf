// Audio files through libsndfile (native build only): WAV, FLAC and AIFF, integer or float
// samples, read into and written from one buffer of 32-bit floats per channel.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <string>

// The file under libsndfile, read and written in large blocks of our own: libsndfile alone asks
// the system for a few kilobytes at a time, which costs more than the equalizer on long files.
struct BufferedFile;
struct BufferedFileDeleter {
  void operator()(BufferedFile* f) const;
};
using BufferedFilePtr = std::unique_ptr<BufferedFile, BufferedFileDeleter>;

// How the samples lie in a file: as floats, as 16-bit integers (both in this machine's byte
// order, read as the file's own bytes and converted where the channels are split), or in any
// other encoding, which libsndfile converts to floats.
enum SampleLayout { kLayoutConverted, kLayoutFloat, kLayoutPcm16 };

struct AudioInput {
  SNDFILE* file = nullptr;
  SF_INFO info{};
  BufferedFilePtr stream;
  SampleLayout layout = kLayoutConverted;
};

// Opens `path` for reading. On failure the message says whether the file is missing,
// unreadable or not in a format libsndfile reads.
bool OpenAudioInput(const std::string& path, AudioInput* in, std::string* error);
void CloseAudioInput(AudioInput* in);
// Reads up to `frames` frames into one buffer per channel (info.channels of them) and returns
// the frames read, fewer only at the end of the file, or -1 when reading failed. `staging` holds
// `frames` interleaved frames on their way; the caller keeps it, so its pages are touched once.
int64_t ReadAudioFrames(AudioInput* in, float* const* channels, int64_t frames, float* staging);
// Why the last read failed: the system's reason when it had one, else libsndfile's.
std::string AudioInputError(const AudioInput* in);

// The output's container from its extension (.wav, .flac, .aif, .aiff, .aifc, any case) and
// its sample type: 32-bit float where the container has it (WAV, AIFF); FLAC has integer
// samples only, so it keeps a 16-bit input's depth and takes 24 bits otherwise.
// Returns 0 with a message when the extension names no supported container.
int OutputFormatFor(const std::string& path, int inputFormat, std::string* error);

bool IsIntegerFormat(int format);

struct AudioOutput {
  SNDFILE* file = nullptr;
  std::string temp;    // where the samples go until the file is complete
  std::string target;
  bool integer = false;
  int channels = 0;
  // Samples beyond full scale: an integer file clips them, a float file keeps them.
  int64_t overs = 0;
  float peak = 0.0f;
  BufferedFilePtr stream;
  // A WAV file of floats takes the samples as their own bytes. libsndfile, which would scan every
  // sample it writes for the file's PEAK chunk (the loudest sample of each channel and the first
  // frame where it occurs), is then shown each channel's loudest frame alone, written over itself
  // before the file is closed: the same chunk for a fraction of the work.
  bool floatBytes = false;
  int64_t framesWritten = 0;
  struct LoudestFrame {
    float magnitude = 0.0f;
    int64_t frame = 0;
    float samples[2] = {};
  } loudest[2];
};

// Creates the output under a temporary name beside `path`.
bool OpenAudioOutput(const std::string& path, int format, int rate, int channels, AudioOutput* out,
                     std::string* error);
// Writes `frames` frames from one buffer per channel (through `staging`, room for as many
// interleaved frames), counting the samples beyond full scale.
bool WriteAudioFrames(AudioOutput* out, const float* const* channels, int64_t frames, float* staging,
                      std::string* error);
// Closes the file and renames it over the target; on failure removes the temporary file.
bool FinishAudioOutput(AudioOutput* out, std::string* error);
// Closes and removes the temporary file; the target is untouched.
void AbandonAudioOutput(AudioOutput* out);
