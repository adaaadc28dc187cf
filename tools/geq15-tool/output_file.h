// Files that the tool writes never appear half-written: the content goes to a new file beside
// the target, and only a complete file replaces the target, in one rename.
#pragma once

#include <cstddef>
#include <string>

// Creates a new empty file in the target's folder with a unique name and returns its path, or
// "" with a message. The file's permissions are those a plain new file would get.
std::string CreateTempBeside(const std::string& target, std::string* error);

// Renames `temp` over `target`, replacing it in one step. On failure `temp` is left for the
// caller to remove.
bool ReplaceWithTemp(const std::string& temp, const std::string& target, std::string* error);

// True when both paths name one existing file (also through links or different spellings).
bool IsSameFile(const std::string& a, const std::string& b);

// Writes `bytes` to `target` through a temporary file; on failure the target is untouched.
bool WriteFileReplacing(const std::string& target, const std::string& bytes, std::string* error);

// Reads a whole file of at most maxBytes.
bool ReadWholeFile(const std::string& path, size_t maxBytes, std::string* bytes, std::string* error);
