#include "create/Verify.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string_view>
#include <utility>

#include "base/Path.h"
#include "base/Stream.h"
#include "create/HashedStorage.h"
#include "create/PieceHasher.h"
#include "create/Progress.h"

namespace {

constexpr std::string_view CorruptPrefix = "Corrupt File: ";

struct TEntry {
  const TTorrentSubFile* File;
  std::string DataPath;
  int64_t Offset = 0;
  bool Usable = false;  // its bytes can be hashed as they are
  int64_t FoundLength = -1;
  TVerifyState State = TVerifyState::Ok;
};

template <size_t N>
std::string_view HashBytes(const std::array<uint8_t, N>& hash) {
  return {reinterpret_cast<const char*>(hash.data()), N};
}

std::string DataPathOf(const TTorrentFile& torrent, const TTorrentSubFile& file,
                       const std::string& dataPath) {
  if (!torrent.MultiFile) return dataPath;
  std::string path = dataPath;
  if (!file.Path.empty()) {
    path = JoinPath(path, file.Path);
    if (path.back() == '/') path.pop_back();
  }
  return JoinPath(path, file.Name);
}

// v1: runs of files that are all there, each hashed as one stream and
// compared piece by piece.
void VerifyV1Runs(const TTorrentFile& torrent, const std::vector<TEntry>& entries, int64_t pieceCount,
                  TProgress& progress, TVerifyResult& result, const std::function<void(int64_t)>& markBad) {
  const int64_t pieceLength = torrent.PieceLength;
  const int64_t offset = torrent.Layout().TotalLength();
  for (size_t i = 0; i < entries.size() && !result.Aborted;) {
    if (!entries[i].Usable || entries[i].File->Length == 0) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < entries.size() && entries[end].Usable) ++end;
    const int64_t runStart = entries[i].Offset;
    const int64_t firstPiece = runStart / pieceLength;
    // Zeros stand in for the bytes that are not the user's: padding, and the
    // head of a piece whose earlier files are missing, so the pieces line up.
    std::vector<TByteSource> sources;
    std::vector<int64_t> sourceFiles;  // reported as the torrent's own file numbers
    if (const int64_t head = runStart - firstPiece * pieceLength; head > 0) {
      sources.push_back(TByteSource::ZeroBytes(head));
      sourceFiles.push_back(-1);  // no file of the torrent: not reported
    }
    for (size_t j = i; j < end; ++j) {
      const TTorrentSubFile& file = *entries[j].File;
      if (file.Length == 0 || file.Symlink) continue;
      sources.push_back(file.Pad ? TByteSource::ZeroBytes(file.Length, file.Name)
                                 : TByteSource::File(entries[j].DataPath, file.Length));
      sourceFiles.push_back(static_cast<int64_t>(j));
    }
    const int64_t runEnd = end < entries.size() ? entries[end].Offset : offset;
    i = end;

    TQuorvaneBTHashedStorage storage({}, "", true, pieceLength, progress);
    storage.Sources = std::move(sources);
    storage.SourceFiles = std::move(sourceFiles);
    storage.HashPieces();
    const auto hashed = static_cast<int64_t>(storage.Pieces.size());
    const int64_t lastPiece = runEnd > runStart ? (runEnd - 1) / pieceLength : firstPiece - 1;
    for (int64_t p = firstPiece; p <= lastPiece && p < pieceCount; ++p) {
      const int64_t k = p - firstPiece;
      if (k >= hashed) {
        markBad(p);  // not reached: an error or an abort cut the run short
        continue;
      }
      if (storage.Pieces[static_cast<size_t>(k)] != torrent.Pieces[static_cast<size_t>(p)]) markBad(p);
    }
    if (!storage.Error.empty()) result.Errors.push_back(storage.Error);
    if (progress.IsAborted()) result.Aborted = true;
    progress.SetOverallPosition(std::min(pieceCount, lastPiece + 1));
  }
}

// v2 and hybrid: every file holding data starts on a piece boundary, so the
// files that are there are hashed as one stream, each followed by zeros up
// to the next boundary where the torrent has them (a hybrid's pads), and
// their pieces line up with the torrent's. One read gives all the torrent
// holds: a hybrid's SHA-1 pieces, and each file's merkle root and layer.
// A piece bad by either hash is bad.
void VerifyAligned(const TTorrentFile& torrent, const std::vector<TEntry>& entries, int64_t pieceCount,
                   TProgress& progress, TVerifyResult& result, const std::function<void(int64_t)>& markBad) {
  const TFileLayout& layout = torrent.Layout();
  const int64_t pieceLength = torrent.PieceLength;
  const bool hybrid = torrent.Format() == TMetaFormat::Hybrid;
  struct TChecked {
    size_t Entry;
    size_t Source;
    int64_t StreamPiece;  // its first piece in the stream
    int64_t FirstPiece;   // and in the torrent
  };
  std::vector<TByteSource> sources;
  std::vector<TChecked> checked;
  int64_t streamed = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    const TTorrentSubFile& file = *entries[i].File;
    if (!entries[i].Usable || file.Length == 0 || file.Pad || file.Symlink) continue;
    checked.push_back({i, sources.size(), streamed / pieceLength, layout.PiecesOf(i).First});
    sources.push_back(TByteSource::File(entries[i].DataPath, file.Length));
    streamed += file.Length;
    // Only the end of the data may end a piece short.
    const int64_t gap = (pieceLength - streamed % pieceLength) % pieceLength;
    if (gap > 0 && entries[i].Offset + file.Length < layout.TotalLength()) {
      sources.push_back(TByteSource::ZeroBytes(gap));
      streamed += gap;
    }
  }
  if (checked.empty()) return;

  // A hybrid's pieces whose v1 hash did not match, ascending, until their
  // file's v2 hashes tell the data's fault from the torrent's.
  std::vector<int64_t> v1Mismatches;
  size_t v1Judged = 0;

  // The file's v2 hashes against the torrent's: piece by piece where the
  // torrent holds its layer, else the whole file by its root.
  auto checkFile = [&](const TPieceHasher& hasher, const TChecked& file) {
    const TMerkleFileHashes hashes = hasher.FileHashes(file.Source);
    const std::string_view layer = torrent.PieceLayer(file.Entry);
    const TPieceRange pieces = layout.PiecesOf(file.Entry);
    const bool byLayer = !layer.empty() && layer.size() == hashes.PieceLayer.size() * hashes.Root.size();
    const bool rootMatches = HashBytes(hashes.Root) == entries[file.Entry].File->PiecesRoot();
    auto v2Matches = [&](int64_t piece) {
      if (!byLayer) return rootMatches;
      const auto k = static_cast<size_t>(piece - pieces.First);
      return layer.substr(k * 32, 32) == HashBytes(hashes.PieceLayer[k]);
    };
    for (int64_t p = pieces.First; p <= pieces.Last && p < pieceCount; ++p)
      if (!v2Matches(p)) markBad(p);
    // Data the tree vouches for is whole: a v1 hash that disagrees is the torrent's fault.
    std::vector<TPieceRange> wrong;
    for (; v1Judged < v1Mismatches.size() && v1Mismatches[v1Judged] <= pieces.Last; ++v1Judged) {
      const int64_t p = v1Mismatches[v1Judged];
      if (p < pieces.First || !v2Matches(p)) continue;
      if (!wrong.empty() && wrong.back().Last + 1 == p)
        wrong.back().Last = p;
      else
        wrong.push_back({p, p});
    }
    if (wrong.empty()) return;
    std::string text;
    for (const TPieceRange& range : wrong) {
      text += text.empty() ? "" : ", ";
      text += std::to_string(range.First);
      if (range.Last != range.First) text += "-" + std::to_string(range.Last);
    }
    const bool one = wrong.size() == 1 && wrong[0].First == wrong[0].Last;
    const TTorrentSubFile& data = *entries[file.Entry].File;
    result.MetadataFaults.push_back({.Index = file.Entry,
                                     .PathInTorrent = data.Path + data.Name,
                                     .What = "\"info.pieces\" disagrees with the file tree for " +
                                             std::string(one ? "piece " : "pieces ") + text +
                                             ", where the data matches the tree",
                                     .ByRootAlone = false});
  };

  size_t whole = 0;  // checked files before this one were read to their end
  try {
    TPieceHasher hasher(std::move(sources), pieceLength, 0, TSha1Lanes::ChosenPath(),
                        hybrid ? THashPlan::Hybrid : THashPlan::V2);
    hasher.Start();
    const size_t sourceCount = checked.back().Source + 1;
    size_t closed = 0;
    size_t current = 0;  // the checked file piece index lies in
    auto showFile = [&] {
      progress.FileStarted(static_cast<int64_t>(checked[current].Entry),
                           LastPathComponent(entries[checked[current].Entry].DataPath));
    };
    showFile();
    for (int64_t index = 0; index < hasher.PieceCount(); ++index) {
      if (current + 1 < checked.size() && checked[current + 1].StreamPiece <= index) {
        ++current;  // files start pieces: one at most begins here
        showFile();
      }
      const TPieceHasher::TPieceState state = WaitForPiece(hasher, index, progress);
      if (progress.IsAborted()) {
        result.Aborted = true;
        break;
      }
      if (state == TPieceHasher::TPieceState::Failed) {
        result.Errors.push_back(hasher.ErrorOf(index));
        break;
      }
      const int64_t piece = checked[current].FirstPiece + index - checked[current].StreamPiece;
      if (hybrid && piece < pieceCount &&
          torrent.Pieces[static_cast<size_t>(piece)] != HashBytes(hasher.Digest(index)))
        v1Mismatches.push_back(piece);
      for (; closed < sourceCount && hasher.LastPieceOf(closed) <= index; ++closed) hasher.FileDone(closed);
      for (; whole < checked.size() && checked[whole].Source < closed; ++whole)
        checkFile(hasher, checked[whole]);
      progress.SetOverallPosition(std::min(piece + 1, pieceCount));
      progress.ProcessEvents();
    }
  } catch (const std::exception& e) {
    result.Errors.push_back(e.what());
  }
  // Files an error or an abort cut short were not checked: they count as damaged.
  for (; whole < checked.size(); ++whole) {
    const TPieceRange pieces = layout.PiecesOf(checked[whole].Entry);
    for (int64_t p = pieces.First; p <= pieces.Last && p < pieceCount; ++p) markBad(p);
  }
}

}  // namespace

const char* VerifyStateName(TVerifyState state) {
  switch (state) {
    case TVerifyState::Missing:
      return "missing";
    case TVerifyState::WrongSize:
      return "size";
    case TVerifyState::Damaged:
      return "damaged";
    case TVerifyState::Ok:
      break;
  }
  return "ok";
}

std::string DefaultDataPath(const std::string& torrentPath, const TTorrentFile& torrent) {
  const size_t slash = torrentPath.rfind('/');
  if (slash == std::string::npos) return torrent.Name;
  return JoinPath(torrentPath.substr(0, slash + 1), torrent.Name);
}

TVerifyResult VerifyData(const TTorrentFile& torrent, const std::string& dataPath, TProgress& progress) {
  TVerifyResult result;
  const int64_t pieceLength = torrent.PieceLength;
  const int64_t pieceCount = torrent.PieceCount();
  result.PieceCount = pieceCount;
  if (pieceLength <= 0) throw EStreamError("Invalid piece length");

  const TFileLayout& layout = torrent.Layout();
  const int64_t offset = layout.TotalLength();
  std::vector<TEntry> entries;
  for (size_t i = 0; i < layout.size(); ++i) {
    const TTorrentSubFile* file = &layout[i];
    TEntry entry{
        .File = file, .DataPath = DataPathOf(torrent, *file, dataPath), .Offset = layout.Span(i).Offset};
    if (file->Pad || file->Symlink || file->Length == 0) {
      entry.Usable = true;  // padding reads as zeros; links and empty files hold nothing
    } else {
      struct stat st {};
      if (::stat(entry.DataPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        entry.State = TVerifyState::Missing;
      } else {
        entry.FoundLength = st.st_size;
        entry.Usable = st.st_size == file->Length;
        if (!entry.Usable) entry.State = TVerifyState::WrongSize;
      }
    }
    entries.push_back(std::move(entry));
  }

  // One bit a piece: a torrent of ten million pieces with no data at all
  // would cost hundreds of MiB as a tree of numbers.
  std::vector<bool> bad(static_cast<size_t>(pieceCount));
  auto markBad = [&bad](int64_t p) { bad[static_cast<size_t>(p)] = true; };
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].Usable) continue;
    const TPieceRange pieces = layout.PiecesOf(i);
    for (int64_t p = pieces.First; p <= pieces.Last && p < pieceCount; ++p) markBad(p);
  }

  for (const TLayerFault& fault : torrent.LayerFaults()) {
    std::string what = fault.Line;
    if (what.starts_with(CorruptPrefix)) what.erase(0, CorruptPrefix.size());
    result.MetadataFaults.push_back(
        {fault.File, layout[fault.File].Path + layout[fault.File].Name, std::move(what)});
  }

  progress.SetOverallMax(pieceCount);
  progress.SetOverallPosition(0);
  if (torrent.Format() != TMetaFormat::V1) {
    VerifyAligned(torrent, entries, pieceCount, progress, result, markBad);
  } else {
    VerifyV1Runs(torrent, entries, pieceCount, progress, result, markBad);
  }
  // Data beyond the pieces, or pieces beyond the data, cannot match.
  for (int64_t p = offset > 0 ? (offset - 1) / pieceLength + 1 : 0; p < pieceCount; ++p) markBad(p);
  // Sized once: growing by doubling would hold twice the list for a moment.
  result.BadPieces.reserve(static_cast<size_t>(std::count(bad.begin(), bad.end(), true)));
  for (int64_t p = 0; p < pieceCount; ++p)
    if (bad[static_cast<size_t>(p)]) result.BadPieces.push_back(p);

  for (size_t index = 0; index < entries.size(); ++index) {
    const TEntry& entry = entries[index];
    const TTorrentSubFile& file = *entry.File;
    if (file.Pad) continue;
    TVerifiedFile problem;
    problem.Index = index;
    problem.PathInTorrent = file.Path + file.Name;
    problem.DataPath = entry.DataPath;
    problem.State = entry.State;
    problem.Length = file.Length;
    problem.FoundLength = entry.FoundLength;
    if (file.Length > 0) {
      const TPieceRange pieces = layout.PiecesOf(index);
      for (int64_t p = pieces.First; p <= pieces.Last && p < pieceCount; ++p) {
        if (!bad[static_cast<size_t>(p)]) continue;
        const int64_t from = std::max(p * pieceLength, entry.Offset) - entry.Offset;
        const int64_t to = std::min((p + 1) * pieceLength, entry.Offset + file.Length) - 1 - entry.Offset;
        if (!problem.BadRanges.empty() && problem.BadRanges.back().Last + 1 == from)
          problem.BadRanges.back().Last = to;
        else
          problem.BadRanges.push_back({from, to});
        if (problem.FirstBadPiece < 0) problem.FirstBadPiece = p;
        problem.LastBadPiece = p;
      }
    }
    if (problem.State == TVerifyState::Ok && !problem.BadRanges.empty())
      problem.State = TVerifyState::Damaged;
    if (problem.State != TVerifyState::Ok) result.Problems.push_back(std::move(problem));
  }
  return result;
}
