// quorvane-cli create [OPTIONS] PATH...: builds requests from the options and makes the torrents.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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
#include "cli/TrackerText.h"
#include "create/Build.h"
#include "create/PieceLength.h"
#include "create/Sources.h"
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
    "  several files of one folder   one torrent named after the folder, files in byte order\n"
    "  --each DIR FOLDER             one torrent per entry of FOLDER, written to DIR/ENTRY.torrent\n"
    "\n"
    "Options:\n"
    "  -a, --announce TEXT        tracker name from the tracker list, or an announce URL;\n"
    "                             each -a is a tier of its own, \"-a A,B\" one tier of two\n"
    "  -b, --backup TEXT          back-up tracker, name or URL, a tier each; repeatable, order kept\n"
    "      --no-tracker           no tracker at all: peers come from DHT, peer exchange or\n"
    "                             web seeds (needed for -p without -a, -b or -w)\n"
    "  -c, --comment TEXT         comment\n"
    "  -l, --piece-length SIZE    auto (default), or a power of two from 16k to 64m: 256k,\n"
    "                             4m, 4MiB, 262144 (bytes) or 18 (exponent, as mktorrent)\n"
    "      --max-piece-length SIZE\n"
    "                             the largest length auto may choose; auto takes 256k up to\n"
    "                             450 MB of data, ..., 2m above 2 GB, and doubles with the\n"
    "                             data up to 16m above 16 GB\n"
    "  -o, --output FILE          default: PATH.torrent (several files: FOLDER.torrent);\n"
    "                             - writes the torrent to standard output; a folder (or a\n"
    "                             name ending in /) gets FOLDER/NAME.torrent\n"
    "      --each DIR             one torrent per entry of the folder PATH, into DIR, in byte\n"
    "                             order; thumbs.db is left out as in folders\n"
    "  -p, --private              private torrent: peers only from the trackers\n"
    "  -s, --source TEXT          source tag (in the info dictionary), as private trackers ask\n"
    "  -w, --web-seed URL         web seed (url-list), an http or https URL; repeatable\n"
    "  -n, --name TEXT            the torrent's name instead of the file's or folder's\n"
    "      --format FORMAT        v1 (default), v2 or hybrid (v1 and v2 in one torrent); v2\n"
    "                             and hybrid put the files in tree order (folders by\n"
    "                             component, names as raw bytes)\n"
    "      --date DATE|UNIX       creation date: UTC \"YYYY-MM-DD[ HH:MM[:SS]]\" or Unix seconds\n"
    "                             (default: SOURCE_DATE_EPOCH when set, else now)\n"
    "      --no-date              no creation date\n"
    "      --exclude GLOB         leave out files and folders whose path inside the torrent\n"
    "                             matches GLOB (\"*.nfo\" matches in every folder; case counts:\n"
    "                             \"*.NFO\" is another glob); repeatable\n"
    "      --exclude-ci GLOB      the same without regard to case; repeatable\n"
    "      --exclude-hidden       leave out files and folders whose name starts with \".\"\n"
    "      --keep-thumbs          do not skip thumbs.db\n"
    "  -f, --force                replace an existing output\n"
    "  -y, --yes                  answer Yes to questions\n"
    "  -q, --quiet                no progress\n"
    "  -t, --threads N            threads that read and hash (default: one per core)\n"
    "      --json                 one JSON object per torrent and line instead of the lines\n"
    "                             below: output, info_hash, magnet, name, piece_length,\n"
    "                             piece_count, total_length, private, source, format,\n"
    "                             info_hash_v2 (info_hash is \"\" for v2)\n"
    "\n"
    "-a and -b take a URL (http, https, udp, wss) or a name from the tracker list (any case).\n"
    "A private torrent without a tracker is refused unless it has a web seed or --no-tracker.\n"
    "Prints \"INFOHASH  OUTPUT\" for every torrent written (on stderr with -o -); a hybrid\n"
    "prints \"INFOHASH INFOHASH_V2  OUTPUT\", a v2 torrent \"INFOHASH_V2  OUTPUT\". Exit status:\n"
    "0 done, 1 error, 2 usage error, 130 interrupted (nothing written for the torrent under way).\n";

struct TCreateOptions {
  std::vector<std::vector<std::string>> AnnounceTiers;  // as typed: names or URLs
  std::vector<std::string> Backups;
  std::string Comment;
  bool AutoPieceSize = true;
  int32_t PieceLength = DefaultPieceLength;
  int32_t MaxAutoPieceLength = MaxPieceLength;
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
  std::optional<long long> Date;  // --date or SOURCE_DATE_EPOCH; none: now
  bool NoTracker = false;
  TMetaFormat Format = TMetaFormat::V1;
  std::vector<std::string> Exclude;
  std::vector<std::string> ExcludeNoCase;
  bool ExcludeHidden = false;
  bool Json = false;
  std::vector<std::string> Paths;

  bool ToStdout() const { return Output == "-"; }
};

const TOptionSpec CreateOptions[] = {
    {.Short = 'a', .Long = "announce", .Kind = TArgKind::Value},
    {.Short = 'b', .Long = "backup", .Kind = TArgKind::Value},
    {.Short = 'c', .Long = "comment", .Kind = TArgKind::Value},
    {.Short = 'l', .Long = "piece-length", .Kind = TArgKind::Value},
    {.Long = "max-piece-length", .Kind = TArgKind::Value},
    {.Short = 'o', .Long = "output", .Kind = TArgKind::Value},
    {.Long = "each", .Kind = TArgKind::Value},
    {.Short = 'p', .Long = "private"},
    {.Short = 's', .Long = "source", .Kind = TArgKind::Value},
    {.Short = 'w', .Long = "web-seed", .Kind = TArgKind::Value},
    {.Short = 'n', .Long = "name", .Kind = TArgKind::Value},
    {.Long = "no-date"},
    {.Long = "date", .Kind = TArgKind::Value},
    {.Long = "no-tracker"},
    {.Long = "format", .Kind = TArgKind::Value},
    {.Long = "exclude", .Kind = TArgKind::Value},
    {.Long = "exclude-ci", .Kind = TArgKind::Value},
    {.Long = "exclude-hidden"},
    {.Long = "keep-thumbs"},
    {.Short = 'f', .Long = "force"},
    {.Short = 'y', .Long = "yes"},
    {.Short = 'q', .Long = "quiet"},
    {.Short = 't', .Long = "threads", .Kind = TArgKind::Value},
    {.Long = "json"},
};

int32_t PieceLengthValue(const std::string& option, const std::string& value) {
  const std::optional<int32_t> length = ParseAnyPieceLength(value);
  if (!length)
    throw EUsage("bad " + option + " \"" + value +
                 "\" (a power of two from 16k to 64m: 256k, 4m, 262144 or the exponent 18)");
  return *length;
}

// "A,B": one tier of two; an empty part is a mistake, not a tracker.
std::vector<std::string> SplitTier(const std::string& text) {
  std::vector<std::string> tier;
  size_t start = 0;
  for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
    tier.push_back(text.substr(start, comma - start));
  tier.push_back(text.substr(start));
  if (tier.size() > 1 && std::find(tier.begin(), tier.end(), "") != tier.end())
    throw EUsage("-a \"" + text + "\" has an empty tracker between its commas");
  return tier;
}

TCreateOptions ParseOptions(const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, CreateOptions);
  TCreateOptions o;
  o.Paths = parsed.Operands;
  for (const TParsedOption& option : parsed.Options) {
    const std::string name = option.Spec->Long;
    const std::string value = option.Values.empty() ? std::string() : option.Values.front();
    if (name == "announce") {
      o.AnnounceTiers.push_back(SplitTier(value));
    } else if (name == "backup") {
      o.Backups.push_back(value);
    } else if (name == "comment") {
      o.Comment = value;
    } else if (name == "piece-length") {
      o.AutoPieceSize = value == "auto";
      if (!o.AutoPieceSize) o.PieceLength = PieceLengthValue("piece length", value);
    } else if (name == "max-piece-length") {
      o.MaxAutoPieceLength = PieceLengthValue("--max-piece-length", value);
    } else if (name == "output") {
      o.Output = value;
      if (o.Output.empty()) throw EUsage("empty output name");
    } else if (name == "each") {
      o.EachDir = value;
      if (o.EachDir.empty()) throw EUsage("empty --each folder");
    } else if (name == "source") {
      o.Source = value;
    } else if (name == "web-seed") {
      if (!IsWebSeedUrl(value))
        throw EUsage("-w \"" + ForTerminal(value) + "\" is no web seed URL (http or https)");
      o.WebSeeds.push_back(value);
    } else if (name == "date") {
      o.Date = ParseDateText(value);
      if (!o.Date)
        throw EUsage("bad --date \"" + ForTerminal(value) +
                     "\" (a UTC date YYYY-MM-DD or \"YYYY-MM-DD HH:MM:SS\", or Unix seconds)");
    } else if (name == "name") {
      o.Name = value;
      if (o.Name.empty()) throw EUsage("empty --name");
    } else if (name == "format") {
      if (value == "v1")
        o.Format = TMetaFormat::V1;
      else if (value == "v2")
        o.Format = TMetaFormat::V2;
      else if (value == "hybrid")
        o.Format = TMetaFormat::Hybrid;
      else
        throw EUsage("bad --format \"" + value + "\" (v1, v2 or hybrid)");
    } else if (name == "exclude") {
      o.Exclude.push_back(value);
    } else if (name == "exclude-ci") {
      o.ExcludeNoCase.push_back(value);
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
  o.NoTracker = parsed.Has("no-tracker");
  if (o.NoDate && o.Date) throw EUsage("--date and --no-date exclude each other");
  // Reproducible builds: the date the build system asks for, unless the command line says otherwise.
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch && !o.NoDate && !o.Date) {
    long long seconds = 0;
    if (!ParseInteger(epoch, seconds) || seconds < 0)
      throw EUsage("SOURCE_DATE_EPOCH \"" + ForTerminal(epoch) + "\" is not Unix seconds");
    o.Date = seconds;
  }
  if (o.NoTracker && (!o.AnnounceTiers.empty() || !o.Backups.empty()))
    throw EUsage("--no-tracker does not go with -a or -b");
  o.KeepThumbs = parsed.Has("keep-thumbs");
  o.Force = parsed.Has("force");
  o.Yes = parsed.Has("yes");
  o.Quiet = parsed.Has("quiet");
  o.Json = parsed.Has("json");
  o.ExcludeHidden = parsed.Has("exclude-hidden");
  if (o.Paths.empty()) throw EUsage("no PATH given");
  if (std::find(o.Paths.begin(), o.Paths.end(), "") != o.Paths.end()) throw EUsage("empty PATH");
  if (!o.EachDir.empty() && o.Paths.size() != 1) throw EUsage("--each takes one folder PATH");
  if (!o.EachDir.empty() && !o.Output.empty()) throw EUsage("--each and --output do not go together");
  if (!o.EachDir.empty() && !o.Name.empty()) throw EUsage("--each and --name do not go together");
  if (o.ToStdout() && o.Json) throw EUsage("--json and -o - both write to standard output");
  if (!o.AutoPieceSize && parsed.Has("max-piece-length"))
    throw EUsage("--max-piece-length caps the automatic choice; it does not go with -l SIZE");
  if (!o.Name.empty()) {
    if (const std::string problem = ComponentProblem(o.Name); !problem.empty())
      throw EUsage("--name \"" + o.Name + "\" " + problem);
  }
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

// A folder given as "." or "x/.." has no name of its own: use where it really is.
std::string NamedPath(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::string last = LastPathComponent(path);
  if (path != "/" && (last.empty() || last == "." || last == "..") && Exists(path)) return RealPath(path);
  return path;
}

// Why a PATH cannot be found; stat's own reason when it is not a plain absence.
std::string MissingPathMessage(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return "\"" + path + "\" cannot be read";
  if (errno == ENOENT && ::lstat(path.c_str(), &st) == 0)
    return "\"" + path + "\" is a link to something that does not exist";
  if (errno == ENOENT) return "\"" + path + "\" does not exist";
  return FileError("Cannot open", path, errno);
}

// Clients show names as UTF-8: other bytes go in as they are, but each client
// shows them its own way.
void WarnNonUtf8Names(const TTorrentFile& torrent) {
  size_t count = ToUtf8(torrent.Name) != torrent.Name ? 1 : 0;
  std::string first = count ? torrent.Name : std::string();
  if (torrent.MultiFile) {
    for (const auto& file : torrent.Files) {
      const std::string path = file->Path + file->Name;
      if (ToUtf8(path) == path) continue;
      if (count++ == 0) first = path;
    }
  }
  if (count == 0) return;
  std::fprintf(stderr,
               "quorvane-cli create: warning: %zu name%s not UTF-8 (first: \"%s\"); the bytes go in as "
               "they are, and clients may show them differently (show --json gives them as path_bytes)\n",
               count, count == 1 ? " is" : "s are", ForTerminal(first).c_str());
}

// One line of --json for a torrent written.
std::string JsonLine(const std::string& output, const TBuildResult& result, TMetaFormat format) {
  const TTorrentFile& torrent = *result.Torrent;
  const std::string magnet =
      format == TMetaFormat::V1
          ? MagnetLink(torrent)
          : MagnetLink(torrent, TMagnetHashes{result.InfoHashText, result.InfoHashV2Text});
  std::string line = "{\"output\": " + JsonString(output) +
                     ", \"info_hash\": " + JsonString(result.InfoHashText) +
                     ", \"magnet\": " + JsonString(magnet) + ", \"name\": " + JsonString(torrent.Name) +
                     ", \"piece_length\": " + std::to_string(torrent.PieceLength);
  // A hybrid's v1 list holds pads; its total, like a v2 torrent's, is the files' own bytes.
  line += ", \"piece_count\": " + std::to_string(torrent.PieceCount()) + ", \"total_length\": " +
          std::to_string(format == TMetaFormat::V1 ? torrent.TotalLength : torrent.DataLength());
  line += std::string(", \"private\": ") + (torrent.Private ? "true" : "false") +
          ", \"source\": " + (torrent.Source.empty() ? "null" : JsonString(torrent.Source)) +
          ", \"format\": \"" + MetaFormatName(format) +
          "\", \"info_hash_v2\": " + JsonString(result.InfoHashV2Text) + "}\n";
  return line;
}

// The info hashes a torrent has, v1 first.
std::string HashesText(const TBuildResult& result) {
  if (result.InfoHashV2Text.empty()) return result.InfoHashText;
  if (result.InfoHashText.empty()) return result.InfoHashV2Text;
  return result.InfoHashText + " " + result.InfoHashV2Text;
}

// What PATH... asks for, worked out before anything is read.
struct TCreateSources {
  std::string Path;                // one PATH, as named
  std::string Folder;              // several files: their folder
  std::vector<std::string> Names;  // ... and their names, in byte order
};

// Several PATHs must be files of one folder.
TCreateSources FilesOfOneFolder(const std::vector<std::string>& paths) {
  TCreateSources sources;
  for (const auto& path : paths) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throw EStreamError(FileError("Cannot open file", path, errno));
    if (S_ISDIR(st.st_mode))
      throw EUsage("several PATHs must all be files of one folder; \"" + path + "\" is a folder");
    const std::string real = RealPath(FolderOf(path));
    if (sources.Folder.empty()) sources.Folder = real;
    if (real != sources.Folder) throw EUsage("several PATHs must all be files of one folder");
    sources.Names.push_back(LastPathComponent(path));
  }
  // The folder walk's order: "Flat/*" and "Flat" give one v1 torrent.
  std::sort(sources.Names.begin(), sources.Names.end());
  sources.Names.erase(std::unique(sources.Names.begin(), sources.Names.end()), sources.Names.end());
  return sources;
}

// --each: the entries, with thumbs.db left out as in a folder.
std::vector<TEachOutput> EachEntries(const std::string& folder, const std::string& outFolder,
                                     const TSourceRules& rules) {
  std::vector<TEachOutput> entries = EachOutputs(folder, outFolder, rules);
  std::erase_if(entries, [&rules](const TEachOutput& entry) {
    return rules.SkipThumbs && rules.IsThumbsDb(entry.Name) && KindOf(entry.Source) != TEntryKind::Folder;
  });
  return entries;
}

// --each: an existing DIR/ENTRY.torrent is only replaced with --force.
void CheckEachOutputs(const TCreateOptions& o, const std::string& folder, const TSourceRules& rules) {
  if (!IsFolder(o.EachDir)) throw EStreamError("\"" + o.EachDir + "\" is not a folder");
  if (o.Force) return;
  std::vector<TEachOutput> entries;
  try {
    entries = EachEntries(folder, o.EachDir, rules);
  } catch (const EStreamError&) {
    return;  // the run reports it
  }
  for (const auto& entry : entries)
    if (Exists(entry.Output))
      throw EStreamError("\"" + entry.Output + "\" exists; use --force to replace it");
}

// One run of create: makes the torrents PATH... asks for and prints a line
// for each as it is made.
class TCreateRun {
 public:
  TCreateRun(const TCreateOptions& options, TCliProgress& progress, TTrackerList& trackers)
      : options_(options), progress_(progress), trackers_(trackers) {
    rules_.SkipThumbs = !options.KeepThumbs;
    rules_.Exclude = options.Exclude;
    rules_.ExcludeNoCase = options.ExcludeNoCase;
    rules_.SkipHidden = options.ExcludeHidden;
  }

  // Checks the options against the tracker list and the file system.
  void Prepare();
  // Makes the torrents; errors that end the command propagate.
  void Run();
  // Prints the error that ended the run (or "") and gives the exit status.
  int Finish(const std::string& error) const;

 private:
  bool ConfirmTrackerUp();
  // The output for a torrent whose default is preset; none when it must not be written.
  // name: what the torrent is called unless --name says otherwise.
  std::optional<std::string> OutputFor(const std::string& preset, const std::string& name);
  void Make(TBuildRequest request, const std::string& output);
  void Report(const TBuildResult& result);
  void Message(const std::string& text);

  const TCreateOptions& options_;
  TCliProgress& progress_;
  TTrackerList& trackers_;
  TSourceRules rules_;
  TCreateSources sources_;
  TBuildRequest settings_;  // what every torrent of the run shares
  TTorrentBuilder builder_{progress_};
  std::string downTracker_;  // the first -a the list marks down, as typed
  size_t written_ = 0;
  int aborted_ = 0;
  bool failed_ = false;
  bool stop_ = false;  // a hashing error ends the whole command
  std::string writeError_;
};

void TCreateRun::Prepare() {
  // Names of trackers resolve against the list the program left behind.
  std::vector<std::string> texts = options_.Backups;
  for (const auto& tier : options_.AnnounceTiers) texts.insert(texts.end(), tier.begin(), tier.end());
  trackers_ = TrackerListFor(texts);

  // Every -a a tier, as mktorrent does; "" (no tracker) is left out.
  for (const auto& typed : options_.AnnounceTiers) {
    std::vector<std::string> tier;
    for (const auto& text : typed) {
      CheckTrackerText("-a", text, trackers_, true);
      if (text.empty()) continue;
      const TAnnounceResolution announce = trackers_.GetAnnounceURL(ListNameOf(text, trackers_));
      if (announce.Status == TTrackerStatus::Down && downTracker_.empty()) downTracker_ = text;
      tier.push_back(announce.URL);
    }
    if (!tier.empty()) settings_.Trackers.push_back(std::move(tier));
  }
  // Without -a the back-ups follow an empty main tracker, as in the window.
  if (settings_.Trackers.empty()) settings_.Trackers.push_back({""});
  for (const auto& backup : options_.Backups) {
    CheckTrackerText("-b", backup, trackers_, true);
    if (!backup.empty()) settings_.Trackers.push_back({ResolveTrackerText(backup, trackers_)});
  }
  // Peers of a private torrent come from its trackers alone: without one nobody finds it.
  const bool anyTracker =
      std::any_of(settings_.Trackers.begin(), settings_.Trackers.end(),
                  [](const auto& tier) { return !tier.empty() && !tier.front().empty(); });
  if (options_.Private && !anyTracker && options_.WebSeeds.empty() && !options_.NoTracker)
    throw EUsage(
        "a private torrent gets its peers only from its trackers, and none is given: add -a TRACKER, "
        "or --no-tracker to make it without one");
  // transmission-create's -s is a piece size.
  if (!options_.Source.empty() && options_.Source.find_first_not_of("0123456789") == std::string::npos)
    std::fprintf(stderr,
                 "quorvane-cli create: warning: the source tag is \"%s\", all digits; for a piece length "
                 "use -l (e.g. -l %sk)\n",
                 options_.Source.c_str(), options_.Source.c_str());

  settings_.Name = options_.Name;
  if (!options_.AutoPieceSize) settings_.PieceLength = options_.PieceLength;
  settings_.Private = options_.Private;
  settings_.Source = options_.Source;
  settings_.WebSeeds = options_.WebSeeds;
  settings_.Comment = options_.Comment;
  settings_.Threads = options_.Threads;
  settings_.Format = options_.Format;
  // Without --force an output that exists is refused, also one that appears meanwhile.
  settings_.KeepExisting = !options_.Force;

  if (options_.Paths.size() > 1) {
    sources_ = FilesOfOneFolder(options_.Paths);
    return;
  }
  sources_.Path = NamedPath(options_.Paths[0]);
  if (!options_.EachDir.empty()) {
    if (!IsFolder(sources_.Path)) throw EUsage("--each needs a folder PATH");
    CheckEachOutputs(options_, sources_.Path, rules_);
  }
}

void TCreateRun::Message(const std::string& text) {
  progress_.ClearLine();
  std::fprintf(stderr, "quorvane-cli create: %s\n", ForTerminal(text).c_str());
}

bool TCreateRun::ConfirmTrackerUp() {
  if (downTracker_.empty()) return true;
  progress_.ClearLine();
  const bool yes = ::ConfirmTrackerUp("create", downTracker_, trackers_, options_.Yes);
  if (!yes) failed_ = true;  // the command stops: nothing is made
  return yes;
}

std::optional<std::string> TCreateRun::OutputFor(const std::string& preset, const std::string& name) {
  if (options_.ToStdout()) return std::string();  // only the bytes
  std::string path = options_.Output.empty() ? preset : options_.Output;
  // -o DIR/ or an existing folder: the torrent goes in it under its own name.
  if (!options_.Output.empty() && (path.back() == '/' || IsFolder(path)))
    path = JoinPath(path, (options_.Name.empty() ? name : options_.Name) + ".torrent");
  if (!options_.Force && Exists(path)) {
    failed_ = true;
    Message("\"" + path + "\" exists; use --force to replace it");
    return std::nullopt;
  }
  return path;
}

void TCreateRun::Run() {
  if (!ConfirmTrackerUp()) return;
  if (options_.Paths.size() > 1) {
    const std::string& folder = sources_.Folder;
    const std::vector<std::string>& names = sources_.Names;
    if (names.size() == 1) {
      const std::string source = JoinPath(folder, names.front());
      if (const auto output = OutputFor(source + ".torrent", names.front()))
        Make(FileRequest(settings_, source, LastPathComponent(source)), *output);
      return;
    }
    // The root folder has no name of its own: the torrent is named after the first file.
    const std::string nameSource = LastPathComponent(folder).empty() ? names.front() : folder;
    if (const auto output = OutputFor(nameSource + ".torrent", LastPathComponent(nameSource)))
      Make(FilesRequest(settings_, folder, names, LastPathComponent(nameSource), rules_), *output);
    return;
  }

  std::string path = sources_.Path;
  if (!path.empty() && path.back() == '/') path.pop_back();
  const TEntryKind kind = path.empty() ? TEntryKind::Missing : KindOf(path);
  if (kind == TEntryKind::Missing) {
    failed_ = true;
    Message(MissingPathMessage(options_.Paths.front()));
  } else if (kind != TEntryKind::Folder) {
    if (const auto output = OutputFor(path + ".torrent", LastPathComponent(path)))
      Make(FileRequest(settings_, path, LastPathComponent(path)), *output);
  } else if (options_.EachDir.empty()) {
    if (const auto output = OutputFor(path + ".torrent", LastPathComponent(path)))
      Make(FolderRequest(settings_, path, LastPathComponent(path), rules_), *output);
  } else {
    // Read the whole folder first, so torrents written into it are not taken as entries.
    const std::vector<TEachOutput> entries = EachEntries(path, options_.EachDir, rules_);
    builder_.LeaveOut(OutputPaths(entries));
    for (const auto& entry : entries) {
      if (stop_) return;
      const TEntryKind entryKind = KindOf(entry.Source);
      if (entryKind == TEntryKind::Folder)
        Make(FolderRequest(settings_, entry.Source, entry.Name, rules_), entry.Output);
      else if (entryKind != TEntryKind::Other)  // it may have changed since the listing
        Make(FileRequest(settings_, entry.Source, entry.Name), entry.Output);
    }
  }
}

void TCreateRun::Make(TBuildRequest request, const std::string& output) {
  if (!options_.NoDate)
    request.CreationDate = options_.Date.value_or(static_cast<long long>(std::time(nullptr)));
  request.Output = output;
  if (options_.AutoPieceSize)
    request.PieceLength =
        AutoPieceLength(TotalLength(builder_.WithoutOwnOutputs(request)), options_.MaxAutoPieceLength);
  const TBuildResult result = builder_.Build(request);
  switch (result.Outcome) {
    case TBuildOutcome::NoData:
      failed_ = true;
      Message(NoDataMessage(result.Torrent->Name));
      return;
    case TBuildOutcome::Aborted:
      // One-per-entry mode ends every remaining entry this way: say it once.
      progress_.ClearLine();
      if (aborted_++ == 0) std::fputs("Operation Aborted!\n", stderr);
      return;
    case TBuildOutcome::Failed:
      failed_ = true;
      stop_ = true;
      Message(result.Error);
      return;
    case TBuildOutcome::Built:
      Report(result);
      return;
  }
}

void TCreateRun::Report(const TBuildResult& result) {
  ++written_;
  progress_.ClearLine();
  WarnNonUtf8Names(*result.Torrent);
  const std::string shown = options_.ToStdout() ? "-" : result.Written;
  if (options_.ToStdout() &&
      (std::fwrite(result.Bytes.data(), 1, result.Bytes.size(), stdout) != result.Bytes.size() ||
       std::fflush(stdout) != 0) &&
      writeError_.empty())
    writeError_ = FileError("Cannot write", "standard output", errno);
  if (options_.Json)
    std::fputs(JsonLine(shown, result, options_.Format).c_str(), stdout);
  else
    std::fprintf(options_.ToStdout() ? stderr : stdout, "%s  %s\n", HashesText(result).c_str(),
                 ForTerminal(shown).c_str());
  std::fflush(stdout);
}

int TCreateRun::Finish(const std::string& error) const {
  if (aborted_ > 0) return 130;
  // main reports a failed standard output, once.
  if (error.empty() && !writeError_.empty()) return ExitFailure;
  if (Interrupted() && written_ == 0 && error.empty()) {
    // Interrupted before any run began (a question, the size gathering).
    std::fputs("Operation Aborted!\n", stderr);
    return 130;
  }
  if (!error.empty()) {
    std::fprintf(stderr, "quorvane-cli create: %s\n", ForTerminal(error).c_str());
    return ExitFailure;
  }
  return failed_ ? ExitFailure : ExitOk;
}

int RunCreate(const std::vector<std::string>& args) {
  const TCreateOptions options = ParseOptions(args);
  TCliProgress progress(!options.Quiet && ::isatty(STDERR_FILENO));
  TTrackerList trackers;
  TCreateRun run(options, progress, trackers);
  run.Prepare();

  std::string error;
  {
    // Ctrl-C is the run's "Abort".
    TInterruptGuard guard;
    try {
      run.Run();
    } catch (const std::exception& e) {
      error = e.what();
    }
  }
  progress.ClearLine();
  return run.Finish(error);
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
