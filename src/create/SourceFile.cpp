#include "create/SourceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <utility>

#include "base/Stream.h"

TSourceFile::TSourceFile(const std::string& path, bool sequential) : path_(path) {
  // O_NONBLOCK: a FIFO must not hang the program waiting for a writer.
  do {
    fd_ = FileSysCalls().Open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) throw EStreamError(FileError("Cannot open file", path, errno));
  Opened(sequential);
}

TSourceFile::TSourceFile(int folderFd, const char* name, std::string path, bool sequential)
    : path_(std::move(path)) {
  OpenAt(folderFd, name);
  Opened(sequential);
}

TSourceFile TSourceFile::Unchecked(int folderFd, const char* name, const std::string& path) {
  TSourceFile file;
  file.path_ = path;
  file.OpenAt(folderFd, name);
  file.openedSize_ = -1;
  return file;
}

TSourceFile::TSourceFile(TSourceFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(other.fd_), openedSize_(other.openedSize_) {
  other.fd_ = -1;
}

void TSourceFile::OpenAt(int folderFd, const char* name) {
  const auto openat = FileSysCalls().Openat;
  do {
    fd_ = openat ? openat(folderFd, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0)
                 : FileSysCalls().Open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) throw EStreamError(FileError("Cannot open file", path_, errno));
}

void TSourceFile::Opened(bool sequential) {
  const std::string& path = path_;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    const int err = errno;
    FileSysCalls().Close(fd_);
    throw EStreamError(FileError("Cannot open file", path, err));
  }
  try {
    CheckReadable(path, st, TFileMode::OpenRead);
  } catch (...) {
    FileSysCalls().Close(fd_);
    throw;
  }
  // Regular files ignore O_NONBLOCK, so it may stay set.
  openedSize_ = st.st_size;
  // A larger read-ahead pays off for data not yet in the page cache; for a
  // small file the call would cost more than it saves.
  if (sequential && openedSize_ >= (int64_t{1} << 20)) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

TSourceFile::~TSourceFile() {
  if (fd_ >= 0) FileSysCalls().Close(fd_);
}

int64_t TSourceFile::Size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) throw EStreamError(FileError("Cannot read file", path_, errno));
  return st.st_size;
}

int64_t TSourceFile::ReadAt(void* buffer, int64_t count, int64_t offset, int64_t enough) const {
  return ReadFullyAt(fd_, buffer, count, offset, path_, enough);
}

void TSourceFile::AdviseRandom() const { ::posix_fadvise(fd_, 0, 0, POSIX_FADV_RANDOM); }
