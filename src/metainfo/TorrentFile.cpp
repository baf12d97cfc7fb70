#include "metainfo/TorrentFile.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>

#include "base/Text.h"
#include "digest/MessageDigests.h"
#include "metainfo/BDecode.h"
#include "metainfo/PathRules.h"

namespace {

constexpr int64_t SecondsPerDay = 86400;
constexpr int64_t MsPerDay = SecondsPerDay * 1000;
constexpr int64_t UnixEpochDays = 25569;  // 1970-01-01 as days since 1899-12-30

const char* const TooLargeError = "The file is too large to be a torrent (more than 256 MiB)";
const char* const ParseError = "Error parsing file; does not appear to be valid bencoded metainfo";
const char* const CorruptError =
    "Something bad happened while trying to load the file, probably corrupt metainfo";
const char* const TooComplexError =
    "The file is too complex to load (it would take more than 512 MiB of memory or 512 levels of nesting)";
const char* const CutOffError = "Corrupt File: the file ends inside a value (it is cut off)";

// Date and time of day joined the way the date-time type does it: before
// 1899-12-30 the time of day counts away from zero.
TDateTime ComposeDateTime(int64_t days, double dayFraction) {
  const auto date = static_cast<double>(days);
  return days < 0 ? date - dayFraction : date + dayFraction;
}

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// BEP 47 file attributes: "p" padding, "l" symlink, "x" executable, "h" hidden.
bool HasAttribute(const TObjectHash& entry, char flag) {
  const TObject* attr = entry.Find("attr");
  const auto* text = dynamic_cast<const TIntString*>(attr);
  return text && text->Text.find(flag) != std::string::npos;
}

// A file entry's length as the model keeps it: a link holds no data.
int64_t EntryLength(const TObjectHash& entry) {
  if (HasAttribute(entry, 'l')) return 0;
  const TObject* value = entry.Find("length");
  return value ? As<TIntString>(value).Value : 0;
}

// A file entry's path list: every component but the last, each followed by
// "/", and the last as the name.
void SplitPathList(const TObjectList& list, std::string& folder, std::string& name) {
  folder.clear();
  name.clear();
  const int count = list.Count();
  for (int i = 0; i < count; ++i) {
    const std::string& part = As<TIntString>(list[i]).Text;
    if (i + 1 < count) {
      folder += part;
      folder += '/';
    } else {
      name = part;
    }
  }
}

// What the writer puts in a path list: the folder split on "/" ("a/b/" and
// "a/b" alike), then the name.
std::vector<std::string_view> PathComponents(std::string_view folder, std::string_view name) {
  std::vector<std::string_view> parts;
  if (!folder.empty()) {
    for (size_t slash; (slash = folder.find('/')) != std::string_view::npos;) {
      parts.push_back(folder.substr(0, slash));
      folder.remove_prefix(slash + 1);
    }
    if (!folder.empty()) parts.push_back(folder);
  }
  parts.push_back(name);
  return parts;
}

// A file entry as the writer writes one of nothing but length and path. Most
// loaded entries are exactly these bytes: comparing them needs no decoding.
void PlainEntryBytes(const TTorrentSubFile& file, std::string& out) {
  out = "d6:lengthi" + std::to_string(file.Length) + "e4:pathl";
  for (std::string_view part : PathComponents(file.Path, file.Name)) {
    out += std::to_string(part.size());
    out += ':';
    out += part;
  }
  out += "ee";
}

// One key of a dictionary being written, with what writes its value.
struct TKeyWriter {
  std::string_view Key;
  std::function<void()> Write;
};

void WriteDictionary(TStream& out, std::vector<TKeyWriter>& entries) {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const TKeyWriter& a, const TKeyWriter& b) { return a.Key < b.Key; });
  WriteRaw(out, "d");
  for (const TKeyWriter& entry : entries) {
    WriteString(out, entry.Key);
    entry.Write();
  }
  WriteRaw(out, "e");
}

// Gathers the writer's many small writes into large ones: on an unbuffered
// file stream, a torrent of many files would otherwise cost a system call per
// key and value. A short write still raises "Stream write error".
class TBufferedOutput : public TStream {
 public:
  explicit TBufferedOutput(TStream& out) : out_(out) {}

  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    if (count <= 0) return 0;
    if (static_cast<int64_t>(buffer_.size()) + count > Capacity) Flush();
    if (count >= Capacity)
      out_.WriteBuffer(buffer, count);
    else
      buffer_.append(static_cast<const char*>(buffer), static_cast<size_t>(count));
    written_ += count;
    return count;
  }
  int64_t Seek(int64_t, TSeekOrigin) override { return written_; }
  int64_t Size() override { return written_; }

  void Flush() {
    out_.WriteBuffer(buffer_.data(), static_cast<int64_t>(buffer_.size()));
    buffer_.clear();
  }

 private:
  static constexpr int64_t Capacity = 64 * 1024;
  TStream& out_;
  std::string buffer_;
  int64_t written_ = 0;
};

// Hashes what is written to it, for the info hash of bytes never kept whole,
// and passes it on to `forward` when given.
class TSha1Output : public TStream {
 public:
  explicit TSha1Output(TStream* forward = nullptr) : forward_(forward) {}

  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    if (count <= 0) return 0;
    if (forward_) forward_->WriteBuffer(buffer, count);
    sha1_.Transform(buffer, count);
    written_ += count;
    return count;
  }
  int64_t Seek(int64_t, TSeekOrigin) override { return written_; }
  int64_t Size() override { return written_; }

  int64_t Written() const { return written_; }
  std::string DigestBytes() {
    sha1_.Complete();
    return sha1_.DigestBytes();
  }

 private:
  TStream* forward_;
  TSHA1 sha1_;
  int64_t written_ = 0;
};

// Reads bytes kept elsewhere, for decoding one value again.
class TViewStream : public TStream {
 public:
  TViewStream(std::string_view bytes, size_t position)
      : bytes_(bytes), pos_(std::min(position, bytes.size())) {}

  int64_t Read(void* buffer, int64_t count) override {
    const size_t n = std::min(bytes_.size() - pos_, static_cast<size_t>(std::max<int64_t>(count, 0)));
    std::copy_n(bytes_.data() + pos_, n, static_cast<char*>(buffer));
    pos_ += n;
    return static_cast<int64_t>(n);
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int64_t base = origin == TSeekOrigin::Beginning ? 0
                         : origin == TSeekOrigin::Current ? static_cast<int64_t>(pos_)
                                                          : static_cast<int64_t>(bytes_.size());
    pos_ = static_cast<size_t>(std::clamp<int64_t>(base + offset, 0, static_cast<int64_t>(bytes_.size())));
    return static_cast<int64_t>(pos_);
  }
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }

 private:
  std::string_view bytes_;
  size_t pos_;
};

bool IsIn(std::string_view key, const std::vector<std::string_view>& keys) {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

// Adds the keys of a loaded dictionary that the model does not own, so they
// survive a save. A ".utf-8" twin of an edited text is stale and is dropped.
void AddForeignKeys(std::vector<TKeyWriter>& entries, TStream& out, const TObjectHash* loaded,
                    const std::vector<std::string_view>& owned, const std::vector<std::string_view>& stale) {
  if (!loaded) return;
  for (const auto& [key, value] : loaded->SortedEntries()) {
    if (!value || IsIn(key, owned) || IsIn(key, stale)) continue;
    entries.push_back({key, [&out, value = value] { EncodeValue(out, *value); }});
  }
}

// The text of a bencoded string's bytes ("3:abc" gives "abc"); "" for any other value.
std::string_view StringContent(std::string_view value) {
  const size_t colon = value.find(':');
  if (value.empty() || value.front() < '0' || value.front() > '9' || colon == std::string_view::npos)
    return {};
  return value.substr(colon + 1);
}

const TRawEntry* FindRaw(const std::vector<TRawEntry>& entries, std::string_view key) {
  const TRawEntry* found = nullptr;
  for (const TRawEntry& entry : entries)
    if (entry.Key == key) found = &entry;  // the decoder keeps the last of twins too
  return found;
}

// The loaded value of a key, byte for byte where its bytes are known.
void AddLoadedValue(std::vector<TKeyWriter>& entries, TStream& out, std::string_view key,
                    const std::vector<TRawEntry>& raw, const TObjectHash* loaded) {
  if (const TRawEntry* entry = FindRaw(raw, key)) {
    entries.push_back({key, [&out, value = entry->Value] { WriteRaw(out, value); }});
  } else if (const TObject* value = loaded ? loaded->Find(key) : nullptr) {
    entries.push_back({key, [&out, value] { EncodeValue(out, *value); }});
  }
}

// "url-list" holds one URL or a list of them; anything else in it is ignored, as clients do.
std::vector<std::string> ReadWebSeeds(const TObject* value) {
  std::vector<std::string> seeds;
  auto add = [&seeds](const TObject* item) {
    const auto* text = dynamic_cast<const TIntString*>(item);
    if (text && !text->IsInteger && !text->Text.empty()) seeds.push_back(text->Text);
  };
  if (const auto* list = dynamic_cast<const TObjectList*>(value)) {
    for (const auto& item : list->Items) add(item.get());
  } else {
    add(value);
  }
  return seeds;
}

std::vector<std::string> Flatten(const std::vector<std::vector<std::string>>& tiers) {
  std::vector<std::string> urls;
  for (const auto& tier : tiers) urls.insert(urls.end(), tier.begin(), tier.end());
  return urls;
}

}  // namespace

std::string TTorrentPieces::HashText(size_t i) const { return BytesToHex((*this)[i], 999); }

const char* const MissingAnnounceError = "Corrupt File: Missing \"announce\" segment";
const char* const HybridRenameError =
    "This torrent holds BitTorrent v2 data (\"file tree\", \"meta version\" or \"piece layers\"), "
    "and renaming such a torrent or its files is not supported yet: nothing was saved";

TDateTime UnixToDateTime(int64_t seconds) {
  // Floor division keeps every 64-bit count free of overflow.
  int64_t days = seconds / SecondsPerDay;
  int64_t secondOfDay = seconds % SecondsPerDay;
  if (secondOfDay < 0) {
    secondOfDay += SecondsPerDay;
    --days;
  }
  return ComposeDateTime(days + UnixEpochDays, static_cast<double>(secondOfDay) / SecondsPerDay);
}

int64_t DateTimeToUnix(TDateTime value) {
  if (!std::isfinite(value)) return 0;
  // Far beyond any calendar; keeps the millisecond count inside 64 bits.
  constexpr double Limit = 1e11;
  value = std::clamp(value, -Limit, Limit);
  const double date = std::trunc(value);
  const double fraction = std::fabs(value - date);
  const auto days = static_cast<int64_t>(date);
  // The time of day always counts forward from the start of its day.
  const int64_t ms = (days - UnixEpochDays) * MsPerDay + std::llround(fraction * MsPerDay);
  return ms / 1000;
}

TDateTime NowUtc() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
  return UnixEpochDays + static_cast<double>(ms) / MsPerDay;
}

// What a successful load saw, so that a save keeps what the model does not own.
struct TTorrentFile::TLoaded {
  const TObjectHash* Info = nullptr;      // inside Dictionary
  const TObjectList* FileList = nullptr;  // info.files, inside Dictionary
  // Where each file entry begins in Bytes; FileList itself stays empty. A
  // decoded entry costs several times the file's own record, and only the load
  // and a save need one, one at a time.
  std::vector<uint32_t> EntryStarts;
  const TObject* AnnounceList = nullptr;   // inside Dictionary
  const TObject* CreationValue = nullptr;  // inside Dictionary
  std::string Bytes;                       // the file as loaded
  size_t InfoStart = 0;                    // the info value byte for byte, in Bytes
  size_t InfoLength = 0;
  bool RawInfoComplete = false;

  const TObject* UrlList = nullptr;  // inside Dictionary

  std::string_view RawInfo() const { return std::string_view(Bytes).substr(InfoStart, InfoLength); }
  size_t EntryCount() const { return FileList ? EntryStarts.size() : 0; }
  // True when file entry i was loaded as exactly these bytes: a complete
  // value, so the decoder read it as nothing else.
  bool EntryIs(size_t i, std::string_view bytes) const {
    return std::string_view(Bytes).substr(EntryStarts[i]).starts_with(bytes);
  }
  // File entry i as loaded (nullptr when it is not a dictionary); owner keeps one decoded again.
  const TObjectHash* Entry(size_t i, std::unique_ptr<TObject>& owner) const {
    TViewStream stream(Bytes, EntryStarts[i]);
    owner = DecodeValue(stream);
    return dynamic_cast<const TObjectHash*>(owner.get());
  }
  // The model's fields right after the load.
  std::string Announce;
  std::vector<std::string> BackupTrackers;
  std::vector<std::vector<std::string>> Tiers;
  bool Private = false;
  std::string Source;
  std::vector<std::string> WebSeeds;
  std::string Comment;
  std::optional<int64_t> CreationDate;
  std::string Name;
  bool MultiFile = false;
  int64_t TotalLength = 0;
  int64_t PieceLength = 0;
};

TTorrentFile::TTorrentFile() : Dictionary(std::make_unique<TObjectHash>()) {}

TTorrentFile::~TTorrentFile() = default;

void TTorrentFile::Reset() {
  Announce.clear();
  Name.clear();
  Comment.clear();
  InfoHashText.clear();
  InfoHash.clear();
  TotalLength = 0;
  FileCount = 0;
  creation_.reset();
  PieceLength = 0;
  MultiFile = false;
  Files.clear();
  Pieces = TTorrentPieces();
  BackupTrackers.clear();
  tiers_.clear();
  Private = false;
  Source.clear();
  WebSeeds.clear();
  CreatedBy.clear();
  Errors.clear();
  loaded_.reset();
  Dictionary = std::make_unique<TObjectHash>();
}

void TTorrentFile::SetInfo(const std::string& announce, const std::string& name, const std::string& comment,
                           const std::string& infoHash, int64_t totalLength, bool multiFile) {
  Announce = announce;
  Name = name;
  Comment = comment;
  InfoHash = infoHash;
  InfoHashText = BytesToHex(infoHash, 999);
  TotalLength = totalLength;
  MultiFile = multiFile;
  creation_ = DateTimeToUnix(NowUtc());
  // A model filled for creation writes the plain layout.
  loaded_.reset();
  tiers_.clear();
  Private = false;
  Source.clear();
  WebSeeds.clear();
  CreatedBy.clear();
}

bool TTorrentFile::ReadWholeStream(TStream& stream, std::string& bytes) {
  const int64_t remaining = stream.Size() - stream.Position();
  if (remaining > MaxFileSize) {
    Errors.push_back(TooLargeError);
    return false;
  }
  // The decoder reads structure bytes one at a time: from memory, not the file.
  bytes.assign(static_cast<size_t>(std::max<int64_t>(remaining, 0)), '\0');
  int64_t got = 0;
  for (int64_t n; got < remaining && (n = stream.Read(bytes.data() + got, remaining - got)) > 0;) got += n;
  bytes.resize(static_cast<size_t>(got));
  return true;
}

void TTorrentFile::ReadTrackers(const TObjectHash& top) {
  if (TObject* announce = top.Find("announce"))
    Announce = As<TIntString>(announce).Text;
  else
    Errors.push_back(MissingAnnounceError);

  if (TObject* announceList = top.Find("announce-list")) {
    for (const auto& tier : As<TObjectList>(announceList).Items) {
      // Some tools write a flat list of URLs: each is a tier of its own.
      if (const auto* url = dynamic_cast<const TIntString*>(tier.get())) {
        BackupTrackers.push_back(url->Text);
        tiers_.push_back({url->Text});
        continue;
      }
      tiers_.emplace_back();
      for (const auto& url : As<TObjectList>(tier.get()).Items) {
        BackupTrackers.push_back(As<TIntString>(url.get()).Text);
        tiers_.back().push_back(BackupTrackers.back());
      }
    }
  }
}

void TTorrentFile::ReadExtras(const TObjectHash& top, const TObjectHash* info) {
  if (const TObject* urlList = top.Find("url-list")) WebSeeds = ReadWebSeeds(urlList);
  if (const auto* createdBy = dynamic_cast<const TIntString*>(top.Find("created by")))
    CreatedBy = createdBy->Text;
  if (!info) return;
  // Clients take only the integer 1 as private.
  if (const auto* flag = dynamic_cast<const TIntString*>(info->Find("private")))
    Private = flag->IsInteger && flag->Value == 1;
  if (const auto* source = dynamic_cast<const TIntString*>(info->Find("source"))) Source = source->Text;
}

std::vector<std::vector<std::string>> TTorrentFile::AnnounceTiers() const {
  if (!tiers_.empty() && Flatten(tiers_) == BackupTrackers) {
    // Clients read the tiers instead of announce: a main tracker set apart
    // from them would never be used. A file that came that way stays so.
    const bool asLoaded = loaded_ && Announce == loaded_->Announce && tiers_ == loaded_->Tiers;
    if (asLoaded || Announce.empty() ||
        std::find(BackupTrackers.begin(), BackupTrackers.end(), Announce) != BackupTrackers.end())
      return tiers_;
    auto tiers = tiers_;
    tiers.insert(tiers.begin(), std::vector<std::string>{Announce});
    return tiers;
  }
  if (BackupTrackers.empty()) return {};
  std::vector<std::vector<std::string>> tiers{{Announce}};
  for (const std::string& url : BackupTrackers)
    if (url != Announce) tiers.push_back({url});
  return tiers;
}

void TTorrentFile::SetAnnounceTiers(std::vector<std::vector<std::string>> tiers) {
  std::erase_if(tiers, [](const auto& tier) { return tier.empty(); });
  tiers_ = std::move(tiers);
  BackupTrackers = Flatten(tiers_);
}

void TTorrentFile::ReadDescription(const TObjectHash& top) {
  if (TObject* comment = top.Find("comment")) Comment = As<TIntString>(comment).Text;
  if (TObject* creation = top.Find("creation date")) SetCreationUnix(As<TIntString>(creation).Value);
}

void TTorrentFile::ReadName(const TObjectHash& info) {
  TObject* name = info.Find("name");
  if (!name) {
    Errors.push_back("Corrupt File: Missing \"info.name\" segment");
    return;
  }
  Name = As<TIntString>(name).Text;
  if (EndsWith(Name, ".torrent")) Name.resize(Name.size() - 8);
  // The name is the file or the folder the data goes to.
  if (const std::string problem = ComponentProblem(As<TIntString>(name).Text); !problem.empty())
    Errors.push_back("Corrupt File: \"info.name\" " + problem);
}

void TTorrentFile::ReadPieces(const TObjectHash& info) {
  if (TObject* pieceLength = info.Find("piece length")) {
    PieceLength = As<TIntString>(pieceLength).Value;
    if (As<TIntString>(pieceLength).Overflow)
      Errors.push_back("Corrupt File: \"info.piece length\" does not fit in 64 bits");
    else if (PieceLength <= 0 || PieceLength > MaxPieceLength)
      Errors.push_back("Corrupt File: \"info.piece length\" is " + std::to_string(PieceLength) +
                       ", not between 1 and " + std::to_string(MaxPieceLength));
  } else {
    Errors.push_back("Corrupt File: Missing \"info.piece length\" segment");
  }

  TObject* pieces = info.Find("pieces");
  if (!pieces) {
    Errors.push_back("Corrupt File: Missing \"info.pieces\" segment");
    return;
  }
  // Taken over, not copied: the decoded tree keeps no second copy of the
  // largest value of a torrent. A save compares with the loaded bytes.
  std::string hashes = std::move(As<TIntString>(pieces).Text);
  if (hashes.size() % TTorrentPieces::HashSize != 0) {
    Errors.push_back("Corrupt File: \"info.pieces\" is " + std::to_string(hashes.size()) +
                     " bytes long, not a multiple of 20");
    hashes.resize(hashes.size() - hashes.size() % TTorrentPieces::HashSize);
  }
  Pieces.Assign(std::move(hashes));
}

void TTorrentFile::ReadFileList(const TLoaded& loaded) {
  MultiFile = true;
  const size_t count = loaded.EntryStarts.size();
  if (count == 0) Errors.push_back("Corrupt File: \"info.files\" is empty");
  Files.reserve(count);
  int64_t offset = 0;
  bool lengthsValid = true, overflow = false;
  std::string folder, fileName;
  std::unique_ptr<TObject> owner;
  for (size_t i = 0; i < count; ++i) {
    const std::string entryName = "files[" + std::to_string(i) + "]";
    const auto& entry = As<TObjectHash>(loaded.Entry(i, owner));
    const bool symlink = HasAttribute(entry, 'l');
    int64_t fileLength = 0;
    bool tooLarge = false;
    if (TObject* lengthValue = entry.Find("length")) {
      // A link holds no data, whatever length it states.
      if (!symlink) fileLength = As<TIntString>(lengthValue).Value;
      tooLarge = !symlink && As<TIntString>(lengthValue).Overflow;
    } else {
      Errors.push_back("Corrupt File: " + entryName + " is missing a \"length\" segment");
    }
    if (tooLarge) {
      Errors.push_back("Corrupt File: " + entryName + " has a length that does not fit in 64 bits");
      lengthsValid = false;
    } else if (fileLength < 0) {
      Errors.push_back("Corrupt File: " + entryName + " has a negative length");
      lengthsValid = false;
    }
    folder.clear();
    fileName.clear();
    bool unsafe = false;
    if (TObject* path = entry.Find("path")) {
      const auto& parts = As<TObjectList>(path);
      SplitPathList(parts, folder, fileName);
      if (parts.Items.empty()) {
        Errors.push_back("Corrupt File: " + entryName + " has an empty \"path\" segment");
        unsafe = true;
      }
      for (int j = 0; j < parts.Count(); ++j) {
        const std::string problem = ComponentProblem(As<TIntString>(parts[j]).Text);
        if (problem.empty()) continue;
        Errors.push_back("Corrupt File: " + entryName + ".path[" + std::to_string(j) + "] " + problem);
        unsafe = true;
      }
    } else {
      Errors.push_back("Corrupt File: " + entryName + " is missing a \"path\" segment");
    }
    auto file = std::make_unique<TTorrentSubFile>(fileName, folder, fileLength, offset);
    file->Pad = HasAttribute(entry, 'p');
    file->Symlink = symlink;
    file->UnsafePath = unsafe;
    if (TObject* target = symlink ? entry.Find("symlink path") : nullptr) {
      std::string targetFolder, targetName;
      SplitPathList(As<TObjectList>(target), targetFolder, targetName);
      file->SetSymlinkPath(targetFolder + targetName);
    }
    Files.push_back(std::move(file));
    if (__builtin_add_overflow(offset, fileLength, &offset)) {
      // Hostile lengths wrap instead of overflowing.
      offset = static_cast<int64_t>(static_cast<uint64_t>(offset) + static_cast<uint64_t>(fileLength));
      overflow = true;
    }
  }
  FileCount = static_cast<int32_t>(Files.size());
  TotalLength = offset;
  if (overflow && lengthsValid)
    Errors.push_back("Corrupt File: the file lengths add up to more than 2^63 bytes");
  CheckLengths(lengthsValid && !overflow && count != 0);
}

// Clients check that the pieces cover the data exactly: one hash per piece
// length of data, the last piece possibly short.
void TTorrentFile::CheckLengths(bool lengthsValid) {
  if (!lengthsValid) return;
  if (TotalLength == 0) {
    Errors.push_back("Corrupt File: the torrent holds no data (total length 0)");
    return;
  }
  if (PieceLength <= 0 || PieceLength > MaxPieceLength || TotalLength < 0) return;
  const int64_t needed = TotalLength / PieceLength + (TotalLength % PieceLength != 0 ? 1 : 0);
  const auto held = static_cast<int64_t>(Pieces.size());
  if (held != needed)
    Errors.push_back("Corrupt File: \"info.pieces\" holds " + std::to_string(held) +
                     " piece hashes, but the total length needs " + std::to_string(needed));
}

void TTorrentFile::ReadInfo(const TObjectHash& info, const TLoaded& loaded) {
  ReadName(info);
  ReadPieces(info);
  if (TObject* length = info.Find("length")) {
    TotalLength = As<TIntString>(length).Value;
    FileCount = 1;
    Files.push_back(std::make_unique<TTorrentSubFile>(Name, std::string(), TotalLength, 0));
    Files.back()->UnsafePath = !ComponentProblem(As<TIntString>(info.Get("name")).Text).empty();
    const bool overflow = As<TIntString>(length).Overflow;
    if (overflow)
      Errors.push_back("Corrupt File: \"info.length\" does not fit in 64 bits");
    else if (TotalLength < 0)
      Errors.push_back("Corrupt File: \"info.length\" is negative");
    CheckLengths(TotalLength >= 0 && !overflow);
  } else if (TObject* files = info.Find("files")) {
    // The decoder left the entries in the loaded bytes, noting where each begins.
    if (!dynamic_cast<const TObjectList*>(files)) throw EInvalidCast();
    ReadFileList(loaded);
  } else {
    Errors.push_back(
        "Corrupt File: Missing both \"info.length\" and \"info.files\" segments (should have one or the "
        "other)");
  }
}

void TTorrentFile::HashInfo(std::string_view bytes, int64_t start, int64_t length) {
  const std::string_view raw = bytes.substr(static_cast<size_t>(start), static_cast<size_t>(length));
  TSHA1 sha1;
  sha1.Transform(raw.data(), length);
  sha1.Complete();
  InfoHash = sha1.DigestBytes();
  InfoHashText = BytesToHex(InfoHash, 999);
}

bool TTorrentFile::LoadFromStream(TStream& stream) {
  Reset();
  try {
    std::string bytes;
    if (!ReadWholeStream(stream, bytes)) return false;
    TMemoryStream memory(std::move(bytes));

    TDecodeReport report;
    std::unique_ptr<TObject> value = DecodeValue(memory, report);
    if (report.Stop == TDecodeStop::TooComplex) {
      // Whatever was read is a fraction of the file: no other line would be true.
      Errors.push_back(TooComplexError);
      return false;
    }
    if (!value) {
      Errors.push_back(ParseError);
      return false;
    }
    if (report.Stop == TDecodeStop::EndOfInput) Errors.push_back(CutOffError);
    auto* top = dynamic_cast<TObjectHash*>(value.get());
    if (!top) throw EInvalidCast();
    value.release();
    Dictionary.reset(top);

    auto loaded = std::make_unique<TLoaded>();
    loaded->Bytes = memory.TakeData();
    // No larger than MaxFileSize, so every offset fits 32 bits.
    loaded->EntryStarts.assign(report.FileEntryStarts.begin(), report.FileEntryStarts.end());
    std::vector<int64_t>().swap(report.FileEntryStarts);
    ReadTrackers(*top);
    loaded->AnnounceList = top->Find("announce-list");
    ReadDescription(*top);
    loaded->CreationValue = top->Find("creation date");

    loaded->UrlList = top->Find("url-list");

    TObject* infoValue = top->Find("info");
    const size_t errorsBeforeInfo = Errors.size();
    if (!infoValue) {
      ReadExtras(*top, nullptr);
      Errors.push_back("Corrupt File: Missing \"info\" segment");
    } else {
      auto& info = As<TObjectHash>(infoValue);
      loaded->Info = &info;
      ReadExtras(*top, &info);
      if (TObject* files = info.Find("files"); files && !info.Exists("length"))
        loaded->FileList = dynamic_cast<const TObjectList*>(files);
      ReadInfo(info, *loaded);
      // Clients hash the first "info"; this decoder keeps the last.
      if (report.InfoCount > 1) Errors.push_back("Corrupt File: the \"info\" segment appears more than once");
      if (report.InfoStart >= 0) {
        HashInfo(loaded->Bytes, report.InfoStart, report.InfoLength);
        loaded->InfoStart = static_cast<size_t>(report.InfoStart);
        loaded->InfoLength = static_cast<size_t>(report.InfoLength);
        loaded->RawInfoComplete =
            IsCompleteValue(std::string_view(loaded->Bytes).substr(loaded->InfoStart, loaded->InfoLength));
        // The decoder skips stray bytes, but the info hash covers them: no client
        // takes such an info, and a save would rebuild it under another hash.
        // A cut-off info has said so already.
        if (!loaded->RawInfoComplete && Errors.size() == errorsBeforeInfo)
          Errors.push_back("Corrupt File: Malformed \"info\" segment");
      }
    }

    // The bytes are kept whole rather than copying the info out: no second copy at the peak.
    loaded->Announce = Announce;
    loaded->BackupTrackers = BackupTrackers;
    loaded->Tiers = tiers_;
    loaded->Private = Private;
    loaded->Source = Source;
    loaded->WebSeeds = WebSeeds;
    loaded->Comment = Comment;
    loaded->CreationDate = creation_;
    loaded->Name = Name;
    loaded->MultiFile = MultiFile;
    loaded->TotalLength = TotalLength;
    loaded->PieceLength = PieceLength;
    loaded_ = std::move(loaded);
    return true;
  } catch (...) {
    Errors.push_back(CorruptError);
    return false;
  }
}

std::vector<std::string> TTorrentFile::DamageLines() const {
  std::vector<std::string> lines;
  for (const auto& error : Errors)
    if (error != MissingAnnounceError) lines.push_back(error);
  return lines;
}

TDateTime DateTimeOf(const TTorrentFile& torrent) {
  return torrent.HasCreationDate() ? UnixToDateTime(torrent.CreationUnix()) : 0;
}

bool TTorrentFile::HasV2Part() const {
  if (!loaded_) return false;
  const TObjectHash* info = loaded_->Info;
  return (info && (info->Exists("file tree") || info->Exists("meta version"))) ||
         Dictionary->Exists("piece layers");
}

bool TTorrentFile::HybridRenamed() const {
  if (!HasV2Part()) return false;
  if (Name != loaded_->Name) return true;
  if (!MultiFile || !loaded_->FileList) return false;
  if (Files.size() != loaded_->EntryCount()) return true;
  std::unique_ptr<TObject> owner;
  std::string folder, name;
  for (size_t i = 0; i < Files.size(); ++i) {
    const TObjectHash* entry = loaded_->Entry(i, owner);
    const auto* path = entry ? dynamic_cast<const TObjectList*>(entry->Find("path")) : nullptr;
    if (!path) continue;
    try {
      SplitPathList(*path, folder, name);
    } catch (const EInvalidCast&) {
      continue;  // damaged: the loader said so
    }
    if (PathComponents(Files[i]->Path, Files[i]->Name) != PathComponents(folder, name)) return true;
  }
  return false;
}

bool TTorrentFile::FileEntryUnchanged(size_t index, const TObjectHash* loadedEntry) const {
  if (!loadedEntry || index >= Files.size()) return false;
  const TObjectHash& entry = *loadedEntry;
  const TTorrentSubFile& file = *Files[index];
  const int64_t length = EntryLength(entry);
  std::string folder, name;
  if (TObject* path = entry.Find("path")) SplitPathList(As<TObjectList>(path), folder, name);
  return file.Length == length && PathComponents(file.Path, file.Name) == PathComponents(folder, name);
}

bool TTorrentFile::InfoUnchanged(bool layoutUnchanged) const {
  return layoutUnchanged && Private == loaded_->Private && Source == loaded_->Source;
}

std::string TTorrentFile::SavedInfoHashText(const TTorrentPieces& pieces) const {
  const bool layoutUnchanged = LayoutUnchanged(pieces);
  // The save copies the info byte for byte: the hash of those bytes.
  if (InfoUnchanged(layoutUnchanged)) return InfoHashText;
  // A hash of another length breaks the "pieces" string: the info a reader
  // finds is not the one written.
  if (!pieces.Whole()) return {};
  TSha1Output info;
  TBufferedOutput buffered(info);
  WriteInfo(buffered, pieces, layoutUnchanged);
  buffered.Flush();
  if (info.Written() > MaxFileSize) return {};
  return BytesToHex(info.DigestBytes(), 999);
}

// Name, files and pieces as loaded: what the info dictionary holds beside the flags.
bool TTorrentFile::LayoutUnchanged(const TTorrentPieces& pieces) const {
  const TLoaded* loaded = loaded_.get();
  if (!loaded || !loaded->Info || !loaded->RawInfoComplete) return false;
  if (Name != loaded->Name || MultiFile != loaded->MultiFile || PieceLength != loaded->PieceLength)
    return false;
  if (MultiFile) {
    if (!loaded->FileList || Files.size() != loaded->EntryCount()) return false;
    std::unique_ptr<TObject> owner;
    std::string plain;
    for (size_t i = 0; i < Files.size(); ++i) {
      PlainEntryBytes(*Files[i], plain);
      if (!loaded->EntryIs(i, plain) && !FileEntryUnchanged(i, loaded->Entry(i, owner))) return false;
    }
  } else if (TotalLength != loaded->TotalLength) {
    return false;
  }
  // The model took the loaded hashes over: compare with their bytes in the file.
  const std::vector<TRawEntry> rawInfo = RawEntries(loaded->RawInfo());
  const TRawEntry* loadedPieces = FindRaw(rawInfo, "pieces");
  std::string_view hashes = loadedPieces ? StringContent(loadedPieces->Value) : std::string_view();
  hashes = hashes.substr(0, hashes.size() - hashes.size() % TTorrentPieces::HashSize);
  return pieces.Whole() && pieces.Bytes() == hashes;
}

void TTorrentFile::WriteInfo(TStream& out, const TTorrentPieces& pieces, bool layoutUnchanged) const {
  const TLoaded* loaded = loaded_.get();
  const TObjectHash* loadedInfo = loaded ? loaded->Info : nullptr;
  // Every key the save does not change keeps the bytes it had in the file.
  const std::vector<TRawEntry> raw =
      loaded && loaded->RawInfoComplete ? RawEntries(loaded->RawInfo()) : std::vector<TRawEntry>();
  const std::vector<std::string_view> layoutKeys{"files", "length", "name", "piece length", "pieces"};
  // Only private or source changed: everything else stays as it was.
  const bool layoutKept = !raw.empty() && layoutUnchanged;

  std::vector<TKeyWriter> entries;
  if (layoutKept) {
    for (std::string_view key : layoutKeys) AddLoadedValue(entries, out, key, raw, loadedInfo);
  } else {
    // Extra keys of the file entries are kept while the list keeps its shape.
    const bool loadedFiles = loaded && loaded->FileList && loaded->EntryCount() == Files.size();
    if (MultiFile) {
      entries.push_back({"files", [&out, this, loadedFiles] {
                           WriteRaw(out, "l");
                           std::string plain;
                           for (size_t i = 0; i < Files.size(); ++i)
                             WriteFileEntry(out, i, loadedFiles, plain);
                           WriteRaw(out, "e");
                         }});
    } else {
      entries.push_back({"length", [&] { WriteInteger(out, TotalLength); }});
    }
    entries.push_back({"name", [&] { WriteString(out, Name); }});
    entries.push_back({"piece length", [&] { WriteInteger(out, PieceLength); }});
    entries.push_back({"pieces", [&] { WriteString(out, pieces.Bytes()); }});
  }

  if (loaded && Private == loaded->Private)
    AddLoadedValue(entries, out, "private", raw, loadedInfo);
  else if (Private)
    entries.push_back({"private", [&] { WriteInteger(out, 1); }});
  if (loaded && Source == loaded->Source)
    AddLoadedValue(entries, out, "source", raw, loadedInfo);
  else if (!Source.empty())
    entries.push_back({"source", [&] { WriteString(out, Source); }});

  std::vector<std::string_view> stale;
  if (!layoutKept) {
    // A rebuilt info holds the v1 layout only (a rename of a hybrid never gets
    // here): v2 keys beside new pieces or a damaged info would not match them.
    stale = {"file tree", "meta version"};
    if (loaded && Name != loaded->Name) stale.push_back("name.utf-8");
  }
  std::vector<std::string_view> owned = layoutKeys;
  owned.insert(owned.end(), {"private", "source"});
  if (raw.empty()) {
    AddForeignKeys(entries, out, loadedInfo, owned, stale);
  } else {
    for (const TRawEntry& entry : raw) {
      if (IsIn(entry.Key, owned) || IsIn(entry.Key, stale)) continue;
      if (FindRaw(raw, entry.Key) != &entry) continue;  // a twin: the last one stands
      entries.push_back({entry.Key, [&out, value = entry.Value] { WriteRaw(out, value); }});
    }
  }
  WriteDictionary(out, entries);
}

void TTorrentFile::WriteFileEntry(TStream& out, size_t index, bool loadedFiles, std::string& plain) const {
  const TTorrentSubFile& file = *Files[index];
  PlainEntryBytes(file, plain);
  if (loadedFiles && loaded_->EntryIs(index, plain)) {
    // Unchanged and nothing beside length and path: no need to decode it.
    WriteRaw(out, plain);
    return;
  }
  std::unique_ptr<TObject> owner;
  const TObjectHash* loadedEntry = loadedFiles ? loaded_->Entry(index, owner) : nullptr;
  const bool unchanged = FileEntryUnchanged(index, loadedEntry);
  // An entry the user left alone keeps its path list as loaded: a component
  // holding a "/" must never become two.
  const TObject* loadedPath = unchanged ? loadedEntry->Find("path") : nullptr;
  auto writePath = [&] {
    if (loadedPath) {
      EncodeValue(out, *loadedPath);
      return;
    }
    WriteRaw(out, "l");
    for (std::string_view part : PathComponents(file.Path, file.Name)) WriteString(out, part);
    WriteRaw(out, "e");
  };
  const bool foreign = loadedEntry && loadedEntry->Count() > int{loadedEntry->Exists("length")} +
                                                                 int{loadedEntry->Exists("path")};
  if (!foreign) {
    // The common case: nothing but length and path.
    WriteRaw(out, "d");
    WriteString(out, "length");
    WriteInteger(out, file.Length);
    WriteString(out, "path");
    writePath();
    WriteRaw(out, "e");
    return;
  }
  std::vector<TKeyWriter> entries;
  entries.push_back({"length", [&] { WriteInteger(out, file.Length); }});
  entries.push_back({"path", writePath});
  std::vector<std::string_view> stale;
  if (!unchanged) stale.push_back("path.utf-8");
  AddForeignKeys(entries, out, loadedEntry, {"length", "path"}, stale);
  WriteDictionary(out, entries);
}

void TTorrentFile::SaveToStream(TStream& out, const TTorrentPieces& pieces) const {
  if (HybridRenamed()) throw EHybridRename(HybridRenameError);
  TBufferedOutput buffered(out);
  WriteMetainfo(buffered, pieces, nullptr);
  buffered.Flush();
}

void TTorrentFile::SaveToStream(TStream& out, const TTorrentPieces& pieces, std::string& infoHashText) const {
  if (HybridRenamed()) throw EHybridRename(HybridRenameError);
  TBufferedOutput buffered(out);
  WriteMetainfo(buffered, pieces, &infoHashText);
  buffered.Flush();
}

void TTorrentFile::WriteMetainfo(TStream& out, const TTorrentPieces& pieces,
                                 std::string* infoHashText) const {
  const TLoaded* loaded = loaded_.get();
  std::vector<TKeyWriter> entries;

  entries.push_back({"announce", [&] { WriteString(out, Announce); }});

  const bool trackersUnchanged = loaded && loaded->AnnounceList && Announce == loaded->Announce &&
                                 BackupTrackers == loaded->BackupTrackers && tiers_ == loaded->Tiers;
  if (trackersUnchanged) {
    // Keeps the tiers as the file had them.
    entries.push_back({"announce-list", [&] { EncodeValue(out, *loaded->AnnounceList); }});
  } else if (auto tiers = AnnounceTiers(); !tiers.empty()) {
    entries.push_back({"announce-list", [&out, tiers = std::move(tiers)] {
                         WriteRaw(out, "l");
                         for (const auto& tier : tiers) {
                           WriteRaw(out, "l");
                           for (const std::string& url : tier) WriteString(out, url);
                           WriteRaw(out, "e");
                         }
                         WriteRaw(out, "e");
                       }});
  }

  if (!Comment.empty()) entries.push_back({"comment", [&] { WriteString(out, Comment); }});

  if (creation_) {
    if (loaded && loaded->CreationValue && creation_ == loaded->CreationDate)
      entries.push_back({"creation date", [&] { EncodeValue(out, *loaded->CreationValue); }});
    else
      entries.push_back({"creation date", [&] { WriteInteger(out, CreationUnix()); }});
  }

  // Decodes every file entry again and compares every piece: once per save.
  const bool layoutUnchanged = LayoutUnchanged(pieces);
  if (InfoUnchanged(layoutUnchanged)) {
    // Byte for byte, so the info hash stays.
    entries.push_back({"info", [&] { WriteRaw(out, loaded->RawInfo()); }});
    if (infoHashText) *infoHashText = InfoHashText;
  } else {
    entries.push_back({"info", [&, layoutUnchanged] {
                         if (!infoHashText) {
                           WriteInfo(out, pieces, layoutUnchanged);
                           return;
                         }
                         // Hashed on its way out: the info is written once.
                         TSha1Output tee(&out);
                         WriteInfo(tee, pieces, layoutUnchanged);
                         *infoHashText = BytesToHex(tee.DigestBytes(), 999);
                       }});
  }

  if (loaded && loaded->UrlList && WebSeeds == loaded->WebSeeds) {
    entries.push_back({"url-list", [&] { EncodeValue(out, *loaded->UrlList); }});
  } else if (!WebSeeds.empty()) {
    entries.push_back({"url-list", [&] {
                         WriteRaw(out, "l");
                         for (const std::string& url : WebSeeds) WriteString(out, url);
                         WriteRaw(out, "e");
                       }});
  }

  if (loaded) {
    std::vector<std::string_view> stale;
    if (Comment != loaded->Comment) stale.push_back("comment.utf-8");
    // v2 piece hashes belong to the file tree a rebuilt info leaves out.
    if (!layoutUnchanged) stale.push_back("piece layers");
    AddForeignKeys(entries, out, Dictionary.get(),
                   {"announce", "announce-list", "comment", "creation date", "info", "url-list"}, stale);
  }
  WriteDictionary(out, entries);
}
