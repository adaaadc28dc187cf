// Preloaded into geq15-tool by its command test: every read at or past byte GEQ15_FAIL_READS_AT of
// a file fails with EIO, as reads from a failing disk do.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <unistd.h>

ssize_t pread64(int fd, void* buf, size_t count, off_t offset) {
  static ssize_t (*real)(int, void*, size_t, off_t);
  if (!real) real = (ssize_t(*)(int, void*, size_t, off_t))dlsym(RTLD_NEXT, "pread64");
  if (offset >= atoll(getenv("GEQ15_FAIL_READS_AT"))) return errno = EIO, -1;
  return real(fd, buf, count, offset);
}

ssize_t pread(int fd, void* buf, size_t count, off_t offset) { return pread64(fd, buf, count, offset); }
