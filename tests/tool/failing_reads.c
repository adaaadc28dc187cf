// Preloaded into geq15-tool by its command test: reads at or past byte GEQ15_FAIL_READS_AT of a
// file fail with EIO, as reads from a failing disk do.
#define _GNU_SOURCE
#include <errno.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
  if (offset >= atoll(getenv("GEQ15_FAIL_READS_AT"))) return errno = EIO, -1;
  return syscall(SYS_pread64, fd, buf, count, offset);
}
