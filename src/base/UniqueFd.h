#pragma once
// A file descriptor with one owner: closed when the owner goes, handed on by
// a move.

#include <fcntl.h>
#include <unistd.h>
#include <string>
#include <utility>

class TUniqueFd {
 public:
  TUniqueFd() = default;
  explicit TUniqueFd(int fd) : fd_(fd) {}
  TUniqueFd(TUniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  TUniqueFd& operator=(TUniqueFd&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.fd_, -1));
    return *this;
  }
  TUniqueFd(const TUniqueFd&) = delete;
  TUniqueFd& operator=(const TUniqueFd&) = delete;
  ~TUniqueFd() { Reset(); }

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// A handle on a folder to open and stat its entries by name (no read access
// to the folder needed); invalid when it cannot be had.
inline TUniqueFd OpenFolderHandle(const std::string& path) {
  return TUniqueFd(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}
