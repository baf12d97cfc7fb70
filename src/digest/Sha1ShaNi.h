#pragma once
// SHA-1 compression with the x86 SHA extensions; call only when TSHA1::CpuHasShaNi() is true.

#include <cstdint>

// Compresses count 64-byte blocks into state (five native words H0..H4).
void Sha1ShaNiBlocks(uint32_t* state, const uint8_t* blocks, int64_t count);
