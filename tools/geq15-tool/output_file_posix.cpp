#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/geq15-tool/output_file.h"

std::string CreateTempBeside(const std::string& target, std::string* error) {
  std::string pattern = target + ".tmp-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) {
    *error = "cannot create a file beside " + target + ": " + std::strerror(errno);
    return "";
  }
  // mkstemp makes the file private (0600); the output should be like any file the user makes.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);
  return std::string(name.data());
}

bool ReplaceWithTemp(const std::string& temp, const std::string& target, std::string* error) {
  if (std::rename(temp.c_str(), target.c_str()) != 0) {
    *error = "cannot replace " + target + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
