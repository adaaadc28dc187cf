// Audio files through libsndfile (native build only): WAV, FLAC and AIFF, integer or float
// samples, read and written as 32-bit floats.
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

struct AudioInput {
  SNDFILE* file = nullptr;
  SF_INFO info{};
  BufferedFilePtr stream;
};

// Opens `path` for reading. On failure the message says whether the file is missing,
// unreadable or not in a format libsndfile reads.
bool OpenAudioInput(const std::string& path, AudioInput* in, std::string* error);
void CloseAudioInput(AudioInput* in);
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
};

// Creates the output under a temporary name beside `path`.
bool OpenAudioOutput(const std::string& path, int format, int rate, int channels, AudioOutput* out,
                     std::string* error);
bool WriteAudioFrames(AudioOutput* out, const float* interleaved, int64_t frames, std::string* error);
// Closes the file and renames it over the target; on failure removes the temporary file.
bool FinishAudioOutput(AudioOutput* out, std::string* error);
// Closes and removes the temporary file; the target is untouched.
void AbandonAudioOutput(AudioOutput* out);
