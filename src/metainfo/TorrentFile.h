#pragma once
// The in-memory form of one .torrent file, its loader and its writer.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Stream.h"
#include "metainfo/FileLayout.h"
#include "metainfo/FileTree.h"
#include "metainfo/Hashes.h"

// Days since 1899-12-30 00:00 with the time of day as fraction; 0 = no date.
// Creation dates hold UTC.
using TDateTime = double;

TDateTime UnixToDateTime(int64_t seconds);
int64_t DateTimeToUnix(TDateTime value);
// The current UTC date and time.
TDateTime NowUtc();

// The loader's line for a torrent without a main tracker: normal for DHT and
// magnet-style torrents, so it never counts as damage.
extern const char* const MissingAnnounceError;

// Why a torrent holding BitTorrent v2 data is not renamed: its tree would
// list the files in another order than the v1 list (or it is damaged), and
// clients refuse a hybrid whose two file lists differ.
extern const char* const HybridRenameError;

// Raised by SaveToStream for a renamed torrent that holds v2 data.
class EHybridRename : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The piece hashes, 20 raw bytes each, end to end in one block: the "pieces"
// string as it is written. A torrent of a 200 MB "pieces" string holds ten
// million of them, so no hash is an object of its own.
class TTorrentPieces {
 public:
  static constexpr size_t HashSize = 20;

  size_t size() const { return bytes_.size() / HashSize; }
  bool empty() const { return bytes_.empty(); }
  // Hash i, 20 raw bytes.
  std::string_view operator[](size_t i) const {
    return std::string_view(bytes_).substr(i * HashSize, HashSize);
  }
  // Hash i as 40 lower-case hex digits.
  std::string HashText(size_t i) const;
  void push_back(std::string_view hash) { bytes_.append(hash); }
  void reserve(size_t count) { bytes_.reserve(count * HashSize); }
  void clear() { bytes_.clear(); }
  // Every byte appended; a hash of another length than 20 leaves a block no
  // whole number of hashes long (Whole() is false).
  const std::string& Bytes() const { return bytes_; }
  bool Whole() const { return bytes_.size() % HashSize == 0; }
  void Assign(std::string bytes) { bytes_ = std::move(bytes); }

 private:
  std::string bytes_;
};

using TTrackerTiers = std::vector<std::vector<std::string>>;

// One torrent. A loaded torrent keeps its info dictionary as the bytes it
// had in the file, and a save copies them until an info setter runs (name,
// files, piece length, pieces, private, source): only then is the info
// written anew, with every key the model does not own. The top-level keys
// the model owns are likewise written anew only once set.
class TTorrentFile {
  // Declared first: the read-only views below refer to them.
  std::string name_;
  std::string comment_;
  int64_t totalLength_ = 0;
  bool multiFile_ = false;
  TFileLayout layout_;
  TTorrentPieces pieces_;
  bool private_ = false;
  std::string source_;
  std::vector<std::string> webSeeds_;

 public:
  // Larger files are not read: no torrent comes near this.
  static constexpr int64_t MaxFileSize = int64_t{256} << 20;
  // The largest piece length clients load.
  static constexpr int64_t MaxPieceLength = int64_t{1} << 31;

  TTorrentFile();
  virtual ~TTorrentFile();
  // The views below point into the object itself.
  TTorrentFile(const TTorrentFile&) = delete;
  TTorrentFile& operator=(const TTorrentFile&) = delete;

  // Fills the fields for a new torrent; the creation date becomes now (UTC).
  // The main tracker is announce alone; the files are added with AddFile.
  void SetInfo(const std::string& announce, const std::string& name, const std::string& comment,
               const std::string& infoHash, int64_t totalLength, bool multiFile);
  // Reads one metainfo file from a stream at its start. Never raises; Errors
  // says what was missing or wrong, also when the result is true.
  bool LoadFromStream(TStream& stream);
  // The load's error lines that mean part of the torrent is missing or
  // unusable: every line but the missing-announce one. Saving a damaged
  // torrent writes only what could be read.
  std::vector<std::string> DamageLines() const;
  bool IsDamaged() const { return !DamageLines().empty(); }
  // DamageLines() but for the layer faults: what a check of the data cannot
  // do without. A wrong layer leaves the file its root to be checked by.
  std::vector<std::string> DamageLinesBesideLayerFaults() const;
  // The loaded torrent holds BitTorrent v2 data: info "file tree" or "meta
  // version", or "piece layers" at the top level.
  bool HasV2Part() const;
  // Which hashes the loaded info carries (V1 for a model not loaded).
  TMetaFormat Format() const { return format_; }
  // How much of "piece layers" the torrent carries (Absent for v1).
  TPieceLayersState PieceLayers() const { return pieceLayers_; }
  // The piece layer of Files[i] as loaded, its 32-byte piece hashes end to
  // end, once it was found to reduce to the file's root; empty for a file of
  // at most one piece, a layer absent or wrong, and a torrent without v2 data.
  std::string_view PieceLayer(size_t i) const;
  // The files whose loaded layer does not reduce to their root, by index in
  // Files; their lines are among Errors too.
  const std::vector<TLayerFault>& LayerFaults() const { return layerFaults_; }
  // HasV2Part() and the torrent or one of its files bears another name than
  // loaded, and no tree under the new names keeps the order of the files: no
  // save can keep both file lists right.
  bool HybridRenamed() const;
  // The creation date, kept as Unix seconds (UTC); the window converts it
  // with DateTimeOf. CreationUnix() is 0 without a date.
  bool HasCreationDate() const { return creation_.has_value(); }
  // The files' own bytes: TotalLength without the pad files, which hold no one's data.
  int64_t DataLength() const;
  // A v2-only torrent has no v1 pieces: its pieces are those of its files, each aligned.
  int64_t PieceCount() const;
  int64_t CreationUnix() const { return creation_.value_or(0); }
  void SetCreationUnix(int64_t seconds);
  void ClearCreationDate();

  // Read-only views of the model's fields; the setters below change them.
  const std::string& Name = name_;
  const std::string& Comment = comment_;
  const int64_t& TotalLength = totalLength_;
  const bool& MultiFile = multiFile_;
  const TSubFileList Files = layout_.Files();
  const TTorrentPieces& Pieces = pieces_;
  const bool& Private = private_;                        // info "private" = 1
  const std::string& Source = source_;                   // info "source"
  const std::vector<std::string>& WebSeeds = webSeeds_;  // "url-list"
  // Where each file lies in the data and which pieces hold it.
  const TFileLayout& Layout() const { return layout_; }
  const int64_t& PieceLength = layout_.PieceLength();

  // Info setters: each makes the next save write the info anew (and so, as a
  // rule, under another info hash), unless the value stays as it is.
  void SetName(const std::string& name);
  void SetPrivate(bool isPrivate);
  void SetSource(const std::string& source);
  void SetPieceLength(int64_t pieceLength);
  void SetPieces(TTorrentPieces pieces);
  // Appends a file after the others (creation).
  void AddFile(std::unique_ptr<TTorrentSubFile> file);
  // Gives file i new folders ("a/b/" or "a/b") and name.
  void RenameFile(size_t i, const std::string& folder, const std::string& name);
  // File i of a loaded multi-file torrent had these folders and name in the file.
  bool LoadedWithPath(size_t i, const std::string& folder, const std::string& name) const;

  // Top-level setters.
  void SetComment(const std::string& comment);
  void SetWebSeeds(std::vector<std::string> seeds);

  // Trackers, held as tiers of URLs: the first URL of the first tier is the
  // main tracker ("announce").
  std::string Announce() const;
  // The back-up trackers: the announce-list's URLs in order.
  std::vector<std::string> BackupTrackers() const;
  // The announce-list as the writer writes it; empty: none is written.
  TTrackerTiers AnnounceTiers() const;
  // Sets the tiers of the announce-list, its first URL the main tracker.
  // Empty URLs and tiers are dropped.
  void SetTrackers(TTrackerTiers tiers);
  // Sets the main tracker apart from the announce-list, as a tier of its own
  // before it; "" leaves the torrent without a main tracker (no announce).
  void SetAnnounce(const std::string& url);
  // Keeps the main tracker, and makes each URL a tier of its own after it.
  void SetBackupTrackers(const std::vector<std::string>& urls);

  // Writes the model as a bencoded metainfo file with the given pieces.
  // A loaded model also writes the keys it does not own (private, source,
  // url-list, ...), and copies info byte for byte until an info setter ran,
  // so the info hash stays.
  // Raises EStreamError "Stream write error" on a short write, and
  // EHybridRename (before writing anything) when HybridRenamed().
  void SaveToStream(TStream& out, const TTorrentPieces& pieces) const;
  // The same, and infoHashText becomes the info hash (40 hex digits) of the
  // info written: the hash the file loads with, learnt without reading it.
  void SaveToStream(TStream& out, const TTorrentPieces& pieces, std::string& infoHashText) const;
  // The info hash (40 hex digits) of the info SaveToStream would write with
  // these pieces, without writing the rest of the file. "" when only reading
  // the saved file back can tell: a piece hash that is not 20 bytes long, or
  // an info too large to load.
  std::string SavedInfoHashText(const TTorrentPieces& pieces) const;
  // The v2 info hash (64 hex digits) of the info SaveToStream would write
  // with these pieces; "" for a v1 torrent or when only reading the saved
  // file back can tell.
  std::string SavedInfoHashV2Text(const TTorrentPieces& pieces) const;
  // An info setter ran since the load (always true for a model not loaded).
  bool InfoChanged() const;

  std::vector<std::string> Errors;
  std::unique_ptr<TObjectHash> Dictionary;  // the decoded top level after a load
  // The v1 info hash (SHA-1 of the info): "" for a v2-only torrent.
  std::string InfoHashText;
  std::string InfoHash;
  // The v2 info hash (SHA-256 of the info): "" for a v1 torrent.
  std::string InfoHashV2Text;
  std::string InfoHashV2;
  // "created by" as loaded; the writer keeps it with the file's other keys.
  std::string CreatedBy;

 private:
  struct TRaw;  // the loaded file's bytes, for what a save keeps of them

  void Reset();
  void InfoSet();
  // The steps of LoadFromStream, in order.
  bool ReadWholeStream(TStream& stream, std::string& bytes);
  void ReadTrackers(const TObjectHash& top);
  void ReadDescription(const TObjectHash& top);
  void ReadInfo(const TObjectHash& info);
  void ReadV2(std::string_view infoBytes);
  void ReadTreeFiles(const TFileTree& tree);
  // Keeps the tree's checked layers and its layer faults for the files at
  // these indexes (the tree's files in order).
  void KeepLayers(TV2Metadata& meta, const std::vector<size_t>& fileOfTree);
  // The "file tree" of a renamed v2 or hybrid torrent under its new names,
  // each file's entry as loaded; "" when no tree can follow the renames (the
  // order of its files would change, or a name is not one key).
  std::string RenamedFileTree() const;
  void ReadName(const TObjectHash& info);
  void ReadPieces(const TObjectHash& info);
  void ReadFileList();
  void CheckLengths(bool lengthsValid);
  void ReadExtras(const TObjectHash& top, const TObjectHash* info);
  void HashInfo(std::string_view bytes, int64_t start, int64_t length);
  // The info to write: the loaded bytes while clean, else built anew (once;
  // kept until the next info setter). Empty when it must be streamed: the
  // pieces are not the model's own.
  std::string_view InfoBytes(const TTorrentPieces& pieces) const;
  void WriteMetainfo(TStream& out, const TTorrentPieces& pieces, std::string* infoHashText) const;
  void WriteInfo(TStream& out, const TTorrentPieces& pieces) const;
  // plain: room for the entry's bytes, reused from entry to entry.
  void WriteFileEntry(TStream& out, size_t index, std::string& plain) const;
  std::vector<std::vector<std::string>>::const_iterator ListBegin() const;

  std::unique_ptr<TRaw> raw_;
  TTrackerTiers tiers_;
  // tiers_[0] is announce alone (or empty: none), apart from the
  // announce-list, tiers_[1..].
  bool mainApart_ = false;
  std::optional<int64_t> creation_;
  TMetaFormat format_ = TMetaFormat::V1;
  TPieceLayersState pieceLayers_ = TPieceLayersState::Absent;
  // By file index, ascending, for the files that have one: most files of a
  // large torrent fit in one piece and have none.
  std::vector<std::pair<size_t, std::string>> layers_;
  std::vector<TLayerFault> layerFaults_;
  // Top-level keys set since the load, so written from the model.
  bool trackersSet_ = true;
  bool commentSet_ = true;
  bool creationSet_ = true;
  bool webSeedsSet_ = true;
  // The loaded comment string was moved out of Dictionary into comment_.
  bool commentTaken_ = false;
  mutable std::string builtInfo_;  // InfoBytes' rebuilt info, "" when not built
};

// The creation date as a date-time for display; 0 without a date.
TDateTime DateTimeOf(const TTorrentFile& torrent);
