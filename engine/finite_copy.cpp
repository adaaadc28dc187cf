#include "engine/finite_copy.h"

#include <cstring>

#include "engine/process_paths.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

constexpr uint32_t kExponent = 0x7F800000u;  // all ones: infinity or NaN

// From sample `i` on, one at a time.
void CopyTail(float* out, const float* in, int32_t i, int32_t frames) {
  for (; i < frames; ++i) {
    uint32_t bits;
    std::memcpy(&bits, &in[i], sizeof bits);
    out[i] = (bits & kExponent) == kExponent ? 0.0f : in[i];
  }
}

#if defined(__SSE2__)
// A sample is cleared through a mask of the lanes whose exponent field is all ones.
int32_t CopySse2(float* out, const float* in, int32_t frames) {
  const __m128i exponent = _mm_set1_epi32(static_cast<int32_t>(kExponent));
  int32_t i = 0;
  for (; i + 8 <= frames; i += 8) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 4));
    const __m128i badA = _mm_cmpeq_epi32(_mm_and_si128(a, exponent), exponent);
    const __m128i badB = _mm_cmpeq_epi32(_mm_and_si128(b, exponent), exponent);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_andnot_si128(badA, a));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 4), _mm_andnot_si128(badB, b));
  }
  return i;
}

#if defined(__GNUC__)
__attribute__((target("avx2"))) int32_t CopyAvx2(float* out, const float* in, int32_t frames) {
  const __m256i exponent = _mm256_set1_epi32(static_cast<int32_t>(kExponent));
  int32_t i = 0;
  for (; i + 8 <= frames; i += 8) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    const __m256i bad = _mm256_cmpeq_epi32(_mm256_and_si256(a, exponent), exponent);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_andnot_si256(bad, a));
  }
  return i;
}
#endif
#endif

}  // namespace

void CopyFiniteSamples(int32_t path, float* out, const float* in, int32_t frames) {
  int32_t done = 0;
#if defined(__SSE2__)
#if defined(__GNUC__)
  if (path >= kProcessPathAvx2 && IsProcessPathSupported(kProcessPathAvx2)) done = CopyAvx2(out, in, frames);
  else
#endif
  if (path != kProcessPathReference) done = CopySse2(out, in, frames);
#else
  (void)path;
#endif
  CopyTail(out, in, done, frames);
}
