// Built with -mavx512f -mavx512bw -mavx512vl (this file only); reached only after a run-time
// CPU check. Sixteen SHA-256 messages, one per 32-bit lane of a zmm register. Everything here
// stays in an anonymous namespace or is a plain function, so no AVX-512 code can stand in for a
// shared inline function elsewhere.
#include <immintrin.h>

#include "digest/Sha256Kernels.h"

// GCC 12's AVX-512 intrinsics start from a deliberately undefined vector, which
// -Wmaybe-uninitialized reports at every use.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace {

using TVec = __m512i;

#define QV_INLINE __attribute__((always_inline)) inline

QV_INLINE TVec Add(TVec a, TVec b) { return _mm512_add_epi32(a, b); }

template <int N>
QV_INLINE TVec Ror(TVec x) {
  return _mm512_ror_epi32(x, N);
}

// Three-way logic in one instruction: 0x96 exclusive or, 0xCA choose, 0xE8 majority.
template <int Function>
QV_INLINE TVec Logic(TVec a, TVec b, TVec c) {
  return _mm512_ternarylogic_epi32(a, b, c, Function);
}

// One block of each lane, as 16 vectors of one schedule word each: a 16x16 transpose of the
// lanes' blocks after swapping each word to big-endian (the same transpose as the SHA-1 lanes).
QV_INLINE void LoadTransposed(const uint8_t* const* data, size_t offset, TVec* w) {
  const TVec byteSwap = _mm512_set4_epi32(0x0c0d0e0f, 0x08090a0b, 0x04050607, 0x00010203);
  TVec r[16], t[16], u[16];
#pragma GCC unroll 16
  for (int i = 0; i < 16; ++i) r[i] = _mm512_shuffle_epi8(_mm512_loadu_si512(data[i] + offset), byteSwap);
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
    const TVec x15 = w[(T - 15) % 16], x2 = w[(T - 2) % 16];
    const TVec s0 = Logic<0x96>(Ror<7>(x15), Ror<18>(x15), _mm512_srli_epi32(x15, 3));
    const TVec s1 = Logic<0x96>(Ror<17>(x2), Ror<19>(x2), _mm512_srli_epi32(x2, 10));
    w[T % 16] = Add(Add(w[T % 16], w[(T - 7) % 16]), Add(s0, s1));
  }
  return w[T % 16];
}

// Round T with the working variables renamed instead of shifted: d and h change.
template <int T>
QV_INLINE void Round(TVec a, TVec b, TVec c, TVec& d, TVec e, TVec f, TVec g, TVec& h, TVec* w) {
  const TVec wk = Add(Schedule<T>(w), _mm512_set1_epi32(int(Sha256RoundConstants[T])));
  const TVec t1 = Add(Add(h, wk), Add(Logic<0x96>(Ror<6>(e), Ror<11>(e), Ror<25>(e)), Logic<0xCA>(e, f, g)));
  d = Add(d, t1);
  h = Add(t1, Add(Logic<0x96>(Ror<2>(a), Ror<13>(a), Ror<22>(a)), Logic<0xE8>(a, b, c)));
}

template <int T>
QV_INLINE void EightRounds(TVec* v, TVec* w) {
  Round<T>(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], w);
  Round<T + 1>(v[7], v[0], v[1], v[2], v[3], v[4], v[5], v[6], w);
  Round<T + 2>(v[6], v[7], v[0], v[1], v[2], v[3], v[4], v[5], w);
  Round<T + 3>(v[5], v[6], v[7], v[0], v[1], v[2], v[3], v[4], w);
  Round<T + 4>(v[4], v[5], v[6], v[7], v[0], v[1], v[2], v[3], w);
  Round<T + 5>(v[3], v[4], v[5], v[6], v[7], v[0], v[1], v[2], w);
  Round<T + 6>(v[2], v[3], v[4], v[5], v[6], v[7], v[0], v[1], w);
  Round<T + 7>(v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[0], w);
}

template <int First>
QV_INLINE void Rounds(TVec* v, TVec* w) {
  if constexpr (First < 64) {
    EightRounds<First>(v, w);
    Rounds<First + 8>(v, w);
  }
}

}  // namespace

void Sha256Avx512Blocks(uint32_t (*h)[16], const uint8_t* const* data, size_t blocks) {
  TVec v[8];
#pragma GCC unroll 8
  for (int j = 0; j < 8; ++j) v[j] = _mm512_loadu_si512(h[j]);
  for (size_t block = 0; block < blocks; ++block) {
    TVec w[16];
    LoadTransposed(data, 64 * block, w);
    TVec saved[8];
#pragma GCC unroll 8
    for (int j = 0; j < 8; ++j) saved[j] = v[j];
    Rounds<0>(v, w);
#pragma GCC unroll 8
    for (int j = 0; j < 8; ++j) v[j] = Add(v[j], saved[j]);
  }
#pragma GCC unroll 8
  for (int j = 0; j < 8; ++j) _mm512_storeu_si512(h[j], v[j]);
}
