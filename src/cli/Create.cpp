// quorvane-cli create [OPTIONS] PATH...: the create page's command, driven from the command line.
#include <dirent.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/Path.h"
#include "base/Stream.h"
#include "base/Terminal.h"
#include "base/Text.h"
#include "cli/Commands.h"
#include "create/CreationDriver.h"
#include "create/SourceFile.h"
#include "metainfo/TorrentFile.h"
#include "trackers/SavedTrackers.h"

namespace {

const char* const CreateUsage = "create [OPTIONS] PATH...";

const char* const CreateHelp =
    "Usage: quorvane-cli create [OPTIONS] PATH...\n"
    "\n"
    "Makes a .torrent of PATH:\n"
    "  one file                      a single-file torrent\n"
    "  one folder                    one torrent of the whole tree\n"
    "  several files of one folder   one torrent named after the folder, files ordered by name\n"
    "  --each DIR FOLDER             one torrent per entry of FOLDER, written to DIR/ENTRY.torrent\n"
    "\n"
    "Options:\n"
    "  -a, --announce TEXT        tracker name from the tracker list, or an announce URL\n"
    "  -b, --backup TEXT          back-up tracker, name or URL; repeatable, order kept\n"
    "  -c, --comment TEXT         comment\n"
    "  -l, --piece-length SIZE    auto (default), 128k 256k 512k 1m 2m 4m 8m 16m, or bytes\n"
    "  -o, --output FILE          default: PATH.torrent (several files: FOLDER.torrent)\n"
    "      --each DIR             one torrent per entry of the folder PATH, into DIR\n"
    "      --keep-thumbs          do not skip thumbs.db\n"
    "  -f, --force                replace an existing output\n"
    "  -y, --yes                  answer Yes to questions\n"
    "  -q, --quiet                no progress\n"
    "\n"
    "Prints \"INFOHASH  OUTPUT\" for every torrent written. Exit status: 0 done, 1 error,\n"
    "2 usage error, 130 interrupted (nothing written for the torrent under way).\n";

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

struct TCreateOptions {
  std::string Announce;
  std::vector<std::string> Backups;
  bool BackupSet = false;
  std::string Comment;
  bool AutoPieceSize = true;
  int32_t PieceLength = DefaultPieceLength;
  std::string Output;
  std::string EachDir;
  bool KeepThumbs = false;
  bool Force = false;
  bool Yes = false;
  bool Quiet = false;
  std::vector<std::string> Paths;
};

class EUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

TCreateOptions ParseOptions(const std::vector<std::string>& args) {
  TCreateOptions o;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      o.Paths.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::optional<std::string> inlineValue;
    if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
      inlineValue = arg.substr(arg.find('=') + 1);
      arg = arg.substr(0, arg.find('='));
    }
    auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) throw EUsage("option " + arg + " needs a value");
      return args[++i];
    };
    auto flag = [&] {
      if (inlineValue) throw EUsage("option " + arg + " takes no value");
      return true;
    };
    if (arg == "-a" || arg == "--announce") {
      o.Announce = value();
    } else if (arg == "-b" || arg == "--backup") {
      o.Backups.push_back(value());
      o.BackupSet = true;
    } else if (arg == "-c" || arg == "--comment") {
      o.Comment = value();
    } else if (arg == "-l" || arg == "--piece-length") {
      const std::string size = value();
      if (size == "auto") {
        o.AutoPieceSize = true;
      } else {
        const std::optional<int32_t> length = ParsePieceLength(size);
        if (!length) throw EUsage("bad piece length \"" + size + "\" (auto, 128k ... 16m)");
        o.AutoPieceSize = false;
        o.PieceLength = *length;
      }
    } else if (arg == "-o" || arg == "--output") {
      o.Output = value();
      if (o.Output.empty()) throw EUsage("empty output name");
    } else if (arg == "--each") {
      o.EachDir = value();
      if (o.EachDir.empty()) throw EUsage("empty --each folder");
    } else if (arg == "--keep-thumbs") {
      o.KeepThumbs = flag();
    } else if (arg == "-f" || arg == "--force") {
      o.Force = flag();
    } else if (arg == "-y" || arg == "--yes") {
      o.Yes = flag();
    } else if (arg == "-q" || arg == "--quiet") {
      o.Quiet = flag();
    } else {
      throw EUsage("unknown option \"" + arg + "\"");
    }
  }
  if (o.Paths.empty()) throw EUsage("no PATH given");
  if (!o.EachDir.empty() && o.Paths.size() != 1) throw EUsage("--each takes one folder PATH");
  if (!o.EachDir.empty() && !o.Output.empty()) throw EUsage("--each and --output do not go together");
  return o;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::string RealPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) throw EStreamError(FileError("Cannot find", path, errno));
  std::string result = resolved;
  std::free(resolved);
  return result;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The progress line on a terminal; nothing elsewhere.
class TCliProgress : public TNullProgress {
 public:
  explicit TCliProgress(bool show) : show_(show) {}

  void Show() override {
    TNullProgress::Show();
    HashingText = "Hashing:";
    start_ = std::chrono::steady_clock::now();
    lastDraw_ = {};
  }
  void SetHashingText(const std::string& text) override {
    TNullProgress::SetHashingText(text);
    Draw();
  }
  void SetOverallPosition(int64_t position) override {
    TNullProgress::SetOverallPosition(position);
    Draw();
  }
  void SetFinishedEnabled(bool enabled) override {
    TNullProgress::SetFinishedEnabled(enabled);
    if (enabled) ClearLine();  // the run is over
  }
  void ProcessEvents() override {}

  bool IsAborted() const override { return interrupted != 0; }
  // Clearing at the start of the command must not lose a Ctrl-C already pressed.
  void SetAborted(bool aborted) override {
    if (aborted) interrupted = 1;
  }

  void ClearLine() {
    if (drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
  }

 private:
  void Draw() {
    if (!show_ || HashingText.rfind("Hashing: ", 0) != 0) return;  // no file started yet
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(200)) return;
    lastDraw_ = now;
    const int64_t total = TotalBytes;
    const int64_t pieceLength = std::max<int64_t>(PieceLength, 1);
    const int64_t done = std::min(total, OverallPosition() * pieceLength);
    const double fraction = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 0.0;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0.05 ? static_cast<double>(done) / seconds : 0.0;

    winsize ws{};
    int columns = 80;
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 20) columns = ws.ws_col;

    constexpr int barWidth = 20;
    const int filled = static_cast<int>(fraction * barWidth);
    char tail[128];
    char left[32] = "--:--";
    if (rate > 0) {
      const int64_t s = static_cast<int64_t>(static_cast<double>(total - done) / rate);
      std::snprintf(left, sizeof left, "%lld:%02lld", static_cast<long long>(s / 60),
                    static_cast<long long>(s % 60));
    }
    std::snprintf(tail, sizeof tail, " [%s%s] %3d%% %7.1f MB/s %s left", std::string(filled, '#').c_str(),
                  std::string(barWidth - filled, '.').c_str(), static_cast<int>(fraction * 100), rate / 1e6,
                  left);
    std::string name = ForTerminal(HashingText.substr(9));
    const size_t room = static_cast<size_t>(std::max(8, columns - 1 - static_cast<int>(std::strlen(tail))));
    if (name.size() > room) name = "..." + name.substr(name.size() - (room - 3));
    std::fprintf(stderr, "\r%s%s\033[K", name.c_str(), tail);
    std::fflush(stderr);
    drawn_ = true;
  }

  bool show_;
  std::chrono::steady_clock::time_point start_{};
  std::chrono::steady_clock::time_point lastDraw_{};
  bool drawn_ = false;
};

// Answers the driver's dialogs from the options.
class TCliDialogs : public TDialogs {
 public:
  TCliDialogs(const TCreateOptions& options, TCliProgress& progress)
      : options_(options), progress_(progress) {}

  bool Failed = false;

  TMsgResult MessageBox(const std::string& text, const std::string& caption, TMsgButtons buttons) override {
    progress_.ClearLine();
    if (buttons == TMsgButtons::YesNo) {
      const TMsgResult answer = Ask(text);
      if (answer != TMsgResult::Yes) Failed = true;  // the command stops: nothing is made
      return answer;
    }
    if (caption == "Abort") {
      // One-per-entry mode ends every remaining entry this way: say it once.
      if (!abortShown_) std::fprintf(stderr, "%s\n", ForTerminal(text).c_str());
      abortShown_ = true;
      return TMsgResult::Ok;
    }
    if (caption == "Error") Failed = true;
    std::fprintf(stderr, "quorvane-cli create: %s\n", ForTerminal(text).c_str());
    return TMsgResult::Ok;
  }

  std::optional<std::string> SaveDialog(const TSaveDialogOptions& options) override {
    const std::string path = options_.Output.empty() ? options.Preset : options_.Output;
    if (!options_.Force && Exists(path)) {
      Failed = true;
      std::fprintf(stderr, "quorvane-cli create: \"%s\" exists; use --force to replace it\n",
                   ForTerminal(path).c_str());
      return std::nullopt;
    }
    return path;
  }

  std::optional<std::string> PickFolder(const std::string& title) override {
    (void)title;
    return options_.EachDir;
  }

 private:
  TMsgResult Ask(const std::string& text) {
    if (options_.Yes) return TMsgResult::Yes;
    if (!::isatty(STDIN_FILENO) || !::isatty(STDERR_FILENO)) {
      std::fprintf(stderr, "quorvane-cli create: %s No (use --yes to answer Yes)\n",
                   ForTerminal(text).c_str());
      return TMsgResult::No;
    }
    std::fprintf(stderr, "%s [y/N] ", ForTerminal(text).c_str());
    std::fflush(stderr);
    char line[64] = "";
    if (!std::fgets(line, sizeof line, stdin)) return TMsgResult::No;
    return line[0] == 'y' || line[0] == 'Y' ? TMsgResult::Yes : TMsgResult::No;
  }

  const TCreateOptions& options_;
  TCliProgress& progress_;
  bool abortShown_ = false;
};

// A folder given as "." or "x/.." has no name of its own: use where it really is.
std::string NamedPath(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::string last = LastPathComponent(path);
  if (path != "/" && (last.empty() || last == "." || last == "..") && Exists(path)) return RealPath(path);
  return path;
}

// Several files of one folder: the create page's Simple mode.
void SetUpSimpleMode(TCreationInput& input, const std::vector<std::string>& paths) {
  std::string folder;
  std::vector<std::string> names;
  for (const auto& path : paths) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throw EStreamError(FileError("Cannot open file", path, errno));
    if (S_ISDIR(st.st_mode))
      throw EUsage("several PATHs must all be files of one folder; \"" + path + "\" is a folder");
    const std::string real = RealPath(FolderOf(path));
    if (folder.empty()) folder = real;
    if (real != folder) throw EUsage("several PATHs must all be files of one folder");
    names.push_back(LastPathComponent(path));
  }
  // The window's file list: by name without regard to case.
  std::sort(names.begin(), names.end(), LessNoCase);
  names.erase(std::unique(names.begin(), names.end()), names.end());
  input.Mode = TCreateMode::Simple;
  input.SimpleFolder = folder;
  for (const auto& name : names) input.SimpleFiles.push_back({name, true});
}

// --each: an existing DIR/ENTRY.torrent is only replaced with --force.
void CheckEachOutputs(const TCreateOptions& o, const std::string& folder) {
  if (!IsFolder(o.EachDir)) throw EStreamError("\"" + o.EachDir + "\" is not a folder");
  if (o.Force) return;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;  // the driver reports it
  std::string clash;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string output = o.EachDir + "/" + name + ".torrent";
    if (Exists(output)) {
      clash = output;
      break;
    }
  }
  ::closedir(dir);
  if (!clash.empty()) throw EStreamError("\"" + clash + "\" exists; use --force to replace it");
}

std::string InfoHashOf(const std::string& path) {
  TMemoryStream stream(ReadWholeFile(path));
  TTorrentFile model;
  model.LoadFromStream(stream);
  return model.InfoHashText;
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const auto& a : args) {
    if (a == "--") break;
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

int UsageError(const EUsage& e) {
  std::fprintf(stderr, "quorvane-cli create: %s\nUsage: quorvane-cli %s\n", e.what(), CreateUsage);
  return ExitUsage;
}

// The page's controls as the options set them. Names of trackers resolve
// against the list the program left behind, which trackers receives.
void SetUpInput(TCreationDriver& driver, const TCreateOptions& options, TTrackerList& trackers) {
  TCreationInput& input = driver.Input;
  input.TrackerText = options.Announce;
  input.Comment = options.Comment;
  input.AutoPieceSize = options.AutoPieceSize;
  input.PieceLength = options.PieceLength;
  input.SkipThumbs = !options.KeepThumbs;
  input.Backup = options.BackupSet;

  if (!options.Announce.empty() || options.BackupSet) {
    try {
      LoadSavedTrackers(trackers, TTrackerCache::Installed(), SettingsFileName());
    } catch (const std::exception&) {
      trackers = {};  // no list: names pass through as they are
    }
  }
  input.TrackerStatus = trackers.GetAnnounceURL(options.Announce).Status;
  driver.GetAnnounceURL = [&trackers](const std::string& text) { return trackers.GetAnnounceURL(text); };
  driver.ResolveBackupTrackers = [&options, &trackers] {
    return ResolveTrackerNames(trackers.Trackers, options.Backups);
  };

  if (options.Paths.size() == 1) {
    input.Mode = TCreateMode::Classic;
    input.ClassicPath = NamedPath(options.Paths[0]);
    input.ClassicWholeFolder = options.EachDir.empty();
    if (!options.EachDir.empty()) {
      if (!IsFolder(input.ClassicPath)) throw EUsage("--each needs a folder PATH");
      CheckEachOutputs(options, input.ClassicPath);
    }
  } else {
    SetUpSimpleMode(input, options.Paths);
  }
}

// Runs the command with Ctrl-C as its "Abort"; returns the text of an error
// that ended it, "" when none did.
std::string RunInterruptible(TCreationDriver& driver) {
  struct sigaction action {
  }, previous{};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, &previous);
  std::string error;
  try {
    driver.btnCreateTorrentClick();
  } catch (const std::exception& e) {
    error = e.what();
  }
  ::sigaction(SIGINT, &previous, nullptr);
  return error;
}

// Prints "INFOHASH  OUTPUT" for every torrent written and gives the exit status.
int ReportOutcome(const TCreationResult& result, bool questionOrSaveFailed, std::string error) {
  for (const auto& output : result.Written) {
    std::string hash;
    try {
      hash = InfoHashOf(output);
    } catch (const std::exception& e) {
      if (error.empty()) error = e.what();
    }
    std::printf("%s  %s\n", hash.c_str(), output.c_str());
  }
  std::fflush(stdout);
  if (result.Aborted > 0) return 130;
  if (interrupted && result.Written.empty() && error.empty()) {
    // Interrupted before any run began (a question, the size gathering).
    std::fputs("Operation Aborted!\n", stderr);
    return 130;
  }
  if (!error.empty()) {
    std::fprintf(stderr, "quorvane-cli create: %s\n", ForTerminal(error).c_str());
    return ExitFailure;
  }
  if (questionOrSaveFailed || result.Failed) return ExitFailure;
  return ExitOk;
}

int RunCreate(const std::vector<std::string>& args) {
  if (WantsHelp(args)) {
    std::fputs(CreateHelp, stdout);
    return ExitOk;
  }
  TCreateOptions options;
  try {
    options = ParseOptions(args);
  } catch (const EUsage& e) {
    return UsageError(e);
  }

  TCliProgress progress(!options.Quiet && ::isatty(STDERR_FILENO));
  TCliDialogs dialogs(options, progress);
  TCreationDriver driver(dialogs, progress);
  TTrackerList trackers;
  try {
    SetUpInput(driver, options, trackers);
  } catch (const EUsage& e) {
    return UsageError(e);
  }

  const std::string error = RunInterruptible(driver);
  progress.ClearLine();
  return ReportOutcome(driver.Result(), dialogs.Failed, error);
}

const TCliRegistration registration({"create", CreateUsage, "makes a .torrent of files or a folder",
                                     RunCreate});

}  // namespace
