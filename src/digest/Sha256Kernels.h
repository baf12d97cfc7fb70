#pragma once
// SHA-256 constants and the compression kernels behind TSHA256 and TSha256Lanes. The vector
// kernels live in files built with their own instruction-set flags: call each only after its
// run-time CPU check, and keep this header free of inline code (plain data is fine).

#include <cstddef>
#include <cstdint>

inline constexpr uint32_t Sha256InitialValues[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                    0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
inline constexpr uint32_t Sha256RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

// Compresses count 64-byte blocks into state (eight native words H0..H7); any CPU.
void Sha256PortableBlocks(uint32_t* state, const uint8_t* blocks, int64_t count);

// Compresses `blocks` blocks of each of 16 messages; h[j][lane] is word Hj of a lane, and
// data[lane] its next block. Every lane is live (the caller pads unused lanes). AVX-512 F, BW, VL.
void Sha256Avx512Blocks(uint32_t (*h)[16], const uint8_t* const* data, size_t blocks);
// The same for 8 lanes in AVX2 registers: h[j][lane] for lane < 8.
void Sha256Avx2Blocks(uint32_t (*h)[8], const uint8_t* const* data, size_t blocks);
