#include "create/Build.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "base/Path.h"
#include "base/Stream.h"
#include "base/Text.h"
#include "create/HashedStorage.h"
#include "create/PieceHasher.h"
#include "create/PieceLength.h"
#include "create/Progress.h"
#include "digest/MessageDigests.h"
#include "metainfo/BDecode.h"
#include "metainfo/TorrentEdits.h"
#include "metainfo/V2InfoWriter.h"

namespace {

// Resets a pointer when the scope ends, also by an exception.
template <typename T>
struct TResetOnExit {
  std::unique_ptr<T>& ptr;
  ~TResetOnExit() { ptr.reset(); }
};

// The torrent's path of a file: its folders and its name, or the torrent's
// name for a single file.
std::vector<std::string> TreePath(const TBuildRequest& request, const TBuildFile& file) {
  if (request.Mode == TBuildMode::SingleFile) return {request.Name};
  std::vector<std::string> path;
  size_t start = 0;
  while (start < file.Folder.size()) {
    size_t end = file.Folder.find('/', start);
    if (end == std::string::npos) end = file.Folder.size();
    if (end > start) path.push_back(file.Folder.substr(start, end - start));
    start = end + 1;
  }
  path.push_back(file.Name);
  return path;
}

// Everything around the info, written as a v1 torrent's save writes it:
// keys in byte order, the empty ones left out.
std::string WriteV2Torrent(const TTorrentFile& torrent, const TBuildRequest& request, std::string_view info,
                           std::string_view layers) {
  TMemoryStream out;
  WriteRaw(out, "d");
  if (const std::string announce = torrent.Announce(); !announce.empty()) {
    WriteString(out, "announce");
    WriteString(out, announce);
  }
  if (const TTrackerTiers tiers = torrent.AnnounceTiers(); !tiers.empty()) {
    WriteString(out, "announce-list");
    WriteStringLists(out, tiers);
  }
  if (!request.Comment.empty()) {
    WriteString(out, "comment");
    WriteString(out, request.Comment);
  }
  if (request.CreationDate) {
    WriteString(out, "creation date");
    WriteInteger(out, *request.CreationDate);
  }
  WriteString(out, "info");
  WriteRaw(out, info);
  // Present even when empty, as other writers leave it.
  WriteString(out, "piece layers");
  WriteRaw(out, layers);
  if (!request.WebSeeds.empty()) {
    WriteString(out, "url-list");
    WriteStringList(out, request.WebSeeds);
  }
  WriteRaw(out, "e");
  return out.TakeData();
}

}  // namespace

const char* const V2PieceLengthMessage =
    "A v2 or hybrid torrent needs a piece length that is a power of two of at least 16 KiB.";

std::string NoDataMessage(const std::string& name) {
  return "\"" + name + "\" holds no data (no files, or only empty ones); a torrent needs at least one byte.";
}

int32_t ChoosePieceLength(int64_t totalBytes, std::optional<int32_t> custom) {
  if (custom) return IsPieceLengthAllowed(*custom) ? *custom : PieceLengthAtMost(*custom);
  return AutoPieceLength(totalBytes, WindowAutoPieceCap);
}

TTorrentBuilder::TTorrentBuilder(TProgress& progress) : progress_(progress) {}

TTorrentBuilder::~TTorrentBuilder() = default;

TBuildRequest TTorrentBuilder::WithoutOwnOutputs(TBuildRequest request) const {
  // `create -f -o Self/ Self` would put its previous torrent into the new one,
  // and one torrent per entry into a folder inside the data its earlier ones.
  std::vector<TFileStamp> outputs = written_;
  if (const auto output = request.Output.empty() ? std::nullopt : StampOf(request.Output))
    outputs.push_back(*output);
  for (const std::string& planned : plannedOutputs_)
    if (const auto output = StampOf(planned)) outputs.push_back(*output);
  if (outputs.empty()) return request;
  std::erase_if(request.Files, [&outputs](const TBuildFile& file) {
    // Only a file of an output's size can be one: most files need no stat.
    if (std::none_of(outputs.begin(), outputs.end(),
                     [&file](const TFileStamp& output) { return output.Size == file.Length; }))
      return false;
    const auto stamp = StampOf(file.Source);
    return stamp && std::any_of(outputs.begin(), outputs.end(), [&stamp](const TFileStamp& output) {
             return output.Device == stamp->Device && output.Inode == stamp->Inode;
           });
  });
  return request;
}

TBuildResult TTorrentBuilder::Build(const TBuildRequest& asked) {
  if (asked.Mode == TBuildMode::SingleFile && asked.Files.size() != 1)
    throw std::invalid_argument("a single-file torrent is made of exactly one file");
  TBuildResult result;
  const TBuildRequest request = WithoutOwnOutputs(asked);
  if (request.Files.size() != asked.Files.size() && request.Mode == TBuildMode::SingleFile) {
    result.Error = "\"" + asked.Files.front().Source + "\" is the torrent's own output file";
    return result;
  }
  if (request.Format != TMetaFormat::V1 && request.PieceLength && !IsV2PieceLength(*request.PieceLength)) {
    result.Error = V2PieceLengthMessage;
    return result;
  }
  result.Torrent = std::make_unique<TTorrentFile>();
  TTorrentFile& torrent = *result.Torrent;
  const bool multiFile = request.Mode == TBuildMode::Folder;
  int64_t total = 0;
  for (const auto& file : request.Files) total += file.Length;

  const std::string announce =
      request.Trackers.empty() || request.Trackers.front().empty() ? "" : request.Trackers.front().front();
  torrent.SetInfo(announce, request.Name, request.Comment, "", multiFile ? 0 : total, multiFile);
  for (const auto& file : request.Files) {
    auto entry = std::make_unique<TTorrentSubFile>(multiFile ? file.Name : request.Name,
                                                   multiFile ? file.Folder : "", file.Length, 0);
    entry->SetSourcePath(file.Source);
    torrent.AddFile(std::move(entry));
  }
  torrent.SetPieceLength(ChoosePieceLength(total, request.PieceLength));
  // The first URL of the first tier is the main tracker.
  const bool oneUrlEach = std::all_of(request.Trackers.begin(), request.Trackers.end(),
                                      [](const auto& tier) { return tier.size() <= 1; });
  if (oneUrlEach) {
    // A main tracker and its back-ups, each back-up a tier of its own.
    std::vector<std::string> backups;
    for (size_t i = 1; i < request.Trackers.size(); ++i)
      if (!request.Trackers[i].empty()) backups.push_back(request.Trackers[i].front());
    torrent.SetBackupTrackers(backups);
  } else {
    SetTrackersKeepingMain(torrent, request.Trackers, announce);
  }
  torrent.SetPrivate(request.Private);
  torrent.SetSource(request.Source);
  torrent.SetWebSeeds(request.WebSeeds);
  if (request.CreationDate)
    torrent.SetCreationUnix(*request.CreationDate);
  else
    torrent.ClearCreationDate();

  if (total <= 0) {
    result.Outcome = TBuildOutcome::NoData;
    return result;
  }
  // Found now rather than after hours of hashing.
  if (!request.Output.empty()) TSafeFileStream::CheckCreatable(request.Output);

  progress_.SetCaption(std::string(ProgressCaptionPrefix) + request.Output);
  progress_.Show();
  progress_.SetRunSize(total, torrent.PieceLength);
  progress_.SetOverallMax(total / torrent.PieceLength + 1);
  progress_.SetOverallPosition(0);

  if (request.Format != TMetaFormat::V1) {
    BuildV2(request, result);
    return result;
  }
  const std::string basePath = multiFile || request.Files.empty() ? "" : request.Files.front().Source;
  storage_ = std::make_unique<TQuorvaneBTHashedStorage>(torrent.Files, basePath, multiFile,
                                                        torrent.PieceLength, progress_);
  TResetOnExit<TQuorvaneBTHashedStorage> resetStorage{storage_};
  storage_->Threads = request.Threads;
  storage_->HashPieces();

  if (progress_.IsAborted()) {
    result.Outcome = TBuildOutcome::Aborted;
    return result;
  }
  if (!storage_->Error.empty()) {
    // A torrent with missing or wrong pieces is worse than none.
    result.Outcome = TBuildOutcome::Failed;
    result.Error = storage_->Error;
    return result;
  }
  torrent.SetPieces(std::move(storage_->Pieces));
  TMemoryStream bytes;
  std::string infoHashText;
  torrent.SaveToStream(bytes, torrent.Pieces, infoHashText);
  result.Bytes = bytes.TakeData();
  result.InfoHashText = infoHashText;
  for (size_t i = 0; i + 1 < infoHashText.size(); i += 2)
    result.InfoHash += static_cast<char>(std::stoi(infoHashText.substr(i, 2), nullptr, 16));
  torrent.InfoHash = result.InfoHash;
  torrent.InfoHashText = result.InfoHashText;

  Finish(request, result);
  return result;
}

void TTorrentBuilder::Finish(const TBuildRequest& request, TBuildResult& result) {
  if (!request.Output.empty()) {
    // A private torrent's announce URL carries the user's passkey.
    TSafeFileStream out(request.Output, request.Private ? 0600 : 07777);
    if (request.KeepExisting) out.RefuseExisting();
    WriteRaw(out, result.Bytes);
    // Ctrl-C during the write still means nothing written.
    if (!out.CommitUnless([this] { return progress_.IsAborted(); })) {
      result.Outcome = TBuildOutcome::Aborted;
      result.Bytes.clear();
      return;
    }
    result.Written = request.Output;
    if (const auto stamp = StampOf(out.FinalTarget())) written_.push_back(*stamp);
  }
  result.Outcome = TBuildOutcome::Built;
}

void TTorrentBuilder::BuildV2(const TBuildRequest& request, TBuildResult& result) {
  const TTorrentFile& torrent = *result.Torrent;
  const int64_t pieceLength = torrent.PieceLength;
  const bool hybrid = request.Format == TMetaFormat::Hybrid;
  TV2InfoRequest info;
  info.Format = request.Format;
  info.Name = request.Name;
  info.PieceLength = pieceLength;
  info.SingleFile = request.Mode == TBuildMode::SingleFile;
  info.Private = request.Private;
  info.Source = request.Source;
  std::map<std::vector<std::string>, std::string> sourceOf;
  for (const TBuildFile& file : request.Files) {
    TTreeFile entry;
    entry.Path = TreePath(request, file);
    entry.Length = file.Length;
    if (file.Executable) entry.Attr = "x";
    sourceOf[entry.Path] = file.Source;
    info.Files.push_back(std::move(entry));
  }
  SortTreeOrder(info.Files);

  // The stream is the hybrid's v1 list, pads included: each file with data
  // then starts on a piece boundary, as the merkle trees need.
  std::vector<TByteSource> sources;
  std::vector<size_t> sourceOfFile;  // the source index of each tree file
  for (const TV1FileEntry& entry : HybridV1Files(info.Files, pieceLength)) {
    if (entry.Pad) {
      sources.push_back(TByteSource::ZeroBytes(entry.Length, ".pad"));
    } else {
      sourceOfFile.push_back(sources.size());
      sources.push_back(TByteSource::File(sourceOf[entry.Path], entry.Length));
    }
  }
  std::vector<std::string> names;
  std::vector<int64_t> lengths;
  names.reserve(sources.size());
  lengths.reserve(sources.size());
  for (const TByteSource& source : sources) {
    names.push_back(source.Path);
    lengths.push_back(source.Length);
  }

  progress_.SetFinishedEnabled(false);
  progress_.SetAbortEnabled(true);
  struct TRunDone {
    TProgress& progress;
    ~TRunDone() {
      progress.SetFinishedEnabled(true);
      progress.SetAbortEnabled(false);
      progress.FocusFinished();
      progress.SetOverallPosition(progress.OverallMax());
      progress.SetFilePosition(progress.FileMax());
    }
  } runDone{progress_};

  try {
    TPieceHasher hasher(std::move(sources), pieceLength, request.Threads, TSha1Lanes::ChosenPath(),
                        hybrid ? THashPlan::Hybrid : THashPlan::V2);
    hasher.Start();
    size_t closed = 0;  // sources before this one were read to their end
    size_t shown = names.size();
    // The file bar starts again with each file, as in a v1 run.
    auto showFile = [&] {
      if (closed >= names.size() || closed == shown) return;
      shown = closed;
      progress_.FileStarted(static_cast<int64_t>(closed), LastPathComponent(names[closed]));
      progress_.SetFileMax(lengths[closed] / pieceLength + 1);
      progress_.SetFilePosition(0);
    };
    showFile();
    for (int64_t index = 0; index < hasher.PieceCount(); ++index) {
      const TPieceHasher::TPieceState state = WaitForPiece(hasher, index, progress_);
      if (progress_.IsAborted()) {
        result.Outcome = TBuildOutcome::Aborted;
        return;
      }
      if (state == TPieceHasher::TPieceState::Failed) {
        result.Error = hasher.ErrorOf(index);
        return;
      }
      if (hybrid) {
        const auto& digest = hasher.Digest(index);
        info.V1Pieces.append(reinterpret_cast<const char*>(digest.data()), digest.size());
      }
      progress_.SetOverallPosition(std::min(index + 1, progress_.OverallMax()));
      // The piece is finished in the file being read, which may end with it.
      progress_.SetFilePosition(std::min(progress_.FilePosition() + 1, progress_.FileMax()));
      for (; closed < names.size() && hasher.LastPieceOf(closed) <= index; ++closed) hasher.FileDone(closed);
      showFile();
      progress_.ProcessEvents();
    }
    for (size_t i = 0; i < info.Files.size(); ++i) {
      TTreeFile& file = info.Files[i];
      if (file.Length == 0) continue;
      const TMerkleFileHashes hashes = hasher.FileHashes(sourceOfFile[i]);
      file.PiecesRoot.assign(reinterpret_cast<const char*>(hashes.Root.data()), hashes.Root.size());
      file.PieceLayer.clear();
      for (const TSha256Hash& hash : hashes.PieceLayer)
        file.PieceLayer.append(reinterpret_cast<const char*>(hash.data()), hash.size());
    }
  } catch (const std::exception& e) {
    result.Error = e.what();
    return;
  }

  std::string infoBytes;
  std::string layers;
  try {
    infoBytes = WriteV2Info(info);
    layers = WritePieceLayers(info.Files, pieceLength);
  } catch (const EFileTreeError& e) {
    result.Error = e.what();
    return;
  }
  result.Bytes = WriteV2Torrent(torrent, request, infoBytes, layers);
  if (hybrid) {
    result.InfoHash = Sha1Bytes(infoBytes);
    result.InfoHashText = BytesToHex(result.InfoHash, 999);
  }
  result.InfoHashV2 = InfoHashV2(infoBytes);
  result.InfoHashV2Text = BytesToHex(result.InfoHashV2, 999);

  // The model as a load of the bytes made sees them: the tree's order, roots and layers.
  auto loaded = std::make_unique<TTorrentFile>();
  TMemoryStream in(result.Bytes);
  if (loaded->LoadFromStream(in)) result.Torrent = std::move(loaded);

  Finish(request, result);
}
