#pragma once
// Seekable byte streams: the decoder reads from them, the writer writes to them.

#include <sys/stat.h>
#include <sys/types.h>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

class EStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TSeekOrigin { Beginning, Current, End };

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes up to count bytes; returns how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position and returns the new one.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size() = 0;

  int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  // Writes every byte or raises EStreamError "Stream write error".
  void WriteBuffer(const void* buffer, int64_t count);
  void WriteBuffer(const std::string& bytes) {
    WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  }
};

// A stream over bytes held in memory.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string data) : data_(std::move(data)) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }

  const std::string& Data() const { return data_; }
  // Hands the bytes over without a copy and leaves the stream empty.
  std::string TakeData() {
    pos_ = 0;
    return std::move(data_);
  }

 private:
  std::string data_;
  int64_t pos_ = 0;
};

// The few system calls the file streams make, behind one switch point so tests
// can inject short writes, EINTR and failures.
struct TFileSysCalls {
  int (*Open)(const char* path, int flags, mode_t mode);
  ssize_t (*Read)(int fd, void* buffer, size_t count);
  ssize_t (*Write)(int fd, const void* buffer, size_t count);
  int (*Close)(int fd);
  ssize_t (*Pread)(int fd, void* buffer, size_t count, off_t offset);
  // A name in an open folder (a set without it opens the whole path instead).
  int (*Openat)(int folderFd, const char* name, int flags, mode_t mode) = nullptr;
};
const TFileSysCalls& FileSysCalls();
// "what "path": the system's reason" for an errno value.
std::string FileError(const std::string& what, const std::string& path, int err);
// Reads until count bytes or the end of the file, retrying on EINTR; raises
// EStreamError naming path when the system fails.
int64_t ReadFully(int fd, void* buffer, int64_t count, const std::string& path);
// The same from a given offset, leaving the file position alone (safe from several threads).
// Stops early once `enough` bytes are in (when given), saving the call that would report the end.
int64_t ReadFullyAt(int fd, void* buffer, int64_t count, int64_t offset, const std::string& path,
                    int64_t enough = -1);
// Replaces the system calls (tests only); returns the previous set.
TFileSysCalls SetFileSysCalls(const TFileSysCalls& calls);

enum class TFileMode {
  OpenRead,     // existing regular file, read only; others may read and write it meanwhile
  OpenReadAny,  // as OpenRead, but a pipe or device is read too (a folder is not)
  Create,       // create or truncate, write only
};

// A stream over a file. Raises EStreamError with the system's reason when the
// file cannot be opened; OpenRead refuses a folder ("Is a directory") and any
// other file that is not a regular one ("Not a regular file") without blocking
// on it. A failed write raises EStreamError "Cannot write PATH: reason".
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& path, TFileMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;

  const std::string& Path() const { return path_; }
  int Handle() const { return fd_; }

 protected:
  TFileStream() = default;
  void Close();
  std::string path_;
  std::string shownName_;  // the name write errors give
  int fd_ = -1;
};

// What tells one state of a file from another: which file it is, its size
// and its modification time.
struct TFileStamp {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  int64_t Size = 0;
  int64_t ModifiedNs = 0;
  bool operator==(const TFileStamp&) const = default;
};
// The stamp of the file a path names, symlinks followed; none when it names none.
std::optional<TFileStamp> StampOf(const std::string& path);

// Writes a file safely: the bytes go to a temporary file beside the target,
// which replaces the target only on Commit. Destroyed without Commit, it
// removes the temporary file and leaves the target as it was.
// A symlink target is followed: the file it points at is replaced and the link
// stays. The new file keeps the old one's permission bits and, where the
// process may, its owner and group; a new file gets 0666 less the umask.
// maxMode narrows both, never widens: 0600 keeps a private torrent's passkey
// to its owner.
// Every writer of an existing file takes its TFileLock for the rename, so two
// saves of one file take turns; with ExpectUnchanged, the one that finds the
// file changed since it loaded it fails instead of undoing the other's save.
// A hard link to the old file keeps the old contents: replacing by rename
// cannot reach it.
class TSafeFileStream : public TFileStream {
 public:
  explicit TSafeFileStream(const std::string& target, mode_t maxMode = 07777);
  ~TSafeFileStream() override;
  // Raises the error a save to target would meet at its start, without
  // creating anything: a long run checks this before its work.
  static void CheckCreatable(const std::string& target);
  // The mkstemp pattern of the temporary file for target: ".NAME.quorvane-tmp-XXXXXX"
  // in target's folder, NAME shortened so the whole is a valid file name.
  static std::string TemporaryNameFor(const std::string& target);
  // Called once when a save waits for another program's lock on its target.
  static void SetWaitNotice(std::function<void(const std::string& target)> notice);

  // Commit replaces the target only while it is still the file of this
  // stamp (the one loaded), checked under the lock right before the rename.
  void ExpectUnchanged(const TFileStamp& loaded) { expected_ = loaded; }
  // Commit replaces nothing: a file that appeared at the target meanwhile
  // makes it fail with "File exists".
  void RefuseExisting() { refuseExisting_ = true; }

  // Syncs the file, renames it over the target and syncs the folder; raises
  // EStreamError on failure.
  void Commit() { CommitUnless(nullptr); }
  // As Commit, unless abort() is true right before the rename (asked with
  // the signals that clean up held back): then nothing is replaced and it
  // returns false.
  bool CommitUnless(const std::function<bool()>& abort);
  const std::string& Target() const { return target_; }
  // The file that is replaced: the target with its symlinks followed.
  const std::string& FinalTarget() const { return finalTarget_; }

 private:
  std::string target_;
  std::string finalTarget_;
  std::optional<TFileStamp> expected_;
  bool refuseExisting_ = false;
  int tempSlot_ = -1;
  bool committed_ = false;
};

// An advisory lock (flock) on the file a path names, symlinks followed, held
// for a load-modify-save so that two editors of one file take turns instead of
// one losing the other's change. A save replaces the file by rename, so the
// lock is taken on the file the path names once the lock is held: an editor
// that waited behind a save locks and loads the saved file. Cooperative only:
// programs that do not lock are not kept out. A process that holds the lock
// takes it again at once (a save under an edit's lock), where a second flock
// would wait for itself.
class TFileLock {
 public:
  // Locks the file; no file, no lock (loading it will say why). While another
  // process holds it, calls onWait once and waits up to `wait`, then raises
  // EStreamError.
  TFileLock(const std::string& path, std::chrono::milliseconds wait, const std::function<void()>& onWait);
  ~TFileLock();
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;

 private:
  int fd_ = -1;
  std::pair<uint64_t, uint64_t> id_{};  // device, inode of the locked file
  bool held_ = false;
};

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary files of saves under way
// before the signal takes its default course. A handler already installed for
// a signal stays in charge of it (it lets the program wind down, and the
// streams clean up as they close); an ignored signal stays ignored. Call once
// at start-up, before other threads exist.
void InstallTempFileCleanup();

// Refuses what a reader must not open (st: its stat): a folder always,
// anything but a regular file unless mode reads pipes and devices too.
void CheckReadable(const std::string& path, const struct stat& st, TFileMode mode);

// Reads a whole file into memory; raises EStreamError on failure.
std::string ReadWholeFile(const std::string& path);
// Writes a whole file through TSafeFileStream.
void WriteWholeFile(const std::string& path, const std::string& bytes);
