// Both channels of the stereo pair through their fifteen sections at once, as a wavefront.
//
// Invariants that keep every sample identical to the bit to the per-sample reference:
// - at step t, band j works on sample t - j, so its input is band j-1's output of the step
//   before: each band's own recursion and every rounding stay exactly as in the reference;
// - each section computes ((b0*v + a1*(x1-y1)) + b2*x2) + na2*y2 in double from exactly widened
//   floats, in that order, rounds once to float and flushes below 2^-64, like the reference;
// - the two channels never mix: lane 0 is channel 1 and lane 1 channel 2 in every vector.
// The per-sample chain of one band (subtract, multiply, three adds, two conversions) bounds the
// speed; the wavefront exists so that all thirty sections of a step run side by side.
#include "engine/process_pair.h"
#include "engine/process_paths.h"

#include <cstdint>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#if defined(__SSE2__)

namespace {

constexpr int kLastBand = kBandCount - 1;  // band 15, whose output is the pair's output
// A float keeps its value when its biased exponent is at least 63 (2^-64 and up); compared on
// the exponent field alone, shifted into place.
constexpr int32_t kExponentField = 0x7F800000;
constexpr int32_t kKeepAbove = (63 << 23) - 1;

// The running values of the block, kept in vectors (lanes 0 and 1 are the two channels).
struct PairIo {
  float* samples[2];
  __m128 gain, step, peakIn, peakOut;
};

inline __m128 AbsPs(__m128 x) { return _mm_and_ps(x, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF))); }

// _mm_max_ps(a, b) is "a > b ? a : b", the reference's "if |x| > held, held = |x|", NaN included.
inline __m128d LoadInput(PairIo* io, int32_t k) {
  const __m128 x = _mm_unpacklo_ps(_mm_load_ss(io->samples[0] + k), _mm_load_ss(io->samples[1] + k));
  io->peakIn = _mm_max_ps(AbsPs(x), io->peakIn);
  return _mm_cvtps_pd(x);
}

// `y` holds band 15's outputs for sample k, floats widened exactly.
inline void EmitOutput(PairIo* io, int32_t k, __m128d y) {
  const __m128 out = _mm_mul_ps(_mm_cvtpd_ps(y), io->gain);
  _mm_store_ss(io->samples[0] + k, out);
  _mm_store_ss(io->samples[1] + k, _mm_shuffle_ps(out, out, _MM_SHUFFLE(1, 1, 1, 1)));
  io->peakOut = _mm_max_ps(AbsPs(out), io->peakOut);
  io->gain = _mm_add_ps(io->gain, io->step);
}

// Rounds both lanes to float, flushes those below 2^-64 to zero and widens them back. The keep
// mask comes from the rounded float, so it holds under any rounding mode.
inline __m128d RoundAndFlush2(__m128d sum) {
  const __m128 f = _mm_cvtpd_ps(sum);
  const __m128i exponent = _mm_and_si128(_mm_castps_si128(f), _mm_set1_epi32(kExponentField));
  const __m128i keep = _mm_cmpgt_epi32(exponent, _mm_set1_epi32(kKeepAbove));
  return _mm_and_pd(_mm_cvtps_pd(f), _mm_castsi128_pd(_mm_unpacklo_epi32(keep, keep)));
}

// Band j of both channels on its next sample, input v.
inline void BandStep(PairSections* s, int j, __m128d v) {
  const __m128d x1 = _mm_load_pd(s->x1[j]), x2 = _mm_load_pd(s->x2[j]);
  const __m128d y1 = _mm_load_pd(s->y1[j]), y2 = _mm_load_pd(s->y2[j]);
  __m128d sum = _mm_mul_pd(_mm_load_pd(s->b0[j]), v);
  sum = _mm_add_pd(sum, _mm_mul_pd(_mm_load_pd(s->a1[j]), _mm_sub_pd(x1, y1)));
  sum = _mm_add_pd(sum, _mm_mul_pd(_mm_load_pd(s->b2[j]), x2));
  sum = _mm_add_pd(sum, _mm_mul_pd(_mm_load_pd(s->na2[j]), y2));
  _mm_store_pd(s->x2[j], x1);
  _mm_store_pd(s->x1[j], v);
  _mm_store_pd(s->y2[j], y1);
  _mm_store_pd(s->y1[j], RoundAndFlush2(sum));
}

// One wavefront step for the bands lo..hi. Bands go from the last down, so each band still
// reads its predecessor's output of the previous step.
inline void StepBands(PairSections* s, PairIo* io, int32_t t, int lo, int hi) {
  for (int j = hi; j >= 1 && j >= lo; --j) BandStep(s, j, _mm_load_pd(s->y1[j - 1]));
  if (lo == 0) BandStep(s, 0, LoadInput(io, t));
  if (hi == kLastBand) EmitOutput(io, t - kLastBand, _mm_load_pd(s->y1[kLastBand]));
}

// Filling and draining the wavefront: only the bands that have a sample at step t move.
inline void PartialStep(PairSections* s, PairIo* io, int32_t t, int32_t frames) {
  const int lo = t - frames + 1 > 0 ? t - frames + 1 : 0;
  const int hi = t < kLastBand ? t : kLastBand;
  StepBands(s, io, t, lo, hi);
}

void PartialStepsSse2(PairSections* s, PairIo* io, int32_t t0, int32_t t1, int32_t frames) {
  for (int32_t t = t0; t < t1; ++t) PartialStep(s, io, t, frames);
}

void FullStepsSse2(PairSections* s, PairIo* io, int32_t t0, int32_t t1) {
  for (int32_t t = t0; t < t1; ++t) StepBands(s, io, t, 0, kLastBand);
}

#if defined(__GNUC__)
#define GEQ15_TARGET_AVX2 __attribute__((target("avx2,fma")))

// Vector k holds bands 2k and 2k+1 of both channels: lanes (2k ch1, 2k ch2, 2k+1 ch1, 2k+1 ch2).
// Band outputs stay in registers from one step to the next; a band's input is the upper half of
// the vector before it and the lower half of its own, one lane-pair permutation.
GEQ15_TARGET_AVX2 inline __m256d RoundAndFlush4(__m256d sum) {
  const __m128 f = _mm256_cvtpd_ps(sum);
  const __m128i exponent = _mm_and_si128(_mm_castps_si128(f), _mm_set1_epi32(kExponentField));
  const __m128i keep = _mm_cmpgt_epi32(exponent, _mm_set1_epi32(kKeepAbove));
  return _mm256_and_pd(_mm256_cvtps_pd(f), _mm256_castsi256_pd(_mm256_cvtepi32_epi64(keep)));
}

// Bands 2k and 2k+1 of both channels on their next samples, inputs v; returns their outputs.
GEQ15_TARGET_AVX2 inline __attribute__((always_inline)) __m256d TwoBands(PairSections* s, int k, __m256d v,
                                                                         __m256d y1) {
  double* x1p = s->x1[2 * k];
  double* x2p = s->x2[2 * k];
  double* y2p = s->y2[2 * k];
  const __m256d x1 = _mm256_load_pd(x1p), x2 = _mm256_load_pd(x2p), y2 = _mm256_load_pd(y2p);
  // A product of two floats is exact in double (48 significant bits, far from the double range's
  // ends), so fusing b0*v, b2*x2 and na2*y2 into their additions skips no rounding: each fused
  // step rounds exactly what the separate add rounds. a1*(x1-y1) is not exact and stays apart.
  const __m256d a1d = _mm256_mul_pd(_mm256_load_pd(s->a1[2 * k]), _mm256_sub_pd(x1, y1));
  __m256d sum = _mm256_fmadd_pd(_mm256_load_pd(s->b0[2 * k]), v, a1d);
  sum = _mm256_fmadd_pd(_mm256_load_pd(s->b2[2 * k]), x2, sum);
  sum = _mm256_fmadd_pd(_mm256_load_pd(s->na2[2 * k]), y2, sum);
  _mm256_store_pd(x2p, x1);
  _mm256_store_pd(x1p, v);
  _mm256_store_pd(y2p, y1);
  return RoundAndFlush4(sum);
}

// Input of bands 2k and 2k+1: the outputs of bands 2k-1 and 2k, one step old.
GEQ15_TARGET_AVX2 inline __m256d Shifted(__m256d before, __m256d own) {
  return _mm256_permute2f128_pd(before, own, 0x21);
}

// The same steps in the AVX encoding, around the AVX2 kernel: in a 32-bit build the plain SSE2
// encoding of these steps ran four times slower next to it (0.5 against 2 us a block); the
// instructions, and so the results, are the same.
GEQ15_TARGET_AVX2 void PartialStepsAvx2(PairSections* s, PairIo* io, int32_t t0, int32_t t1, int32_t frames) {
  for (int32_t t = t0; t < t1; ++t) PartialStep(s, io, t, frames);
}

// The outputs of the previous step stay in registers, named, so the compiler keeps them there.
GEQ15_TARGET_AVX2 void FullStepsAvx2(PairSections* s, PairIo* io, int32_t t0, int32_t t1) {
  __m256d y0 = _mm256_load_pd(s->y1[0]), y1 = _mm256_load_pd(s->y1[2]), y2 = _mm256_load_pd(s->y1[4]),
          y3 = _mm256_load_pd(s->y1[6]), y4 = _mm256_load_pd(s->y1[8]), y5 = _mm256_load_pd(s->y1[10]),
          y6 = _mm256_load_pd(s->y1[12]), y7 = _mm256_load_pd(s->y1[14]);
  for (int32_t t = t0; t < t1; ++t) {
    const __m128d in = LoadInput(io, t);
    const __m256d n0 = TwoBands(s, 0, _mm256_insertf128_pd(_mm256_castpd128_pd256(in), _mm256_castpd256_pd128(y0), 1), y0);
    const __m256d n1 = TwoBands(s, 1, Shifted(y0, y1), y1);
    const __m256d n2 = TwoBands(s, 2, Shifted(y1, y2), y2);
    const __m256d n3 = TwoBands(s, 3, Shifted(y2, y3), y3);
    const __m256d n4 = TwoBands(s, 4, Shifted(y3, y4), y4);
    const __m256d n5 = TwoBands(s, 5, Shifted(y4, y5), y5);
    const __m256d n6 = TwoBands(s, 6, Shifted(y5, y6), y6);
    const __m256d n7 = TwoBands(s, 7, Shifted(y6, y7), y7);
    y0 = n0, y1 = n1, y2 = n2, y3 = n3, y4 = n4, y5 = n5, y6 = n6, y7 = n7;
    EmitOutput(io, t - kLastBand, _mm256_castpd256_pd128(y7));  // band 15: lanes 0 and 1 of the last vector
  }
  _mm256_store_pd(s->y1[0], y0), _mm256_store_pd(s->y1[2], y1), _mm256_store_pd(s->y1[4], y2);
  _mm256_store_pd(s->y1[6], y3), _mm256_store_pd(s->y1[8], y4), _mm256_store_pd(s->y1[10], y5);
  _mm256_store_pd(s->y1[12], y6), _mm256_store_pd(s->y1[14], y7);
}

#define GEQ15_TARGET_AVX512 __attribute__((target("avx512f,avx512vl,avx512dq,avx2,fma")))

// Vector k holds bands 4k..4k+3 of both channels. A band's input is the last two lanes of the
// vector before and the first six of its own.
GEQ15_TARGET_AVX512 inline __attribute__((always_inline)) __m512d RoundAndFlush8(__m512d sum) {
  const __m256 f = _mm512_cvtpd_ps(sum);
  const __m256i exponent = _mm256_and_si256(_mm256_castps_si256(f), _mm256_set1_epi32(kExponentField));
  const __mmask8 keep = _mm256_cmpgt_epi32_mask(exponent, _mm256_set1_epi32(kKeepAbove));
  return _mm512_maskz_cvtps_pd(keep, f);
}

// Input of bands 4k..4k+3: the outputs of bands 4k-1..4k+2, one step old.
GEQ15_TARGET_AVX512 inline __attribute__((always_inline)) __m512d Shifted4(__m512d before, __m512d own) {
  return _mm512_castsi512_pd(_mm512_alignr_epi64(_mm512_castpd_si512(own), _mm512_castpd_si512(before), 6));
}

#if defined(__x86_64__)
// With 32 registers every history of the sixteen band slots stays in a register through the
// block; only coefficients come from memory.
struct Band4 {
  __m512d x1, x2, y1, y2;
};

GEQ15_TARGET_AVX512 inline __attribute__((always_inline)) __m512d FourBands(const PairSections* s, int k, __m512d v,
                                                                             const Band4& h) {
  // The fused steps are exact for the reason given with the AVX2 kernel.
  const __m512d a1d = _mm512_mul_pd(_mm512_load_pd(s->a1[4 * k]), _mm512_sub_pd(h.x1, h.y1));
  __m512d sum = _mm512_fmadd_pd(_mm512_load_pd(s->b0[4 * k]), v, a1d);
  sum = _mm512_fmadd_pd(_mm512_load_pd(s->b2[4 * k]), h.x2, sum);
  sum = _mm512_fmadd_pd(_mm512_load_pd(s->na2[4 * k]), h.y2, sum);
  return RoundAndFlush8(sum);
}

GEQ15_TARGET_AVX512 inline __attribute__((always_inline)) void Advance(Band4* h, __m512d v, __m512d y) {
  h->x2 = h->x1;
  h->x1 = v;
  h->y2 = h->y1;
  h->y1 = y;
}

GEQ15_TARGET_AVX512 void FullStepsAvx512(PairSections* s, PairIo* io, int32_t t0, int32_t t1) {
  Band4 h0, h1, h2, h3;
  Band4* all[4] = {&h0, &h1, &h2, &h3};
  for (int k = 0; k < 4; ++k) {
    all[k]->x1 = _mm512_load_pd(s->x1[4 * k]);
    all[k]->x2 = _mm512_load_pd(s->x2[4 * k]);
    all[k]->y1 = _mm512_load_pd(s->y1[4 * k]);
    all[k]->y2 = _mm512_load_pd(s->y2[4 * k]);
  }
  for (int32_t t = t0; t < t1; ++t) {
    const __m512d in = _mm512_broadcast_f64x2(LoadInput(io, t));
    const __m512d v0 = Shifted4(in, h0.y1), v1 = Shifted4(h0.y1, h1.y1);
    const __m512d v2 = Shifted4(h1.y1, h2.y1), v3 = Shifted4(h2.y1, h3.y1);
    const __m512d n0 = FourBands(s, 0, v0, h0), n1 = FourBands(s, 1, v1, h1);
    const __m512d n2 = FourBands(s, 2, v2, h2), n3 = FourBands(s, 3, v3, h3);
    Advance(&h0, v0, n0), Advance(&h1, v1, n1), Advance(&h2, v2, n2), Advance(&h3, v3, n3);
    EmitOutput(io, t - kLastBand, _mm512_extractf64x2_pd(h3.y1, 2));  // band 15: lanes 4 and 5
  }
  for (int k = 0; k < 4; ++k) {
    _mm512_store_pd(s->x1[4 * k], all[k]->x1);
    _mm512_store_pd(s->x2[4 * k], all[k]->x2);
    _mm512_store_pd(s->y1[4 * k], all[k]->y1);
    _mm512_store_pd(s->y2[4 * k], all[k]->y2);
  }
}
#else
// A 32-bit build has eight vector registers: only the outputs of the previous step stay in
// registers, the other histories go through memory. Groups run from the last to the first, so
// each still reads its predecessor's output of the previous step.
GEQ15_TARGET_AVX512 inline __attribute__((always_inline)) __m512d FourBandsInMemory(PairSections* s, int k, __m512d v,
                                                                                     __m512d y1) {
  double* x1p = s->x1[4 * k];
  double* x2p = s->x2[4 * k];
  double* y2p = s->y2[4 * k];
  const __m512d x1 = _mm512_load_pd(x1p), x2 = _mm512_load_pd(x2p), y2 = _mm512_load_pd(y2p);
  // The fused steps are exact for the reason given with the AVX2 kernel.
  const __m512d a1d = _mm512_mul_pd(_mm512_load_pd(s->a1[4 * k]), _mm512_sub_pd(x1, y1));
  __m512d sum = _mm512_fmadd_pd(_mm512_load_pd(s->b0[4 * k]), v, a1d);
  sum = _mm512_fmadd_pd(_mm512_load_pd(s->b2[4 * k]), x2, sum);
  sum = _mm512_fmadd_pd(_mm512_load_pd(s->na2[4 * k]), y2, sum);
  _mm512_store_pd(x2p, x1);
  _mm512_store_pd(x1p, v);
  _mm512_store_pd(y2p, y1);
  return RoundAndFlush8(sum);
}

GEQ15_TARGET_AVX512 void FullStepsAvx512(PairSections* s, PairIo* io, int32_t t0, int32_t t1) {
  __m512d y0 = _mm512_load_pd(s->y1[0]), y1 = _mm512_load_pd(s->y1[4]), y2 = _mm512_load_pd(s->y1[8]),
          y3 = _mm512_load_pd(s->y1[12]);
  for (int32_t t = t0; t < t1; ++t) {
    y3 = FourBandsInMemory(s, 3, Shifted4(y2, y3), y3);
    y2 = FourBandsInMemory(s, 2, Shifted4(y1, y2), y2);
    y1 = FourBandsInMemory(s, 1, Shifted4(y0, y1), y1);
    y0 = FourBandsInMemory(s, 0, Shifted4(_mm512_broadcast_f64x2(LoadInput(io, t)), y0), y0);
    EmitOutput(io, t - kLastBand, _mm512_extractf64x2_pd(y3, 2));  // band 15: lanes 4 and 5
  }
  _mm512_store_pd(s->y1[0], y0), _mm512_store_pd(s->y1[4], y1), _mm512_store_pd(s->y1[8], y2);
  _mm512_store_pd(s->y1[12], y3);
}
#endif  // __x86_64__
#endif

}  // namespace

bool CpuHasAvx2() {
#if defined(__GNUC__)
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
  return false;
#endif
}

bool CpuHasAvx512() {
#if defined(__GNUC__)
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
         __builtin_cpu_supports("avx512dq") && CpuHasAvx2();
#else
  return false;
#endif
}

void ProcessPair(int32_t path, PairSections* s, PairBlock* b) {
  PairIo io;
  io.samples[0] = b->samples[0];
  io.samples[1] = b->samples[1];
  io.gain = _mm_setr_ps(b->gain[0], b->gain[1], 0.0f, 0.0f);
  io.step = _mm_setr_ps(b->step[0], b->step[1], 0.0f, 0.0f);
  io.peakIn = _mm_setr_ps(b->peakIn[0], b->peakIn[1], 0.0f, 0.0f);
  io.peakOut = _mm_setr_ps(b->peakOut[0], b->peakOut[1], 0.0f, 0.0f);

  // Steps 0 .. frames+13; from step 14 up to the last sample every band has work.
  const int32_t frames = b->frames > 0 ? b->frames : 0;
  const int32_t steps = frames > 0 ? frames + kLastBand : 0;
  const int32_t fullFrom = kLastBand, fullTo = frames;
  // A block of at most 14 frames never fills the wavefront: all its steps are partial.
  const int32_t fillTo = fullTo > fullFrom ? fullFrom : steps;
  auto partialSteps = PartialStepsSse2;
#if defined(__GNUC__)
  if (path == kProcessPathAvx2 || path == kProcessPathAvx512) partialSteps = PartialStepsAvx2;
#endif
  partialSteps(s, &io, 0, fillTo, frames);
  int32_t t = fillTo;
  if (t < fullTo) {
#if defined(__GNUC__)
    if (path == kProcessPathAvx512)
      FullStepsAvx512(s, &io, t, fullTo);
    else
#endif
#if defined(__GNUC__)
    if (path == kProcessPathAvx2)
      FullStepsAvx2(s, &io, t, fullTo);
    else
#endif
      FullStepsSse2(s, &io, t, fullTo);
    t = fullTo;
  }
  partialSteps(s, &io, t, steps, frames);

  float lanes[4];
  _mm_storeu_ps(lanes, io.gain);
  b->gain[0] = lanes[0], b->gain[1] = lanes[1];
  _mm_storeu_ps(lanes, io.peakIn);
  b->peakIn[0] = lanes[0], b->peakIn[1] = lanes[1];
  _mm_storeu_ps(lanes, io.peakOut);
  b->peakOut[0] = lanes[0], b->peakOut[1] = lanes[1];
}

#else  // no SSE2: only the reference path exists, and IsProcessPathSupported says so.

bool CpuHasAvx2() { return false; }
bool CpuHasAvx512() { return false; }
void ProcessPair(int32_t, PairSections*, PairBlock*) {}

#endif
