// The settings document: thirteen fixed lines of ASCII holding the selected bus, the window
// placement and the eight channel records, and the walk that applies such a document.
// The writer's output is not well-formed XML (the configuration tag is self-closing and still
// has a closing line); the loader relies on that closing line to bound the records.
#pragma once

#include <cstdint>

#include "engine/geq15.h"
#include "settings/markup_scanner.h"
#include "settings/text_buffer.h"

// The window's place and size as a settings document holds them.
struct WindowPlacement {
  int32_t x0, y0, dx, dy;
};

// A coordinate that is not yet known; equals the platform's default-position value.
constexpr int32_t kUnsetCoordinate = INT32_MIN;
// The window's size before any settings file was read.
constexpr int32_t kWindowWidth = 688;
constexpr int32_t kWindowHeight = 290;

// The settings layer's own record: the placement the last load read, as stored (the program
// raises it to its minimum window size), and the buffer in which documents are built and read.
// The selected bus and the channel records live in the engine.
struct SettingsRecord {
  WindowPlacement saved;
  TextBuffer buffer;
};

// Larger files are refused unread; a file of exactly this size is accepted.
constexpr uint32_t kMaxSettingsFileSize = 0x100000;

// Gains in dB are bounded to +-720 when loaded: 10^(720/20) = 1e36 still fits a float
// (largest 3.4e38) and 1e-36 is still a normal float, and with every band gain in that range
// the band design stays finite too (its largest coefficient is about alpha * 10^18 < 1e18).
// Real settings are within -12..+12 dB; anything out to 720 dB loads unchanged.
constexpr double kLoadedGainLimitDb = 720.0;

// Why a settings file was not read.
enum class SettingsFileProblem : int32_t {
  kNone = 0,
  kMissing,     // cannot be opened because it does not exist
  kEmpty,
  kTooLarge,    // above kMaxSettingsFileSize
  kUnreadable,  // cannot be opened or read, or fewer bytes arrived than announced
  kNoMemory,    // the settings buffer cannot grow to the file's size
};

// A short English reason for messages, such as "the file is empty".
const char* DescribeSettingsFileProblem(SettingsFileProblem problem);
SettingsFileProblem CheckSettingsFileSize(uint64_t size);

// Appends lines 4 to 11, one per record. 0 when the eight lines were appended; -1 without
// records (nothing appended); -2 when an append failed (the buffer lost its content).
int32_t WriteChannelRecords(TextBuffer* buffer, const GEQ15ChannelParam records[kChannelRecords]);

// Builds the whole document in `buffer`, replacing what it held. 0 when it is complete;
// -1 without records and -2 when the buffer could not grow. A document that is not complete
// must never be written over a stored file: it would lose the channel records.
int32_t BuildSettingsDocument(TextBuffer* buffer, int32_t bus, int32_t x0, int32_t y0, int32_t dx,
                              int32_t dy, const GEQ15ChannelParam records[kChannelRecords]);

// Applies the GEQ15param records of the scanner's range (one configuration element) for
// channels 1 and 2 to `pair`; returns how many it applied.
int32_t ReadChannelRecords(MarkupScanner* scanner, GEQ15ChannelParam pair[kLiveChannels]);

// What a load applied, for the tool's warnings (the program itself says nothing).
struct SettingsLoadSummary {
  int32_t configurations;  // GEQ15Configuration elements
  int32_t records;         // GEQ15param records taken into records 1 and 2
};

// Applies every configuration element of `text` in document order: the engine's bus, the saved
// placement, and records 1 and 2, which end at the default record unless the document sets them
// and are published once at the end. Reads only text[0 .. length-1]. Returns 1. What was
// applied goes to `summary` when one is given.
int32_t ApplySettingsDocument(EngineContext* engine, WindowPlacement* saved, const char* text, uint32_t length,
                              SettingsLoadSummary* summary = nullptr);

// Number conversions of the loader: classic-locale decimal text, 0 for anything else.
int32_t ParseSettingsInteger(const char* text);
float ParseSettingsGain(const char* text);
