// Copies of the channels the equalizer does not own.
#pragma once

#include <cstdint>

// Copies `frames` samples from `in` to `out` (which may be `in`): finite samples bit for bit, 0
// for a NaN or an infinity. `path` (a ProcessPath, Auto resolved) picks the instructions, and
// every path gives the same bits. Copies made next to the block processing use its path: after
// the AVX kernels, code in the older SSE encoding ran three times slower in a 32-bit process.
void CopyFiniteSamples(int32_t path, float* out, const float* in, int32_t frames);
