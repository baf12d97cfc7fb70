#pragma once
// SHA-256 compression with the x86 SHA extensions; call only when TSHA1::CpuHasShaNi() is true.

#include <cstdint>

// Compresses count 64-byte blocks into state (eight native words H0..H7).
void Sha256ShaNiBlocks(uint32_t* state, const uint8_t* blocks, int64_t count);
// The same for two and four messages of equal block counts at once, their rounds
// interleaved to hide the round instruction's latency.
void Sha256ShaNiBlocks2(uint32_t* const* states, const uint8_t* const* blocks, int64_t count);
void Sha256ShaNiBlocks4(uint32_t* const* states, const uint8_t* const* blocks, int64_t count);
