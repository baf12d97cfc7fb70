// Built with -mavx2 (this file only); reached only after a run-time CPU check. Eight messages,
// one per 32-bit lane of a ymm register, for CPUs without AVX-512. Everything here stays in an
// anonymous namespace or is a plain function, so no AVX2 code can stand in for a shared inline
// function elsewhere.
#include <immintrin.h>

#include "digest/LaneTranspose.h"
#include "digest/Sha1Kernels.h"

namespace {

using TVec = __m256i;

template <int N>
QV_INLINE TVec Rol(TVec x) {
  return _mm256_or_si256(_mm256_slli_epi32(x, N), _mm256_srli_epi32(x, 32 - N));
}

QV_INLINE TVec Add(TVec a, TVec b) { return _mm256_add_epi32(a, b); }
QV_INLINE TVec Xor(TVec a, TVec b) { return _mm256_xor_si256(a, b); }
QV_INLINE TVec And(TVec a, TVec b) { return _mm256_and_si256(a, b); }

template <int T>
QV_INLINE TVec Schedule(TVec* w) {
  if constexpr (T >= 16)
    w[T % 16] = Rol<1>(Xor(Xor(w[(T - 3) % 16], w[(T - 8) % 16]), Xor(w[(T - 14) % 16], w[T % 16])));
  return w[T % 16];
}

template <int T>
QV_INLINE TVec Function(TVec b, TVec c, TVec d) {
  if constexpr (T < 20) return Xor(d, And(b, Xor(c, d)));                  // Choose
  if constexpr ((T >= 20 && T < 40) || T >= 60) return Xor(Xor(b, c), d);  // Parity
  if constexpr (T >= 40 && T < 60)
    return _mm256_or_si256(And(b, c), And(d, _mm256_or_si256(b, c)));  // Majority
}

template <int T>
QV_INLINE void Step(TVec a, TVec& b, TVec c, TVec d, TVec& e, TVec* w) {
  constexpr int k = T < 20 ? 0x5A827999 : T < 40 ? 0x6ED9EBA1 : T < 60 ? int(0x8F1BBCDC) : int(0xCA62C1D6);
  const TVec wk = Add(Schedule<T>(w), _mm256_set1_epi32(k));
  e = Add(Add(e, wk), Add(Rol<5>(a), Function<T>(b, c, d)));
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

QV_INLINE TVec Load(const uint32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
QV_INLINE void Store(uint32_t* p, TVec x) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), x); }

}  // namespace

void Sha1Avx2Blocks(uint32_t (*h)[8], const uint8_t* const* data, size_t blocks) {
  TVec a = Load(h[0]), b = Load(h[1]), c = Load(h[2]), d = Load(h[3]), e = Load(h[4]);
  for (size_t block = 0; block < blocks; ++block) {
    TVec w[16];
    LoadTransposed8(data, 64 * block, w);
    LoadTransposed8(data, 64 * block + 32, w + 8);
    const TVec a0 = a, b0 = b, c0 = c, d0 = d, e0 = e;
    Steps<0, 80>(a, b, c, d, e, w);
    a = Add(a, a0);
    b = Add(b, b0);
    c = Add(c, c0);
    d = Add(d, d0);
    e = Add(e, e0);
  }
  Store(h[0], a);
  Store(h[1], b);
  Store(h[2], c);
  Store(h[3], d);
  Store(h[4], e);
}
