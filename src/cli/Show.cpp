// quorvane-cli show [--json] FILE: everything a .torrent holds, for people or for scripts.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "base/Terminal.h"
#include "cli/Commands.h"
#include "metainfo/TorrentFile.h"

namespace {

const char* const ShowUsage = "show [--json] FILE";

std::string JsonString(std::string_view s) {
  static const char hexDigits[] = "0123456789abcdef";
  std::string out = "\"";
  for (char ch : ToUtf8(s)) {
    const unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\\u00";
          out += hexDigits[c >> 4];
          out += hexDigits[c & 15];
        } else {
          out += ch;
        }
    }
  }
  out += '"';
  return out;
}

std::string JsonStringArray(const std::vector<std::string>& items, const char* indent) {
  if (items.empty()) return "[]";
  std::string out = "[\n";
  for (size_t i = 0; i < items.size(); ++i) {
    out += indent;
    out += "  " + JsonString(items[i]);
    out += i + 1 < items.size() ? ",\n" : "\n";
  }
  return out + indent + "]";
}

bool HasCreationDate(const TTorrentFile& torrent) { return torrent.CreationDate != 0; }

std::string LocalDateText(int64_t unixSeconds) {
  const time_t t = static_cast<time_t>(unixSeconds);
  struct tm local;
  char text[64];
  if (localtime_r(&t, &local) && std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &local) > 0)
    return text;
  return std::to_string(unixSeconds) + " (Unix time)";  // beyond what the calendar functions take
}

std::string FullPath(const TTorrentSubFile& file) { return file.Path + file.Name; }

void PrintJson(const TTorrentFile& torrent) {
  std::string out = "{\n";
  out += "  \"announce\": " + JsonString(torrent.Announce) + ",\n";
  out += "  \"backup_trackers\": " + JsonStringArray(torrent.BackupTrackers, "  ") + ",\n";
  out += "  \"name\": " + JsonString(torrent.Name) + ",\n";
  out += "  \"info_hash\": " + JsonString(torrent.InfoHashText) + ",\n";
  out += "  \"comment\": " + JsonString(torrent.Comment) + ",\n";
  out += "  \"creation_date\": " +
         (HasCreationDate(torrent) ? std::to_string(DateTimeToUnix(torrent.CreationDate)) : "null") + ",\n";
  out += "  \"piece_length\": " + std::to_string(torrent.PieceLength) + ",\n";
  out += "  \"piece_count\": " + std::to_string(torrent.Pieces.size()) + ",\n";
  out += "  \"total_length\": " + std::to_string(torrent.TotalLength) + ",\n";
  out += std::string("  \"multi_file\": ") + (torrent.MultiFile ? "true" : "false") + ",\n";
  out += "  \"files\": ";
  if (torrent.Files.empty()) {
    out += "[]";
  } else {
    out += "[\n";
    for (size_t i = 0; i < torrent.Files.size(); ++i) {
      const auto& file = *torrent.Files[i];
      out += "    {\"path\": " + JsonString(FullPath(file)) + ", \"length\": " + std::to_string(file.Length) +
             "}";
      out += i + 1 < torrent.Files.size() ? ",\n" : "\n";
    }
    out += "  ]";
  }
  out += ",\n";
  out += "  \"errors\": " + JsonStringArray(torrent.Errors, "  ") + "\n";
  out += "}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
}

// "Label:          value", with further lines of a value lined up under the first.
void PrintField(std::string& out, const char* label, const std::string& value) {
  constexpr int width = 17;
  char head[64];
  std::snprintf(head, sizeof head, "%-*s", width, label);
  out += head;
  for (char c : value) {
    out += c;
    if (c == '\n') out.append(width, ' ');
  }
  out += '\n';
}

void PrintHuman(const TTorrentFile& torrent) {
  std::string out;
  PrintField(out, "Announce URL:", ForTerminal(torrent.Announce, false));
  std::string backups;
  for (const auto& url : torrent.BackupTrackers)
    backups += (backups.empty() ? "" : "\n") + ForTerminal(url, false);
  PrintField(out, "Backup trackers:", torrent.BackupTrackers.empty() ? "none" : backups);
  PrintField(out, "Name:", ForTerminal(torrent.Name, false));
  PrintField(out, "Info hash:", torrent.InfoHashText.empty() ? "N/A" : torrent.InfoHashText);
  PrintField(out, "Comment:", ForTerminal(torrent.Comment, true));
  PrintField(out, "Creation date:",
             HasCreationDate(torrent) ? LocalDateText(DateTimeToUnix(torrent.CreationDate)) : "N/A");
  PrintField(out, "Piece length:", std::to_string(torrent.PieceLength));
  PrintField(out, "Piece count:", std::to_string(torrent.Pieces.size()));
  PrintField(out, "Total length:", std::to_string(torrent.TotalLength));
  PrintField(out, "Type:", torrent.MultiFile ? "multi-file" : "single-file");
  PrintField(out, "Files:", std::to_string(torrent.Files.size()));
  for (const auto& file : torrent.Files) {
    char length[32];
    std::snprintf(length, sizeof length, "  %15" PRId64 "  ", file->Length);
    out += length + ForTerminal(FullPath(*file), false) + "\n";
  }
  if (!torrent.Errors.empty()) {
    out += "Errors:\n";
    for (const auto& error : torrent.Errors) out += "  " + ForTerminal(error, false) + "\n";
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
}

void PrintShowHelp(FILE* to) {
  std::fprintf(to,
               "Usage: quorvane-cli %s\n"
               "\n"
               "Prints everything FILE (a .torrent) holds: announce URL, back-up trackers, name,\n"
               "info hash, comment, creation date (local time), piece length and count, total\n"
               "length, the file list and what the loader found wrong.\n"
               "\n"
               "  --json   one JSON object with the keys announce, backup_trackers, name,\n"
               "           info_hash, comment, creation_date (Unix seconds or null),\n"
               "           piece_length, piece_count, total_length, multi_file, files\n"
               "           ([{path, length}]) and errors; texts are UTF-8, invalid bytes U+FFFD\n"
               "  --help   this text\n"
               "\n"
               "Exit status: 0 loaded, 1 not loaded (what was read is still printed), 2 usage error.\n",
               ShowUsage);
}

int UsageError(const std::string& what) {
  std::fprintf(stderr, "quorvane-cli show: %s\nUsage: quorvane-cli %s\n", what.c_str(), ShowUsage);
  return ExitUsage;
}

int RunShow(const std::vector<std::string>& args) {
  bool json = false, endOfOptions = false;
  std::vector<std::string> files;
  for (const auto& arg : args) {
    if (!endOfOptions && arg == "--") {
      endOfOptions = true;
    } else if (!endOfOptions && (arg == "--help" || arg == "-h")) {
      PrintShowHelp(stdout);
      return ExitOk;
    } else if (!endOfOptions && arg == "--json") {
      json = true;
    } else if (!endOfOptions && arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option \"" + arg + "\"");
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 1) return UsageError(files.empty() ? "no FILE given" : "only one FILE at a time");
  const std::string& path = files.front();

  // A folder opens for reading on Linux but reads fail; say what is wrong instead.
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    std::fprintf(stderr, "quorvane-cli show: %s: %s\n", path.c_str(), std::strerror(errno));
    return ExitFailure;
  }
  if (S_ISDIR(info.st_mode)) {
    std::fprintf(stderr, "quorvane-cli show: %s: Is a directory\n", path.c_str());
    return ExitFailure;
  }

  TFileStream file(path, TFileMode::OpenReadAny);  // raises with the system's reason
  TTorrentFile torrent;
  bool loaded;
  if (S_ISREG(info.st_mode)) {
    loaded = torrent.LoadFromStream(file);
  } else {
    // A pipe or device has no size to seek to: read it here, a byte past the loader's limit at
    // most, so that the loader still refuses what is too large.
    constexpr int64_t readLimit = (int64_t(256) << 20) + 1;
    std::string bytes;
    char chunk[65536];
    for (int64_t n;
         int64_t(bytes.size()) < readLimit &&
         (n = file.Read(chunk, std::min<int64_t>(sizeof chunk, readLimit - int64_t(bytes.size())))) > 0;) {
      if (bytes.size() + size_t(n) > bytes.capacity()) {
        // Grow through readLimit / 2^k, so the string never holds more than the limit
        // (plain doubling would end at twice it).
        size_t next = readLimit;
        while (next / 2 >= bytes.size() + size_t(n) && next / 2 >= (1 << 20)) next /= 2;
        bytes.reserve(next);
      }
      bytes.append(chunk, size_t(n));
    }
    TMemoryStream memory(std::move(bytes));
    loaded = torrent.LoadFromStream(memory);
  }
  if (json)
    PrintJson(torrent);
  else
    PrintHuman(torrent);
  std::fflush(stdout);
  return loaded ? ExitOk : ExitFailure;
}

const TCliRegistration registration({
    .Name = "show",
    .Usage = ShowUsage,
    .Summary = "prints everything a .torrent holds",
    .Run = RunShow,
});

}  // namespace
