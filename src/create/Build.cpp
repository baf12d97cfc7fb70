#include "create/Build.h"

#include <algorithm>
#include <stdexcept>

#include "base/Stream.h"
#include "base/Text.h"
#include "create/HashedStorage.h"
#include "create/PieceLength.h"
#include "create/Progress.h"
#include "digest/MessageDigests.h"
#include "metainfo/BDecode.h"

namespace {

// Resets a pointer when the scope ends, also by an exception.
template <typename T>
struct TResetOnExit {
  std::unique_ptr<T>& ptr;
  ~TResetOnExit() { ptr.reset(); }
};

void SetTrackers(TTorrentFile& torrent, const std::vector<std::vector<std::string>>& tiers) {
  const bool oneUrlEach =
      std::all_of(tiers.begin(), tiers.end(), [](const auto& tier) { return tier.size() <= 1; });
  if (!oneUrlEach) {
    torrent.SetAnnounceTiers(tiers);
    return;
  }
  // One URL a tier is what the writer makes of a main tracker and its back-ups.
  bool first = true;
  for (const auto& tier : tiers) {
    if (tier.empty()) continue;
    if (!first) torrent.BackupTrackers.push_back(tier.front());
    first = false;
  }
}

// The SHA-1 of the "info" value as it stands in the bytes.
std::string InfoHashOf(const std::string& bytes) {
  for (const TRawEntry& entry : RawEntries(bytes))
    if (entry.Key == "info") return Sha1Bytes(entry.Value);
  return {};
}

}  // namespace

std::string NoDataMessage(const std::string& name) {
  return "\"" + name + "\" holds no data (no files, or only empty ones); a torrent needs at least one byte.";
}

int32_t ChoosePieceLength(int64_t totalBytes, std::optional<int32_t> custom) {
  if (custom) return PieceLengthAtMost(*custom);
  if (totalBytes > 2'000'000'000) return 2'097'152;
  if (totalBytes > 1'000'000'000) return 1'048'576;
  if (totalBytes > 450'000'000) return 524'288;
  return 262'144;
}

TTorrentBuilder::TTorrentBuilder(TProgress& progress) : progress_(progress) {}

TTorrentBuilder::~TTorrentBuilder() = default;

TBuildResult TTorrentBuilder::Build(const TBuildRequest& request) {
  if (request.Mode == TBuildMode::SingleFile && request.Files.size() != 1)
    throw std::invalid_argument("a single-file torrent is made of exactly one file");
  TBuildResult result;
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
    torrent.Files.push_back(std::move(entry));
  }
  torrent.PieceLength = ChoosePieceLength(total, request.PieceLength);
  SetTrackers(torrent, request.Trackers);
  torrent.Private = request.Private;
  torrent.Source = request.Source;
  torrent.WebSeeds = request.WebSeeds;
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

  const std::string basePath = multiFile || request.Files.empty() ? "" : request.Files.front().Source;
  storage_ = std::make_unique<TQuorvaneBTHashedStorage>(torrent.Files, basePath, multiFile, false,
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
  TMemoryStream bytes;
  torrent.SaveToStream(bytes, storage_->Pieces);
  result.Bytes = bytes.TakeData();
  torrent.Pieces = std::move(storage_->Pieces);
  // As a load of the bytes would give them.
  torrent.TotalLength = total;
  torrent.FileCount = static_cast<int32_t>(torrent.Files.size());
  result.InfoHash = InfoHashOf(result.Bytes);
  result.InfoHashText = BytesToHex(result.InfoHash, 20);
  torrent.InfoHash = result.InfoHash;
  torrent.InfoHashText = result.InfoHashText;

  if (!request.Output.empty()) {
    TSafeFileStream out(request.Output);
    WriteRaw(out, result.Bytes);
    out.Commit();
    result.Written = request.Output;
  }
  result.Outcome = TBuildOutcome::Built;
  return result;
}
