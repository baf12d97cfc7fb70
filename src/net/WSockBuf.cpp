#include "net/WSockBuf.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int DefaultBlockSize = 1514;
}

TBuffer::TBuffer(int size) : data_(size > 0 ? size : DefaultBlockSize) {}

int TBuffer::Write(const char* data, int length) {
  const int n = std::max(0, std::min(length, BufSize() - wrCount_));
  if (n > 0) std::memcpy(data_.data() + wrCount_, data, n);
  wrCount_ += n;
  return n;
}

std::string_view TBuffer::Peek() const {
  return std::string_view(data_.data() + rdCount_, wrCount_ - rdCount_);
}

void TBuffer::Remove(int count) {
  rdCount_ += std::max(0, std::min(count, wrCount_ - rdCount_));
  if (rdCount_ >= wrCount_) rdCount_ = wrCount_ = 0;
}

void TBuffer::SetBufSize(int size) {
  if (size <= 0) size = DefaultBlockSize;
  data_.resize(size);
  wrCount_ = std::min(wrCount_, size);
  rdCount_ = std::min(rdCount_, wrCount_);
}
