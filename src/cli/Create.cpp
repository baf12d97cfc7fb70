// quorvane-cli create [OPTIONS] PATH...: the create page's command, driven from the command line.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "base/Path.h"
#include "base/Stream.h"
#include "base/Terminal.h"
#include "base/Text.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/ProgressLine.h"
#include "create/CreationDriver.h"
#include "create/PieceLength.h"
#include "metainfo/Magnet.h"
#include "metainfo/TorrentEdits.h"
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
    "  -o, --output FILE          default: PATH.torrent (several files: FOLDER.torrent);\n"
    "                             - writes the torrent to standard output\n"
    "      --each DIR             one torrent per entry of the folder PATH, into DIR\n"
    "  -p, --private              private torrent: peers only from the trackers\n"
    "  -s, --source TEXT          source tag (in the info dictionary), as private trackers ask\n"
    "  -w, --web-seed URL         web seed (url-list); repeatable\n"
    "  -n, --name TEXT            the torrent's name instead of the file's or folder's\n"
    "      --no-date              no creation date\n"
    "      --exclude GLOB         leave out files and folders whose path inside the torrent\n"
    "                             matches GLOB (\"*.nfo\" matches in every folder); repeatable\n"
    "      --keep-thumbs          do not skip thumbs.db\n"
    "  -f, --force                replace an existing output\n"
    "  -y, --yes                  answer Yes to questions\n"
    "  -q, --quiet                no progress\n"
    "  -t, --threads N            threads that read and hash (default: one per core)\n"
    "      --json                 one JSON object per torrent and line instead of the lines\n"
    "                             below: output, info_hash, magnet, name, piece_length,\n"
    "                             piece_count, total_length, private, source\n"
    "\n"
    "-a and -b take a URL (http, https, udp, wss) or a name from the tracker list.\n"
    "Prints \"INFOHASH  OUTPUT\" for every torrent written (on stderr with -o -). Exit status:\n"
    "0 done, 1 error, 2 usage error, 130 interrupted (nothing written for the torrent under way).\n";

struct TCreateOptions {
  std::string Announce;
  std::vector<std::string> Backups;
  std::string Comment;
  bool AutoPieceSize = true;
  int32_t PieceLength = DefaultPieceLength;
  std::string Output;
  std::string EachDir;
  bool KeepThumbs = false;
  bool Force = false;
  bool Yes = false;
  bool Quiet = false;
  int Threads = 0;  // one per core
  bool Private = false;
  std::string Source;
  std::vector<std::string> WebSeeds;
  std::string Name;
  bool NoDate = false;
  std::vector<std::string> Exclude;
  bool Json = false;
  std::vector<std::string> Paths;

  bool ToStdout() const { return Output == "-"; }
};

const TOptionSpec CreateOptions[] = {
    {.Short = 'a', .Long = "announce", .Kind = TArgKind::Value},
    {.Short = 'b', .Long = "backup", .Kind = TArgKind::Value},
    {.Short = 'c', .Long = "comment", .Kind = TArgKind::Value},
    {.Short = 'l', .Long = "piece-length", .Kind = TArgKind::Value},
    {.Short = 'o', .Long = "output", .Kind = TArgKind::Value},
    {.Long = "each", .Kind = TArgKind::Value},
    {.Short = 'p', .Long = "private"},
    {.Short = 's', .Long = "source", .Kind = TArgKind::Value},
    {.Short = 'w', .Long = "web-seed", .Kind = TArgKind::Value},
    {.Short = 'n', .Long = "name", .Kind = TArgKind::Value},
    {.Long = "no-date"},
    {.Long = "exclude", .Kind = TArgKind::Value},
    {.Long = "keep-thumbs"},
    {.Short = 'f', .Long = "force"},
    {.Short = 'y', .Long = "yes"},
    {.Short = 'q', .Long = "quiet"},
    {.Short = 't', .Long = "threads", .Kind = TArgKind::Value},
    {.Long = "json"},
};

TCreateOptions ParseOptions(const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, CreateOptions);
  TCreateOptions o;
  o.Paths = parsed.Operands;
  for (const TParsedOption& option : parsed.Options) {
    const std::string name = option.Spec->Long;
    const std::string value = option.Values.empty() ? std::string() : option.Values.front();
    if (name == "announce") {
      o.Announce = value;
    } else if (name == "backup") {
      o.Backups.push_back(value);
    } else if (name == "comment") {
      o.Comment = value;
    } else if (name == "piece-length") {
      if (value == "auto") {
        o.AutoPieceSize = true;
      } else {
        const std::optional<int32_t> length = ParsePieceLength(value);
        if (!length) throw EUsage("bad piece length \"" + value + "\" (auto, 128k ... 16m)");
        o.AutoPieceSize = false;
        o.PieceLength = *length;
      }
    } else if (name == "output") {
      o.Output = value;
      if (o.Output.empty()) throw EUsage("empty output name");
    } else if (name == "each") {
      o.EachDir = value;
      if (o.EachDir.empty()) throw EUsage("empty --each folder");
    } else if (name == "source") {
      o.Source = value;
    } else if (name == "web-seed") {
      o.WebSeeds.push_back(value);
    } else if (name == "name") {
      o.Name = value;
      if (o.Name.empty()) throw EUsage("empty --name");
    } else if (name == "exclude") {
      o.Exclude.push_back(value);
    } else if (name == "threads") {
      long long threads = 0;
      if (value.size() > 3 || value.find_first_not_of("0123456789") != std::string::npos ||
          !ParseInteger(value, threads) || threads < 1)
        throw EUsage("bad thread count \"" + value + "\" (1 or more)");
      o.Threads = static_cast<int>(threads);
    }
  }
  o.Private = parsed.Has("private");
  o.NoDate = parsed.Has("no-date");
  o.KeepThumbs = parsed.Has("keep-thumbs");
  o.Force = parsed.Has("force");
  o.Yes = parsed.Has("yes");
  o.Quiet = parsed.Has("quiet");
  o.Json = parsed.Has("json");
  if (o.Paths.empty()) throw EUsage("no PATH given");
  if (!o.EachDir.empty() && o.Paths.size() != 1) throw EUsage("--each takes one folder PATH");
  if (!o.EachDir.empty() && !o.Output.empty()) throw EUsage("--each and --output do not go together");
  if (!o.EachDir.empty() && !o.Name.empty()) throw EUsage("--each and --name do not go together");
  if (o.ToStdout() && o.Json) throw EUsage("--json and -o - both write to standard output");
  if (!o.Name.empty()) {
    if (const std::string problem = ComponentProblem(o.Name); !problem.empty())
      throw EUsage("--name \"" + o.Name + "\" " + problem);
  }
  return o;
}

bool IsAnnounceUrl(const std::string& text) {
  const size_t end = text.find("://");
  if (end == std::string::npos || end + 3 >= text.size()) return false;
  const std::string scheme = AsciiLower(text.substr(0, end));
  return scheme == "http" || scheme == "https" || scheme == "udp" || scheme == "wss";
}

// Levenshtein distance without regard to ASCII case.
size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      const size_t cost = AsciiLower(a[i - 1]) == AsciiLower(b[j - 1]) ? 0 : 1;
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + cost});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// Text for -a or -b must be an announce URL or a tracker of the list: a typo
// of a name would otherwise become the announce URL.
void CheckTrackerText(const char* option, const std::string& text, const TTrackerList& trackers) {
  if (text.empty() || IsAnnounceUrl(text) || !trackers.LookupAnnounceURL(text).empty()) return;
  std::vector<std::pair<size_t, std::string>> names;
  for (const auto& tracker : trackers.Trackers)
    if (!tracker.Name.empty()) names.emplace_back(EditDistance(text, tracker.Name), tracker.Name);
  std::stable_sort(names.begin(), names.end(),
                   [](const auto& x, const auto& y) { return x.first < y.first; });
  std::string message = std::string(option) + " \"" + ForTerminal(text) +
                        "\" is neither an announce URL (http, https, udp or wss) nor a tracker of the list";
  if (names.empty()) {
    message += " (no tracker list; quorvane-cli trackers --refresh fetches one)";
  } else {
    message += "; closest names:";
    for (size_t i = 0; i < names.size() && i < 3; ++i)
      message += (i ? ", \"" : " \"") + ForTerminal(names[i].second) + "\"";
  }
  throw EUsage(message);
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

  // With -o -, where the torrent is written before it goes to standard output.
  std::string StdoutFile;

  std::optional<std::string> SaveDialog(const TSaveDialogOptions& options) override {
    if (options_.ToStdout()) return StdoutFile;
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

// --each: an existing DIR/ENTRY.torrent is only replaced with --force. The
// entries are the driver's own, so excluded ones and FIFOs do not count.
void CheckEachOutputs(const TCreationDriver& driver, const TCreateOptions& o, const std::string& folder) {
  if (!IsFolder(o.EachDir)) throw EStreamError("\"" + o.EachDir + "\" is not a folder");
  if (o.Force) return;
  std::vector<TEachOutput> entries;
  try {
    entries = driver.EachOutputs(folder, o.EachDir);
  } catch (const EStreamError&) {
    return;  // the driver reports it
  }
  for (const auto& entry : entries)
    if (Exists(entry.Output))
      throw EStreamError("\"" + entry.Output + "\" exists; use --force to replace it");
}

// A temporary folder for the torrent that goes to standard output.
class TStdoutTorrent {
 public:
  TStdoutTorrent() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorvane-create-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw EStreamError(FileError("Cannot create folder", pattern, errno));
    folder_ = pattern;
  }
  ~TStdoutTorrent() {
    ::unlink(File().c_str());
    ::rmdir(folder_.c_str());
  }
  TStdoutTorrent(const TStdoutTorrent&) = delete;
  TStdoutTorrent& operator=(const TStdoutTorrent&) = delete;
  std::string File() const { return folder_ + "/out.torrent"; }

 private:
  std::string folder_;
};

// One line of --json for a torrent written.
std::string JsonLine(const std::string& output, const TTorrentFile& torrent) {
  return "{\"output\": " + JsonString(output) + ", \"info_hash\": " + JsonString(torrent.InfoHashText) +
         ", \"magnet\": " + JsonString(MagnetLink(torrent)) + ", \"name\": " + JsonString(torrent.Name) +
         ", \"piece_length\": " + std::to_string(torrent.PieceLength) +
         ", \"piece_count\": " + std::to_string(torrent.Pieces.size()) +
         ", \"total_length\": " + std::to_string(torrent.TotalLength) +
         ", \"private\": " + (torrent.Private ? "true" : "false") +
         ", \"source\": " + (torrent.Source.empty() ? "null" : JsonString(torrent.Source)) + "}\n";
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
  input.Backup = !options.Backups.empty();
  input.Threads = options.Threads;
  input.Private = options.Private;
  input.Source = options.Source;
  input.WebSeeds = options.WebSeeds;
  input.Name = options.Name;
  input.NoDate = options.NoDate;
  input.Exclude = options.Exclude;

  if (!options.Announce.empty() || !options.Backups.empty()) {
    try {
      LoadSavedTrackers(trackers, TTrackerCache::Installed(), SettingsFileName());
    } catch (const std::exception&) {
      trackers = {};  // no list: only URLs pass
    }
  }
  CheckTrackerText("-a", options.Announce, trackers);
  for (const auto& backup : options.Backups) CheckTrackerText("-b", backup, trackers);
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
      CheckEachOutputs(driver, options, input.ClassicPath);
    }
  } else {
    SetUpSimpleMode(input, options.Paths);
  }
}

// Runs the command with Ctrl-C as its "Abort"; returns the text of an error
// that ended it, "" when none did.
std::string RunInterruptible(TCreationDriver& driver, TCliDialogs& dialogs, const TCreateOptions& options,
                             std::optional<TStdoutTorrent>& stdoutTorrent) {
  TInterruptGuard guard;
  try {
    if (options.ToStdout()) {
      stdoutTorrent.emplace();
      dialogs.StdoutFile = stdoutTorrent->File();
    }
    driver.btnCreateTorrentClick();
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

// Prints a line (or a JSON object) for every torrent written, sends the torrent
// to standard output when asked, and gives the exit status.
int ReportOutcome(const TCreationResult& result, const TCreateOptions& options, bool questionOrSaveFailed,
                  std::string error) {
  for (const auto& output : result.Written) {
    const std::string shown = options.ToStdout() ? "-" : output;
    TTorrentFile torrent;
    try {
      const std::string bytes = ReadWholeFile(output);
      TMemoryStream stream(bytes);
      torrent.LoadFromStream(stream);
      if (options.ToStdout() &&
          (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0))
        throw EStreamError(FileError("Cannot write", "standard output", errno));
    } catch (const std::exception& e) {
      if (error.empty()) error = e.what();
    }
    if (options.Json)
      std::fputs(JsonLine(shown, torrent).c_str(), stdout);
    else
      std::fprintf(options.ToStdout() ? stderr : stdout, "%s  %s\n", torrent.InfoHashText.c_str(),
                   ForTerminal(shown).c_str());
  }
  std::fflush(stdout);
  if (result.Aborted > 0) return 130;
  if (Interrupted() && result.Written.empty() && error.empty()) {
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
  const TCreateOptions options = ParseOptions(args);
  TCliProgress progress(!options.Quiet && ::isatty(STDERR_FILENO));
  TCliDialogs dialogs(options, progress);
  TCreationDriver driver(dialogs, progress);
  TTrackerList trackers;
  SetUpInput(driver, options, trackers);

  std::optional<TStdoutTorrent> stdoutTorrent;
  const std::string error = RunInterruptible(driver, dialogs, options, stdoutTorrent);
  progress.ClearLine();
  return ReportOutcome(driver.Result(), options, dialogs.Failed, error);
}

void PrintHelp() { std::fputs(CreateHelp, stdout); }

const TCliRegistration registration({
    .Name = "create",
    .Usage = CreateUsage,
    .Summary = "makes a .torrent of files or a folder",
    .Run = RunCreate,
    .PrintHelp = PrintHelp,
});

}  // namespace
