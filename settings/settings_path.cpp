#include "settings/settings_path.h"

#include <cwchar>

int32_t StripExtension(wchar_t* path) {
  if (path == nullptr) return 0;
  wchar_t* dot = std::wcsrchr(path, L'.');
  if (dot == nullptr) return 0;
  *dot = L'\0';
  return 1;
}

int32_t AppendPath(wchar_t* path, size_t size, const wchar_t* tail) {
  if (path == nullptr || tail == nullptr || size == 0) return -1;
  size_t have = wcsnlen(path, size);
  size_t add = std::wcslen(tail);
  if (have == size || have + add >= size) return -1;
  std::wmemcpy(path + have, tail, add + 1);
  return 0;
}

int32_t BuildSettingsFolder(const wchar_t* documents, wchar_t* out, size_t size) {
  if (out == nullptr || size == 0) return -1;
  out[0] = L'\0';
  if (documents == nullptr) documents = L"";
  // An unknown documents folder (empty) gives "\Orlune", on the root of the current drive.
  size_t have = std::wcslen(documents);
  const bool endsInSeparator = have > 0 && documents[have - 1] == L'\\';
  if (AppendPath(out, size, documents) != 0 ||
      (!endsInSeparator && AppendPath(out, size, L"\\") != 0) ||
      AppendPath(out, size, L"Orlune") != 0) {
    out[0] = L'\0';
    return -1;
  }
  return 0;
}

int32_t BuildSettingsFilePath(const wchar_t* documents, wchar_t* out, size_t size) {
  if (BuildSettingsFolder(documents, out, size) != 0) return -1;
  if (AppendPath(out, size, L"\\GEQ15Config.xml") != 0) {
    out[0] = L'\0';
    return -1;
  }
  return 0;
}
