#include "settings/settings_load.h"

#include "files/file_io.h"

namespace {

// The file goes straight into the settings buffer. An empty file needs no storage: any valid
// address will do, since nothing is written to it.
void* BufferRoom(void* owner, uint32_t n) {
  auto* buffer = static_cast<TextBuffer*>(owner);
  if (n == 0) return buffer;
  return PrepareTextBuffer(buffer, n) == 0 ? buffer->data : nullptr;
}

SettingsFileProblem ProblemOf(FileReadProblem problem) {
  switch (problem) {
    case FileReadProblem::kNone: return SettingsFileProblem::kNone;
    case FileReadProblem::kMissing: return SettingsFileProblem::kMissing;
    case FileReadProblem::kTooLarge: return SettingsFileProblem::kTooLarge;
    case FileReadProblem::kNoMemory: return SettingsFileProblem::kNoMemory;
    default: return SettingsFileProblem::kUnreadable;
  }
}

template <typename Char>
SettingsFileProblem Load(EngineContext* engine, SettingsRecord* settings, const Char* path,
                         SettingsLoadSummary* summary) {
  TextBuffer* buffer = &settings->buffer;
  uint32_t n = 0;
  SettingsFileProblem problem = ProblemOf(ReadFileWithin(path, kMaxSettingsFileSize, BufferRoom, buffer, &n));
  if (problem == SettingsFileProblem::kNone) problem = CheckSettingsFileSize(n);
  if (problem != SettingsFileProblem::kNone) {
    EmptyTextBuffer(buffer);
    return problem;
  }
  ApplySettingsDocument(engine, &settings->saved, buffer->data, n, summary);
  return SettingsFileProblem::kNone;
}

}  // namespace

SettingsFileProblem LoadSettingsFromPath(EngineContext* engine, SettingsRecord* settings, const char* path,
                                         SettingsLoadSummary* summary) {
  return Load(engine, settings, path, summary);
}

#ifdef _WIN32
SettingsFileProblem LoadSettingsFromPath(EngineContext* engine, SettingsRecord* settings, const wchar_t* path,
                                         SettingsLoadSummary* summary) {
  return Load(engine, settings, path, summary);
}
#endif
