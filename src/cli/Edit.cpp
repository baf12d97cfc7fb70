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
  std::optional<TDateTime> Date;
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

TDateTime ParseDate(const std::string& text) {
  if (text == "now") return NowUtc();
  if (text == "none") return 0;
  long long seconds = 0;
  // The file keeps creation dates as signed 32-bit Unix seconds.
  if (!ParseInteger(text, seconds) || seconds < INT32_MIN || seconds > INT32_MAX)
    throw EUsage("--date takes now, none or Unix seconds between -2147483648 and 2147483647, not \"" + text +
                 "\"");
  return UnixToDateTime(seconds);
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
      "  --date now|none|N    creation date: now, none, or N Unix seconds\n"
      "  --rename INDEX=PATH  file INDEX (from 0) gets PATH; a PATH without \"/\" keeps the folders\n",
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
  {
    TFileStream in(options.File, TFileMode::OpenRead);
    loaded = torrent.LoadFromStream(in);
  }
  // A load that stopped half-way holds only part of the file list; writing
  // it back would lose the rest.
  if (!loaded || torrent.Files.empty()) {
    std::fprintf(stderr, "quorvane-cli edit: %s could not be loaded\n", options.File.c_str());
    for (const auto& error : torrent.Errors) std::fprintf(stderr, "  %s\n", error.c_str());
    return ExitFailure;
  }

  for (const auto& [index, path] : options.Renames) {
    if (index >= torrent.Files.size()) {
      std::fprintf(stderr, "quorvane-cli edit: --rename: %s has %zu file(s), no file %zu\n",
                   options.File.c_str(), torrent.Files.size(), index);
      return ExitUsage;
    }
  }

  if (options.Announce) torrent.Announce = *options.Announce;
  if (options.Name) SetTorrentName(torrent, *options.Name);
  if (options.Comment) torrent.Comment = *options.Comment;
  if (options.Date) torrent.CreationDate = *options.Date;
  for (const auto& [index, path] : options.Renames) RenameFileEntry(torrent, index, path);
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
