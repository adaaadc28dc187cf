#include "shell/shell_text.h"

#include <cstring>

void CopyTipText(char* field, size_t size, const char* tip) {
  if (field == nullptr || size == 0) return;
  size_t n = tip != nullptr ? strnlen(tip, size - 1) : 0;
  if (n > 0) std::memcpy(field, tip, n);
  field[n] = '\0';
}

int32_t BuildShortcutPath(const char* folder, char* out, size_t size) {
  if (out == nullptr || size == 0) return -1;
  out[0] = '\0';
  if (folder == nullptr || folder[0] == '\0') return -1;
  const size_t folderLength = std::strlen(folder);
  const bool endsInSeparator = folder[folderLength - 1] == '\\';
  const size_t total = folderLength + (endsInSeparator ? 0 : 1) + std::strlen(kShortcutName) + 4;
  if (total >= size) return -1;
  std::memcpy(out, folder, folderLength);
  size_t at = folderLength;
  if (!endsInSeparator) out[at++] = '\\';
  std::memcpy(out + at, kShortcutName, std::strlen(kShortcutName));
  at += std::strlen(kShortcutName);
  std::memcpy(out + at, ".LNK", 5);
  return 0;
}

int32_t ExecutableFolder(const char* path, char* out, size_t size) {
  if (out == nullptr || size == 0) return -1;
  out[0] = '\0';
  if (path == nullptr) return -1;
  const size_t n = std::strlen(path);
  if (n >= size) return -1;
  std::memcpy(out, path, n + 1);
  char* cut = std::strrchr(out, '\\');
  if (cut != nullptr) *cut = '\0';
  return 0;
}
