// Built with -mavx512f -mavx512bw -mavx512vl (this file only); reached only after a run-time
// CPU check. Sixteen messages, one per 32-bit lane of a zmm register. Everything here stays in
// an anonymous namespace or is a plain function, so no AVX-512 code can stand in for a shared
// inline function elsewhere.
#include <immintrin.h>

#include "digest/LaneTranspose.h"
#include "digest/Sha1Kernels.h"

// GCC 12's AVX-512 intrinsics start from a deliberately undefined vector, which
// -Wmaybe-uninitialized reports at every use.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace {

using TVec = __m512i;

template <int N>
QV_INLINE TVec Rol(TVec x) {
  return _mm512_rol_epi32(x, N);
}

QV_INLINE TVec Add(TVec a, TVec b) { return _mm512_add_epi32(a, b); }

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
    LoadTransposed16(data, 64 * block, w);
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
