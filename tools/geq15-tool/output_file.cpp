#include "tools/geq15-tool/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

bool WriteFileReplacing(const std::string& target, const std::string& bytes, std::string* error) {
  std::string temp = CreateTempBeside(target, error);
  if (temp.empty()) return false;
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  bool ok = f != nullptr;
  if (ok) ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (f && std::fclose(f) != 0) ok = false;
  if (!ok) {
    *error = "cannot write " + target + ": " + std::strerror(errno);
    std::remove(temp.c_str());
    return false;
  }
  if (!ReplaceWithTemp(temp, target, error)) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, size_t maxBytes, std::string* bytes, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  bytes->clear();
  char chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
    if (bytes->size() + got > maxBytes) {
      std::fclose(f);
      *error = path + " is larger than " + std::to_string(maxBytes) + " bytes; is it the right file?";
      return false;
    }
    bytes->append(chunk, got);
  }
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) {
    *error = "cannot read " + path + " (is it a folder?)";
    return false;
  }
  return true;
}
