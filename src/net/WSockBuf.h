#pragma once
// One block of a socket's send queue: bytes written at the back, sent from the
// front. The unsent bytes lie between RdCount and WrCount.

#include <string_view>
#include <vector>

class TBuffer {
 public:
  // A size of 0 or less gets the size of a whole Ethernet frame.
  explicit TBuffer(int size);

  // Copies as many bytes as fit behind WrCount; returns that count (0 when full).
  int Write(const char* data, int length);
  // The bytes not yet sent.
  std::string_view Peek() const;
  // Marks up to count bytes as sent; once all are sent, the block is reused
  // from its start.
  void Remove(int count);
  // Keeps the written bytes (as many as fit the new size).
  void SetBufSize(int size);

  int BufSize() const { return static_cast<int>(data_.size()); }
  int WrCount() const { return wrCount_; }
  int RdCount() const { return rdCount_; }

 private:
  std::vector<char> data_;
  int wrCount_ = 0;
  int rdCount_ = 0;
};
