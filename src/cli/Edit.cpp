// quorvane-cli edit: the View/Edit page's edits from the command line.

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/Stream.h"
#include "cli/Commands.h"
#include "metainfo/TorrentEdits.h"
#include "metainfo/TorrentFile.h"

namespace {

constexpr const char* EditUsage =
    "edit FILE [-o OUT] [--announce URL] [--backup URL]... [--no-backup] [--name TEXT] [--comment TEXT] "
    "[--date now|none|UNIXSECONDS] [--rename INDEX=PATH]...";

struct TEditOptions {
  std::string File;
  std::string Out;
  std::optional<std::string> Announce;
  std::optional<std::vector<std::string>> Backup;  // nothing = keep the loaded ones
  std::optional<std::string> Name;
  std::optional<std::string> Comment;
  std::optional<std::optional<int64_t>> Date;  // set: the Unix seconds, or none for no date
  std::vector<std::pair<std::size_t, std::string>> Renames;
};

class EUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool ParseInteger(const std::string& text, long long& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && end == text.c_str() + text.size();
}

std::optional<int64_t> ParseDate(const std::string& text) {
  if (text == "now") return DateTimeToUnix(NowUtc());
  if (text == "none") return std::nullopt;
  long long seconds = 0;
  if (!ParseInteger(text, seconds))
    throw EUsage("--date takes now, none or Unix seconds (a signed 64-bit number), not \"" + text + "\"");
  return seconds;
}

std::pair<std::size_t, std::string> ParseRename(const std::string& text) {
  const auto eq = text.find('=');
  long long index = -1;
  if (eq == std::string::npos || !ParseInteger(text.substr(0, eq), index) || index < 0)
    throw EUsage("--rename takes INDEX=PATH with a file index counted from 0, not \"" + text + "\"");
  return {static_cast<std::size_t>(index), text.substr(eq + 1)};
}

TEditOptions ParseOptions(const std::vector<std::string>& args) {
  TEditOptions options;
  bool noBackup = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw EUsage(arg + " needs a value");
      return args[++i];
    };
    if (arg == "-o" || arg == "--output") {
      options.Out = value();
    } else if (arg == "--announce") {
      options.Announce = value();
    } else if (arg == "--backup") {
      if (!options.Backup) options.Backup.emplace();
      options.Backup->push_back(value());
    } else if (arg == "--no-backup") {
      noBackup = true;
    } else if (arg == "--name") {
      options.Name = value();
    } else if (arg == "--comment") {
      options.Comment = value();
    } else if (arg == "--date") {
      options.Date = ParseDate(value());
    } else if (arg == "--rename") {
      options.Renames.push_back(ParseRename(value()));
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw EUsage("unknown option " + arg);
    } else if (options.File.empty()) {
      options.File = arg;
    } else {
      throw EUsage("more than one FILE given");
    }
  }
  if (options.File.empty()) throw EUsage("no FILE given");
  if (noBackup && options.Backup) throw EUsage("--backup and --no-backup exclude each other");
  if (noBackup) options.Backup.emplace();
  return options;
}

void PrintHelp() {
  std::printf(
      "Usage: quorvane-cli %s\n\n"
      "Changes a .torrent and writes it back to FILE, or to OUT. Prints the new info hash.\n"
      "  --announce URL       the main tracker\n"
      "  --backup URL         a back-up tracker; repeat for more, in the order to try them\n"
      "                       (without --backup or --no-backup the file's own are kept)\n"
      "  --no-backup          no back-up trackers\n"
      "  --name TEXT          the torrent's name (also the file name of a single-file torrent)\n"
      "  --comment TEXT       the comment\n"
      "  --date now|none|N    creation date: now, none, or N Unix seconds (any 64-bit number)\n"
      "  --rename INDEX=PATH  file INDEX (from 0) gets PATH; a PATH without \"/\" keeps the folders;\n"
      "                       the one file of a single-file torrent is its name\n"
      "A torrent whose load reported errors (other than a missing announce URL) is not saved.\n",
      EditUsage);
}

int RunEdit(const std::vector<std::string>& args) {
  for (const auto& arg : args) {
    if (arg == "--help" || arg == "-h") {
      PrintHelp();
      return ExitOk;
    }
  }
  TEditOptions options;
  try {
    options = ParseOptions(args);
  } catch (const EUsage& e) {
    std::fprintf(stderr, "quorvane-cli edit: %s\nUsage: quorvane-cli %s\n", e.what(), EditUsage);
    return ExitUsage;
  }

  TTorrentFile torrent;
  bool loaded = false;
  if (!LoadTorrentForCommand("edit", options.File, torrent, loaded)) return ExitFailure;
  // A damaged torrent holds only what could be read: writing it back would
  // lose the rest and make it look clean.
  const auto damage = torrent.DamageLines();
  if (!loaded || torrent.Files.empty() || !damage.empty()) {
    const std::string first = damage.empty() ? "no file list" : damage.front();
    std::fprintf(stderr, "quorvane-cli edit: %s is damaged, not saved: %s%s\n", options.File.c_str(),
                 first.c_str(),
                 damage.size() > 1 ? (" (and " + std::to_string(damage.size() - 1) + " more)").c_str() : "");
    return ExitFailure;
  }

  for (const auto& [index, path] : options.Renames) {
    if (index >= torrent.Files.size()) {
      std::fprintf(stderr, "quorvane-cli edit: --rename: %s has %zu file(s), no file %zu\n",
                   options.File.c_str(), torrent.Files.size(), index);
      return ExitUsage;
    }
  }

  try {
    if (options.Name) {
      CheckTorrentName(*options.Name);
      SetTorrentName(torrent, *options.Name);
    }
    for (const auto& [index, path] : options.Renames) RenameFileEntry(torrent, index, path);
  } catch (const EBadFileName& e) {
    std::fprintf(stderr, "quorvane-cli edit: refused %s\n", e.what());
    return ExitUsage;
  }
  if (options.Announce) torrent.Announce = *options.Announce;
  if (options.Comment) torrent.Comment = *options.Comment;
  if (options.Date) {
    if (*options.Date)
      torrent.SetCreationUnix(**options.Date);
    else
      torrent.CreationDate = 0;
  }
  // No tracker list here: every back-up line is an announce URL already.
  if (options.Backup) RebuildBackupTrackers(torrent, true, *options.Backup, nullptr);

  const std::string target = options.Out.empty() ? options.File : options.Out;
  {
    TSafeFileStream out(target);
    torrent.SaveToStream(out, torrent.Pieces);
    out.Commit();
  }

  TTorrentFile written;
  TFileStream check(target, TFileMode::OpenRead);
  written.LoadFromStream(check);
  std::printf("%s\n", written.InfoHashText.c_str());
  return ExitOk;
}

const TCliRegistration registration({"edit", "edit FILE [-o OUT] [OPTIONS]",
                                     "changes trackers, name, comment, date, file names", RunEdit});

}  // namespace
