#include "tools/geq15-tool/audio_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/geq15-tool/output_file.h"

// One window of the file in memory: data read ahead, or data written and not yet flushed
// (`dirty`). libsndfile's small reads, writes and header seeks mostly land in the window.
struct BufferedFile {
  int fd = -1;
  std::vector<char> window = std::vector<char>(size_t{1} << 18);
  int64_t start = 0;  // file offset of window[0]
  size_t length = 0;  // bytes of the window that hold file data
  size_t pos = 0;     // the stream's position within the window
  bool dirty = false;
  int error = 0;      // errno of the first failed system call
};

void BufferedFileDeleter::operator()(BufferedFile* f) const {
  if (f->fd >= 0) close(f->fd);
  delete f;
}

namespace {

bool WriteAt(BufferedFile* f, const char* data, size_t bytes, int64_t offset) {
  for (size_t done = 0; done < bytes;) {
    const ssize_t n = pwrite(f->fd, data + done, bytes - done, offset + static_cast<int64_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (!f->error) f->error = n < 0 ? errno : EIO;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// Bytes read, fewer than asked only at the end of the file or on an error.
size_t ReadAt(BufferedFile* f, char* data, size_t bytes, int64_t offset) {
  size_t done = 0;
  while (done < bytes) {
    const ssize_t n = pread(f->fd, data + done, bytes - done, offset + static_cast<int64_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0 && !f->error) f->error = errno;
      break;
    }
    done += static_cast<size_t>(n);
  }
  return done;
}

// Writes out what the window collected and empties it at the stream's position.
bool Flush(BufferedFile* f) {
  if (f->dirty) {
    if (!WriteAt(f, f->window.data(), f->length, f->start)) return false;
    f->dirty = false;
  }
  f->start += static_cast<int64_t>(f->pos);
  f->length = f->pos = 0;
  return true;
}

sf_count_t FileLength(void* user) {
  auto* f = static_cast<BufferedFile*>(user);
  struct stat st;
  const int64_t onDisk = fstat(f->fd, &st) == 0 ? st.st_size : 0;
  return f->dirty ? std::max(onDisk, f->start + static_cast<int64_t>(f->length)) : onDisk;
}

sf_count_t Tell(void* user) {
  auto* f = static_cast<BufferedFile*>(user);
  return f->start + static_cast<int64_t>(f->pos);
}

sf_count_t Seek(sf_count_t offset, int whence, void* user) {
  auto* f = static_cast<BufferedFile*>(user);
  const int64_t base = whence == SEEK_CUR ? Tell(user) : whence == SEEK_END ? FileLength(user) : 0;
  const int64_t target = base + offset;
  if (target < 0) return -1;
  if (!f->dirty && target >= f->start && target <= f->start + static_cast<int64_t>(f->length)) {
    f->pos = static_cast<size_t>(target - f->start);
    return target;
  }
  if (!Flush(f)) return -1;
  f->start = target;
  return target;
}

// Requests as large as the window (the samples, which libsndfile passes on in one piece) go
// straight between the file and the caller's memory; small ones (headers) through the window.
sf_count_t Read(void* ptr, sf_count_t count, void* user) {
  auto* f = static_cast<BufferedFile*>(user);
  if (f->dirty && !Flush(f)) return 0;
  char* out = static_cast<char*>(ptr);
  sf_count_t done = 0;
  while (done < count) {
    const size_t wanted = static_cast<size_t>(count - done);
    if (f->pos == f->length) {
      Flush(f);
      if (wanted >= f->window.size()) {
        const size_t got = ReadAt(f, out + done, wanted, f->start);
        f->start += static_cast<int64_t>(got);
        done += static_cast<sf_count_t>(got);
        break;
      }
      f->length = ReadAt(f, f->window.data(), f->window.size(), f->start);
      if (f->length == 0) break;
    }
    const size_t take = std::min(wanted, f->length - f->pos);
    std::memcpy(out + done, f->window.data() + f->pos, take);
    f->pos += take;
    done += static_cast<sf_count_t>(take);
  }
  return done;
}

sf_count_t Write(const void* ptr, sf_count_t count, void* user) {
  auto* f = static_cast<BufferedFile*>(user);
  if (!f->dirty) Flush(f);  // drop read-ahead data: the window now collects writes from here
  const char* in = static_cast<const char*>(ptr);
  sf_count_t done = 0;
  while (done < count) {
    if (f->pos == f->window.size() && !Flush(f)) break;
    const size_t wanted = static_cast<size_t>(count - done);
    if (f->length == 0 && wanted >= f->window.size()) {
      if (!WriteAt(f, in + done, wanted, f->start)) break;
      f->start += static_cast<int64_t>(wanted);
      done += static_cast<sf_count_t>(wanted);
      break;
    }
    const size_t take = std::min(wanted, f->window.size() - f->pos);
    std::memcpy(f->window.data() + f->pos, in + done, take);
    f->pos += take;
    f->length = std::max(f->length, f->pos);
    f->dirty = true;
    done += static_cast<sf_count_t>(take);
  }
  return done;
}

SF_VIRTUAL_IO g_bufferedIo = {FileLength, Seek, Read, Write, Tell};

std::string SystemError(const BufferedFile* f, SNDFILE* file) {
  return f && f->error ? std::strerror(f->error) : sf_strerror(file);
}

}  // namespace

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
  BufferedFilePtr stream(new BufferedFile);
  stream->fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (stream->fd < 0) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  in->info = SF_INFO{};
  in->file = sf_open_virtual(&g_bufferedIo, SFM_READ, &in->info, stream.get());
  in->stream = std::move(stream);
  if (!in->file) {
    *error = path + " is not an audio file in a supported format (WAV, FLAC, AIFF): " + sf_strerror(nullptr);
    return false;
  }
  return true;
}

void CloseAudioInput(AudioInput* in) {
  if (in->file) sf_close(in->file);
  in->file = nullptr;
  in->stream.reset();
}

std::string AudioInputError(const AudioInput* in) { return SystemError(in->stream.get(), in->file); }

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
  out->stream.reset(new BufferedFile);
  // Not truncated: the file is new and empty, and on ext4 a truncated file is flushed at close.
  out->stream->fd = open(out->temp.c_str(), O_WRONLY | O_CLOEXEC);
  if (out->stream->fd >= 0) out->file = sf_open_virtual(&g_bufferedIo, SFM_WRITE, &info, out->stream.get());
  if (!out->file) {
    *error = "cannot write " + path + ": " + (out->stream->fd < 0 ? std::strerror(errno) : sf_strerror(nullptr));
    out->stream.reset();
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
  // Counted in locals, four lanes apart: the compiler cannot know that the samples do not
  // overlap `out`, and one running peak would make every sample wait for the one before.
  const int64_t count = frames * out->channels;
  int64_t overs[4] = {};
  float peak[4] = {out->peak, out->peak, out->peak, out->peak};
  int64_t i = 0;
  for (; i + 4 <= count; i += 4) {
    for (int lane = 0; lane < 4; ++lane) {
      const float magnitude = std::fabs(interleaved[i + lane]);
      overs[lane] += magnitude > 1.0f;
      peak[lane] = magnitude > peak[lane] ? magnitude : peak[lane];
    }
  }
  for (; i < count; ++i) {
    const float magnitude = std::fabs(interleaved[i]);
    overs[0] += magnitude > 1.0f;
    peak[0] = magnitude > peak[0] ? magnitude : peak[0];
  }
  for (int lane = 0; lane < 4; ++lane) {
    out->overs += overs[lane];
    if (peak[lane] > out->peak) out->peak = peak[lane];
  }
  if (sf_writef_float(out->file, interleaved, frames) != frames) {
    *error = "cannot write " + out->target + ": " + SystemError(out->stream.get(), out->file);
    return false;
  }
  return true;
}

bool FinishAudioOutput(AudioOutput* out, std::string* error) {
  int closed = sf_close(out->file);
  out->file = nullptr;
  BufferedFile* f = out->stream.get();
  // No sync to the disk: the rename alone makes the file appear complete to every program, as
  // the other outputs of the tool do; a sync would cost as much as the equalizing on long files.
  std::string why = closed != 0 ? sf_error_number(closed) : "";
  if (why.empty() && !Flush(f)) why = std::strerror(f->error);
  const int fd = f->fd;
  f->fd = -1;
  if (close(fd) != 0 && why.empty()) why = std::strerror(errno);
  out->stream.reset();
  if (!why.empty()) {
    *error = "cannot complete " + out->target + ": " + why;
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
  out->stream.reset();
  if (!out->temp.empty()) std::remove(out->temp.c_str());
  out->temp.clear();
}
