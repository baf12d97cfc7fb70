#include "base/Stream.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <algorithm>
#include <map>
#include <mutex>
#include <string_view>
#include <vector>

#include "base/Path.h"

namespace {

TFileSysCalls& Calls() {
  static TFileSysCalls calls{
      [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
      ::read,
      ::write,
      ::close,
      ::pread,
      [](int folderFd, const char* name, int flags, mode_t mode) {
        return ::openat(folderFd, name, flags, mode);
      }};
  return calls;
}

std::string WriteError(const std::string& path, int err) {
  return "Cannot write " + path + ": " + std::strerror(err);
}

// Follows symlinks until a path that is not one (or does not exist yet: a
// dangling link creates the file it names, as a plain open would).
std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::vector<char> buffer(static_cast<size_t>(std::max<off_t>(st.st_size, 255)) + 1);
    ssize_t n;
    while ((n = ::readlink(current.c_str(), buffer.data(), buffer.size())) >=
           static_cast<ssize_t>(buffer.size()))
      buffer.resize(buffer.size() * 2);
    if (n < 0) throw EStreamError(FileError("Cannot create file", path, errno));
    const std::string link(buffer.data(), static_cast<size_t>(n));
    const bool fromHere = current.find('/') == std::string::npos;
    current = (!link.empty() && link.front() == '/') || fromHere ? link : FolderOf(current) + "/" + link;
  }
  throw EStreamError(FileError("Cannot create file", path, ELOOP));
}

// Whether finalTarget exists (its stat in old); raises for one a file cannot replace.
bool CheckReplaceable(const std::string& target, const std::string& finalTarget, struct stat& old) {
  // A rename would put a plain file in place of a device, pipe or folder.
  const bool replacing = ::stat(finalTarget.c_str(), &old) == 0;
  if (replacing && S_ISDIR(old.st_mode)) throw EStreamError(FileError("Cannot create file", target, EISDIR));
  if (replacing && !S_ISREG(old.st_mode))
    throw EStreamError("Cannot create file \"" + target + "\": Not a regular file");
  return replacing;
}

// The umask without changing it where the kernel tells; the umask() round trip
// is the fallback (it races with other threads creating files).
mode_t CurrentUmask() {
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    constexpr std::string_view key = "Umask:";
    while (!found && std::fgets(line, sizeof line, status)) {
      if (std::string_view(line).substr(0, key.size()) != key) continue;
      char* end = nullptr;
      mask = static_cast<unsigned>(std::strtoul(line + key.size(), &end, 8));
      found = end != line + key.size();
    }
    std::fclose(status);
    if (found) return static_cast<mode_t>(mask);
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// The temporary files of saves under way, for the signal handler. Fixed
// storage, since the handler may neither allocate nor take a lock; a path that
// does not fit is simply not cleaned up on a signal.
struct TTempSlot {
  std::atomic<int> State{0};  // 0 free, 1 being filled, 2 live
  char Path[4096];
};
static_assert(std::atomic<int>::is_always_lock_free);
TTempSlot tempSlots[32];

int RegisterTemp(const std::string& path) {
  if (path.size() >= sizeof tempSlots[0].Path) return -1;
  for (int i = 0; i < static_cast<int>(std::size(tempSlots)); ++i) {
    int expected = 0;
    if (!tempSlots[i].State.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(tempSlots[i].Path, path.c_str(), path.size() + 1);
    tempSlots[i].State.store(2, std::memory_order_release);
    return i;
  }
  return -1;
}

void UnregisterTemp(int slot) {
  if (slot >= 0) tempSlots[slot].State.store(0, std::memory_order_release);
}

// The signals whose default ends the program and so must not leave a
// temporary file: Ctrl-C, a kill, and a closed terminal or ssh session.
constexpr int CleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Holds those signals back while a temporary file is created, renamed or
// removed, so the handler never sees it half-registered.
class TSignalsHeld {
 public:
  TSignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (const int sig : CleanupSignals) sigaddset(&set, sig);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~TSignalsHeld() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  TSignalsHeld(const TSignalsHeld&) = delete;
  TSignalsHeld& operator=(const TSignalsHeld&) = delete;

 private:
  sigset_t old_;
};

void RemoveTempFilesAndDie(int sig) {
  for (auto& slot : tempSlots)
    if (slot.State.load(std::memory_order_acquire) == 2) ::unlink(slot.Path);
  // The default action, now: the signal is blocked while this runs and is
  // delivered as soon as the handler returns.
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(sig, &action, nullptr);
  ::raise(sig);
}

// How long a save waits for another writer of its target, as an edit waits.
constexpr std::chrono::seconds SaveLockWait(30);

std::function<void(const std::string&)>& WaitNotice() {
  static std::function<void(const std::string&)> notice;
  return notice;
}

// The files this process holds TFileLocks on, and how many each.
std::mutex locksMutex;
std::map<std::pair<uint64_t, uint64_t>, int> locksHeld;

}  // namespace

std::optional<TFileStamp> StampOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return TFileStamp{.Device = static_cast<uint64_t>(st.st_dev),
                    .Inode = static_cast<uint64_t>(st.st_ino),
                    .Size = static_cast<int64_t>(st.st_size),
                    .ModifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

void InstallTempFileCleanup() {
  for (const int sig : CleanupSignals) {
    struct sigaction previous {};
    if (::sigaction(sig, nullptr, &previous) != 0) continue;
    const bool isDefault = !(previous.sa_flags & SA_SIGINFO) && previous.sa_handler == SIG_DFL;
    if (!isDefault) continue;
    struct sigaction action {};
    action.sa_handler = RemoveTempFilesAndDie;
    sigemptyset(&action.sa_mask);
    for (const int other : CleanupSignals) sigaddset(&action.sa_mask, other);
    ::sigaction(sig, &action, nullptr);
  }
}

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

namespace {}  // namespace

void CheckReadable(const std::string& path, const struct stat& st, TFileMode mode) {
  if (S_ISDIR(st.st_mode)) throw EStreamError(FileError("Cannot open file", path, EISDIR));
  if (mode == TFileMode::OpenRead && !S_ISREG(st.st_mode))
    throw EStreamError("Cannot open file \"" + path + "\": Not a regular file");
}

TFileStream::TFileStream(const std::string& path, TFileMode mode) : path_(path), shownName_(path) {
  const bool reading = mode != TFileMode::Create;
  if (reading) {
    // Checked before the open too, so a device is never opened at all.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throw EStreamError(FileError("Cannot open file", path, errno));
    CheckReadable(path, st, mode);
  }
  // O_NONBLOCK: a FIFO without a writer must not hang the open; its reads
  // then end at once.
  const int flags = reading ? (O_RDONLY | O_NONBLOCK) : (O_WRONLY | O_CREAT | O_TRUNC);
  do {
    fd_ = Calls().Open(path.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) throw EStreamError(FileError("Cannot open file", path, errno));
  if (reading) {
    // The path may have been swapped for something else since the check.
    struct stat st {};
    try {
      if (::fstat(fd_, &st) != 0) throw EStreamError(FileError("Cannot open file", path, errno));
      CheckReadable(path, st, mode);
    } catch (...) {
      Close();
      throw;
    }
    const int fl = ::fcntl(fd_, F_GETFL);
    if (fl >= 0) ::fcntl(fd_, F_SETFL, fl & ~O_NONBLOCK);
  }
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
    // A write that makes no progress has no errno of its own.
    if (n <= 0) throw EStreamError(WriteError(shownName_, n < 0 ? errno : EIO));
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

std::string TSafeFileStream::TemporaryNameFor(const std::string& target) {
  // Hidden, and named after its target and this program, so a person or a
  // later run finds one left by a power cut for what it is. A file name holds
  // at most 255 bytes: the target's name is cut to leave room for the rest,
  // never inside a UTF-8 sequence.
  constexpr size_t NameMax = 255;
  constexpr std::string_view Tail = ".quorvane-tmp-XXXXXX";
  const size_t slash = target.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::string_view name = std::string_view(target).substr(nameStart);
  const size_t room = NameMax - 1 - Tail.size();
  if (name.size() > room) {
    size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name = name.substr(0, cut);
  }
  std::string result = target.substr(0, nameStart);
  result += '.';
  result += name;
  result += Tail;
  return result;
}

void TSafeFileStream::CheckCreatable(const std::string& target) {
  const std::string finalTarget = FollowLinks(target);
  struct stat st {};
  CheckReplaceable(target, finalTarget, st);
  const std::string folder = FolderOf(finalTarget);
  if (::stat(folder.c_str(), &st) != 0) throw EStreamError(FileError("Cannot create file", target, errno));
  if (!S_ISDIR(st.st_mode)) throw EStreamError(FileError("Cannot create file", target, ENOTDIR));
  if (::access(folder.c_str(), W_OK | X_OK) != 0)
    throw EStreamError(FileError("Cannot create file", target, errno));
}

TSafeFileStream::TSafeFileStream(const std::string& target, mode_t maxMode)
    : target_(target), finalTarget_(FollowLinks(target)) {
  shownName_ = target;
  struct stat old {};
  const bool replacing = CheckReplaceable(target, finalTarget_, old);
  // Beside the file that is replaced, so the rename stays on its file system.
  std::string tmpl = TemporaryNameFor(finalTarget_);
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  {
    TSignalsHeld held;
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) throw EStreamError(FileError("Cannot create file", target, errno));
    path_ = name.data();
    tempSlot_ = RegisterTemp(path_);
  }
  // mkstemp makes the file private. A replaced file keeps its owner, group and
  // mode (a private tracker's passkey stays private); a new one gets the mode
  // a plain create would. The owner first: chown may clear set-id bits.
  if (replacing) {
    // Only root may give a file away; a group of our own is allowed.
    if (::fchown(fd_, old.st_uid, old.st_gid) != 0 &&
        ::fchown(fd_, static_cast<uid_t>(-1), old.st_gid) != 0) {
      // Neither allowed: the file stays ours, its mode still copied below.
    }
    ::fchmod(fd_, old.st_mode & 07777 & maxMode);
  } else {
    ::fchmod(fd_, 0666 & maxMode & ~CurrentUmask());
  }
}

TSafeFileStream::~TSafeFileStream() {
  if (!committed_) {
    Close();
    TSignalsHeld held;
    ::unlink(path_.c_str());
    UnregisterTemp(tempSlot_);
  }
}

void TSafeFileStream::SetWaitNotice(std::function<void(const std::string& target)> notice) {
  WaitNotice() = std::move(notice);
}

bool TSafeFileStream::CommitUnless(const std::function<bool()>& abort) {
  if (::fsync(fd_) != 0) throw EStreamError(WriteError(target_, errno));
  const int fd = fd_;
  fd_ = -1;
  if (Calls().Close(fd) != 0) throw EStreamError(WriteError(target_, errno));
  // Another writer of the file (an edit between its load and its save) goes first.
  std::optional<TFileLock> lock;
  try {
    lock.emplace(finalTarget_, SaveLockWait, [this] {
      if (WaitNotice()) WaitNotice()(target_);
    });
  } catch (const EStreamError&) {
    throw EStreamError("Cannot replace file \"" + target_ + "\": another program is writing it");
  }
  {
    TSignalsHeld held;
    if (abort && abort()) return false;
    if (expected_ && StampOf(finalTarget_) != expected_)
      throw EStreamError("\"" + target_ + "\" was changed by another program after it was loaded; not saved");
    const int renamed = refuseExisting_ ? ::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, finalTarget_.c_str(),
                                                      RENAME_NOREPLACE)
                                        : ::rename(path_.c_str(), finalTarget_.c_str());
    if (renamed != 0 && refuseExisting_ && errno == EEXIST)
      throw EStreamError(FileError("Cannot create file", target_, EEXIST));
    if (renamed != 0) throw EStreamError(FileError("Cannot replace file", target_, errno));
    UnregisterTemp(tempSlot_);
    committed_ = true;
  }
  lock.reset();
  // The rename is durable only once the folder's entry is on disk. Some file
  // systems cannot sync a folder; that is no failure of the save.
  const std::string folder = FolderOf(finalTarget_);
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return true;
  const int synced = ::fsync(dir);
  const int err = errno;
  ::close(dir);
  if (synced != 0 && err != EINVAL && err != EROFS && err != ENOTSUP)
    throw EStreamError(WriteError(folder, err));
  return true;
}

TFileLock::TFileLock(const std::string& path, std::chrono::milliseconds wait,
                     const std::function<void()>& onWait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  bool told = false;
  for (;;) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return;
    struct stat held {};
    if (::fstat(fd, &held) != 0) {
      ::close(fd);
      return;
    }
    const std::pair<uint64_t, uint64_t> id{held.st_dev, held.st_ino};
    {
      const std::lock_guard guard(locksMutex);
      if (auto it = locksHeld.find(id); it != locksHeld.end()) {
        // Held here already: flock on a second descriptor would wait for this very process.
        ++it->second;
        ::close(fd);
        id_ = id;
        held_ = true;
        return;
      }
    }
    int locked;
    while ((locked = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EWOULDBLOCK) {
      if (!told && onWait) onWait();
      told = true;
      if (std::chrono::steady_clock::now() >= deadline) {
        ::close(fd);
        throw EStreamError("Cannot edit \"" + path + "\": another program is editing it");
      }
      // flock has no timed wait; a short nap keeps the wait bounded.
      ::usleep(20000);
    }
    if (locked != 0) {  // a file system without locks: edit as before
      ::close(fd);
      return;
    }
    // Held: unless the file was replaced while this waited, it is the one to load.
    struct stat named {};
    if (::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      const std::lock_guard guard(locksMutex);
      ++locksHeld[id];
      fd_ = fd;
      id_ = id;
      held_ = true;
      return;
    }
    ::close(fd);
  }
}

TFileLock::~TFileLock() {
  if (!held_) return;
  const std::lock_guard guard(locksMutex);
  if (--locksHeld[id_] == 0) locksHeld.erase(id_);
  // Only the first lock of a file holds a descriptor; a nested one never outlives it.
  if (fd_ >= 0) ::close(fd_);
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
