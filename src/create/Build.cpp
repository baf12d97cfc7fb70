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
#include "metainfo/TorrentEdits.h"

namespace {

// Resets a pointer when the scope ends, also by an exception.
template <typename T>
struct TResetOnExit {
  std::unique_ptr<T>& ptr;
  ~TResetOnExit() { ptr.reset(); }
};

}  // namespace

std::string NoDataMessage(const std::string& name) {
  return "\"" + name + "\" holds no data (no files, or only empty ones); a torrent needs at least one byte.";
}

int32_t ChoosePieceLength(int64_t totalBytes, std::optional<int32_t> custom) {
  if (custom) return IsPieceLengthAllowed(*custom) ? *custom : PieceLengthAtMost(*custom);
  if (totalBytes > 2'000'000'000) return 2'097'152;
  if (totalBytes > 1'000'000'000) return 1'048'576;
  if (totalBytes > 450'000'000) return 524'288;
  return 262'144;
}

int32_t ChooseBigDataPieceLength(int64_t totalBytes, int32_t cap) {
  int32_t length = ChoosePieceLength(totalBytes, std::nullopt);
  // Like the window's thresholds: no more than about 2,000 pieces a torrent.
  for (int64_t threshold = 4'000'000'000; totalBytes > threshold && length < 16 * 1024 * 1024; threshold *= 2)
    length *= 2;
  return std::min(length, cap);
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

  if (!request.Output.empty()) {
    TSafeFileStream out(request.Output);
    WriteRaw(out, result.Bytes);
    out.Commit();
    result.Written = request.Output;
  }
  result.Outcome = TBuildOutcome::Built;
  return result;
}
