// quorvane-cli verify FILE [DATA]: checks data against a torrent's pieces with
// the creation's hashing storage.

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/Terminal.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/ProgressLine.h"
#include "create/Verify.h"
#include "metainfo/TorrentFile.h"

namespace {

const char* const VerifyUsage = "verify [--json] [-q] FILE [DATA]";

const TOptionSpec VerifyOptions[] = {
    {.Long = "json"},
    {.Short = 'q', .Long = "quiet"},
};

void PrintHelp() {
  std::printf(
      "Usage: quorvane-cli %s\n"
      "\n"
      "Checks the data of FILE (a .torrent) piece by piece. DATA is the file of a\n"
      "single-file torrent or the folder holding the files of a multi-file one; by\n"
      "default the torrent's name beside FILE. Prints each damaged, missing or wrongly\n"
      "sized file with its bad byte ranges and the pieces they lie in (a piece shared by\n"
      "two files marks both). A hybrid torrent is checked by its v1 pieces and its v2\n"
      "hashes, a v2-only one by its files' piece layers; a file of one piece, or one\n"
      "whose piece layer the torrent lacks, by its merkle root, so all of it is named.\n"
      "A piece layer that does not reduce to its file's root is a metadata fault: it\n"
      "is printed first, and that file is checked by its root alone. So is a hybrid's\n"
      "v1 piece hash that disagrees with data its v2 hashes vouch for.\n"
      "\n"
      "  --json       one JSON object: ok, data, piece_count, bad_pieces, files ([{index,\n"
      "               path, state (missing, size or damaged), length, found_length,\n"
      "               bad_ranges ([[first, last], ...]), first_bad_piece, last_bad_piece}])\n"
      "               metadata_faults ([{index, path, fault}]) and errors\n"
      "  -q, --quiet  no progress\n"
      "\n"
      "Exit status: 0 every piece matches, 1 damage, missing data, a metadata fault or\n"
      "an error, 2 usage error, 130 interrupted.\n",
      VerifyUsage);
}

std::string RangesText(const std::vector<TByteRange>& ranges, const char* separator) {
  std::string text;
  for (const auto& range : ranges)
    text += (text.empty() ? "" : separator) + std::to_string(range.First) + "-" + std::to_string(range.Last);
  return text;
}

std::string PiecesText(const TVerifiedFile& file) {
  if (file.FirstBadPiece < 0) return "";
  if (file.FirstBadPiece == file.LastBadPiece) return "piece " + std::to_string(file.FirstBadPiece);
  return "pieces " + std::to_string(file.FirstBadPiece) + "-" + std::to_string(file.LastBadPiece);
}

void PrintText(const TVerifyResult& result) {
  // The torrent's own faults first: they say how far the rest can be trusted.
  for (const auto& fault : result.MetadataFaults) {
    if (fault.ByRootAlone)
      std::printf("metadata fault: %s (%s checked by its root alone)\n", ForTerminal(fault.What).c_str(),
                  ForTerminal(fault.PathInTorrent).c_str());
    else
      std::printf("metadata fault: %s: %s\n", ForTerminal(fault.PathInTorrent).c_str(),
                  ForTerminal(fault.What).c_str());
  }
  for (const auto& file : result.Problems) {
    const std::string path = ForTerminal(file.PathInTorrent);
    const std::string pieces = PiecesText(file);
    switch (file.State) {
      case TVerifyState::Missing:
        std::printf("missing: %s (%s)\n", path.c_str(), pieces.c_str());
        break;
      case TVerifyState::WrongSize:
        std::printf("wrong size: %s: %lld bytes, the torrent says %lld (%s)\n", path.c_str(),
                    static_cast<long long>(file.FoundLength), static_cast<long long>(file.Length),
                    pieces.c_str());
        break;
      default:
        std::printf("damaged: %s: bytes %s (%s)\n", path.c_str(), RangesText(file.BadRanges, ", ").c_str(),
                    pieces.c_str());
    }
  }
  for (const auto& error : result.Errors) std::printf("error: %s\n", ForTerminal(error).c_str());
  if (result.BadPieces.empty() && result.Errors.empty())
    std::printf("all %lld pieces match\n", static_cast<long long>(result.PieceCount));
  else
    std::printf("%zu of %lld pieces do not match\n", result.BadPieces.size(),
                static_cast<long long>(result.PieceCount));
}

void PrintJson(const TVerifyResult& result, const std::string& data) {
  std::string out = "{\n";
  out += std::string("  \"ok\": ") + (result.Ok() ? "true" : "false") + ",\n";
  out += "  \"data\": " + JsonString(data) + ",\n";
  out += "  \"piece_count\": " + std::to_string(result.PieceCount) + ",\n";
  out += "  \"bad_pieces\": [";
  // Written as it goes: ten million bad pieces would make a text of 100 MB.
  for (size_t i = 0; i < result.BadPieces.size(); ++i) {
    out += (i ? ", " : "") + std::to_string(result.BadPieces[i]);
    if (out.size() >= 65536) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  out += "],\n  \"files\": [";
  for (size_t i = 0; i < result.Problems.size(); ++i) {
    const auto& file = result.Problems[i];
    out += i ? ",\n    " : "\n    ";
    out += "{\"index\": " + std::to_string(file.Index) + ", \"path\": " + JsonString(file.PathInTorrent) +
           ", \"state\": \"" + VerifyStateName(file.State) +
           "\", \"length\": " + std::to_string(file.Length) +
           ", \"found_length\": " + (file.FoundLength < 0 ? "null" : std::to_string(file.FoundLength)) +
           ", \"bad_ranges\": [";
    for (size_t r = 0; r < file.BadRanges.size(); ++r)
      out += (r ? ", [" : "[") + std::to_string(file.BadRanges[r].First) + ", " +
             std::to_string(file.BadRanges[r].Last) + "]";
    out += "], \"first_bad_piece\": " + std::to_string(file.FirstBadPiece) +
           ", \"last_bad_piece\": " + std::to_string(file.LastBadPiece) + "}";
  }
  out += result.Problems.empty() ? "],\n" : "\n  ],\n";
  out += "  \"metadata_faults\": [";
  for (size_t i = 0; i < result.MetadataFaults.size(); ++i) {
    const auto& fault = result.MetadataFaults[i];
    out += (i ? ",\n    " : "\n    ") + std::string("{\"index\": ") + std::to_string(fault.Index) +
           ", \"path\": " + JsonString(fault.PathInTorrent) + ", \"fault\": " + JsonString(fault.What) + "}";
  }
  out += result.MetadataFaults.empty() ? "],\n" : "\n  ],\n";
  out += "  \"errors\": " + JsonStringArray(result.Errors, "  ") + "\n}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
}

int RunVerify(const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, VerifyOptions);
  if (parsed.Operands.empty()) throw EUsage("no FILE given");
  if (parsed.Operands.size() > 2) throw EUsage("FILE and at most one DATA");
  const std::string& path = parsed.Operands[0];

  TTorrentFile torrent;
  bool loaded = false;
  if (!LoadTorrentForCommand("verify", path, torrent, loaded)) return ExitFailure;
  if (RefuseDamaged("verify", path, torrent, loaded, "nothing to check against", true)) return ExitFailure;
  const std::string data = parsed.Operands.size() > 1 ? parsed.Operands[1] : DefaultDataPath(path, torrent);

  TInterruptGuard guard;
  TCliProgress progress(!parsed.Has("quiet") && ::isatty(STDERR_FILENO));
  progress.SetRunSize(torrent.TotalLength, torrent.PieceLength);
  progress.SetCaption("Verifying: " + path);
  progress.Show();
  const TVerifyResult result = VerifyData(torrent, data, progress);
  progress.ClearLine();
  if (result.Aborted) {
    std::fputs("Operation Aborted!\n", stderr);
    return 130;
  }
  if (parsed.Has("json"))
    PrintJson(result, data);
  else
    PrintText(result);
  std::fflush(stdout);
  return result.Ok() ? ExitOk : ExitFailure;
}

const TCliRegistration registration({
    .Name = "verify",
    .Usage = VerifyUsage,
    .Summary = "checks data against a .torrent's pieces",
    .Run = RunVerify,
    .PrintHelp = PrintHelp,
});

}  // namespace
