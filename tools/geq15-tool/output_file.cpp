#include "tools/geq15-tool/output_file.h"

#include "files/file_io.h"

namespace {

std::string Why() { return FileErrorText(LastFileError()); }

}  // namespace

std::string CreateTempBeside(const std::string& target, std::string* error) {
  std::string temp;
  if (CreateTemporaryBeside(target.c_str(), &temp) != 0) {
    *error = "cannot create a file beside " + target + ": " + Why();
    return "";
  }
  return temp;
}

bool ReplaceWithTemp(const std::string& temp, const std::string& target, std::string* error) {
  if (ReplaceWithTemporary(temp.c_str(), target.c_str()) != 0) {
    *error = "cannot replace " + target + ": " + Why();
    return false;
  }
  return true;
}

bool WriteOutputFile(const std::string& target, const std::string& bytes, std::string* error) {
  switch (WriteFileReplacing(target.c_str(), bytes.data(), bytes.size(), ReplaceMode{false, true})) {
    case 0: return true;
    case -1: *error = "cannot create a file beside " + target + ": " + Why(); return false;
    case -2: *error = "cannot write " + target + ": " + Why(); return false;
    default: *error = "cannot replace " + target + ": " + Why(); return false;
  }
}

bool ReadInputFile(const std::string& path, size_t maxBytes, std::string* bytes, std::string* error) {
  const uint32_t limit = maxBytes < UINT32_MAX ? static_cast<uint32_t>(maxBytes) : UINT32_MAX;
  switch (ReadFileWithin(path.c_str(), limit, bytes)) {
    case FileReadProblem::kNone: return true;
    case FileReadProblem::kMissing:
    case FileReadProblem::kCannotOpen: *error = "cannot open " + path + ": " + Why(); return false;
    case FileReadProblem::kTooLarge:
      *error = path + " is larger than " + std::to_string(maxBytes) + " bytes; is it the right file?";
      return false;
    default: *error = "cannot read " + path + " (is it a folder?)"; return false;
  }
}
