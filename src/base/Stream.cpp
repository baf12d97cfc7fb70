#include "base/Stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include <algorithm>
#include <vector>

namespace {

TFileSysCalls& Calls() {
  static TFileSysCalls calls{
      [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }, ::read, ::write,
      ::close, ::pread};
  return calls;
}

}  // namespace

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count <= 0) return;
  if (Write(buffer, count) != count) throw EStreamError("Stream write error");
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const auto size = static_cast<int64_t>(data_.size());
  if (count <= 0 || pos_ >= size) return 0;
  // The decoder reads structure bytes one at a time.
  if (count == 1) {
    *static_cast<char*>(buffer) = data_[static_cast<size_t>(pos_++)];
    return 1;
  }
  const int64_t n = std::min(count, size - pos_);
  std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
  pos_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const auto end = static_cast<size_t>(pos_ + count);
  if (end > data_.size()) data_.resize(end);
  std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(count));
  pos_ += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  if (origin == TSeekOrigin::Current) base = pos_;
  if (origin == TSeekOrigin::End) base = Size();
  pos_ = std::max<int64_t>(0, base + offset);
  return pos_;
}

const TFileSysCalls& FileSysCalls() { return Calls(); }

std::string FileError(const std::string& what, const std::string& path, int err) {
  return what + " \"" + path + "\": " + std::strerror(err);
}

int64_t ReadFully(int fd, void* buffer, int64_t count, const std::string& path) {
  auto* out = static_cast<char*>(buffer);
  int64_t done = 0;
  // Fill the request unless the file ends: callers treat a short read as the end.
  while (done < count) {
    const ssize_t n = Calls().Read(fd, out + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EStreamError(FileError("Cannot read file", path, errno));
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t ReadFullyAt(int fd, void* buffer, int64_t count, int64_t offset, const std::string& path,
                    int64_t enough) {
  auto* out = static_cast<char*>(buffer);
  int64_t done = 0;
  if (enough < 0) enough = count;
  while (done < enough) {
    const ssize_t n = Calls().Pread(fd, out + done, static_cast<size_t>(count - done), offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EStreamError(FileError("Cannot read file", path, errno));
    if (n == 0) break;
    done += n;
  }
  return done;
}

TFileSysCalls SetFileSysCalls(const TFileSysCalls& calls) {
  TFileSysCalls old = Calls();
  Calls() = calls;
  return old;
}

TFileStream::TFileStream(const std::string& path, TFileMode mode) : path_(path) {
  const int flags = mode == TFileMode::OpenRead ? O_RDONLY : (O_WRONLY | O_CREAT | O_TRUNC);
  do {
    fd_ = Calls().Open(path.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) throw EStreamError(FileError("Cannot open file", path, errno));
}

TFileStream::~TFileStream() { Close(); }

void TFileStream::Close() {
  if (fd_ >= 0) Calls().Close(fd_);
  fd_ = -1;
}

int64_t TFileStream::Read(void* buffer, int64_t count) { return ReadFully(fd_, buffer, count, path_); }

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  const auto* in = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = Calls().Write(fd_, in + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == TSeekOrigin::Beginning ? SEEK_SET
                     : origin == TSeekOrigin::Current ? SEEK_CUR
                                                      : SEEK_END;
  const off_t pos = ::lseek(fd_, offset, whence);
  if (pos < 0) throw EStreamError(FileError("Cannot seek in file", path_, errno));
  return pos;
}

int64_t TFileStream::Size() {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) throw EStreamError(FileError("Cannot read file", path_, errno));
  return st.st_size;
}

TSafeFileStream::TSafeFileStream(const std::string& target) : target_(target) {
  std::string tmpl = target + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  fd_ = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd_ < 0) throw EStreamError(FileError("Cannot create file", target, errno));
  path_ = name.data();
  // mkstemp makes the file private; give it the mode a plain create would.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, 0666 & ~mask);
}

TSafeFileStream::~TSafeFileStream() {
  if (!committed_) {
    Close();
    ::unlink(path_.c_str());
  }
}

void TSafeFileStream::Commit() {
  if (::fsync(fd_) != 0) throw EStreamError(FileError("Cannot write file", target_, errno));
  const int fd = fd_;
  fd_ = -1;
  if (Calls().Close(fd) != 0) throw EStreamError(FileError("Cannot write file", target_, errno));
  if (::rename(path_.c_str(), target_.c_str()) != 0)
    throw EStreamError(FileError("Cannot replace file", target_, errno));
  committed_ = true;
}

std::string ReadWholeFile(const std::string& path) {
  TFileStream in(path, TFileMode::OpenRead);
  std::string bytes;
  char chunk[65536];
  for (int64_t n; (n = in.Read(chunk, sizeof chunk)) > 0;) bytes.append(chunk, static_cast<size_t>(n));
  return bytes;
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  TSafeFileStream out(path);
  out.WriteBuffer(bytes);
  out.Commit();
}
