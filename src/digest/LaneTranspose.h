#pragma once
// The message loads of the vector SHA-1 and SHA-256 kernels: one block of each lane, swapped to
// big-endian words and transposed so that each vector holds one word of every lane. Include only
// from files built with AVX2 (and AVX-512 for the 16-lane load); both are static (internal
// linkage), so no vector code can stand in for a function of the code that runs on any x86-64.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#define QV_INLINE __attribute__((always_inline)) inline

// Eight words (32 bytes from offset on) of one block of each lane, as 8 vectors of one schedule
// word each: an 8x8 transpose after swapping each word to big-endian.
static QV_INLINE void LoadTransposed8(const uint8_t* const* data, size_t offset, __m256i* w) {
  const __m256i byteSwap = _mm256_set_epi32(0x0c0d0e0f, 0x08090a0b, 0x04050607, 0x00010203, 0x0c0d0e0f,
                                            0x08090a0b, 0x04050607, 0x00010203);
  __m256i r[8], t[8], u[8];
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i)
    r[i] =
        _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(data[i] + offset)), byteSwap);
#pragma GCC unroll 4
  for (int i = 0; i < 8; i += 2) {
    t[i] = _mm256_unpacklo_epi32(r[i], r[i + 1]);
    t[i + 1] = _mm256_unpackhi_epi32(r[i], r[i + 1]);
  }
  // u[4g + m] holds, in its 128-bit half k, word 4k + m of rows 4g..4g+3.
#pragma GCC unroll 2
  for (int g = 0; g < 8; g += 4) {
    u[g] = _mm256_unpacklo_epi64(t[g], t[g + 2]);
    u[g + 1] = _mm256_unpackhi_epi64(t[g], t[g + 2]);
    u[g + 2] = _mm256_unpacklo_epi64(t[g + 1], t[g + 3]);
    u[g + 3] = _mm256_unpackhi_epi64(t[g + 1], t[g + 3]);
  }
#pragma GCC unroll 4
  for (int m = 0; m < 4; ++m) {
    w[m] = _mm256_permute2x128_si256(u[m], u[4 + m], 0x20);
    w[4 + m] = _mm256_permute2x128_si256(u[m], u[4 + m], 0x31);
  }
}

#ifdef __AVX512F__
// One block of each lane, as 16 vectors of one schedule word each: a 16x16 transpose of the
// lanes' blocks after swapping each word to big-endian. Sixteen block loads and 64 shuffles run
// at twice the speed of 32 eight-lane gathers (vpgatherqd) on the same data.
static QV_INLINE void LoadTransposed16(const uint8_t* const* data, size_t offset, __m512i* w) {
  const __m512i byteSwap = _mm512_set4_epi32(0x0c0d0e0f, 0x08090a0b, 0x04050607, 0x00010203);
  __m512i r[16], t[16], u[16];
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
    const __m512i v0 = _mm512_shuffle_i32x4(u[m], u[4 + m], 0x44);
    const __m512i v1 = _mm512_shuffle_i32x4(u[m], u[4 + m], 0xEE);
    const __m512i v2 = _mm512_shuffle_i32x4(u[8 + m], u[12 + m], 0x44);
    const __m512i v3 = _mm512_shuffle_i32x4(u[8 + m], u[12 + m], 0xEE);
    w[m] = _mm512_shuffle_i32x4(v0, v2, 0x88);
    w[4 + m] = _mm512_shuffle_i32x4(v0, v2, 0xDD);
    w[8 + m] = _mm512_shuffle_i32x4(v1, v3, 0x88);
    w[12 + m] = _mm512_shuffle_i32x4(v1, v3, 0xDD);
  }
}

#endif
