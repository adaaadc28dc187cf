// The platform-neutral half: a read within a limit, made of the platform's size query and read.
#include "files/file_io.h"

#include "files/file_platform.h"

namespace {

template <typename Char>
FileReadProblem ReadWithin(const Char* path, uint32_t limit, FileRoom room, void* owner, uint32_t* n) {
  uint64_t size = 0;
  if (!platform::QuerySize(path, &size)) {
    return platform::IsMissing(LastFileError()) ? FileReadProblem::kMissing : FileReadProblem::kCannotOpen;
  }
  if (size > limit) return FileReadProblem::kTooLarge;
  *n = static_cast<uint32_t>(size);
  void* dest = room(owner, *n);
  if (dest == nullptr) return FileReadProblem::kNoMemory;
  return platform::ReadExactly(path, *n, dest) ? FileReadProblem::kNone : FileReadProblem::kCannotRead;
}

void* StringRoom(void* owner, uint32_t n) {
  auto* bytes = static_cast<std::string*>(owner);
  bytes->resize(n);
  return &(*bytes)[0];  // a valid address for n == 0 too
}

template <typename Char>
FileReadProblem ReadIntoString(const Char* path, uint32_t limit, std::string* bytes) {
  uint32_t n = 0;
  const FileReadProblem problem = ReadWithin(path, limit, StringRoom, bytes, &n);
  if (problem != FileReadProblem::kNone) bytes->clear();
  return problem;
}

}  // namespace

FileReadProblem ReadFileWithin(const char* path, uint32_t limit, FileRoom room, void* owner, uint32_t* n) {
  return ReadWithin(path, limit, room, owner, n);
}

FileReadProblem ReadFileWithin(const char* path, uint32_t limit, std::string* bytes) {
  return ReadIntoString(path, limit, bytes);
}

#ifdef _WIN32
FileReadProblem ReadFileWithin(const wchar_t* path, uint32_t limit, FileRoom room, void* owner, uint32_t* n) {
  return ReadWithin(path, limit, room, owner, n);
}

FileReadProblem ReadFileWithin(const wchar_t* path, uint32_t limit, std::string* bytes) {
  return ReadIntoString(path, limit, bytes);
}
#endif
