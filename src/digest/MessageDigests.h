#pragma once
// A small message-digest framework and its SHA-1.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

class EMessageDigestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// Raised when the framework's contract is broken; "%s (%s, line %d)".
class EAssertionFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Buffers input into whole blocks and tracks the open/complete state.
class TMessageDigest {
 public:
  virtual ~TMessageDigest();
  TMessageDigest(const TMessageDigest&) = delete;
  TMessageDigest& operator=(const TMessageDigest&) = delete;

  virtual void TransformBlocks(const uint8_t* blocks, int64_t count);
  virtual void Complete();
  virtual void Initialize();
  virtual std::string AlgorithmName() const = 0;

  void Transform(const void* m, int64_t count);
  void TransformString(std::string_view s);
  // The finished digest (DigestSize() bytes); raises "Message digest not complete." while open.
  const uint8_t* Digest() const;
  std::string DigestString() const;
  // The digest as raw bytes.
  std::string DigestBytes() const;

  int BlockSize() const { return blockSize_; }
  int DigestSize() const { return digestSize_; }
  int64_t BlocksDone() const { return blocksDone_; }
  bool IsComplete() const { return isComplete_; }

 protected:
  TMessageDigest() = default;
  void CreateInternal(int blockSize, int digestSize);

  std::unique_ptr<uint8_t[]> digest_;
  std::unique_ptr<uint8_t[]> buffer_;
  int bufferedBytes_ = 0;
  int blockSize_ = 0;
  int digestSize_ = 0;
  int64_t blocksDone_ = 0;
  bool isComplete_ = false;
};

// Chaining values and the final padding shared by the MD4 family.
class TMD4Family : public TMessageDigest {
 public:
  ~TMD4Family() override;
  void Complete() override;
  void Initialize() override;

 protected:
  TMD4Family(int blockSize, bool bigEndian, const uint32_t* initialChainingValues, int digestSize);

  std::unique_ptr<uint32_t[]> initialChainingValues_;
  std::unique_ptr<uint32_t[]> chainingValues_;
  bool bigEndian_ = false;
};

enum class TSHA1Impl { Auto, Portable, ShaNi };

// SHA-1 (FIPS 180-1). Uses the CPU's SHA instructions when it has them (Auto), unless
// QUORVANE_SHA1=portable (see Sha1Lanes.h).
class TSHA1 : public TMD4Family {
 public:
  explicit TSHA1(TSHA1Impl impl = TSHA1Impl::Auto);
  void TransformBlocks(const uint8_t* blocks, int64_t count) override;
  std::string AlgorithmName() const override { return "SHA-1"; }

  // True when this CPU has the SHA extensions.
  static bool CpuHasShaNi();
  TSHA1Impl Impl() const { return impl_; }

 private:
  TSHA1Impl impl_;
};

// The SHA-1 of some bytes as 20 raw bytes (convenience for callers).
std::string Sha1Bytes(std::string_view data);

enum class TSHA256Impl { Auto, Portable, ShaNi };

// SHA-256 (FIPS 180-4). Uses the CPU's SHA instructions when it has them (Auto), unless
// QUORVANE_SHA256=portable (see Sha256Lanes.h).
class TSHA256 : public TMD4Family {
 public:
  explicit TSHA256(TSHA256Impl impl = TSHA256Impl::Auto);
  void TransformBlocks(const uint8_t* blocks, int64_t count) override;
  std::string AlgorithmName() const override { return "SHA-256"; }
  TSHA256Impl Impl() const { return impl_; }

 private:
  TSHA256Impl impl_;
};

// The SHA-256 of some bytes as 32 raw bytes.
std::string Sha256Bytes(std::string_view data);
