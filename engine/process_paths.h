// The ways block processing can run the fifteen sections of a stereo pair. Every path gives
// results identical to the bit to the reference; they differ only in speed. By default the
// fastest one the processor offers is used; tests and benchmarks select one to compare them.
#pragma once

#include <cstdint>

enum ProcessPath : int32_t {
  kProcessPathAuto = -1,       // the fastest path this processor offers
  kProcessPathReference = 0,   // one channel after the other, sample by sample, band by band
  kProcessPathSse2 = 1,        // both channels side by side, a wavefront across the bands
  kProcessPathAvx2 = 2,        // the same wavefront with two bands of both channels per vector
  kProcessPathAvx512 = 3,      // four bands of both channels per vector (64-bit: every history in registers)
};
constexpr int32_t kProcessPathCount = 4;

// Whether this build and processor can run the path (Auto and Reference always can).
bool IsProcessPathSupported(int32_t path);
// Process-wide choice for every later block: 0, or -1 when the path is unknown or unsupported
// (the choice is then left as it was).
int32_t SelectProcessPath(int32_t path);
// The path the next stereo block will take, Auto resolved.
int32_t CurrentProcessPath();
const char* ProcessPathName(int32_t path);
