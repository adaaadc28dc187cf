#include "tools/geq15-tool/tool_args.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/geq15.h"

namespace tool {

bool ParseInt32(const char* text, int32_t* value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  const long long parsed = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || parsed < INT32_MIN || parsed > INT32_MAX) return false;
  *value = static_cast<int32_t>(parsed);
  return true;
}

bool ParseSampleRate(const char* text, int32_t* rate) {
  int32_t value = 0;
  if (!ParseInt32(text, &value) || GEQ15_CheckRate(value) != 0) return false;
  *rate = value;
  return true;
}

bool ParseFiniteFloat(const char* text, float* value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  const float parsed = std::strtof(text, &end);
  if (errno == ERANGE && std::isinf(parsed)) return false;
  if (*end != '\0' || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

bool ParseFloatList(const char* text, std::vector<float>* values) {
  values->clear();
  if (!text) return false;
  const char* item = text;
  for (;;) {
    const char* comma = std::strchr(item, ',');
    const std::string piece = comma ? std::string(item, comma) : std::string(item);
    float value;
    if (!ParseFiniteFloat(piece.c_str(), &value)) return false;
    values->push_back(value);
    if (!comma) return true;
    item = comma + 1;
  }
}

void PrintFloat(FILE* out, float value) { std::fprintf(out, "%.9g", static_cast<double>(value)); }

int UsageError(FILE* err, const char* command, const char* format, ...) {
  std::fprintf(err, "geq15-tool %s: ", command);
  va_list args;
  va_start(args, format);
  std::vfprintf(err, format, args);
  va_end(args);
  std::fprintf(err, "\nRun 'geq15-tool %s --help' for its options.\n", command);
  return kExitUsage;
}

}  // namespace tool
