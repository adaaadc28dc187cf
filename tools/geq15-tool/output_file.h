// Files that the tool writes never appear half-written: the content goes to a new file beside
// the target, and only a complete file replaces the target, in one rename (files/ does the
// work; here are the tool's messages). The tool does not wait for the disk before the rename: an
// output can be made again from its input, and the wait would cost as much as the equalizing on
// long files. Several runs may write one target at once, so each has a temporary name of its own.
#pragma once

#include <cstddef>
#include <string>

// Creates a new empty file in the target's folder with a unique name and returns its path, or
// "" with a message. The file's permissions are those a plain new file would get.
std::string CreateTempBeside(const std::string& target, std::string* error);

// Renames `temp` over `target`, replacing it in one step. On failure `temp` is left for the
// caller to remove.
bool ReplaceWithTemp(const std::string& temp, const std::string& target, std::string* error);

// Writes `bytes` to `target` through a temporary file; on failure the target is untouched.
bool WriteOutputFile(const std::string& target, const std::string& bytes, std::string* error);

// Reads a whole input file of at most maxBytes.
bool ReadInputFile(const std::string& path, size_t maxBytes, std::string* bytes, std::string* error);
