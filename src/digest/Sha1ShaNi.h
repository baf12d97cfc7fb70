#pragma once
// SHA-1 compression with the x86 SHA extensions; call only when TSHA1::CpuHasShaNi() is true.

#include <cstdint>

// Compresses count 64-byte blocks into state (five native words H0..H4).
void Sha1ShaNiBlocks(uint32_t* state, const uint8_t* blocks, int64_t count);
// The same for two messages at once, faster than two calls one after the other.
void Sha1ShaNiBlocks2(uint32_t* state0, uint32_t* state1, const uint8_t* blocks0, const uint8_t* blocks1,
                      int64_t count);
