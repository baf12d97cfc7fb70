// Built with -msha -msse4.1 (this file only); reached only after a run-time CPU check.
#include "digest/Sha256ShaNi.h"

#include "digest/Sha256Kernels.h"

#include <immintrin.h>

#include <utility>

namespace {

struct TShaNiState {
  __m128i Abef, Cdgh;  // the working variables in the order sha256rnds2 wants them
  __m128i SaveAbef, SaveCdgh;
  __m128i Msg[4];
};

__attribute__((always_inline)) inline void Load(TShaNiState& s, const uint32_t* state) {
  const __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
  const __m128i hgfe = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
  s.Abef = _mm_alignr_epi8(abcd, hgfe, 8);
  s.Cdgh = _mm_blend_epi16(hgfe, abcd, 0xF0);
}

__attribute__((always_inline)) inline void Store(const TShaNiState& s, uint32_t* state) {
  const __m128i feba = _mm_shuffle_epi32(s.Abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(s.Cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

__attribute__((always_inline)) inline void Begin(TShaNiState& s, const uint8_t* block) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  s.SaveAbef = s.Abef;
  s.SaveCdgh = s.Cdgh;
  for (int i = 0; i < 4; ++i)
    s.Msg[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i)), byteSwap);
}

// Rounds 4G..4G+3, the schedule word group G computed just before it is needed.
template <int G>
__attribute__((always_inline)) inline void Group(TShaNiState& s) {
  if constexpr (G >= 4) {
    __m128i t = _mm_sha256msg1_epu32(s.Msg[G % 4], s.Msg[(G + 1) % 4]);
    t = _mm_add_epi32(t, _mm_alignr_epi8(s.Msg[(G + 3) % 4], s.Msg[(G + 2) % 4], 4));
    s.Msg[G % 4] = _mm_sha256msg2_epu32(t, s.Msg[(G + 3) % 4]);
  }
  __m128i m = _mm_add_epi32(s.Msg[G % 4],
                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(Sha256RoundConstants + 4 * G)));
  s.Cdgh = _mm_sha256rnds2_epu32(s.Cdgh, s.Abef, m);
  m = _mm_shuffle_epi32(m, 0x0E);
  s.Abef = _mm_sha256rnds2_epu32(s.Abef, s.Cdgh, m);
}

__attribute__((always_inline)) inline void End(TShaNiState& s) {
  s.Abef = _mm_add_epi32(s.Abef, s.SaveAbef);
  s.Cdgh = _mm_add_epi32(s.Cdgh, s.SaveCdgh);
}

// N streams with their rounds interleaved group by group, so that each stream's round
// instructions run while the others wait on their latency. Every loop here must unroll: left
// rolled over the streams (GCC's choice without the pragmas), the streams' state lives in memory
// and four streams hashed 16 KiB leaves at 2.0 GB/s instead of 3.0 (bench_sha256, Zen 4).
template <int N>
__attribute__((always_inline)) inline void BlocksN(uint32_t* const* states, const uint8_t* const* blocks,
                                                   int64_t count) {
  TShaNiState s[N];
#pragma GCC unroll 4
  for (int i = 0; i < N; ++i) Load(s[i], states[i]);
  for (int64_t block = 0; block < count; ++block) {
#pragma GCC unroll 4
    for (int i = 0; i < N; ++i) Begin(s[i], blocks[i] + 64 * block);
    [&]<int... G>(std::integer_sequence<int, G...>) {
      auto group = [&]<int Gi>() {
#pragma GCC unroll 4
        for (int i = 0; i < N; ++i) Group<Gi>(s[i]);
      };
      (group.template operator()<G>(), ...);
    }
    (std::make_integer_sequence<int, 16>());
#pragma GCC unroll 4
    for (int i = 0; i < N; ++i) End(s[i]);
  }
#pragma GCC unroll 4
  for (int i = 0; i < N; ++i) Store(s[i], states[i]);
}

}  // namespace

void Sha256ShaNiBlocks(uint32_t* state, const uint8_t* blocks, int64_t count) {
  BlocksN<1>(&state, &blocks, count);
}

void Sha256ShaNiBlocks2(uint32_t* const* states, const uint8_t* const* blocks, int64_t count) {
  BlocksN<2>(states, blocks, count);
}

void Sha256ShaNiBlocks4(uint32_t* const* states, const uint8_t* const* blocks, int64_t count) {
  BlocksN<4>(states, blocks, count);
}
