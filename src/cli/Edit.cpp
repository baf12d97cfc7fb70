// quorvane-cli edit: the View/Edit page's edits from the command line.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/Path.h"
#include "base/Stream.h"
#include "base/Terminal.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/TrackerText.h"
#include "metainfo/PathRules.h"
#include "metainfo/TorrentEdits.h"
#include "metainfo/TorrentFile.h"

namespace {

constexpr const char* EditUsage =
    "edit FILE... [-o OUT [-f]] [--announce TEXT] [--backup TEXT]... [--no-backup] [--add-tracker TEXT]... "
    "[--remove-tracker URL]... [--replace-tracker OLD NEW]... [--name TEXT] [--comment TEXT] "
    "[--date now|none|DATE|UNIXSECONDS] [--rename INDEX=PATH]... [--private on|off] [--source TEXT | "
    "--no-source] "
    "[--web-seed URL]... [--no-web-seeds] [--yes]";

const TOptionSpec EditOptions[] = {
    {.Short = 'o', .Long = "output", .Kind = TArgKind::Value},
    {.Short = 'f', .Long = "force"},
    {.Long = "announce", .Kind = TArgKind::Value},
    {.Long = "backup", .Kind = TArgKind::Value},
    {.Long = "no-backup"},
    {.Long = "add-tracker", .Kind = TArgKind::Value},
    {.Long = "remove-tracker", .Kind = TArgKind::Value},
    {.Long = "replace-tracker", .Kind = TArgKind::TwoValues},
    {.Long = "name", .Kind = TArgKind::Value},
    {.Long = "comment", .Kind = TArgKind::Value},
    {.Long = "date", .Kind = TArgKind::Value},
    {.Long = "rename", .Kind = TArgKind::Value},
    {.Long = "private", .Kind = TArgKind::Value},
    {.Long = "source", .Kind = TArgKind::Value},
    {.Long = "no-source"},
    {.Long = "web-seed", .Kind = TArgKind::Value},
    {.Long = "no-web-seeds"},
    {.Short = 'y', .Long = "yes"},
};

struct TEditOptions {
  std::vector<std::string> Files;
  std::string Out;     // "-": standard output
  bool Force = false;  // an existing OUT is replaced
  std::optional<std::string> Announce;
  std::optional<std::vector<std::string>> Backup;  // nothing = keep the loaded ones
  std::vector<std::string> AddTrackers;
  std::vector<std::string> RemoveTrackers;
  std::vector<std::pair<std::string, std::string>> ReplaceTrackers;
  std::optional<std::string> Name;
  std::optional<std::string> Comment;
  std::optional<std::optional<int64_t>> Date;  // set: the Unix seconds, or none for no date
  std::vector<std::pair<std::size_t, std::string>> Renames;
  std::optional<bool> Private;
  std::optional<std::string> Source;                 // "" with --no-source
  std::optional<std::vector<std::string>> WebSeeds;  // empty with --no-web-seeds
  bool Yes = false;
  bool Declined = false;  // the question about a tracker marked down was answered No

  bool ChangesSomething() const {
    return Announce || Backup || !AddTrackers.empty() || !RemoveTrackers.empty() ||
           !ReplaceTrackers.empty() || Name || Comment || Date || !Renames.empty() || Private || Source ||
           WebSeeds;
  }
};

std::optional<int64_t> ParseDate(const std::string& text) {
  if (text == "now") return DateTimeToUnix(NowUtc());
  if (text == "none") return std::nullopt;
  if (const auto seconds = ParseDateText(text)) return *seconds;
  throw EUsage(
      "--date takes now, none, a UTC date (YYYY-MM-DD or \"YYYY-MM-DD HH:MM:SS\") or Unix seconds (a "
      "signed 64-bit number), not \"" +
      ForTerminal(text) + "\"");
}

std::pair<std::size_t, std::string> ParseRename(const std::string& text) {
  const auto eq = text.find('=');
  long long index = -1;
  if (eq == std::string::npos || !ParseInteger(text.substr(0, eq), index) || index < 0)
    throw EUsage("--rename takes INDEX=PATH with a file index counted from 0, not \"" + text + "\"");
  return {static_cast<std::size_t>(index), text.substr(eq + 1)};
}

// Tracker texts are checked as create checks -a and -b, and names of the
// tracker list become their announce URLs.
void CheckTrackers(TEditOptions& options) {
  std::vector<std::string> texts = options.AddTrackers;
  if (options.Announce) texts.push_back(*options.Announce);
  if (options.Backup) texts.insert(texts.end(), options.Backup->begin(), options.Backup->end());
  const TTrackerList trackers = TrackerListFor(texts);
  auto check = [&trackers](const char* option, std::string& text) {
    CheckTrackerText(option, text, trackers);
    text = ResolveTrackerText(text, trackers);
  };
  // Asked before the name becomes its URL: the question names the tracker.
  if (options.Announce && !ConfirmTrackerUp("edit", *options.Announce, trackers, options.Yes)) {
    options.Declined = true;
    return;
  }
  if (options.Announce) check("--announce", *options.Announce);
  if (options.Backup)
    for (auto& text : *options.Backup) check("--backup", text);
  for (auto& text : options.AddTrackers) check("--add-tracker", text);
}

std::vector<std::string> TrackerUrls(const TTorrentFile& torrent) {
  std::vector<std::string> all{torrent.Announce()};
  for (const auto& tier : torrent.AnnounceTiers()) all.insert(all.end(), tier.begin(), tier.end());
  return all;
}

// A tracker URL of torrent that is new since before and no announce URL;
// nothing when there is none. --replace-tracker works on parts of URLs, so
// only its results tell.
std::optional<std::string> MadeBadTracker(const std::vector<std::string>& before,
                                          const TTorrentFile& torrent) {
  for (const auto& url : TrackerUrls(torrent))
    if (!url.empty() && !IsAnnounceUrl(url) && std::find(before.begin(), before.end(), url) == before.end())
      return url;
  return std::nullopt;
}

TEditOptions ParseOptions(const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, EditOptions);
  TEditOptions options;
  options.Files = parsed.Operands;
  for (const TParsedOption& option : parsed.Options) {
    const std::string name = option.Spec->Long;
    const std::string value = option.Values.empty() ? std::string() : option.Values.front();
    if (name == "output") {
      options.Out = value;
      if (value.empty()) throw EUsage("empty output name");
    } else if (name == "announce") {
      options.Announce = value;
    } else if (name == "backup") {
      if (!options.Backup) options.Backup.emplace();
      options.Backup->push_back(value);
    } else if (name == "add-tracker") {
      options.AddTrackers.push_back(value);
    } else if (name == "remove-tracker") {
      options.RemoveTrackers.push_back(value);
    } else if (name == "replace-tracker") {
      if (value.empty()) throw EUsage("--replace-tracker needs a text to replace");
      options.ReplaceTrackers.emplace_back(value, option.Values[1]);
    } else if (name == "name") {
      options.Name = value;
    } else if (name == "comment") {
      options.Comment = value;
    } else if (name == "date") {
      options.Date = ParseDate(value);
    } else if (name == "rename") {
      options.Renames.push_back(ParseRename(value));
    } else if (name == "private") {
      if (value != "on" && value != "off") throw EUsage("--private takes on or off, not \"" + value + "\"");
      options.Private = value == "on";
    } else if (name == "source") {
      options.Source = value;
    } else if (name == "web-seed") {
      if (!IsWebSeedUrl(value))
        throw EUsage("--web-seed \"" + ForTerminal(value) + "\" is no web seed URL (http or https)");
      if (!options.WebSeeds) options.WebSeeds.emplace();
      options.WebSeeds->push_back(value);
    }
  }
  if (options.Files.empty()) throw EUsage("no FILE given");
  options.Force = parsed.Has("force");
  if (options.Force && (options.Out.empty() || options.Out == "-"))
    throw EUsage("-f replaces an existing OUT; it goes with -o OUT");
  if (parsed.Has("no-backup") && options.Backup) throw EUsage("--backup and --no-backup exclude each other");
  if (parsed.Has("no-backup")) options.Backup.emplace();
  if (parsed.Has("no-source") && options.Source) throw EUsage("--source and --no-source exclude each other");
  if (parsed.Has("no-source")) options.Source.emplace();
  if (parsed.Has("no-web-seeds") && options.WebSeeds)
    throw EUsage("--web-seed and --no-web-seeds exclude each other");
  if (parsed.Has("no-web-seeds")) options.WebSeeds.emplace();
  options.Yes = parsed.Has("yes");
  CheckTrackers(options);
  if (options.Files.size() > 1) {
    if (!options.Out.empty() || options.Name || !options.Renames.empty())
      throw EUsage("-o, --name and --rename take one FILE");
    if (!options.ChangesSomething()) throw EUsage("several FILEs: say what to change");
  }
  return options;
}

void PrintHelp() {
  std::printf(
      "Usage: quorvane-cli %s\n\n"
      "Changes each .torrent FILE and writes it back (or to OUT; \"-o -\" writes it to\n"
      "standard output). Prints the new info hash (\"INFOHASH  FILE\" for several FILEs):\n"
      "the v1 one, or for a BitTorrent v2-only torrent the v2 one.\n"
      "  -o, --output OUT          write to OUT instead of FILE (one FILE only); a folder (or a\n"
      "                            name ending in /) gets FOLDER/NAME.torrent, after the name\n"
      "  -f, --force               replace an existing OUT\n"
      "  --announce TEXT           the main tracker, replaced wherever it stands in the tiers;\n"
      "                            the old one does not stay as a back-up unless named again\n"
      "  --backup TEXT             a back-up tracker, one tier each; repeat for more, in the\n"
      "                            order to try them (without --backup or --no-backup the\n"
      "                            file's own are kept)\n"
      "  --no-backup               no back-up trackers\n"
      "  --add-tracker TEXT        a new tier with its URL at the end; repeatable\n"
      "  --remove-tracker URL      URL out of every tier; repeatable\n"
      "  --replace-tracker OLD NEW every tracker URL holding the text OLD gets NEW instead\n"
      "                            (a passkey, a host); repeatable\n"
      "  --name TEXT               the torrent's name (also the file name of a single-file torrent)\n"
      "  --comment TEXT            the comment\n"
      "  --date now|none|DATE|N    creation date: now, none, a UTC DATE (YYYY-MM-DD or\n"
      "                            \"YYYY-MM-DD HH:MM:SS\"), or N Unix seconds (any 64-bit number)\n"
      "  --rename INDEX=PATH       file INDEX (from 0) gets PATH; a PATH without \"/\" keeps the\n"
      "                            folders; the one file of a single-file torrent is its name;\n"
      "                            padding is not renamed, nor a file onto another's path, its\n"
      "                            folder or into it (case aside): a usage error\n"
      "  --private on|off          the private flag (peers only from the trackers)\n"
      "  --source TEXT             the source tag private trackers ask for\n"
      "  --no-source               no source tag\n"
      "  --web-seed URL            a web seed (http or https); repeat for more (replaces the\n"
      "                            file's own)\n"
      "  --no-web-seeds            no web seeds\n"
      "  -y, --yes                 answer Yes to the question about a tracker the tracker list\n"
      "                            marks DOWN (without a terminal the answer is No)\n"
      "--announce, --backup and --add-tracker take an announce URL (http, https, udp or\n"
      "wss) or a tracker name from the tracker list (any case); any other text, or a --replace-tracker\n"
      "that would leave a tracker no such URL, is a usage error and the file stays as it was.\n"
      "The tracker edits apply in this order: --backup, --announce, --remove-tracker,\n"
      "--replace-tracker, --add-tracker. The main tracker (the announce URL, or without one\n"
      "the first URL of the first tier) stays the main one: --add-tracker appends a tier,\n"
      "--backup and --no-backup keep it. Removing the only tracker leaves a trackerless\n"
      "torrent (DHT, peer exchange or web seeds), and edit says so.\n"
      "Private flag, source, name and files are part of\n"
      "the info hash: when an edit changes it, stderr says so, naming both the v1 and the v2\n"
      "hash of a hybrid torrent (the exit status stays 0). Every edit keeps a v2 torrent's\n"
      "file tree, meta version and piece layers as they are.\n"
      "A FILE saved in place keeps its permissions; a private torrent written to a new OUT\n"
      "is readable by its owner only. A save waits for another program saving FILE, and\n"
      "is refused when FILE changed since it was loaded.\n"
      "A torrent whose load reported errors (other than a missing announce URL) is not saved,\n"
      "nor a rename of one holding BitTorrent v2 data (file tree, meta version, piece layers)\n"
      "that would change the order of its files in the file tree.\n"
      "Without an option (and without -o) there is nothing to change: edit says so and leaves\n"
      "FILE as it was (exit status 0).\n"
      "Exit status: 0 done, 1 a FILE was not saved (or a tracker marked DOWN was declined),\n"
      "2 usage error.\n",
      EditUsage);
}

// A --replace-tracker that leaves a tracker URL empty.
struct EEmptiedTracker {};

// Applies the options to one loaded torrent; raises EBadFileName for a refused name and
// EEmptiedTracker.
void ApplyEdits(TTorrentFile& torrent, const TEditOptions& options, const std::string& file) {
  if (options.Name) {
    CheckTorrentName(*options.Name);
    SetTorrentName(torrent, *options.Name);
  }
  for (const auto& [index, path] : options.Renames) RenameFileEntry(torrent, index, path);
  if (options.Comment) torrent.SetComment(*options.Comment);
  if (options.Date) {
    if (*options.Date)
      torrent.SetCreationUnix(**options.Date);
    else
      torrent.ClearCreationDate();
  }
  if (options.Private) torrent.SetPrivate(*options.Private);
  if (options.Source) torrent.SetSource(*options.Source);
  if (options.WebSeeds) torrent.SetWebSeeds(*options.WebSeeds);

  const bool hadTrackers = !MainTracker(torrent).empty();
  // No tracker list here: every back-up line is an announce URL already.
  if (options.Backup) ReplaceBackupTrackers(torrent, *options.Backup);
  if (options.Announce) ReplaceMainTracker(torrent, *options.Announce);
  for (const auto& url : options.RemoveTrackers)
    if (!RemoveTracker(torrent, url))
      std::fprintf(stderr, "quorvane-cli edit: %s: no tracker %s to remove\n", ForTerminal(file).c_str(),
                   ForTerminal(url).c_str());
  for (const auto& [from, to] : options.ReplaceTrackers) {
    // A tracker replaced by nothing is no removal: the results are checked after the edits, and
    // an empty URL is not written at all.
    for (const auto& url : TrackerUrls(torrent))
      if (to.empty() && !url.empty() && url.size() % from.size() == 0) {
        bool copies = true;
        for (size_t at = 0; at < url.size() && copies; at += from.size())
          copies = url.compare(at, from.size(), from) == 0;
        if (copies) throw EEmptiedTracker();
      }
    if (ReplaceInTrackers(torrent, from, to) == 0)
      std::fprintf(stderr, "quorvane-cli edit: %s: no tracker URL holds \"%s\"\n", ForTerminal(file).c_str(),
                   ForTerminal(from).c_str());
  }
  for (const auto& url : options.AddTrackers) AddTracker(torrent, url);
  if (hadTrackers && MainTracker(torrent).empty())
    std::fprintf(
        stderr,
        "quorvane-cli edit: %s: no tracker is left: the torrent is trackerless (peers from DHT, peer "
        "exchange or web seeds)\n",
        ForTerminal(file).c_str());
  if (options.Name && ToUtf8(*options.Name) != *options.Name)
    std::fprintf(stderr,
                 "quorvane-cli edit: %s: warning: the name is not UTF-8; clients may show it differently\n",
                 ForTerminal(file).c_str());
  for (const auto& rename : options.Renames)
    if (ToUtf8(rename.second) != rename.second)
      std::fprintf(stderr,
                   "quorvane-cli edit: %s: warning: the name for file %zu is not UTF-8; clients may show it "
                   "differently\n",
                   ForTerminal(file).c_str(), rename.first);
}

// -o OUT: a folder, or a name ending in "/", gets NAME.torrent in it, as create names it.
std::string OutputPath(const std::string& out, const TTorrentFile& torrent) {
  struct stat st {};
  if (out.back() != '/' && !(::stat(out.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) return out;
  // A loaded name may be anything: only a plain name becomes a file name.
  if (const std::string problem = ComponentProblem(torrent.Name); !problem.empty())
    throw EStreamError("-o \"" + out + "\": the torrent's name \"" + torrent.Name + "\" " + problem +
                       "; name the file");
  return JoinPath(out, torrent.Name + ".torrent");
}

// One FILE: ExitOk, or the status that refused it (the line on stderr said why).
int EditOne(const std::string& file, const TEditOptions& options) {
  // Saved in place: another edit of the file waits its turn, so neither change is lost.
  std::optional<TFileLock> lock;
  if (options.Out.empty()) {
    try {
      lock.emplace(file, std::chrono::seconds(30), [&file] {
        std::fprintf(stderr, "quorvane-cli edit: %s: waiting for another edit of it to finish\n",
                     ForTerminal(file).c_str());
      });
    } catch (const EStreamError& e) {
      std::fprintf(stderr, "quorvane-cli edit: %s\n", ForTerminal(e.what()).c_str());
      return ExitFailure;
    }
  }
  // What was loaded: the save checks, right before its rename, that FILE still is it.
  const std::optional<TFileStamp> loadedStamp = options.Out.empty() ? StampOf(file) : std::nullopt;
  // On the heap, so it is gone before a copy for standard output is written.
  auto model = std::make_unique<TTorrentFile>();
  TTorrentFile& torrent = *model;
  bool loaded = false;
  if (!LoadTorrentForCommand("edit", file, torrent, loaded)) return ExitFailure;
  // A damaged torrent holds only what could be read: writing it back would
  // lose the rest and make it look clean.
  if (RefuseDamaged("edit", file, torrent, loaded, "not saved")) return ExitFailure;
  if (!options.ChangesSomething() && options.Out.empty()) {
    std::fprintf(stderr, "quorvane-cli edit: nothing to change: %s stays as it was (see edit --help)\n",
                 ForTerminal(file).c_str());
    return ExitOk;
  }

  for (const auto& [index, path] : options.Renames) {
    if (index >= torrent.Files.size()) {
      std::fprintf(stderr, "quorvane-cli edit: --rename: %s has %zu file(s), no file %zu\n",
                   ForTerminal(file).c_str(), torrent.Files.size(), index);
      return ExitUsage;
    }
  }
  const std::vector<std::string> oldTrackers = TrackerUrls(torrent);
  std::optional<std::string> bad;
  try {
    ApplyEdits(torrent, options, file);
    bad = MadeBadTracker(oldTrackers, torrent);
  } catch (const EBadFileName& e) {
    std::fprintf(stderr, "quorvane-cli edit: refused %s\n", e.what());
    return ExitUsage;
  } catch (const EEmptiedTracker&) {
    bad = "";
  }
  if (bad) {
    std::fprintf(stderr,
                 "quorvane-cli edit: %s: --replace-tracker would make the tracker \"%s\", which is not an "
                 "announce URL (http, https, udp or wss); not saved\n",
                 ForTerminal(file).c_str(), ForTerminal(*bad).c_str());
    return ExitUsage;
  }

  if (torrent.HybridRenamed()) {
    std::fprintf(stderr, "quorvane-cli edit: %s: %s\n", ForTerminal(file).c_str(), HybridRenameError);
    return ExitFailure;
  }

  const std::string oldHash = torrent.InfoHashText;
  const std::string oldHashV2 = torrent.InfoHashV2Text;
  // Worked out before the save: writing to standard output lets the model go.
  const std::string newHashV2 = torrent.SavedInfoHashV2Text(torrent.Pieces);
  const bool v2Only = torrent.Format() == TMetaFormat::V2;
  // The writer hashes the info on its way out: the file is never read back.
  std::string newHash;
  const bool toStdout = options.Out == "-";
  if (toStdout) {
    TMemoryStream bytes;
    torrent.SaveToStream(bytes, torrent.Pieces, newHash);
    model.reset();
    // main reports a failed standard output, once.
    if (std::fwrite(bytes.Data().data(), 1, bytes.Data().size(), stdout) != bytes.Data().size() ||
        std::fflush(stdout) != 0)
      return ExitFailure;
  } else {
    const std::string target = options.Out.empty() ? file : OutputPath(options.Out, torrent);
    // A file saved in place keeps its mode; a new copy of a private torrent is its owner's.
    // First, so that what no save can replace (a FIFO, a device) is refused as such.
    TSafeFileStream out(target, !options.Out.empty() && torrent.Private ? 0600 : 07777);
    if (!options.Out.empty() && !options.Force && StampOf(target)) {
      std::fprintf(stderr, "quorvane-cli edit: \"%s\" exists; use --force to replace it\n",
                   ForTerminal(target).c_str());
      return ExitFailure;
    }
    if (loadedStamp) out.ExpectUnchanged(*loadedStamp);
    if (!options.Out.empty() && !options.Force) out.RefuseExisting();
    torrent.SaveToStream(out, torrent.Pieces, newHash);
    out.Commit();
  }

  if (oldHashV2.empty() && newHash != oldHash)
    std::fprintf(
        stderr,
        "quorvane-cli edit: %s: info hash changes: %s -> %s; peers of the old torrent will not find this "
        "one\n",
        ForTerminal(file).c_str(), oldHash.c_str(), newHash.c_str());
  else if (v2Only && newHashV2 != oldHashV2)
    std::fprintf(
        stderr,
        "quorvane-cli edit: %s: v2 info hash changes: %s -> %s; peers of the old torrent will not find "
        "this one\n",
        ForTerminal(file).c_str(), oldHashV2.c_str(), newHashV2.c_str());
  else if (!oldHashV2.empty() && (newHash != oldHash || newHashV2 != oldHashV2))
    std::fprintf(
        stderr,
        "quorvane-cli edit: %s: info hashes change: v1 %s -> %s, v2 %s -> %s; peers of the old torrent "
        "will not find this one\n",
        ForTerminal(file).c_str(), oldHash.c_str(), newHash.c_str(), oldHashV2.c_str(), newHashV2.c_str());
  // A v2-only torrent is known by its v2 hash alone.
  if (v2Only) newHash = newHashV2;
  if (toStdout)
    std::fprintf(stderr, "%s\n", newHash.c_str());
  else if (options.Files.size() > 1)
    std::printf("%s  %s\n", newHash.c_str(), ForTerminal(file).c_str());
  else
    std::printf("%s\n", newHash.c_str());
  return ExitOk;
}

int RunEdit(const std::vector<std::string>& args) {
  const TEditOptions options = ParseOptions(args);
  if (options.Declined) return ExitFailure;
  int status = ExitOk;
  for (const auto& file : options.Files) {
    const int one = EditOne(file, options);
    if (one != ExitOk && status != ExitUsage) status = one;
  }
  std::fflush(stdout);
  return status;
}

const TCliRegistration registration({
    .Name = "edit",
    .Usage = "edit FILE... [-o OUT] [OPTIONS]",
    .Summary = "changes trackers, name, comment, date, file names, private flag, source",
    .Run = RunEdit,
    .PrintHelp = PrintHelp,
    .FullUsage = EditUsage,
});

}  // namespace
