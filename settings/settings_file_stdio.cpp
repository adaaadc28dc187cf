#include "settings/settings_file_stdio.h"

#include <cerrno>
#include <cstdio>

namespace {

// Reads at most one byte more than the limit, so that a larger file is recognised without
// reading it whole and without trusting a size query that may not handle large files.
SettingsFileProblem ReadBounded(std::FILE* file, TextBuffer* buffer) {
  EmptyTextBuffer(buffer);
  char chunk[16384];
  for (;;) {
    size_t got = std::fread(chunk, 1, sizeof chunk, file);
    if (got > 0 && AppendToTextBuffer(buffer, chunk, static_cast<uint32_t>(got)) != 0) {
      return SettingsFileProblem::kNoMemory;
    }
    if (buffer->length > kMaxSettingsFileSize) return SettingsFileProblem::kTooLarge;
    if (got < sizeof chunk) break;
  }
  if (std::ferror(file)) return SettingsFileProblem::kUnreadable;
  return CheckSettingsFileSize(buffer->length);
}

}  // namespace

SettingsFileProblem LoadSettingsFromPath(EngineContext* engine, SettingsRecord* settings, const char* path,
                                         SettingsLoadSummary* summary) {
  errno = 0;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    return errno == ENOENT ? SettingsFileProblem::kMissing : SettingsFileProblem::kUnreadable;
  }
  TextBuffer* buffer = &settings->buffer;
  SettingsFileProblem problem = ReadBounded(file, buffer);
  std::fclose(file);
  if (problem != SettingsFileProblem::kNone) {
    EmptyTextBuffer(buffer);
    return problem;
  }
  ApplySettingsDocument(engine, &settings->saved, buffer->data, buffer->length, summary);
  return SettingsFileProblem::kNone;
}
