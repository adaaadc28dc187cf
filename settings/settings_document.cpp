#include "settings/settings_document.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kDeclarationAndRoot[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<KelmoraOrluneGEQ15>\n";
constexpr char kClosingLines[] =
    "</GEQ15Configuration>\n"
    "</KelmoraOrluneGEQ15>\n";
constexpr char kConfigurationName[] = "GEQ15Configuration";
constexpr char kRecordName[] = "GEQ15param";
constexpr int32_t kLargestBus = 8;
// Every formatted line fits: even the largest floats give lines below 900 bytes.
constexpr int kLineSize = 1024;

int32_t AppendText(TextBuffer* buffer, const char* text) {
  return AppendToTextBuffer(buffer, text, static_cast<uint32_t>(std::strlen(text)));
}

// Appends a line formatted by the caller; -2 when it did not fit or the buffer could not grow.
int32_t AppendLine(TextBuffer* buffer, const char* line, int written) {
  if (written < 0 || written >= kLineSize) return -2;
  return AppendToTextBuffer(buffer, line, static_cast<uint32_t>(written)) == 0 ? 0 : -2;
}

bool Present(const MarkupScanner* scanner, const char* attribute, char* value) {
  return GetAttribute(scanner, attribute, value) == kAttrFound;
}

// 1 when the tag set record 1 or 2 of `pair`, else 0.
int32_t ApplyChannelRecord(const MarkupScanner* scanner, GEQ15ChannelParam pair[kLiveChannels]) {
  char value[kMarkupFieldSize];
  if (!Present(scanner, "ch", value)) return 0;
  int32_t channel = ParseSettingsInteger(value);
  // Only the live stereo pair is taken back; records 3 to 8 keep the default record.
  if (channel != 1 && channel != 2) return 0;
  GEQ15ChannelParam& record = pair[channel - 1];
  // Absent attributes set 0, not the previous value: a record line replaces the record.
  record.gain = Present(scanner, "gain", value) ? ParseSettingsGain(value) : 0.0f;
  record.bypass = Present(scanner, "bypass", value) ? ParseSettingsInteger(value) : 0;
  for (int band = 1; band <= kBandCount; ++band) {
    char attribute[8];
    std::snprintf(attribute, sizeof attribute, "g%i", band);
    record.bands[band - 1] = Present(scanner, attribute, value) ? ParseSettingsGain(value) : 0.0f;
  }
  return 1;
}

}  // namespace

int32_t ReadChannelRecords(MarkupScanner* scanner, GEQ15ChannelParam pair[kLiveChannels]) {
  if (scanner == nullptr || pair == nullptr) return 0;
  char name[kMarkupFieldSize];
  char content[kMarkupFieldSize];
  int32_t applied = 0;
  for (;;) {
    int32_t tag = NextTag(scanner, name, content);
    if (tag < 0) return applied;
    if (tag > 0 || std::strcmp(name, kRecordName) != 0) continue;
    applied += ApplyChannelRecord(scanner, pair);
  }
}

namespace {

// Returns how many records of the element set record 1 or 2 of `pair`.
int32_t ApplyConfiguration(EngineContext* engine, WindowPlacement* saved, MarkupScanner* scanner,
                           GEQ15ChannelParam pair[kLiveChannels]) {
  char value[kMarkupFieldSize];
  if (Present(scanner, "nBus", value)) {
    int32_t bus = ParseSettingsInteger(value);
    // Not checked against the host's bus count: the host may offer more buses by the time
    // the stream starts.
    if (bus < 0 || bus > kLargestBus) bus = 0;
    GEQ15_SetBus(engine, bus);
  }
  if (Present(scanner, "x0", value)) saved->x0 = ParseSettingsInteger(value);
  if (Present(scanner, "y0", value)) saved->y0 = ParseSettingsInteger(value);
  if (Present(scanner, "dx", value)) saved->dx = ParseSettingsInteger(value);
  if (Present(scanner, "dy", value)) saved->dy = ParseSettingsInteger(value);

  MarkupScanner element;
  EnterElement(scanner, &element);
  return ReadChannelRecords(&element, pair);
}

}  // namespace

const char* DescribeSettingsFileProblem(SettingsFileProblem problem) {
  switch (problem) {
    case SettingsFileProblem::kNone: return "the file was read";
    case SettingsFileProblem::kMissing: return "the file does not exist";
    case SettingsFileProblem::kEmpty: return "the file is empty";
    case SettingsFileProblem::kTooLarge: return "the file is larger than 1048576 bytes";
    case SettingsFileProblem::kUnreadable: return "the file cannot be read";
    case SettingsFileProblem::kNoMemory: return "there is not enough memory to read the file";
  }
  return "the file cannot be read";
}

SettingsFileProblem CheckSettingsFileSize(uint64_t size) {
  if (size == 0) return SettingsFileProblem::kEmpty;
  if (size > kMaxSettingsFileSize) return SettingsFileProblem::kTooLarge;
  return SettingsFileProblem::kNone;
}

int32_t ParseSettingsInteger(const char* text) {
  // Like atoi, but saturating: an out-of-range number must not be undefined behaviour.
  errno = 0;
  long long value = std::strtoll(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

float ParseSettingsGain(const char* text) {
  double value = std::strtod(text, nullptr);
  // "nan", "inf" and "1e999" would put NaN or infinite samples on the host's output.
  if (!std::isfinite(value)) return 0.0f;
  if (value > kLoadedGainLimitDb) value = kLoadedGainLimitDb;
  if (value < -kLoadedGainLimitDb) value = -kLoadedGainLimitDb;
  return static_cast<float>(value);
}

int32_t WriteChannelRecords(TextBuffer* buffer, const GEQ15ChannelParam records[kChannelRecords]) {
  if (records == nullptr) return -1;
  int32_t result = 0;
  for (int channel = 1; channel <= kChannelRecords; ++channel) {
    const GEQ15ChannelParam& r = records[channel - 1];
    char line[kLineSize];
    int written = std::snprintf(
        line, sizeof line,
        "\t<GEQ15param ch='%i' bypass='%i' gain='%0.5f' g1='%0.5f' g2='%0.5f' g3='%0.5f' "
        "g4='%0.5f' g5='%0.5f' g6='%0.5f' g7='%0.5f' g8='%0.5f' g9='%0.5f' g10='%0.5f' "
        "g11='%0.5f' g12='%0.5f' g13='%0.5f' g14='%0.5f' g15='%0.5f' />\n",
        channel, static_cast<int>(r.bypass), double(r.gain), double(r.g1), double(r.g2),
        double(r.g3), double(r.g4), double(r.g5), double(r.g6), double(r.g7), double(r.g8),
        double(r.g9), double(r.g10), double(r.g11), double(r.g12), double(r.g13), double(r.g14),
        double(r.g15));
    if (AppendLine(buffer, line, written) != 0) result = -2;
  }
  return result;
}

int32_t BuildSettingsDocument(TextBuffer* buffer, int32_t bus, int32_t x0, int32_t y0, int32_t dx,
                              int32_t dy, const GEQ15ChannelParam records[kChannelRecords]) {
  if (buffer == nullptr) return -2;
  if (records == nullptr) return -1;
  EmptyTextBuffer(buffer);
  // A failed append empties the buffer and later ones start it again, so a single failure
  // anywhere leaves a document with lines missing: remember it and report it at the end.
  bool complete = AppendText(buffer, kDeclarationAndRoot) == 0;
  char line[kLineSize];
  int written = std::snprintf(line, sizeof line,
                              "<GEQ15Configuration nBus='%i' x0='%i' y0='%i' dx='%i' dy='%i' />\n",
                              static_cast<int>(bus), static_cast<int>(x0), static_cast<int>(y0),
                              static_cast<int>(dx), static_cast<int>(dy));
  complete = AppendLine(buffer, line, written) == 0 && complete;
  complete = WriteChannelRecords(buffer, records) == 0 && complete;
  complete = AppendText(buffer, kClosingLines) == 0 && complete;
  return complete ? 0 : -2;
}

int32_t ApplySettingsDocument(EngineContext* engine, WindowPlacement* saved, const char* text, uint32_t length,
                              SettingsLoadSummary* summary) {
  SettingsLoadSummary found{};
  // Every record that the document does not set ends at the default record, so a load never
  // mixes channel values of two settings. The records are collected here and published once at
  // the end: the audio never plays the defaults in between.
  GEQ15ChannelParam records[kChannelRecords] = {};
  if (length > kMaxSettingsFileSize) length = kMaxSettingsFileSize;
  MarkupScanner scanner;
  InitScanner(&scanner, text, static_cast<int32_t>(length));
  char name[kMarkupFieldSize];
  char content[kMarkupFieldSize];
  for (;;) {
    int32_t tag = NextTag(&scanner, name, content);
    if (tag < 0) break;
    if (tag > 0 || std::strcmp(name, kConfigurationName) != 0) continue;
    ++found.configurations;
    found.records += ApplyConfiguration(engine, saved, &scanner, records);
  }
  GEQ15_SetParams(engine, records);
  if (summary != nullptr) *summary = found;
  return 1;
}
