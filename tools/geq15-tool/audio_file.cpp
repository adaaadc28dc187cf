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
  std::vector<char> window = std::vector<char>(size_t{1} << 16);
  int64_t start = 0;  // file offset of window[0]
  size_t length = 0;  // bytes of the window that hold file data
  size_t pos = 0;     // the stream's position within the window
  bool dirty = false;
  int error = 0;      // errno of the first failed system call
  bool handOn = false;  // an output that replaces a file: see WriteAt
  int64_t handedOn = 0;  // bytes from the start already handed to the disk
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
  // ext4 writes a file out when it is renamed over an existing name (so that a crash cannot leave
  // an empty file), and the rename waits for it. An output that will replace a file hands its
  // whole pages to the disk as it goes instead, beside the equalizer (60 s of stereo float
  // replacing the last output: 77 ms, now 64 ms, for 2 ms more CPU time); a new file's pages are
  // left to the system.
  const int64_t pages = (offset + static_cast<int64_t>(bytes)) / 4096 * 4096;
  if (f->handOn && pages > f->handedOn) {
    sync_file_range(f->fd, f->handedOn, pages - f->handedOn, SYNC_FILE_RANGE_WRITE);
    f->handedOn = pages;
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
  if (static_cast<size_t>(count) >= f->window.size()) {  // after what the window holds before it
    if (!Flush(f) || !WriteAt(f, in, static_cast<size_t>(count), f->start)) return 0;
    f->start += count;
    return count;
  }
  sf_count_t done = 0;
  while (done < count) {
    if (f->pos == f->window.size() && !Flush(f)) break;
    const size_t take = std::min(static_cast<size_t>(count - done), f->window.size() - f->pos);
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

// libsndfile's own conversion, to the bit: the integer times 2^-15.
inline float ToFloat(float sample) { return sample; }
inline float ToFloat(int16_t sample) { return sample * (1.0f / 32768.0f); }

// The sample loops go eight frames at a time over buffers declared apart (__restrict), which the
// compiler turns into vector instructions; a plain loop over the frames stays scalar at the
// project's optimisation level and takes two to three times as long.
constexpr int64_t kLanes = 8;

template <int kChannels, typename Sample>
inline void SplitFrames(const Sample* __restrict from, float* __restrict left, float* __restrict right, int64_t i,
                        int64_t end) {
  for (; i < end; ++i) {
    left[i] = ToFloat(from[kChannels * i]);
    if (kChannels == 2) right[i] = ToFloat(from[2 * i + 1]);
  }
}

// The file's interleaved frames into one buffer per channel.
template <int kChannels, typename Sample>
void Split(const Sample* from, float* const* to, int64_t frames) {
  float* right = kChannels == 2 ? to[1] : nullptr;
  const int64_t whole = frames - frames % kLanes;
  for (int64_t i = 0; i < whole; i += kLanes) SplitFrames<kChannels>(from, to[0], right, i, i + kLanes);
  SplitFrames<kChannels>(from, to[0], right, whole, frames);
}

template <typename Sample>
void Split(const Sample* from, int channels, float* const* to, int64_t frames) {
  if (channels == 1) Split<1>(from, to, frames);
  else Split<2>(from, to, frames);
}

// Samples beyond full scale and the peak, counted in lanes, one per frame of a group and channel:
// one running peak would make every sample wait for the one before.
struct Levels {
  float peak[2 * kLanes];
  int64_t overs[2 * kLanes];
};

inline void Count(float sample, float* peak, int64_t* overs) {
  const float magnitude = std::fabs(sample);
  *overs += magnitude > 1.0f;
  *peak = magnitude > *peak ? magnitude : *peak;
}

template <int kChannels>
inline void JoinFrames(const float* __restrict left, const float* __restrict right, float* __restrict to, int64_t i,
                       int64_t end, Levels* __restrict levels) {
  for (int64_t lane = 0; i < end; ++i, ++lane) {
    const float a = left[i];
    Count(a, &levels->peak[lane], &levels->overs[lane]);
    if (kChannels == 2) {
      const float b = right[i];
      to[2 * i] = a;
      to[2 * i + 1] = b;
      Count(b, &levels->peak[kLanes + lane], &levels->overs[kLanes + lane]);
    }
  }
}

// Interleaves a stereo file's channels into `to` (a mono file needs no interleaving), counting the
// samples beyond full scale and each channel's largest magnitude, in one pass.
template <int kChannels>
void Join(const float* const* from, float* to, int64_t frames, int64_t* overs, float peaks[2]) {
  Levels levels{};
  const float* right = kChannels == 2 ? from[1] : nullptr;
  const int64_t whole = frames - frames % kLanes;
  for (int64_t i = 0; i < whole; i += kLanes) JoinFrames<kChannels>(from[0], right, to, i, i + kLanes, &levels);
  JoinFrames<kChannels>(from[0], right, to, whole, frames, &levels);
  for (int64_t lane = 0; lane < 2 * kLanes; ++lane) {
    *overs += levels.overs[lane];
    float& peak = peaks[lane / kLanes];
    peak = levels.peak[lane] > peak ? levels.peak[lane] : peak;
  }
}

// Keeps each channel's loudest frame so far, the first where its largest magnitude occurs.
void NoteLoudestFrames(AudioOutput* out, const float* const* channels, int64_t frames, const float peaks[2]) {
  for (int c = 0; c < out->channels; ++c) {
    AudioOutput::LoudestFrame& loudest = out->loudest[c];
    if (!(peaks[c] > loudest.magnitude)) continue;
    int64_t i = 0;
    while (i + 1 < frames && std::fabs(channels[c][i]) != peaks[c]) ++i;
    loudest.magnitude = peaks[c];
    loudest.frame = out->framesWritten + i;
    for (int k = 0; k < out->channels; ++k) loudest.samples[k] = channels[k][i];
  }
}

// libsndfile's PEAK chunk from the loudest frames, written over themselves in file order.
bool ShowLoudestFrames(AudioOutput* out) {
  const AudioOutput::LoudestFrame* frames[2] = {&out->loudest[0], &out->loudest[out->channels - 1]};
  if (frames[1]->frame < frames[0]->frame) std::swap(frames[0], frames[1]);
  for (const AudioOutput::LoudestFrame* loudest : frames) {
    if (loudest->magnitude == 0.0f) continue;  // a silent channel keeps libsndfile's zero
    if (sf_seek(out->file, loudest->frame, SEEK_SET) != loudest->frame || sf_writef_float(out->file, loudest->samples, 1) != 1)
      return false;
  }
  return true;
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
  // Containers whose samples lie as plain numbers, one frame after the other.
  const int container = in->info.format & SF_FORMAT_TYPEMASK;
  const int subtype = in->info.format & SF_FORMAT_SUBMASK;
  const bool plain = container == SF_FORMAT_WAV || container == SF_FORMAT_WAVEX || container == SF_FORMAT_AIFF ||
                     container == SF_FORMAT_W64 || container == SF_FORMAT_RF64;
  if (plain && sf_command(in->file, SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) == SF_FALSE)
    in->layout = subtype == SF_FORMAT_FLOAT ? kLayoutFloat : subtype == SF_FORMAT_PCM_16 ? kLayoutPcm16 : kLayoutConverted;
  return true;
}

void CloseAudioInput(AudioInput* in) {
  if (in->file) sf_close(in->file);
  in->file = nullptr;
  in->stream.reset();
}

int64_t ReadAudioFrames(AudioInput* in, float* const* channels, int64_t frames, float* staging) {
  static_assert(sizeof(float) == 4 && sizeof(int16_t) == 2, "samples as the files hold them");
  const int count = in->info.channels;
  const int64_t frameBytes = count * (in->layout == kLayoutPcm16 ? 2 : 4);
  // A mono file of floats goes straight into its buffer; anything else through the staging.
  const bool direct = count == 1 && in->layout != kLayoutPcm16;
  void* target = direct ? channels[0] : staging;
  int64_t got = 0;
  while (got < frames) {
    char* at = static_cast<char*>(target) + got * frameBytes;
    const int64_t n = in->layout == kLayoutConverted
                          ? sf_readf_float(in->file, reinterpret_cast<float*>(at), frames - got)
                          : sf_read_raw(in->file, at, (frames - got) * frameBytes) / frameBytes;
    if (n <= 0) break;
    got += n;
  }
  // libsndfile takes a short read for the end of the file; the stream knows whether it was.
  if (sf_error(in->file) != SF_ERR_NO_ERROR || in->stream->error) return -1;
  if (in->layout == kLayoutPcm16) Split(static_cast<const int16_t*>(target), count, channels, got);
  else if (!direct) Split(static_cast<const float*>(target), count, channels, got);
  return got;
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
  struct stat st;
  out->stream->handOn = stat(path.c_str(), &st) == 0;
  out->channels = channels;
  out->integer = IsIntegerFormat(format);
  // Integer samples beyond full scale are clipped to it rather than wrapped around.
  if (out->integer) sf_command(out->file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  out->floatBytes = (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV && (format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT &&
                    sf_command(out->file, SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) == SF_FALSE;
  return true;
}

bool WriteAudioFrames(AudioOutput* out, const float* const* channels, int64_t frames, float* staging,
                      std::string* error) {
  // A mono file is written from its one buffer; a stereo one is interleaved on the way.
  const float* samples = channels[0];
  float peaks[2] = {};
  if (out->channels == 1) {
    Join<1>(channels, nullptr, frames, &out->overs, peaks);
  } else {
    Join<2>(channels, staging, frames, &out->overs, peaks);
    samples = staging;
  }
  out->peak = std::max({out->peak, peaks[0], peaks[1]});
  bool ok;
  if (out->floatBytes) {
    NoteLoudestFrames(out, channels, frames, peaks);
    const sf_count_t bytes = frames * out->channels * static_cast<sf_count_t>(sizeof(float));
    ok = sf_write_raw(out->file, samples, bytes) == bytes;
  } else {
    ok = sf_writef_float(out->file, samples, frames) == frames;
  }
  out->framesWritten += frames;
  if (!ok) *error = "cannot write " + out->target + ": " + SystemError(out->stream.get(), out->file);
  return ok;
}

bool FinishAudioOutput(AudioOutput* out, std::string* error) {
  std::string why = out->floatBytes && !ShowLoudestFrames(out) ? SystemError(out->stream.get(), out->file) : "";
  int closed = sf_close(out->file);
  out->file = nullptr;
  BufferedFile* f = out->stream.get();
  // No sync to the disk: the rename alone makes the file appear complete to every program, as
  // the other outputs of the tool do; a sync would cost as much as the equalizing on long files.
  if (why.empty() && closed != 0) why = sf_error_number(closed);
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
