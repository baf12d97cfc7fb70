// Built with -mavx512f -mavx512bw -mavx512vl (this file only); reached only after a run-time
// CPU check. Sixteen messages, one per 32-bit lane of a zmm register. Everything here stays in
// an anonymous namespace or is a plain function, so no AVX-512 code can stand in for a shared
// inline function elsewhere.
#include <immintrin.h>

#include "digest/Sha1Kernels.h"

// GCC 12's AVX-512 intrinsics start from a deliberately undefined vector, which
// -Wmaybe-uninitialized reports at every use.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace {

using TVec = __m512i;

#define QV_INLINE __attribute__((always_inline)) inline

template <int N>
QV_INLINE TVec Rol(TVec x) {
  return _mm512_rol_epi32(x, N);
}

QV_INLINE TVec Add(TVec a, TVec b) { return _mm512_add_epi32(a, b); }

// One block of each lane, as 16 vectors of one schedule word each: a 16x16 transpose of the
// lanes' blocks after swapping each word to big-endian. Sixteen block loads and 64 shuffles run
// at twice the speed of 32 eight-lane gathers (vpgatherqd) on the same data.
QV_INLINE void LoadTransposed(const uint8_t* const* data, size_t offset, TVec* w) {
  const TVec byteSwap = _mm512_set4_epi32(0x0c0d0e0f, 0x08090a0b, 0x04050607, 0x00010203);
  TVec r[16], t[16], u[16];
#pragma GCC unroll 16
  for (int i = 0; i < 16; ++i) r[i] = _mm512_shuffle_epi8(_mm512_loadu_si512(data[i] + offset), byteSwap);
    // Pairs of rows interleaved, then quads: u[4g + m] holds, in its 128-bit part k, word 4k + m
    // of rows 4g..4g+3.
#pragma GCC unroll 8
  for (int i = 0; i < 16; i += 2) {
    t[i] = _mm512_unpacklo_epi32(r[i], r[i + 1]);
    t[i + 1] = _mm512_unpackhi_epi32(r[i], r[i + 1]);
  }
#pragma GCC unroll 4
  for (int g = 0; g < 16; g += 4) {
    u[g] = _mm512_unpacklo_epi64(t[g], t[g + 2]);
    u[g + 1] = _mm512_unpackhi_epi64(t[g], t[g + 2]);
    u[g + 2] = _mm512_unpacklo_epi64(t[g + 1], t[g + 3]);
    u[g + 3] = _mm512_unpackhi_epi64(t[g + 1], t[g + 3]);
  }
  // A 4x4 transpose of the 128-bit parts of u[m], u[4 + m], u[8 + m], u[12 + m].
#pragma GCC unroll 4
  for (int m = 0; m < 4; ++m) {
    const TVec v0 = _mm512_shuffle_i32x4(u[m], u[4 + m], 0x44);
    const TVec v1 = _mm512_shuffle_i32x4(u[m], u[4 + m], 0xEE);
    const TVec v2 = _mm512_shuffle_i32x4(u[8 + m], u[12 + m], 0x44);
    const TVec v3 = _mm512_shuffle_i32x4(u[8 + m], u[12 + m], 0xEE);
    w[m] = _mm512_shuffle_i32x4(v0, v2, 0x88);
    w[4 + m] = _mm512_shuffle_i32x4(v0, v2, 0xDD);
    w[8 + m] = _mm512_shuffle_i32x4(v1, v3, 0x88);
    w[12 + m] = _mm512_shuffle_i32x4(v1, v3, 0xDD);
  }
}

// Schedule word T, expanded in place in the ring of 16.
template <int T>
QV_INLINE TVec Schedule(TVec* w) {
  if constexpr (T >= 16) {
    const TVec x = _mm512_ternarylogic_epi32(w[(T - 3) % 16], w[(T - 8) % 16], w[(T - 14) % 16], 0x96);
    w[T % 16] = Rol<1>(_mm512_xor_si512(x, w[T % 16]));
  }
  return w[T % 16];
}

// Step T with the variables renamed instead of shifted. The round functions are one ternary
// logic instruction each: Choose 0xCA, Parity 0x96, Majority 0xE8.
template <int T>
QV_INLINE void Step(TVec a, TVec& b, TVec c, TVec d, TVec& e, TVec* w) {
  constexpr int function = T < 20 ? 0xCA : T < 40 ? 0x96 : T < 60 ? 0xE8 : 0x96;
  constexpr int k = T < 20 ? 0x5A827999 : T < 40 ? 0x6ED9EBA1 : T < 60 ? int(0x8F1BBCDC) : int(0xCA62C1D6);
  const TVec wk = Add(Schedule<T>(w), _mm512_set1_epi32(k));
  e = Add(Add(e, wk), Add(Rol<5>(a), _mm512_ternarylogic_epi32(b, c, d, function)));
  b = Rol<30>(b);
}

template <int T>
QV_INLINE void FiveSteps(TVec& a, TVec& b, TVec& c, TVec& d, TVec& e, TVec* w) {
  Step<T>(a, b, c, d, e, w);
  Step<T + 1>(e, a, b, c, d, w);
  Step<T + 2>(d, e, a, b, c, w);
  Step<T + 3>(c, d, e, a, b, w);
  Step<T + 4>(b, c, d, e, a, w);
}

template <int First, int Count>
QV_INLINE void Steps(TVec& a, TVec& b, TVec& c, TVec& d, TVec& e, TVec* w) {
  if constexpr (Count > 0) {
    FiveSteps<First>(a, b, c, d, e, w);
    Steps<First + 5, Count - 5>(a, b, c, d, e, w);
  }
}

}  // namespace

void Sha1Avx512Blocks(uint32_t (*h)[16], const uint8_t* const* data, size_t blocks) {
  TVec a = _mm512_loadu_si512(h[0]), b = _mm512_loadu_si512(h[1]), c = _mm512_loadu_si512(h[2]);
  TVec d = _mm512_loadu_si512(h[3]), e = _mm512_loadu_si512(h[4]);
  for (size_t block = 0; block < blocks; ++block) {
    TVec w[16];
    LoadTransposed(data, 64 * block, w);
    const TVec a0 = a, b0 = b, c0 = c, d0 = d, e0 = e;
    Steps<0, 80>(a, b, c, d, e, w);
    a = Add(a, a0);
    b = Add(b, b0);
    c = Add(c, c0);
    d = Add(d, d0);
    e = Add(e, e0);
  }
  _mm512_storeu_si512(h[0], a);
  _mm512_storeu_si512(h[1], b);
  _mm512_storeu_si512(h[2], c);
  _mm512_storeu_si512(h[3], d);
  _mm512_storeu_si512(h[4], e);
}
