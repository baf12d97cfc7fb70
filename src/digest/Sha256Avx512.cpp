// Built with -mavx512f -mavx512bw -mavx512vl (this file only); reached only after a run-time
// CPU check. Sixteen SHA-256 messages, one per 32-bit lane of a zmm register. Everything here
// stays in an anonymous namespace or is a plain function, so no AVX-512 code can stand in for a
// shared inline function elsewhere.
#include <immintrin.h>

#include "digest/LaneTranspose.h"
#include "digest/Sha256Kernels.h"

// GCC 12's AVX-512 intrinsics start from a deliberately undefined vector, which
// -Wmaybe-uninitialized reports at every use.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace {

using TVec = __m512i;

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
    LoadTransposed16(data, 64 * block, w);
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
