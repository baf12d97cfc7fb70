#include "digest/MessageDigests.h"

#include <cstdio>
#include <cstring>

#include "base/Text.h"
#include "digest/Sha1Kernels.h"
#include "digest/Sha1Lanes.h"
#include "digest/Sha1ShaNi.h"
#include "digest/Sha256Kernels.h"
#include "digest/Sha256Lanes.h"
#include "digest/Sha256ShaNi.h"

namespace {

const char* const UnitName = "MessageDigests";

// The framework's contract checks; the line numbers are part of the message others match on.
void Assert(bool condition, const char* text, int line) {
  if (condition) return;
  char message[256];
  std::snprintf(message, sizeof message, "%s (%s, line %d)", text, UnitName, line);
  throw EAssertionFailed(message);
}

inline uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t LoadBigEndian32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

inline uint32_t Choose(uint32_t b, uint32_t c, uint32_t d) { return d ^ (b & (c ^ d)); }
inline uint32_t Parity(uint32_t b, uint32_t c, uint32_t d) { return b ^ c ^ d; }
inline uint32_t Majority(uint32_t b, uint32_t c, uint32_t d) { return (b & c) | (d & (b | c)); }

// One step with the variables renamed instead of shifted: the caller rotates the roles.
template <uint32_t (*F)(uint32_t, uint32_t, uint32_t), uint32_t K>
inline void Step(uint32_t a, uint32_t& b, uint32_t c, uint32_t d, uint32_t& e, uint32_t w) {
  e += RotateLeft(a, 5) + F(b, c, d) + K + w;
  b = RotateLeft(b, 30);
}

// The schedule word t, expanded when first needed (w[0..15] are the block's words).
inline uint32_t Schedule(uint32_t* w, int t) {
  if (t >= 16) w[t] = RotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
  return w[t];
}

// Steps first..first+19. Expanding the schedule inside the steps rather than in a loop of
// its own keeps the compiler from vectorising that loop, which halves the speed.
template <uint32_t (*F)(uint32_t, uint32_t, uint32_t), uint32_t K>
inline void TwentySteps(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t* w,
                        int first) {
  for (int t = first; t < first + 20; t += 5) {
    Step<F, K>(a, b, c, d, e, Schedule(w, t));
    Step<F, K>(e, a, b, c, d, Schedule(w, t + 1));
    Step<F, K>(d, e, a, b, c, Schedule(w, t + 2));
    Step<F, K>(c, d, e, a, b, Schedule(w, t + 3));
    Step<F, K>(b, c, d, e, a, Schedule(w, t + 4));
  }
}

inline uint32_t RotateRight(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

}  // namespace

void Sha256PortableBlocks(uint32_t* state, const uint8_t* blocks, int64_t count) {
  uint32_t w[64];
  for (int64_t block = 0; block < count; ++block, blocks += 64) {
    for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian32(blocks + 4 * t);
    for (int t = 16; t < 64; ++t) {
      const uint32_t s0 = RotateRight(w[t - 15], 7) ^ RotateRight(w[t - 15], 18) ^ (w[t - 15] >> 3);
      const uint32_t s1 = RotateRight(w[t - 2], 17) ^ RotateRight(w[t - 2], 19) ^ (w[t - 2] >> 10);
      w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int t = 0; t < 64; ++t) {
      const uint32_t t1 = h + (RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25)) +
                          Choose(e, f, g) + Sha256RoundConstants[t] + w[t];
      const uint32_t t2 = (RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22)) + Majority(a, b, c);
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
}

void Sha1PortableBlocks(uint32_t* state, const uint8_t* blocks, int64_t count) {
  uint32_t w[80];
  for (int64_t block = 0; block < count; ++block, blocks += 64) {
    for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian32(blocks + 4 * t);

    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    TwentySteps<Choose, 0x5A827999>(a, b, c, d, e, w, 0);
    TwentySteps<Parity, 0x6ED9EBA1>(a, b, c, d, e, w, 20);
    TwentySteps<Majority, 0x8F1BBCDC>(a, b, c, d, e, w, 40);
    TwentySteps<Parity, 0xCA62C1D6>(a, b, c, d, e, w, 60);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
  }
}

// ---------------------------------------------------------------------------------------------
// TMessageDigest

TMessageDigest::~TMessageDigest() = default;

void TMessageDigest::CreateInternal(int blockSize, int digestSize) {
  Assert(blockSize > 0, "TMessageDigest.CreateInternal: BlockSize <= 0.", 265);
  Assert(digestSize > 0, "TMessageDigest.CreateInternal: DigestSize <= 0.", 266);
  blockSize_ = blockSize;
  digestSize_ = digestSize;
  Initialize();
}

void TMessageDigest::TransformBlocks(const uint8_t*, int64_t count) { blocksDone_ += count; }

void TMessageDigest::Complete() { isComplete_ = true; }

void TMessageDigest::Initialize() {
  if (!buffer_) buffer_ = std::make_unique<uint8_t[]>(blockSize_);
  if (!digest_) digest_ = std::make_unique<uint8_t[]>(digestSize_);
  std::memset(buffer_.get(), 0, blockSize_);
  std::memset(digest_.get(), 0, digestSize_);
  bufferedBytes_ = 0;
  blocksDone_ = 0;
  isComplete_ = false;
}

void TMessageDigest::Transform(const void* m, int64_t count) {
  if (isComplete_) throw EMessageDigestError("Message digest already complete.");
  Assert(m != nullptr, "Transform: M not assigned.", 315);
  Assert(count >= 0, "Transform: Count < 0.", 316);
  const auto* bytes = static_cast<const uint8_t*>(m);

  if (bufferedBytes_ > 0) {
    const int space = blockSize_ - bufferedBytes_;
    if (count < space) {
      std::memcpy(buffer_.get() + bufferedBytes_, bytes, count);
      bufferedBytes_ += int(count);
      return;
    }
    std::memcpy(buffer_.get() + bufferedBytes_, bytes, space);
    TransformBlocks(buffer_.get(), 1);
    bytes += space;
    count -= space;
  }
  // Whole blocks straight from the caller's memory; only the tail is copied.
  const int64_t wholeBlocks = count / blockSize_;
  TransformBlocks(bytes, wholeBlocks);
  bufferedBytes_ = int(count % blockSize_);
  std::memcpy(buffer_.get(), bytes + wholeBlocks * blockSize_, bufferedBytes_);
}

void TMessageDigest::TransformString(std::string_view s) {
  if (isComplete_) throw EMessageDigestError("Message digest already complete.");
  if (s.empty()) return;  // data() may be null for an empty view
  Transform(s.data(), int64_t(s.size()));
}

const uint8_t* TMessageDigest::Digest() const {
  if (!isComplete_) throw EMessageDigestError("Message digest not complete.");
  return digest_.get();
}

std::string TMessageDigest::DigestString() const {
  return BytesToHex(std::string_view(reinterpret_cast<const char*>(Digest()), size_t(digestSize_)),
                    digestSize_);
}

std::string TMessageDigest::DigestBytes() const {
  const uint8_t* d = Digest();
  return std::string(reinterpret_cast<const char*>(d), size_t(digestSize_));
}

// ---------------------------------------------------------------------------------------------
// TMD4Family

TMD4Family::TMD4Family(int blockSize, bool bigEndian, const uint32_t* initialChainingValues, int digestSize) {
  Assert(initialChainingValues != nullptr,
         "TMD4Family.InitializeChainingValues: InitialChainingValues = nil.", 589);
  if (digestSize > 0) {  // otherwise CreateInternal refuses the sizes, in its own order
    initialChainingValues_ = std::make_unique<uint32_t[]>((digestSize + 3) / 4);
    std::memcpy(initialChainingValues_.get(), initialChainingValues, digestSize);
  }
  CreateInternal(blockSize, digestSize);
  bigEndian_ = bigEndian;
}

TMD4Family::~TMD4Family() = default;

void TMD4Family::Initialize() {
  TMessageDigest::Initialize();
  const int words = (digestSize_ + 3) / 4;
  if (!chainingValues_) chainingValues_ = std::make_unique<uint32_t[]>(words);
  std::memcpy(chainingValues_.get(), initialChainingValues_.get(), digestSize_);
}

void TMD4Family::Complete() {
  if (isComplete_) throw EMessageDigestError("Message digest already complete.");
  // Counted in 64 bits: a 32-bit byte count wraps for messages of 2^28 bytes and more.
  const uint64_t bitLength = (uint64_t(blocksDone_) * uint64_t(blockSize_) + uint64_t(bufferedBytes_)) * 8;

  uint8_t* buffer = buffer_.get();
  buffer[bufferedBytes_++] = 0x80;
  const int free = blockSize_ - bufferedBytes_;
  if (free < 8) {
    std::memset(buffer + bufferedBytes_, 0, free);
    TransformBlocks(buffer, 1);
    std::memset(buffer, 0, blockSize_ - 8);
  } else {
    std::memset(buffer + bufferedBytes_, 0, free - 8);
  }
  uint8_t* lengthField = buffer + blockSize_ - 8;
  for (int i = 0; i < 8; ++i) {
    const int shift = bigEndian_ ? 8 * (7 - i) : 8 * i;
    lengthField[i] = uint8_t(bitLength >> shift);
  }
  TransformBlocks(buffer, 1);
  bufferedBytes_ = 0;

  uint8_t* digest = digest_.get();
  const uint32_t* chaining = chainingValues_.get();
  for (int i = 0; i < digestSize_; ++i) {
    const uint32_t word = chaining[i / 4];
    const int byteInWord = i % 4;
    const int shift = bigEndian_ ? 8 * (3 - byteInWord) : 8 * byteInWord;
    digest[i] = uint8_t(word >> shift);
  }
  TMessageDigest::Complete();
}

// ---------------------------------------------------------------------------------------------
// TSHA1

TSHA1::TSHA1(TSHA1Impl impl) : TMD4Family(64, true, Sha1InitialValues, 20) {
  // Never select the SHA instructions on a CPU without them: that would be SIGILL.
  const bool haveShaNi = CpuHasShaNi();
  // QUORVANE_SHA1=portable keeps single messages on the portable code too.
  if (impl == TSHA1Impl::Auto)
    impl =
        haveShaNi && TSha1Lanes::ChosenPath() != TShaPath::Portable ? TSHA1Impl::ShaNi : TSHA1Impl::Portable;
  if (impl == TSHA1Impl::ShaNi && !haveShaNi) impl = TSHA1Impl::Portable;
  impl_ = impl;
}

void TSHA1::TransformBlocks(const uint8_t* blocks, int64_t count) {
  Assert(blocks != nullptr, "TSHA1.TransformBlocks: Addr(Blocks) = nil.", 965);
  if (count > 0) {
    if (impl_ == TSHA1Impl::ShaNi)
      Sha1ShaNiBlocks(chainingValues_.get(), blocks, count);
    else
      Sha1PortableBlocks(chainingValues_.get(), blocks, count);
  }
  TMD4Family::TransformBlocks(blocks, count);
}

bool TSHA1::CpuHasShaNi() { return TSha1Lanes::CpuHas(TShaPath::ShaNi); }

std::string Sha1Bytes(std::string_view data) {
  TSHA1 sha1;
  sha1.TransformString(data);
  sha1.Complete();
  return sha1.DigestBytes();
}

// ---------------------------------------------------------------------------------------------
// TSHA256

TSHA256::TSHA256(TSHA256Impl impl) : TMD4Family(64, true, Sha256InitialValues, 32) {
  const bool haveShaNi = TSHA1::CpuHasShaNi();
  if (impl == TSHA256Impl::Auto)
    impl = haveShaNi && TSha256Lanes::ChosenPath() != TShaPath::Portable ? TSHA256Impl::ShaNi
                                                                         : TSHA256Impl::Portable;
  if (impl == TSHA256Impl::ShaNi && !haveShaNi) impl = TSHA256Impl::Portable;
  impl_ = impl;
}

void TSHA256::TransformBlocks(const uint8_t* blocks, int64_t count) {
  Assert(blocks != nullptr, "TSHA256.TransformBlocks: Addr(Blocks) = nil.", 1010);
  if (count > 0) {
    if (impl_ == TSHA256Impl::ShaNi)
      Sha256ShaNiBlocks(chainingValues_.get(), blocks, count);
    else
      Sha256PortableBlocks(chainingValues_.get(), blocks, count);
  }
  TMD4Family::TransformBlocks(blocks, count);
}

std::string Sha256Bytes(std::string_view data) {
  TSHA256 sha256;
  sha256.TransformString(data);
  sha256.Complete();
  return sha256.DigestBytes();
}
