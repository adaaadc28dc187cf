#include "tools/geq15-tool/audio_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/geq15-tool/output_file.h"

bool OpenAudioInput(const std::string& path, AudioInput* in, std::string* error) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    *error = (errno == ENOENT) ? path + " does not exist" : "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    *error = path + " is a folder, not an audio file";
    return false;
  }
  std::FILE* probe = std::fopen(path.c_str(), "rb");
  if (!probe) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  std::fclose(probe);
  in->info = SF_INFO{};
  in->file = sf_open(path.c_str(), SFM_READ, &in->info);
  if (!in->file) {
    *error = path + " is not an audio file in a supported format (WAV, FLAC, AIFF): " + sf_strerror(nullptr);
    return false;
  }
  return true;
}

void CloseAudioInput(AudioInput* in) {
  if (in->file) sf_close(in->file);
  in->file = nullptr;
}

namespace {
std::string LowerExtension(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot + 1);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}
}  // namespace

bool IsIntegerFormat(int format) {
  const int subtype = format & SF_FORMAT_SUBMASK;
  return subtype != SF_FORMAT_FLOAT && subtype != SF_FORMAT_DOUBLE;
}

int OutputFormatFor(const std::string& path, int inputFormat, std::string* error) {
  const std::string ext = LowerExtension(path);
  if (ext == "wav") return SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  if (ext == "aif" || ext == "aiff" || ext == "aifc") return SF_FORMAT_AIFF | SF_FORMAT_FLOAT;
  if (ext == "flac") {
    const int subtype = inputFormat & SF_FORMAT_SUBMASK;
    return SF_FORMAT_FLAC | ((subtype == SF_FORMAT_PCM_16 || subtype == SF_FORMAT_PCM_S8 || subtype == SF_FORMAT_PCM_U8)
                                 ? SF_FORMAT_PCM_16
                                 : SF_FORMAT_PCM_24);
  }
  *error = "cannot tell the output format from the name " + path + "; end it in .wav, .flac or .aiff";
  return 0;
}

bool OpenAudioOutput(const std::string& path, int format, int rate, int channels, AudioOutput* out,
                     std::string* error) {
  *out = AudioOutput{};
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  if (!sf_format_check(&info)) {
    *error = "libsndfile cannot write this file type with " + std::to_string(channels) + " channels at " +
             std::to_string(rate) + " Hz";
    return false;
  }
  out->temp = CreateTempBeside(path, error);
  if (out->temp.empty()) return false;
  out->file = sf_open(out->temp.c_str(), SFM_WRITE, &info);
  if (!out->file) {
    *error = "cannot write " + path + ": " + sf_strerror(nullptr);
    std::remove(out->temp.c_str());
    return false;
  }
  out->target = path;
  out->channels = channels;
  out->integer = IsIntegerFormat(format);
  // Integer samples beyond full scale are clipped to it rather than wrapped around.
  if (out->integer) sf_command(out->file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  return true;
}

bool WriteAudioFrames(AudioOutput* out, const float* interleaved, int64_t frames, std::string* error) {
  const int64_t count = frames * out->channels;
  for (int64_t i = 0; i < count; ++i) {
    const float magnitude = std::fabs(interleaved[i]);
    if (magnitude > 1.0f) ++out->overs;
    if (magnitude > out->peak) out->peak = magnitude;
  }
  if (sf_writef_float(out->file, interleaved, frames) != frames) {
    *error = "cannot write " + out->target + ": " + sf_strerror(out->file);
    return false;
  }
  return true;
}

bool FinishAudioOutput(AudioOutput* out, std::string* error) {
  sf_write_sync(out->file);
  const int closed = sf_close(out->file);
  out->file = nullptr;
  if (closed != 0) {
    *error = "cannot complete " + out->target + ": " + sf_error_number(closed);
    std::remove(out->temp.c_str());
    return false;
  }
  if (!ReplaceWithTemp(out->temp, out->target, error)) {
    std::remove(out->temp.c_str());
    return false;
  }
  out->temp.clear();
  return true;
}

void AbandonAudioOutput(AudioOutput* out) {
  if (out->file) sf_close(out->file);
  out->file = nullptr;
  if (!out->temp.empty()) std::remove(out->temp.c_str());
  out->temp.clear();
}
