#pragma once
// The in-memory form of one .torrent file, its loader and its writer.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/Stream.h"
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

// Why a torrent holding BitTorrent v2 data is not renamed: the v2 file tree
// would still name the old files, and clients refuse a hybrid whose two file
// lists differ.
extern const char* const HybridRenameError;

// Raised by SaveToStream for a renamed torrent that holds v2 data.
class EHybridRename : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One file of a torrent. Torrents of a few hundred thousand files keep one of
// these per file, so the strings few files need live out of line.
class TTorrentSubFile {
 public:
  TTorrentSubFile(std::string name, std::string path, int64_t length, int64_t offset)
      : Name(std::move(name)), Path(std::move(path)), Length(length), Offset(offset), SecondLength(length) {}

  std::string Name;  // the file's own name
  std::string Path;  // folders inside the torrent: loaded "a/b/", created "a/b"
  int64_t Length;
  int64_t Offset;
  int64_t SecondLength;
  bool Pad = false;         // padding that aligns the next file to a piece (attr "p")
  bool Symlink = false;     // a link to SymlinkPath() (attr "l"); holds no data
  bool UnsafePath = false;  // a path component no client may use as it stands

  // Full path of the data on disk (creation only); empty when not set.
  const std::string& SourcePath() const { return extras_ ? extras_->SourcePath : NoText(); }
  void SetSourcePath(std::string path) { Extras().SourcePath = std::move(path); }
  // The link's target inside the torrent, "/"-separated; empty when not set.
  const std::string& SymlinkPath() const { return extras_ ? extras_->SymlinkPath : NoText(); }
  void SetSymlinkPath(std::string path) { Extras().SymlinkPath = std::move(path); }

 private:
  struct TExtras {
    std::string SourcePath;
    std::string SymlinkPath;
  };
  static const std::string& NoText() {
    static const std::string empty;
    return empty;
  }
  TExtras& Extras() {
    if (!extras_) extras_ = std::make_unique<TExtras>();
    return *extras_;
  }

  std::unique_ptr<TExtras> extras_;
};

static_assert(sizeof(TTorrentSubFile) <= 112, "a loaded torrent keeps one file entry per file");

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

  bool Hashed = false;  // hashed in this run, not read from a file

 private:
  std::string bytes_;
};

class TObjectList;

using TTorrentSubFiles = std::vector<std::unique_ptr<TTorrentSubFile>>;

class TTorrentFile {
 public:
  // Larger files are not read: no torrent comes near this.
  static constexpr int64_t MaxFileSize = int64_t{256} << 20;
  // The largest piece length clients load.
  static constexpr int64_t MaxPieceLength = int64_t{1} << 31;

  TTorrentFile();
  virtual ~TTorrentFile();

  // Fills the fields for a new torrent; the creation date becomes now (UTC).
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
  // The loaded torrent holds BitTorrent v2 data: info "file tree" or "meta
  // version", or "piece layers" at the top level.
  bool HasV2Part() const;
  // HasV2Part() and the torrent's name or a file's name or folders differ
  // from the loaded ones: no save can keep both file lists right.
  bool HybridRenamed() const;
  // The creation date, kept as Unix seconds (UTC); the window converts it
  // with DateTimeOf. CreationUnix() is 0 without a date.
  bool HasCreationDate() const { return creation_.has_value(); }
  int64_t CreationUnix() const { return creation_.value_or(0); }
  void SetCreationUnix(int64_t seconds) { creation_ = seconds; }
  void ClearCreationDate() { creation_.reset(); }
  // Writes the model as a bencoded metainfo file with the given pieces.
  // A loaded model also writes the keys it does not own (private, source,
  // url-list, ...), and copies info byte for byte while its name, files and
  // pieces are unchanged, so the info hash stays.
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

  std::string Announce;
  std::string Name;
  std::string Comment;
  int64_t TotalLength = 0;
  int32_t FileCount = 0;
  std::vector<std::string> Errors;
  std::unique_ptr<TObjectHash> Dictionary;  // the decoded top level after a load
  std::string InfoHashText;
  std::string InfoHash;
  bool MultiFile = false;
  TTorrentSubFiles Files;
  TTorrentPieces Pieces;
  int64_t PieceLength = 0;
  std::vector<std::string> BackupTrackers;
  // Keys beside the model's own: info "private" = 1 and info "source" live in
  // the info dictionary, so changing them changes the info hash; "url-list"
  // (web seeds) does not.
  bool Private = false;
  std::string Source;
  std::vector<std::string> WebSeeds;
  // "created by" as loaded; the writer keeps it with the file's other keys.
  std::string CreatedBy;

  // The announce-list as tiers of URLs, as the writer writes it: the loaded
  // or set tiers while BackupTrackers is still their URLs in order (led by a
  // tier of the main tracker when it was changed and is in none of them), else the main
  // tracker followed by one tier per back-up tracker (none without back-up
  // trackers).
  std::vector<std::vector<std::string>> AnnounceTiers() const;
  // Sets the tiers; BackupTrackers becomes their URLs in order. Empty tiers
  // are dropped. The main tracker is not touched.
  void SetAnnounceTiers(std::vector<std::vector<std::string>> tiers);

 private:
  struct TLoaded;  // what a load saw, so a save can keep it

  void Reset();
  // The steps of LoadFromStream, in order.
  bool ReadWholeStream(TStream& stream, std::string& bytes);
  void ReadTrackers(const TObjectHash& top);
  void ReadDescription(const TObjectHash& top);
  void ReadInfo(const TObjectHash& info, const TLoaded& loaded);
  void ReadName(const TObjectHash& info);
  void ReadPieces(const TObjectHash& info);
  void ReadFileList(const TLoaded& loaded);
  void CheckLengths(bool lengthsValid);
  void ReadExtras(const TObjectHash& top, const TObjectHash* info);
  void HashInfo(std::string_view bytes, int64_t start, int64_t length);
  bool LayoutUnchanged(const TTorrentPieces& pieces) const;
  bool FileEntryUnchanged(size_t index, const TObjectHash* loadedEntry) const;
  // The flags as loaded too: a save copies the info byte for byte.
  bool InfoUnchanged(bool layoutUnchanged) const;
  // infoHashText, when given, gets the info hash of the info written.
  void WriteMetainfo(TStream& out, const TTorrentPieces& pieces, std::string* infoHashText) const;
  // layoutUnchanged: LayoutUnchanged(pieces), worked out once by the caller.
  void WriteInfo(TStream& out, const TTorrentPieces& pieces, bool layoutUnchanged) const;
  // plain: room for the entry's bytes, reused from entry to entry.
  void WriteFileEntry(TStream& out, size_t index, bool loadedFiles, std::string& plain) const;

  std::unique_ptr<TLoaded> loaded_;
  std::vector<std::vector<std::string>> tiers_;
  std::optional<int64_t> creation_;
};

// The creation date as a date-time for display; 0 without a date.
TDateTime DateTimeOf(const TTorrentFile& torrent);
