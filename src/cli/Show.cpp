// quorvane-cli show [--json] FILE|-: everything a .torrent holds, for people or for scripts.
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "base/Stream.h"
#include "base/Terminal.h"
#include "base/Text.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "metainfo/Magnet.h"
#include "metainfo/PathRules.h"
#include "metainfo/TorrentFile.h"

namespace {

const char* const ShowUsage = "show [--json] FILE|-";

std::string JsonStringOrNull(std::string_view s) { return s.empty() ? "null" : JsonString(s); }

// [["url", ...], ...]: one line per tier.
std::string JsonTiers(const std::vector<std::vector<std::string>>& tiers) {
  if (tiers.empty()) return "[]";
  std::string out = "[\n";
  for (size_t i = 0; i < tiers.size(); ++i) {
    out += "    [";
    for (size_t j = 0; j < tiers[i].size(); ++j) out += (j ? ", " : "") + JsonString(tiers[i][j]);
    out += i + 1 < tiers.size() ? "],\n" : "]\n";
  }
  return out + "  ]";
}

// Only a torrent with an info hash has a magnet link.
std::string MagnetOf(const TTorrentFile& torrent) {
  if (torrent.InfoHashText.empty() && torrent.InfoHashV2Text.empty()) return {};
  return MagnetLink(torrent, TMagnetHashes{torrent.InfoHashText, torrent.InfoHashV2Text});
}

// "" for a v1 torrent, which has no piece layers to speak of.
const char* PieceLayersText(const TTorrentFile& torrent) {
  if (torrent.Format() == TMetaFormat::V1) return "";
  switch (torrent.PieceLayers()) {
    case TPieceLayersState::Complete:
      return "complete";
    case TPieceLayersState::Partial:
      return "partial";
    case TPieceLayersState::Absent:
      break;
  }
  return "absent";
}

// A hybrid's total is its files' own bytes, as its v2 part counts them; a v1 torrent's stays the
// sum of its list, pads and all, as it always was.
int64_t TotalLength(const TTorrentFile& torrent) {
  return torrent.Format() == TMetaFormat::Hybrid ? torrent.DataLength() : torrent.TotalLength;
}

std::string LocalDateText(int64_t unixSeconds) {
  const time_t t = static_cast<time_t>(unixSeconds);
  struct tm local;
  char text[64];
  if (localtime_r(&t, &local) && std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &local) > 0)
    return text;
  return std::to_string(unixSeconds) + " (Unix time)";  // beyond what the calendar functions take
}

std::string FullPath(const TTorrentSubFile& file) { return file.Path + file.Name; }

// The back-up trackers are those besides the main one, which clients may also find in the tiers.
std::vector<std::string> ShownBackupTrackers(const TTorrentFile& torrent) {
  std::vector<std::string> urls = torrent.BackupTrackers();
  if (const std::string main = torrent.Announce(); !main.empty()) std::erase(urls, main);
  return urls;
}

bool Trackerless(const TTorrentFile& torrent) {
  return torrent.Announce().empty() && torrent.AnnounceTiers().empty();
}

// What the loader said that is no damage: a missing announce URL is normal
// for a torrent found through DHT, peer exchange or web seeds.
std::vector<std::string> NoteLines(const TTorrentFile& torrent) {
  const std::vector<std::string> damage = torrent.DamageLines();
  std::vector<std::string> notes;
  for (const auto& line : torrent.Errors)
    if (std::find(damage.begin(), damage.end(), line) == damage.end()) notes.push_back(line);
  return notes;
}

const char* const TrackerlessText = "none (DHT, peer exchange or web seeds)";

// A path no client may use as it stands is marked, so nobody takes it for one.
std::string ShownPath(const TTorrentSubFile& file) {
  if (file.UnsafePath) return "[unsafe path] \"" + ForTerminal(FullPath(file), false) + "\"";
  std::string text = ForTerminal(FullPath(file), false);
  if (file.Pad) return "[padding] " + text;
  if (file.Symlink) text += " -> " + ForTerminal(file.SymlinkPath(), false);
  return text;
}

std::string ShownName(const TTorrentFile& torrent) {
  std::string name = ForTerminal(torrent.Name, false);
  if (!ComponentProblem(torrent.Name).empty()) return "[unsafe name] \"" + name + "\"";
  return name;
}

void PrintJson(const TTorrentFile& torrent) {
  std::string out = "{\n";
  out += "  \"announce\": " + JsonString(torrent.Announce()) + ",\n";
  out += "  \"backup_trackers\": " + JsonStringArray(ShownBackupTrackers(torrent), "  ") + ",\n";
  out += "  \"name\": " + JsonString(torrent.Name) + ",\n";
  if (ToUtf8(torrent.Name) != torrent.Name)
    out +=
        "  \"name_bytes\": " + JsonString(BytesToHex(torrent.Name, static_cast<int>(torrent.Name.size()))) +
        ",\n";
  out += "  \"info_hash\": " + JsonString(torrent.InfoHashText) + ",\n";
  out += "  \"info_hash_v2\": " + JsonString(torrent.InfoHashV2Text) + ",\n";
  out += "  \"format\": " + JsonString(MetaFormatName(torrent.Format())) + ",\n";
  out += "  \"piece_layers\": " + JsonString(PieceLayersText(torrent)) + ",\n";
  out += "  \"comment\": " + JsonString(torrent.Comment) + ",\n";
  out += "  \"creation_date\": " +
         (torrent.HasCreationDate() ? std::to_string(torrent.CreationUnix()) : "null") + ",\n";
  out += "  \"piece_length\": " + std::to_string(torrent.PieceLength) + ",\n";
  out += "  \"piece_count\": " + std::to_string(torrent.PieceCount()) + ",\n";
  out += "  \"total_length\": " + std::to_string(TotalLength(torrent)) + ",\n";
  out += std::string("  \"multi_file\": ") + (torrent.MultiFile ? "true" : "false") + ",\n";
  out += "  \"files\": ";
  if (torrent.Files.empty()) {
    out += "[]";
  } else {
    out += "[\n";
    for (size_t i = 0; i < torrent.Files.size(); ++i) {
      const auto& file = *torrent.Files[i];
      const std::string path = FullPath(file);
      out += "    {\"path\": " + JsonString(path) + ", \"length\": " + std::to_string(file.Length);
      // The exact bytes of a path that is not UTF-8, which "path" can only show with U+FFFD.
      if (ToUtf8(path) != path)
        out += ", \"path_bytes\": " + JsonString(BytesToHex(path, static_cast<int>(path.size())));
      // Padding stays in the list, so indices stay those of the info dictionary.
      if (file.Pad) out += ", \"pad\": true";
      if (file.Symlink) out += ", \"symlink\": " + JsonString(file.SymlinkPath());
      if (file.UnsafePath) out += ", \"unsafe\": true";
      if (torrent.Format() != TMetaFormat::V1)
        out += ", \"pieces_root\": " + JsonString(BytesToHex(file.PiecesRoot(), 999));
      out += "}";
      out += i + 1 < torrent.Files.size() ? ",\n" : "\n";
    }
    out += "  ]";
  }
  out += ",\n";
  out += "  \"announce_list\": " + JsonTiers(torrent.AnnounceTiers()) + ",\n";
  out += std::string("  \"private\": ") + (torrent.Private ? "true" : "false") + ",\n";
  out += "  \"source\": " + JsonStringOrNull(torrent.Source) + ",\n";
  out += "  \"web_seeds\": " + JsonStringArray(torrent.WebSeeds, "  ") + ",\n";
  out += "  \"created_by\": " + JsonStringOrNull(torrent.CreatedBy) + ",\n";
  out += "  \"magnet\": " + JsonStringOrNull(MagnetOf(torrent)) + ",\n";
  out += "  \"errors\": " + JsonStringArray(torrent.DamageLines(), "  ") + ",\n";
  out += "  \"notes\": " + JsonStringArray(NoteLines(torrent), "  ") + "\n";
  out += "}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
}

// "Label:          value", with further lines of a value lined up under the first.
constexpr int FieldWidth = 17;

void AppendIndented(std::string& out, const std::string& value) {
  for (char c : value) {
    out += c;
    if (c == '\n') out.append(FieldWidth, ' ');
  }
}

void PrintField(std::string& out, const char* label, const std::string& value) {
  char head[64];
  std::snprintf(head, sizeof head, "%-*s", FieldWidth, label);
  out += head;
  AppendIndented(out, value);
  out += '\n';
}

// A text that may be most of the file (a comment of 200 MiB) is cleaned and
// written a slice at a time, so no whole copy of it is made. Slices end after
// a byte below 0x80 other than CR: never inside a UTF-8 sequence or a CR LF.
void PrintLongField(std::string& out, const char* label, std::string_view text) {
  constexpr size_t Slice = size_t{1} << 20;
  if (text.size() <= Slice) {
    PrintField(out, label, ForTerminal(text, true));
    return;
  }
  PrintField(out, label, "");
  out.pop_back();
  while (!text.empty()) {
    size_t cut = std::min(text.size(), Slice);
    while (cut < text.size() && (static_cast<unsigned char>(text[cut - 1]) >= 0x80 || text[cut - 1] == '\r'))
      ++cut;
    AppendIndented(out, ForTerminal(text.substr(0, cut), true));
    text.remove_prefix(cut);
    std::fwrite(out.data(), 1, out.size(), stdout);
    out.clear();
  }
  out += '\n';
}

void PrintHuman(const TTorrentFile& torrent) {
  std::string out;
  if (Trackerless(torrent)) {
    PrintField(out, "Trackers:", TrackerlessText);
  } else {
    PrintField(
        out, "Announce URL:",
        torrent.Announce().empty() ? "none (clients use the tiers)" : ForTerminal(torrent.Announce(), false));
    std::string backups;
    const std::vector<std::string> backupTrackers = ShownBackupTrackers(torrent);
    for (const auto& url : backupTrackers) backups += (backups.empty() ? "" : "\n") + ForTerminal(url, false);
    PrintField(out, "Backup trackers:", backupTrackers.empty() ? "none" : backups);
    std::string tiers;
    const auto announceTiers = torrent.AnnounceTiers();
    for (size_t i = 0; i < announceTiers.size(); ++i) {
      tiers += (i ? "\n" : "") + std::to_string(i + 1) + ":";
      for (const auto& url : announceTiers[i]) tiers += " " + ForTerminal(url, false);
    }
    PrintField(out, "Tiers:", tiers.empty() ? "none" : tiers);
  }
  PrintField(out, "Name:", ShownName(torrent));
  PrintField(out, "Info hash:", torrent.InfoHashText.empty() ? "N/A" : torrent.InfoHashText);
  // A v1 torrent's lines stay as they always were.
  if (torrent.Format() != TMetaFormat::V1) {
    PrintField(out, "Info hash v2:", torrent.InfoHashV2Text.empty() ? "N/A" : torrent.InfoHashV2Text);
    PrintField(out, "Format:", MetaFormatName(torrent.Format()));
    PrintField(out, "Piece layers:", PieceLayersText(torrent));
  }
  PrintLongField(out, "Comment:", torrent.Comment);
  PrintField(out,
             "Creation date:", torrent.HasCreationDate() ? LocalDateText(torrent.CreationUnix()) : "N/A");
  PrintField(out, "Piece length:", std::to_string(torrent.PieceLength));
  PrintField(out, "Piece count:", std::to_string(torrent.PieceCount()));
  PrintField(out, "Total length:", std::to_string(TotalLength(torrent)));
  PrintField(out, "Type:", torrent.MultiFile ? "multi-file" : "single-file");
  PrintField(out, "Private:", torrent.Private ? "yes" : "no");
  PrintField(out, "Source:", torrent.Source.empty() ? "none" : ForTerminal(torrent.Source, false));
  std::string seeds;
  for (const auto& url : torrent.WebSeeds) seeds += (seeds.empty() ? "" : "\n") + ForTerminal(url, false);
  PrintField(out, "Web seeds:", seeds.empty() ? "none" : seeds);
  PrintField(out, "Created by:", torrent.CreatedBy.empty() ? "N/A" : ForTerminal(torrent.CreatedBy, false));
  const std::string magnet = MagnetOf(torrent);
  PrintField(out, "Magnet:", magnet.empty() ? "N/A" : magnet);
  const auto pads =
      std::count_if(torrent.Files.begin(), torrent.Files.end(), [](const auto& file) { return file->Pad; });
  PrintField(out, "Files:",
             std::to_string(torrent.Files.size() - static_cast<size_t>(pads)) +
                 (pads ? " (and " + std::to_string(pads) + " padding)" : ""));
  // Numbered as edit --rename counts them, padding included.
  const int indexWidth =
      static_cast<int>(std::to_string(torrent.Files.empty() ? 0 : torrent.Files.size() - 1).size());
  for (size_t i = 0; i < torrent.Files.size(); ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "  %*zu  %15" PRId64 "  ", indexWidth, i, torrent.Files[i]->Length);
    out += line + ShownPath(*torrent.Files[i]) + "\n";
  }
  if (const auto damage = torrent.DamageLines(); !damage.empty()) {
    out += "Errors:\n";
    for (const auto& error : damage) out += "  " + ForTerminal(error, false) + "\n";
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
}

void PrintHelp() {
  std::fprintf(stdout,
               "Usage: quorvane-cli %s\n"
               "\n"
               "Prints everything FILE (a .torrent) holds: announce URL, back-up trackers and\n"
               "their tiers, name, info hash (and for BitTorrent v2 and hybrid torrents the v2\n"
               "info hash, the format and whether the piece layers are there), comment,\n"
               "creation date (local time), piece length\n"
               "and count, total length, private flag, source, web seeds, the program that made\n"
               "it, its magnet link, the file list and what the loader found wrong. A torrent\n"
               "without trackers shows \"Trackers: none (DHT, peer exchange or web seeds)\".\n"
               "FILE \"-\"\n"
               "reads the torrent from standard input. Each file's line starts with its INDEX\n"
               "for edit's \"--rename INDEX=PATH\" (from 0, padding files included).\n"
               "\n"
               "  --json   one JSON object with the keys announce, backup_trackers, name,\n"
               "           name_bytes (hex, only for a name that is not UTF-8),\n"
               "           info_hash (\"\" for v2-only), info_hash_v2 (\"\" for v1), format\n"
               "           (v1, v2 or hybrid), piece_layers (complete, partial, absent; \"\" for\n"
               "           v1), comment, creation_date (Unix seconds or null),\n"
               "           piece_length, piece_count, total_length, multi_file, files\n"
               "           ([{path, length}], with \"path_bytes\" (hex) for a path that is not\n"
               "           UTF-8, \"pad\": true for padding, \"symlink\" for a\n"
               "           link's target, \"unsafe\": true for a path no client may use,\n"
               "           \"pieces_root\" in v2 and hybrid torrents (hex, \"\" for none); a\n"
               "           file's position in the list is its INDEX for edit),\n"
               "           announce_list (the tiers as lists), private, source (or null),\n"
               "           web_seeds, created_by (or null), magnet (or null), errors (what\n"
               "           is damaged) and notes (what the loader said that is no damage,\n"
               "           such as a missing announce URL); backup_trackers leaves out\n"
               "           the main tracker; texts are UTF-8, invalid bytes U+FFFD, every\n"
               "           control character and bidirectional control as \\uXXXX\n"
               "  --help   this text\n"
               "\n"
               "Exit status: 0 loaded, 1 not loaded or damaged (what was read is still printed;\n"
               "a missing announce URL alone is no damage), 2 usage error.\n",
               ShowUsage);
}

// "show -": the bytes of a pipe or a redirected file. Past the loader's limit
// only one byte more is read, so the loader refuses the torrent as too large.
bool LoadFromStandardInput(TTorrentFile& torrent, bool& loaded) {
  std::string bytes;
  // Address space only: pages are taken as the bytes arrive, and never copied.
  bytes.reserve(static_cast<size_t>(TTorrentFile::MaxFileSize) + 1);
  try {
    constexpr int64_t chunk = 1 << 20;
    while (static_cast<int64_t>(bytes.size()) <= TTorrentFile::MaxFileSize) {
      const size_t at = bytes.size();
      const int64_t want = std::min(chunk, TTorrentFile::MaxFileSize + 1 - static_cast<int64_t>(at));
      bytes.resize(at + static_cast<size_t>(want));
      const int64_t got = ReadFully(STDIN_FILENO, bytes.data() + at, want, "standard input");
      bytes.resize(at + static_cast<size_t>(got));
      if (got < want) break;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quorvane-cli show: %s\n", ForTerminal(e.what()).c_str());
    return false;
  }
  TMemoryStream stream(std::move(bytes));
  loaded = torrent.LoadFromStream(stream);
  return true;
}

const TOptionSpec ShowOptions[] = {
    {.Long = "json"},
    {.Short = 'h', .Long = "help"},
};

int RunShow(const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, ShowOptions);
  if (parsed.Has("help")) {  // "--he": a prefix
    PrintHelp();
    return ExitOk;
  }
  const bool json = parsed.Has("json");
  const std::vector<std::string>& files = parsed.Operands;
  if (files.size() != 1) throw EUsage(files.empty() ? "no FILE given" : "only one FILE at a time");
  const std::string& path = files.front();

  TTorrentFile torrent;
  bool loaded = false;
  const bool fromStdin = path == "-";
  if (fromStdin ? !LoadFromStandardInput(torrent, loaded)
                : !LoadTorrentForCommand("show", path, torrent, loaded))
    return ExitFailure;
  const std::string shown = fromStdin ? "standard input" : ForTerminal(path);
  if (json)
    PrintJson(torrent);
  else
    PrintHuman(torrent);
  std::fflush(stdout);
  if (!loaded) {
    std::fprintf(stderr, "quorvane-cli show: %s could not be loaded\n", shown.c_str());
    return ExitFailure;
  }
  if (const auto damage = torrent.DamageLines(); !damage.empty()) {
    std::fprintf(stderr, "quorvane-cli show: %s is damaged (%zu error line%s)\n", shown.c_str(),
                 damage.size(), damage.size() == 1 ? "" : "s");
    return ExitFailure;
  }
  return ExitOk;
}

const TCliRegistration registration({
    .Name = "show",
    .Usage = ShowUsage,
    .Summary = "prints everything a .torrent holds",
    .Run = RunShow,
    .PrintHelp = PrintHelp,
});

}  // namespace
