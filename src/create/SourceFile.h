#pragma once
// A data file opened for hashing or for its size. Goes through the file
// system switch point of base/Stream.h so tests can inject failures.

#include <cstdint>
#include <string>

class TSourceFile {
 public:
  // Opens a regular file for reading; raises EStreamError naming the file
  // and the reason. Never blocks on a FIFO or a device. sequential: the
  // whole file is about to be read.
  explicit TSourceFile(const std::string& path, bool sequential = false);
  // The same for `name` in the open folder folderFd (path names it in errors):
  // one name to look up instead of every folder on the way.
  TSourceFile(int folderFd, const char* name, std::string path, bool sequential);
  // The same without a look at what was opened: OpenedSize() is -1. For a
  // small file read whole at once, whose read past the end tells whether its
  // size is right (a folder or a FIFO in its place fails that read).
  static TSourceFile Unchecked(int folderFd, const char* name, const std::string& path);
  TSourceFile(TSourceFile&& other) noexcept;
  ~TSourceFile();
  TSourceFile(const TSourceFile&) = delete;
  TSourceFile& operator=(const TSourceFile&) = delete;

  // The file's size when it was opened (-1: not looked at).
  int64_t OpenedSize() const { return openedSize_; }
  // The file's current size.
  int64_t Size() const;
  // Reads up to count bytes from offset, fewer only at the end of the file; raises on error.
  // Several threads may read at once.
  // Stops early once `enough` bytes are in, when given.
  int64_t ReadAt(void* buffer, int64_t count, int64_t offset, int64_t enough = -1) const;
  const std::string& Path() const { return path_; }
  int Fd() const { return fd_; }
  // The file is read in many places: no read-ahead on this handle.
  void AdviseRandom() const;

 private:
  TSourceFile() = default;
  void OpenAt(int folderFd, const char* name);
  void Opened(bool sequential);

  std::string path_;
  int fd_ = -1;
  int64_t openedSize_ = 0;
};
