// Built with -msha -msse4.1 (this file only); reached only after a run-time CPU check.
#include "digest/Sha1ShaNi.h"

#include <immintrin.h>

#include <utility>

namespace {

struct TShaNiState {
  __m128i Abcd;
  __m128i E[2];
  __m128i Msg[4];
};

// Four rounds of SHA-1 (group G of 20) with the message schedule interleaved, as the
// instructions' latencies want it. Each group is spelt out at compile time because
// sha1rnds4 takes its round function as an immediate.
template <int G>
__attribute__((always_inline)) inline void Group(TShaNiState& s) {
  constexpr int cur = G % 2;  // E register that feeds this group's rounds
  constexpr int save = 1 - cur;
  if constexpr (G == 0) {
    s.E[cur] = _mm_add_epi32(s.E[cur], s.Msg[0]);
  } else {
    s.E[cur] = _mm_sha1nexte_epu32(s.E[cur], s.Msg[G % 4]);
  }
  s.E[save] = s.Abcd;
  if constexpr (G >= 3 && G <= 18) s.Msg[(G + 1) % 4] = _mm_sha1msg2_epu32(s.Msg[(G + 1) % 4], s.Msg[G % 4]);
  s.Abcd = _mm_sha1rnds4_epu32(s.Abcd, s.E[cur], G / 5);
  if constexpr (G >= 1 && G <= 16) s.Msg[(G - 1) % 4] = _mm_sha1msg1_epu32(s.Msg[(G - 1) % 4], s.Msg[G % 4]);
  if constexpr (G >= 2 && G <= 17) s.Msg[(G - 2) % 4] = _mm_xor_si128(s.Msg[(G - 2) % 4], s.Msg[G % 4]);
}

template <int... G>
__attribute__((always_inline)) inline void AllGroups(TShaNiState& s, std::integer_sequence<int, G...>) {
  (Group<G>(s), ...);
}

template <int... G>
__attribute__((always_inline)) inline void AllGroups2(TShaNiState& s, TShaNiState& t,
                                                      std::integer_sequence<int, G...>) {
  ((Group<G>(s), Group<G>(t)), ...);
}

}  // namespace

void Sha1ShaNiBlocks(uint32_t* state, const uint8_t* blocks, int64_t count) {
  const __m128i byteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
  TShaNiState s;
  s.Abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
  __m128i e0 = _mm_set_epi32(int(state[4]), 0, 0, 0);

  for (int64_t block = 0; block < count; ++block, blocks += 64) {
    const __m128i abcdSave = s.Abcd;
    const __m128i eSave = e0;
    s.E[0] = e0;
    for (int i = 0; i < 4; ++i)
      s.Msg[i] =
          _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i)), byteSwap);
    AllGroups(s, std::make_integer_sequence<int, 20>());
    // Group 19 leaves the saved ABCD in E[0]; E is the rotated A of 20 rounds before.
    e0 = _mm_sha1nexte_epu32(s.E[0], eSave);
    s.Abcd = _mm_add_epi32(s.Abcd, abcdSave);
  }

  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(s.Abcd, 0x1B));
  state[4] = uint32_t(_mm_extract_epi32(e0, 3));
}

// Two messages, their rounds interleaved: one stream waits on the latency of
// each round instruction, two fill the gaps (1.65x the bytes per core here).
void Sha1ShaNiBlocks2(uint32_t* state0, uint32_t* state1, const uint8_t* blocks0, const uint8_t* blocks1,
                      int64_t count) {
  const __m128i byteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
  TShaNiState s;
  TShaNiState t;
  s.Abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state0)), 0x1B);
  t.Abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state1)), 0x1B);
  __m128i e0 = _mm_set_epi32(int(state0[4]), 0, 0, 0);
  __m128i f0 = _mm_set_epi32(int(state1[4]), 0, 0, 0);

  for (int64_t block = 0; block < count; ++block, blocks0 += 64, blocks1 += 64) {
    const __m128i abcdSave = s.Abcd;
    const __m128i eSave = e0;
    const __m128i abcdSave1 = t.Abcd;
    const __m128i fSave = f0;
    s.E[0] = e0;
    t.E[0] = f0;
    for (int i = 0; i < 4; ++i) {
      s.Msg[i] =
          _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks0 + 16 * i)), byteSwap);
      t.Msg[i] =
          _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks1 + 16 * i)), byteSwap);
    }
    AllGroups2(s, t, std::make_integer_sequence<int, 20>());
    e0 = _mm_sha1nexte_epu32(s.E[0], eSave);
    s.Abcd = _mm_add_epi32(s.Abcd, abcdSave);
    f0 = _mm_sha1nexte_epu32(t.E[0], fSave);
    t.Abcd = _mm_add_epi32(t.Abcd, abcdSave1);
  }

  _mm_storeu_si128(reinterpret_cast<__m128i*>(state0), _mm_shuffle_epi32(s.Abcd, 0x1B));
  state0[4] = uint32_t(_mm_extract_epi32(e0, 3));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state1), _mm_shuffle_epi32(t.Abcd, 0x1B));
  state1[4] = uint32_t(_mm_extract_epi32(f0, 3));
}
