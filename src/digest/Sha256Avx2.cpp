// Built with -mavx2 (this file only); reached only after a run-time CPU check. Eight SHA-256
// messages, one per 32-bit lane of a ymm register, for CPUs without AVX-512 or SHA-NI.
// Everything here stays in an anonymous namespace or is a plain function, so no AVX2 code can
// stand in for a shared inline function elsewhere.
#include <immintrin.h>

#include "digest/LaneTranspose.h"
#include "digest/Sha256Kernels.h"

namespace {

using TVec = __m256i;

QV_INLINE TVec Add(TVec a, TVec b) { return _mm256_add_epi32(a, b); }
QV_INLINE TVec Xor(TVec a, TVec b) { return _mm256_xor_si256(a, b); }

// x rotated right by A, B and C, the three exclusive-or'ed: the right shifts first, so the
// left shifts of the three rotations fold into one exclusive-or chain of the same length.
template <int A, int B, int C>
QV_INLINE TVec Sigma(TVec x) {
  const TVec right = Xor(Xor(_mm256_srli_epi32(x, A), _mm256_srli_epi32(x, B)), _mm256_srli_epi32(x, C));
  const TVec left =
      Xor(Xor(_mm256_slli_epi32(x, 32 - A), _mm256_slli_epi32(x, 32 - B)), _mm256_slli_epi32(x, 32 - C));
  return Xor(right, left);
}

// The schedule's small sigma: two rotations and a plain shift.
template <int A, int B, int S>
QV_INLINE TVec SmallSigma(TVec x) {
  const TVec right = Xor(Xor(_mm256_srli_epi32(x, A), _mm256_srli_epi32(x, B)), _mm256_srli_epi32(x, S));
  return Xor(right, Xor(_mm256_slli_epi32(x, 32 - A), _mm256_slli_epi32(x, 32 - B)));
}

template <int T>
QV_INLINE TVec Schedule(TVec* w) {
  if constexpr (T >= 16) {
    const TVec s0 = SmallSigma<7, 18, 3>(w[(T - 15) % 16]);
    const TVec s1 = SmallSigma<17, 19, 10>(w[(T - 2) % 16]);
    w[T % 16] = Add(Add(w[T % 16], w[(T - 7) % 16]), Add(s0, s1));
  }
  return w[T % 16];
}

// Round T with the working variables renamed instead of shifted: d and h change.
template <int T>
QV_INLINE void Round(TVec a, TVec b, TVec c, TVec& d, TVec e, TVec f, TVec g, TVec& h, TVec* w) {
  const TVec wk = Add(Schedule<T>(w), _mm256_set1_epi32(int(Sha256RoundConstants[T])));
  const TVec choose = Xor(g, _mm256_and_si256(e, Xor(f, g)));
  const TVec t1 = Add(Add(h, wk), Add(Sigma<6, 11, 25>(e), choose));
  d = Add(d, t1);
  const TVec majority = _mm256_or_si256(_mm256_and_si256(a, b), _mm256_and_si256(c, _mm256_or_si256(a, b)));
  h = Add(t1, Add(Sigma<2, 13, 22>(a), majority));
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

void Sha256Avx2Blocks(uint32_t (*h)[8], const uint8_t* const* data, size_t blocks) {
  TVec v[8];
#pragma GCC unroll 8
  for (int j = 0; j < 8; ++j) v[j] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h[j]));
  for (size_t block = 0; block < blocks; ++block) {
    TVec w[16];
    LoadTransposed8(data, 64 * block, w);
    LoadTransposed8(data, 64 * block + 32, w + 8);
    TVec saved[8];
#pragma GCC unroll 8
    for (int j = 0; j < 8; ++j) saved[j] = v[j];
    Rounds<0>(v, w);
#pragma GCC unroll 8
    for (int j = 0; j < 8; ++j) v[j] = Add(v[j], saved[j]);
  }
#pragma GCC unroll 8
  for (int j = 0; j < 8; ++j) _mm256_storeu_si256(reinterpret_cast<__m256i*>(h[j]), v[j]);
}
