// The POSIX half of the file module.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "files/file_io.h"
#include "files/file_platform.h"

namespace {

thread_local int g_lastError = 0;

// Records errno as this thread's last error and returns `result`.
template <typename T>
T Failed(T result) {
  g_lastError = errno;
  return result;
}

// Closes fd, keeping the first error.
bool CloseKeepingError(int fd, bool ok) {
  const int before = errno;
  if (close(fd) != 0 && ok) return Failed(false);
  errno = before;
  return ok;
}

bool WriteAll(int fd, const char* at, size_t left) {
  while (left > 0) {
    const ssize_t put = write(fd, at, left);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return Failed(false);
    at += put;
    left -= static_cast<size_t>(put);
  }
  return true;
}

}  // namespace

namespace platform {

bool QuerySize(const char* path, uint64_t* size) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Failed(false);
  struct stat st;
  *size = fstat(fd, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
  close(fd);
  return true;
}

bool ReadExactly(const char* path, uint32_t n, void* dest) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Failed(false);
  char* at = static_cast<char*>(dest);
  size_t done = 0;
  bool ok = true;
  while (ok && done < n) {
    const ssize_t got = read(fd, at + done, n - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = Failed(false);
    else if (got == 0) ok = false, g_lastError = 0;  // the file shrank after its size was read
    else done += static_cast<size_t>(got);
  }
  // A folder opens and reports a size but cannot be read.
  if (ok && n == 0) {
    char probe;
    if (read(fd, &probe, 1) < 0) ok = Failed(false);
  }
  close(fd);
  return ok;
}

bool IsMissing(int error) { return error == ENOENT || error == ENOTDIR; }

}  // namespace platform

int32_t CreateTemporaryBeside(const char* path, std::string* temporary) {
  const std::string pattern = std::string(path) + ".tmp-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) return Failed(-1);
  // mkstemp makes the file private (0600); the result should be like any file the user makes.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);
  temporary->assign(name.data());
  return 0;
}

int32_t ReplaceWithTemporary(const char* temporary, const char* path) {
  return std::rename(temporary, path) == 0 ? 0 : Failed(-1);
}

int32_t WriteFileReplacing(const char* path, const void* bytes, size_t n, ReplaceMode mode) {
  std::string temporary = std::string(path) + ".tmp";
  int fd;
  if (mode.uniqueTemporary) {
    if (CreateTemporaryBeside(path, &temporary) != 0) return -1;
    // Not truncated: the file is new and empty, and ext4 writes a truncated file out at close.
    fd = open(temporary.c_str(), O_WRONLY | O_CLOEXEC);
  } else {
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  }
  if (fd < 0) {
    Failed(0);
    if (mode.uniqueTemporary) std::remove(temporary.c_str());
    return -1;
  }
  bool ok = WriteAll(fd, static_cast<const char*>(bytes), n);
  if (ok && mode.flush && fsync(fd) != 0) ok = Failed(false);
  if (!CloseKeepingError(fd, ok)) {
    std::remove(temporary.c_str());
    return -2;
  }
  if (ReplaceWithTemporary(temporary.c_str(), path) != 0) {
    std::remove(temporary.c_str());
    return -3;
  }
  return 0;
}

bool IsSameFile(const char* a, const char* b) {
  struct stat sa, sb;
  if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int LastFileError() { return g_lastError; }

std::string FileErrorText(int error) { return std::strerror(error); }
