#pragma once
// SHA-1 compression kernels behind TSHA1 and TSha1Lanes. The vector kernels live in files built
// with their own instruction-set flags; call each only after its run-time CPU check. This header
// stays free of inline code so that nothing compiled with those flags can be shared by the
// linker with code that runs on any x86-64 (plain data is fine).

#include <cstddef>
#include <cstdint>

// H0..H4 before the first block.
inline constexpr uint32_t Sha1InitialValues[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};

// Compresses count 64-byte blocks into state (five native words H0..H4); runs on any CPU.
void Sha1PortableBlocks(uint32_t* state, const uint8_t* blocks, int64_t count);

// Compresses `blocks` blocks of each of 16 messages; h[j][lane] is word Hj of a lane, and
// data[lane] its next block. Every lane is live (the caller pads unused lanes).
void Sha1Avx512Blocks(uint32_t (*h)[16], const uint8_t* const* data, size_t blocks);

// The same for 8 lanes in AVX2 registers: h[j][lane] for lane < 8.
void Sha1Avx2Blocks(uint32_t (*h)[8], const uint8_t* const* data, size_t blocks);
