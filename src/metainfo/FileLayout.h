#pragma once
// Where every file of a torrent lies in the stream of its data and which
// pieces hold it: the one place that works this out, for the loader, the
// writer, the hasher, verify and the views.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

// One file of a torrent. Torrents of a few hundred thousand files keep one of
// these per file, so the strings few files need live out of line.
class TTorrentSubFile {
 public:
  TTorrentSubFile(std::string name, std::string path, int64_t length, int64_t offset)
      : Name(std::move(name)), Path(std::move(path)), Length(length), Offset(offset) {}

  std::string Name;  // the file's own name
  std::string Path;  // folders inside the torrent: loaded "a/b/", created "a/b"
  int64_t Length;
  int64_t Offset;           // in the data stream; set by the layout that holds the file
  bool Pad = false;         // padding that aligns the next file to a piece (attr "p")
  bool Symlink = false;     // a link to SymlinkPath() (attr "l"); holds no data
  bool UnsafePath = false;  // a path component no client may use as it stands

  // Full path of the data on disk (creation only); empty when not set.
  const std::string& SourcePath() const { return extras_ ? extras_->SourcePath : NoText(); }
  void SetSourcePath(std::string path) { Extras().SourcePath = std::move(path); }
  // The link's target inside the torrent, "/"-separated; empty when not set.
  const std::string& SymlinkPath() const { return extras_ ? extras_->SymlinkPath : NoText(); }
  void SetSymlinkPath(std::string path) { Extras().SymlinkPath = std::move(path); }
  // BitTorrent v2: the root of the file's merkle tree, 32 raw bytes; empty when it has none.
  const std::string& PiecesRoot() const { return extras_ ? extras_->PiecesRoot : NoText(); }
  void SetPiecesRoot(std::string root) { Extras().PiecesRoot = std::move(root); }

 private:
  struct TExtras {
    std::string SourcePath;
    std::string SymlinkPath;
    std::string PiecesRoot;
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

using TTorrentSubFiles = std::vector<std::unique_ptr<TTorrentSubFile>>;

// A list of file entries to read, not to change: a const TTorrentSubFiles
// still hands out entries that can be changed, and a name changed past the
// model would skip what its renames keep up to date. Refers to the list, so
// entries appended later are seen.
class TSubFileList {
 public:
  class const_iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = const TTorrentSubFile*;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = const TTorrentSubFile*;

    const_iterator() = default;
    explicit const_iterator(TTorrentSubFiles::const_iterator at) : at_(at) {}
    const TTorrentSubFile* operator*() const { return at_->get(); }
    const_iterator& operator++() {
      ++at_;
      return *this;
    }
    bool operator==(const const_iterator&) const = default;

   private:
    TTorrentSubFiles::const_iterator at_;
  };

  TSubFileList() : files_(&None()) {}
  TSubFileList(const TTorrentSubFiles& files) : files_(&files) {}  // NOLINT(google-explicit-constructor)
  TSubFileList(TTorrentSubFiles&&) = delete;                       // it would outlive the list

  size_t size() const { return files_->size(); }
  bool empty() const { return files_->empty(); }
  const TTorrentSubFile* operator[](size_t i) const { return (*files_)[i].get(); }
  const TTorrentSubFile* front() const { return files_->front().get(); }
  const TTorrentSubFile* back() const { return files_->back().get(); }
  const_iterator begin() const { return const_iterator(files_->begin()); }
  const_iterator end() const { return const_iterator(files_->end()); }

 private:
  static const TTorrentSubFiles& None() {
    static const TTorrentSubFiles none;
    return none;
  }
  const TTorrentSubFiles* files_;
};

// What reading or hashing one file needs of its place: pad files are zeros
// that are on no disk.
struct TFileSpan {
  int64_t Offset = 0;
  int64_t Length = 0;
  bool Pad = false;
};

// The pieces holding bytes of one file, First to Last; none (First > Last)
// for a file without data.
struct TPieceRange {
  int64_t First = 0;
  int64_t Last = -1;
  bool empty() const { return First > Last; }
  bool operator==(const TPieceRange&) const = default;
};

// The files in torrent order, each at its offset in the data: v1 lays them end
// to end. Lengths add up with wrap-around, as hostile files may ask for more
// than 2^63 bytes; Overflow() says so.
class TFileLayout {
 public:
  size_t size() const { return files_.size(); }
  bool empty() const { return files_.empty(); }
  const TTorrentSubFile& operator[](size_t i) const { return *files_[i]; }
  // For the hasher, which reads the entries in place.
  TSubFileList Files() const { return TSubFileList(files_); }
  // Entry i to change; only the layout's owner reaches it.
  TTorrentSubFile& Entry(size_t i) { return *files_[i]; }

  TFileSpan Span(size_t i) const { return {files_[i]->Offset, files_[i]->Length, files_[i]->Pad}; }
  int64_t TotalLength() const { return total_; }
  bool Overflow() const { return overflow_; }

  const int64_t& PieceLength() const { return pieceLength_; }
  void SetPieceLength(int64_t pieceLength) { pieceLength_ = pieceLength; }
  // Pieces the data needs, the last possibly short; 0 without a usable piece length.
  int64_t PieceCount() const;
  TPieceRange PiecesOf(size_t i) const;

  // Appends a file after the others and gives it its offset. pieceAligned (v2
  // piece space): a non-empty file starts on a piece boundary.
  void Append(std::unique_ptr<TTorrentSubFile> file, bool pieceAligned = false);
  void Reserve(size_t count) { files_.reserve(count); }
  // A new name leaves every offset where it is.
  void Rename(size_t i, std::string folder, std::string name);
  void Clear();

 private:
  TTorrentSubFiles files_;
  int64_t pieceLength_ = 0;
  int64_t total_ = 0;
  bool overflow_ = false;
};
