#include "metainfo/TorrentFile.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <set>

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

// The name the program uses: without a ".torrent" ending, unless what is left
// could not name the data ("...torrent" would become "..", a way out of the
// download folder): such a name stays whole, as libtorrent keeps it.
std::string_view UsedName(std::string_view name) {
  if (!EndsWith(name, ".torrent")) return name;
  const std::string_view cut = name.substr(0, name.size() - 8);
  return ComponentProblem(cut).empty() ? cut : name;
}

// BEP 47 file attributes: "p" padding, "l" symlink, "x" executable, "h" hidden.
bool HasAttribute(const TObjectHash& entry, char flag) {
  const TObject* attr = entry.Find("attr");
  const auto* text = dynamic_cast<const TIntString*>(attr);
  return text && text->Text.find(flag) != std::string::npos;
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

// A link's target, as components from the torrent's root, that leads out of
// it ("../../etc/passwd"): a client following it would reach outside the data.
bool TargetClimbsOut(const std::vector<std::string_view>& parts) {
  int64_t depth = 0;
  for (std::string_view part : parts) {
    if (part.find('/') != std::string_view::npos || part.find('\\') != std::string_view::npos) return true;
    if (part.empty() || part == ".") continue;
    depth += part == ".." ? -1 : 1;
    if (depth < 0) return true;
  }
  return false;
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

// One file of a file tree being written: its keys and its entry's bytes as loaded.
struct TTreeLeaf {
  std::vector<std::string> Path;
  std::string_view Entry;
};

// The "file tree" of leaves sorted by path: each level's keys come in byte order.
void WriteTreeLevel(std::string& out, std::span<const TTreeLeaf> leaves, size_t depth) {
  out += 'd';
  for (size_t i = 0; i < leaves.size();) {
    const std::string& key = leaves[i].Path[depth];
    size_t end = i + 1;
    while (end < leaves.size() && leaves[end].Path[depth] == key) ++end;
    out += std::to_string(key.size()) + ':' + key;
    if (leaves[i].Path.size() == depth + 1) {
      out += "d0:";
      out += leaves[i].Entry;
      out += 'e';
    } else {
      WriteTreeLevel(out, leaves.subspan(i, end - i), depth + 1);
    }
    i = end;
  }
  out += 'e';
}

// The bytes of every file entry (the value under "") of a canonical file tree, depth first: in
// the order of the tree's files. One pass, whatever the size of a folder.
void CollectTreeEntries(std::string_view tree, std::vector<std::string_view>& entries, int depth) {
  if (depth > MaxFileTreeDepth) return;
  const std::vector<TRawEntry> keys = RawEntries(tree);
  for (const TRawEntry& key : keys) {
    if (key.Key.empty()) {
      entries.push_back(key.Value);
      return;  // a file: its dictionary holds nothing else
    }
  }
  for (const TRawEntry& key : keys) CollectTreeEntries(key.Value, entries, depth + 1);
}

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

const TRawEntry* FindRaw(const std::vector<TRawEntry>& entries, std::string_view key) {
  const TRawEntry* found = nullptr;
  for (const TRawEntry& entry : entries)
    if (entry.Key == key) found = &entry;  // the decoder keeps the last of twins too
  return found;
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
    "and this rename cannot be carried into its v2 file tree (it changes the order of the files, "
    "makes two paths clash, or the torrent is damaged): nothing was saved";

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

namespace {

// The info keys the model owns, each with the bit its setter sets.
enum TInfoKey : unsigned {
  KeyName = 1,
  KeyFiles = 2,  // a file renamed
  KeyPieceLength = 4,
  KeyPieces = 8,
  KeyPrivate = 16,
  KeySource = 32,
  // The data's layout: v2 keys beside a changed one no longer match it.
  KeyFileList = 64,  // files added to a loaded list
  LayoutKeys = KeyName | KeyFiles | KeyPieceLength | KeyPieces | KeyFileList,
};

}  // namespace

// The loaded file's bytes, kept whole rather than copying the info out: no
// second copy at the peak.
struct TTorrentFile::TRaw {
  std::string Bytes;
  size_t InfoStart = 0;  // the info value byte for byte, in Bytes
  size_t InfoLength = 0;
  // The info is one whole value: a save may copy it, or any of its keys.
  bool InfoComplete = false;
  // The top-level "piece layers" value the decoder kept, the one a save
  // writes: its checks read these bytes. Count: how many keys named it.
  std::string_view Layers;
  int LayersCount = 0;
  const TObjectHash* Info = nullptr;  // inside Dictionary
  // Where each item of info.files begins in Bytes (when it is a list); the
  // decoded list stays empty. A decoded entry costs several times the file's
  // own record, and only the load and a save need one, one at a time.
  std::vector<uint32_t> EntryStarts;
  unsigned KeysSet = 0;       // TInfoKey bits set since the load
  std::vector<bool> Renamed;  // per file, once one was renamed
  size_t RenamedCount = 0;

  std::string_view RawInfo() const { return std::string_view(Bytes).substr(InfoStart, InfoLength); }
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
  bool WasRenamed(size_t i) const { return i < Renamed.size() && Renamed[i]; }
};

TTorrentFile::TTorrentFile() : Dictionary(std::make_unique<TObjectHash>()) {}

TTorrentFile::~TTorrentFile() = default;

void TTorrentFile::Reset() {
  name_.clear();
  comment_.clear();
  InfoHashText.clear();
  InfoHash.clear();
  InfoHashV2Text.clear();
  InfoHashV2.clear();
  format_ = TMetaFormat::V1;
  pieceLayers_ = TPieceLayersState::Absent;
  layers_.clear();
  layerFaults_.clear();
  totalLength_ = 0;
  creation_.reset();
  multiFile_ = false;
  layout_.Clear();
  layout_.SetPieceLength(0);
  pieces_ = TTorrentPieces();
  tiers_.clear();
  mainApart_ = false;
  private_ = false;
  source_.clear();
  webSeeds_.clear();
  CreatedBy.clear();
  Errors.clear();
  raw_.reset();
  builtInfo_.clear();
  trackersSet_ = commentSet_ = creationSet_ = webSeedsSet_ = true;
  commentTaken_ = false;
  Dictionary = std::make_unique<TObjectHash>();
}

void TTorrentFile::SetInfo(const std::string& announce, const std::string& name, const std::string& comment,
                           const std::string& infoHash, int64_t totalLength, bool multiFile) {
  // A model filled for creation writes everything from its fields.
  raw_.reset();
  builtInfo_.clear();
  trackersSet_ = commentSet_ = creationSet_ = webSeedsSet_ = true;
  SetTrackers({});
  SetAnnounce(announce);
  name_ = name;
  comment_ = comment;
  InfoHash = infoHash;
  InfoHashText = BytesToHex(infoHash, 999);
  totalLength_ = totalLength;
  multiFile_ = multiFile;
  creation_ = DateTimeToUnix(NowUtc());
  private_ = false;
  source_.clear();
  webSeeds_.clear();
  CreatedBy.clear();
}

bool TTorrentFile::InfoChanged() const { return !raw_ || !raw_->InfoComplete || raw_->KeysSet != 0; }

bool TTorrentFile::HybridRenamed() const {
  return raw_ && (raw_->KeysSet & (KeyName | KeyFiles)) != 0 && HasV2Part() && RenamedFileTree().empty();
}

std::string TTorrentFile::RenamedFileTree() const {
  // A damaged v2 part is not vouched for under new names.
  if (!raw_ || !raw_->InfoComplete || format_ == TMetaFormat::V1 || IsDamaged()) return {};
  // Renames only: new pieces or files belong to another torrent.
  if ((raw_->KeysSet & LayoutKeys & ~unsigned{KeyName | KeyFiles}) != 0) return {};
  const std::string_view info = raw_->RawInfo();
  std::vector<std::string> errors;
  const TFileTree loaded = ReadFileTree(info, errors);
  if (!errors.empty() || loaded.Files.empty()) return {};
  std::vector<const TTorrentSubFile*> files;
  for (const TTorrentSubFile* file : layout_.Files())
    if (!file->Pad) files.push_back(file);
  if (files.size() != loaded.Files.size()) return {};

  const std::vector<TRawEntry> infoEntries = RawEntries(info);
  const TRawEntry* tree = FindRaw(infoEntries, "file tree");
  if (!tree) return {};
  std::vector<std::string_view> entries;
  CollectTreeEntries(tree->Value, entries, 0);
  if (entries.size() != files.size()) return {};
  std::vector<TTreeLeaf> leaves(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    leaves[i].Entry = entries[i];
    if (loaded.SingleFile) {
      leaves[i].Path = {name_};
    } else {
      for (std::string_view part : PathComponents(files[i]->Path, files[i]->Name))
        leaves[i].Path.emplace_back(part);
    }
    for (const std::string& part : leaves[i].Path)
      if (part.empty()) return {};
  }
  // The v1 list keeps its order, so the tree's depth-first walk must give the
  // same one; a file cannot also be a folder of another.
  for (size_t i = 1; i < leaves.size(); ++i) {
    const auto& before = leaves[i - 1].Path;
    const auto& after = leaves[i].Path;
    if (!(before < after)) return {};
    if (before.size() < after.size() && std::equal(before.begin(), before.end(), after.begin())) return {};
  }
  std::string out;
  WriteTreeLevel(out, leaves, 0);
  return out;
}

// Every info setter comes here: the info built for the last state is stale.
void TTorrentFile::InfoSet() {
  builtInfo_.clear();
  builtInfo_.shrink_to_fit();
}

void TTorrentFile::SetName(const std::string& name) {
  if (name == name_) return;
  name_ = name;
  if (raw_) {
    // A name typed and typed back is no rename: the loaded bytes stay.
    const auto* loaded = raw_->Info ? dynamic_cast<const TIntString*>(raw_->Info->Find("name")) : nullptr;
    const std::string_view loadedName = loaded ? UsedName(loaded->Text) : std::string_view();
    if (loaded && name == loadedName)
      raw_->KeysSet &= ~unsigned{KeyName};
    else
      raw_->KeysSet |= KeyName;
  }
  InfoSet();
}

void TTorrentFile::SetPrivate(bool isPrivate) {
  if (isPrivate == private_) return;
  private_ = isPrivate;
  if (raw_) raw_->KeysSet |= KeyPrivate;
  InfoSet();
}

void TTorrentFile::SetSource(const std::string& source) {
  if (source == source_) return;
  source_ = source;
  if (raw_) raw_->KeysSet |= KeySource;
  InfoSet();
}

void TTorrentFile::SetPieceLength(int64_t pieceLength) {
  if (pieceLength == layout_.PieceLength()) return;
  layout_.SetPieceLength(pieceLength);
  if (raw_) raw_->KeysSet |= KeyPieceLength;
  InfoSet();
}

void TTorrentFile::SetPieces(TTorrentPieces pieces) {
  pieces_ = std::move(pieces);
  if (raw_) raw_->KeysSet |= KeyPieces;
  InfoSet();
}

void TTorrentFile::AddFile(std::unique_ptr<TTorrentSubFile> file) {
  layout_.Append(std::move(file));
  totalLength_ = layout_.TotalLength();
  if (raw_) raw_->KeysSet |= KeyFileList;
  InfoSet();
}

bool TTorrentFile::LoadedWithPath(size_t i, const std::string& folder, const std::string& name) const {
  if (!raw_ || !multiFile_ || raw_->EntryStarts.size() != layout_.size() || i >= layout_.size()) return false;
  std::unique_ptr<TObject> owner;
  const TObjectHash* entry = raw_->Entry(i, owner);
  const auto* path = entry ? dynamic_cast<const TObjectList*>(entry->Find("path")) : nullptr;
  if (!path) return false;
  std::string loadedFolder, loadedName;
  try {
    SplitPathList(*path, loadedFolder, loadedName);
  } catch (const EInvalidCast&) {
    return false;  // damaged: the loader said so
  }
  return PathComponents(folder, name) == PathComponents(loadedFolder, loadedName);
}

void TTorrentFile::RenameFile(size_t i, const std::string& folder, const std::string& name) {
  const TTorrentSubFile& file = layout_[i];
  if (file.Path == folder && file.Name == name) return;
  layout_.Rename(i, folder, name);
  InfoSet();
  // A v2-only torrent has no v1 entries to compare with: any rename counts.
  if (raw_ && format_ == TMetaFormat::V2) raw_->KeysSet |= KeyFiles;
  // The one file of a single-file torrent is named by the torrent's name.
  if (!raw_ || !multiFile_ || raw_->EntryStarts.size() != layout_.size()) return;
  // A file renamed and renamed back is no rename: its loaded entry stays.
  const bool asLoaded = LoadedWithPath(i, folder, name);
  raw_->Renamed.resize(layout_.size());
  if (raw_->Renamed[i] != !asLoaded) {
    raw_->Renamed[i] = !asLoaded;
    raw_->RenamedCount += asLoaded ? -1 : 1;
  }
  if (raw_->RenamedCount != 0)
    raw_->KeysSet |= KeyFiles;
  else
    raw_->KeysSet &= ~unsigned{KeyFiles};
}

void TTorrentFile::SetComment(const std::string& comment) {
  if (comment == comment_) return;
  comment_ = comment;
  commentSet_ = true;
}

void TTorrentFile::SetWebSeeds(std::vector<std::string> seeds) {
  if (seeds == webSeeds_) return;
  webSeeds_ = std::move(seeds);
  webSeedsSet_ = true;
}

void TTorrentFile::SetCreationUnix(int64_t seconds) {
  if (creation_ == seconds) return;
  creation_ = seconds;
  creationSet_ = true;
}

void TTorrentFile::ClearCreationDate() {
  if (!creation_) return;
  creation_.reset();
  creationSet_ = true;
}

std::string TTorrentFile::Announce() const {
  return tiers_.empty() || tiers_.front().empty() ? std::string() : tiers_.front().front();
}

std::vector<std::vector<std::string>>::const_iterator TTorrentFile::ListBegin() const {
  return mainApart_ ? tiers_.begin() + 1 : tiers_.begin();
}

std::vector<std::string> TTorrentFile::BackupTrackers() const {
  std::vector<std::string> urls;
  for (auto tier = ListBegin(); tier != tiers_.end(); ++tier)
    urls.insert(urls.end(), tier->begin(), tier->end());
  return urls;
}

TTrackerTiers TTorrentFile::AnnounceTiers() const {
  TTrackerTiers list(ListBegin(), tiers_.end());
  const std::string main = Announce();
  if (list.empty() || !mainApart_ || main.empty()) return list;
  // Clients read the tiers instead of announce: a main tracker set apart from
  // them would never be used. A file that came that way stays so.
  const std::vector<std::string> urls = Flatten(list);
  if (!trackersSet_ || std::find(urls.begin(), urls.end(), main) != urls.end()) return list;
  list.insert(list.begin(), std::vector<std::string>{main});
  return list;
}

void TTorrentFile::SetTrackers(TTrackerTiers tiers) {
  for (auto& tier : tiers) std::erase(tier, std::string());
  std::erase_if(tiers, [](const auto& tier) { return tier.empty(); });
  tiers_ = std::move(tiers);
  mainApart_ = false;
  trackersSet_ = true;
}

void TTorrentFile::SetAnnounce(const std::string& url) {
  if (!mainApart_) {
    if (url.empty() && tiers_.empty()) return;
    tiers_.insert(tiers_.begin(), std::vector<std::string>());
    mainApart_ = true;
  }
  tiers_.front().clear();
  if (!url.empty()) tiers_.front().push_back(url);
  if (tiers_.size() == 1 && url.empty()) {
    tiers_.clear();
    mainApart_ = false;
  }
  trackersSet_ = true;
}

void TTorrentFile::SetBackupTrackers(const std::vector<std::string>& urls) {
  const std::string main = Announce();
  TTrackerTiers list;
  for (const std::string& url : urls)
    if (!url.empty() && url != main) list.push_back({url});
  // A back-up naming the main tracker puts it first in the announce-list.
  const bool mainListed = !main.empty() && std::find(urls.begin(), urls.end(), main) != urls.end();
  if (mainListed) list.insert(list.begin(), std::vector<std::string>{main});
  SetTrackers(std::move(list));
  if (!mainListed) SetAnnounce(main);
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
  std::string announce;
  if (TObject* value = top.Find("announce"))
    announce = As<TIntString>(value).Text;
  else
    Errors.push_back(MissingAnnounceError);

  TTrackerTiers list;
  if (TObject* announceList = top.Find("announce-list")) {
    for (const auto& tier : As<TObjectList>(announceList).Items) {
      // Some tools write a flat list of URLs: each is a tier of its own.
      if (const auto* url = dynamic_cast<const TIntString*>(tier.get())) {
        list.push_back({url->Text});
        continue;
      }
      list.emplace_back();
      for (const auto& url : As<TObjectList>(tier.get()).Items)
        list.back().push_back(As<TIntString>(url.get()).Text);
    }
  }
  // The announce key leads as a tier of its own (empty without one); the
  // announce-list's URLs, repeats included, are the back-up trackers.
  mainApart_ = !announce.empty() || !list.empty();
  if (mainApart_)
    tiers_.push_back(announce.empty() ? std::vector<std::string>() : std::vector<std::string>{announce});
  for (auto& tier : list) {
    std::erase(tier, std::string());
    if (!tier.empty()) tiers_.push_back(std::move(tier));
  }
}

void TTorrentFile::ReadExtras(const TObjectHash& top, const TObjectHash* info) {
  if (const TObject* urlList = top.Find("url-list")) webSeeds_ = ReadWebSeeds(urlList);
  if (const auto* createdBy = dynamic_cast<const TIntString*>(top.Find("created by")))
    CreatedBy = createdBy->Text;
  if (!info) return;
  // Clients take only the integer 1 as private.
  if (const auto* flag = dynamic_cast<const TIntString*>(info->Find("private")))
    private_ = flag->IsInteger && flag->Value == 1;
  if (const auto* source = dynamic_cast<const TIntString*>(info->Find("source"))) source_ = source->Text;
}

void TTorrentFile::ReadDescription(const TObjectHash& top) {
  if (TObject* comment = top.Find("comment")) {
    // Taken over, not copied: a comment can be most of a 256 MiB file. A
    // save writes it from comment_ until it is set.
    auto& text = As<TIntString>(comment);
    commentTaken_ = !text.IsInteger;
    comment_ = commentTaken_ ? std::move(text.Text) : text.Text;
  }
  if (TObject* creation = top.Find("creation date")) creation_ = As<TIntString>(creation).Value;
}

void TTorrentFile::ReadName(const TObjectHash& info) {
  TObject* name = info.Find("name");
  if (!name) {
    Errors.push_back("Corrupt File: Missing \"info.name\" segment");
    return;
  }
  name_ = UsedName(As<TIntString>(name).Text);
  // The name is the file or the folder the data goes to: judged as it will be used.
  if (const std::string problem = ComponentProblem(name_); !problem.empty())
    Errors.push_back("Corrupt File: \"info.name\" " + problem);
}

void TTorrentFile::ReadPieces(const TObjectHash& info) {
  if (TObject* pieceLength = info.Find("piece length")) {
    const int64_t length = As<TIntString>(pieceLength).Value;
    layout_.SetPieceLength(length);
    if (As<TIntString>(pieceLength).Overflow)
      Errors.push_back("Corrupt File: \"info.piece length\" does not fit in 64 bits");
    else if (length <= 0 || length > MaxPieceLength)
      Errors.push_back("Corrupt File: \"info.piece length\" is " + std::to_string(length) +
                       ", not between 1 and " + std::to_string(MaxPieceLength));
  } else {
    Errors.push_back("Corrupt File: Missing \"info.piece length\" segment");
  }

  TObject* pieces = info.Find("pieces");
  if (!pieces) {
    if (format_ == TMetaFormat::V2) return;
    Errors.push_back("Corrupt File: Missing \"info.pieces\" segment");
    return;
  }
  // Taken over, not copied: the decoded tree keeps no second copy of the
  // largest value of a torrent.
  std::string hashes = std::move(As<TIntString>(pieces).Text);
  if (hashes.size() % TTorrentPieces::HashSize != 0) {
    Errors.push_back("Corrupt File: \"info.pieces\" is " + std::to_string(hashes.size()) +
                     " bytes long, not a multiple of 20");
    hashes.resize(hashes.size() - hashes.size() % TTorrentPieces::HashSize);
  }
  pieces_.Assign(std::move(hashes));
}

void TTorrentFile::ReadFileList() {
  multiFile_ = true;
  const size_t count = raw_->EntryStarts.size();
  if (count == 0) Errors.push_back("Corrupt File: \"info.files\" is empty");
  layout_.Reserve(count);
  bool lengthsValid = true;
  std::string folder, fileName;
  std::unique_ptr<TObject> owner;
  for (size_t i = 0; i < count; ++i) {
    const std::string entryName = "files[" + std::to_string(i) + "]";
    const auto& entry = As<TObjectHash>(raw_->Entry(i, owner));
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
    } else if (fileLength >= MaxTorrentFileLength) {
      Errors.push_back("Corrupt File: " + entryName + " has a length of " + std::to_string(fileLength) +
                       " bytes, 2^62 or more, which clients refuse");
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
    auto file = std::make_unique<TTorrentSubFile>(fileName, folder, fileLength, 0);
    file->Pad = HasAttribute(entry, 'p');
    file->Symlink = symlink;
    file->UnsafePath = unsafe;
    if (TObject* target = symlink ? entry.Find("symlink path") : nullptr) {
      std::string targetFolder, targetName;
      SplitPathList(As<TObjectList>(target), targetFolder, targetName);
      std::vector<std::string_view> parts;
      for (const auto& item : As<TObjectList>(target).Items)
        parts.emplace_back(As<TIntString>(item.get()).Text);
      if (TargetClimbsOut(parts)) file->UnsafePath = true;
      file->SetSymlinkPath(targetFolder + targetName);
    }
    layout_.Append(std::move(file));
  }
  totalLength_ = layout_.TotalLength();
  if (layout_.Overflow() && lengthsValid)
    Errors.push_back("Corrupt File: the file lengths add up to more than 2^63 bytes");
  CheckLengths(lengthsValid && !layout_.Overflow() && count != 0);
}

// Clients check that the pieces cover the data exactly: one hash per piece
// length of data, the last possibly short.
void TTorrentFile::CheckLengths(bool lengthsValid) {
  if (!lengthsValid) return;
  if (totalLength_ == 0) {
    Errors.push_back("Corrupt File: the torrent holds no data (total length 0)");
    return;
  }
  const int64_t pieceLength = layout_.PieceLength();
  if (pieceLength <= 0 || pieceLength > MaxPieceLength || totalLength_ < 0) return;
  const int64_t needed = layout_.PieceCount();
  const auto held = static_cast<int64_t>(pieces_.size());
  if (held != needed)
    Errors.push_back("Corrupt File: \"info.pieces\" holds " + std::to_string(held) +
                     " piece hashes, but the total length needs " + std::to_string(needed));
}

void TTorrentFile::ReadInfo(const TObjectHash& info) {
  ReadName(info);
  ReadPieces(info);
  if (format_ == TMetaFormat::V2) return;
  if (TObject* length = info.Find("length")) {
    const int64_t total = As<TIntString>(length).Value;
    auto file = std::make_unique<TTorrentSubFile>(name_, std::string(), total, 0);
    file->UnsafePath = !ComponentProblem(name_).empty();
    layout_.Append(std::move(file));
    totalLength_ = total;
    const bool overflow = As<TIntString>(length).Overflow;
    if (overflow)
      Errors.push_back("Corrupt File: \"info.length\" does not fit in 64 bits");
    else if (total < 0)
      Errors.push_back("Corrupt File: \"info.length\" is negative");
    else if (total >= MaxTorrentFileLength)
      Errors.push_back("Corrupt File: \"info.length\" is " + std::to_string(total) +
                       " bytes, 2^62 or more, which clients refuse");
    CheckLengths(total >= 0 && total < MaxTorrentFileLength && !overflow);
  } else if (TObject* files = info.Find("files")) {
    // The decoder left the entries in the loaded bytes, noting where each begins.
    if (!dynamic_cast<const TObjectList*>(files)) throw EInvalidCast();
    ReadFileList();
  } else {
    Errors.push_back(
        "Corrupt File: Missing both \"info.length\" and \"info.files\" segments (should have one or the "
        "other)");
  }
}

void TTorrentFile::ReadV2(std::string_view infoBytes) {
  // Only a torrent with a file tree has layers to read.
  std::string_view layers;
  if (format_ != TMetaFormat::V1) layers = raw_->Layers;
  TV2Metadata meta = ReadV2Metadata(infoBytes, layers, Errors);
  format_ = meta.Format;
  if (format_ == TMetaFormat::V1) return;
  // The layers a save writes are the decoded ones, in canonical form: what
  // is checked here must be those very bytes, or a clean load could save
  // layers nobody checked.
  if (raw_->LayersCount > 1)
    Errors.push_back("Corrupt File: the \"piece layers\" segment appears more than once");
  if (raw_->LayersCount > 0 && layers.empty())
    Errors.push_back("Corrupt File: Malformed \"piece layers\" segment");
  else if (!layers.empty() && !IsCanonicalValue(layers))
    Errors.push_back(
        "Corrupt File: the \"piece layers\" segment is not canonically bencoded (keys out of order or "
        "repeated, or numbers with leading zeros)");
  pieceLayers_ = meta.PieceLayers;
  InfoHashV2 = std::move(meta.InfoHashV2);
  InfoHashV2Text = BytesToHex(InfoHashV2, 999);
  if (format_ == TMetaFormat::V2) {
    // No swarm knows this info by its SHA-1.
    InfoHash.clear();
    InfoHashText.clear();
    ReadTreeFiles(meta.Tree);
    std::vector<size_t> files(layout_.size());
    for (size_t i = 0; i < files.size(); ++i) files[i] = i;
    KeepLayers(meta, files);
    return;
  }
  // A hybrid's v1 files are the tree's files in the same order, with pads between.
  std::vector<size_t> real;
  for (size_t i = 0; i < layout_.size(); ++i)
    if (!layout_[i].Pad) real.push_back(i);
  if (real.size() != meta.Tree.Files.size()) return;  // the hybrid check said so
  for (size_t i = 0; i < real.size(); ++i)
    layout_.Entry(real[i]).SetPiecesRoot(std::move(meta.Tree.Files[i].PiecesRoot));
  KeepLayers(meta, real);
}

void TTorrentFile::KeepLayers(TV2Metadata& meta, const std::vector<size_t>& fileOfTree) {
  // Moved, not copied: the layers of a large torrent run to many MiB.
  for (size_t i = 0; i < meta.Tree.Files.size(); ++i)
    if (!meta.Tree.Files[i].PieceLayer.empty())
      layers_.emplace_back(fileOfTree[i], std::move(meta.Tree.Files[i].PieceLayer));
  for (TLayerFault& fault : meta.LayerFaults) {
    fault.File = fileOfTree[fault.File];
    layerFaults_.push_back(std::move(fault));
  }
  // Found in the order of the layers' keys; reported in the files' order.
  std::sort(layerFaults_.begin(), layerFaults_.end(),
            [](const TLayerFault& a, const TLayerFault& b) { return a.File < b.File; });
}

std::string_view TTorrentFile::PieceLayer(size_t i) const {
  const auto found = std::lower_bound(layers_.begin(), layers_.end(), i,
                                      [](const auto& layer, size_t file) { return layer.first < file; });
  if (found == layers_.end() || found->first != i) return {};
  return found->second;
}

void TTorrentFile::ReadTreeFiles(const TFileTree& tree) {
  multiFile_ = !tree.SingleFile;
  layout_.Reserve(tree.Files.size());
  for (const TTreeFile& entry : tree.Files) {
    std::string folder;
    std::string name = tree.SingleFile ? name_ : std::string();
    bool unsafe = false;
    for (size_t j = 0; j < entry.Path.size(); ++j) {
      unsafe = unsafe || !ComponentProblem(entry.Path[j]).empty();
      if (tree.SingleFile) continue;
      if (j + 1 < entry.Path.size())
        folder += entry.Path[j] + '/';
      else
        name = entry.Path[j];
    }
    auto file = std::make_unique<TTorrentSubFile>(std::move(name), std::move(folder), entry.Length, 0);
    file->Symlink = entry.IsSymlink();
    file->UnsafePath = unsafe;
    if (file->Symlink) {
      std::string target;
      for (const std::string& part : entry.SymlinkPath) target += (target.empty() ? "" : "/") + part;
      file->SetSymlinkPath(std::move(target));
      if (TargetClimbsOut({entry.SymlinkPath.begin(), entry.SymlinkPath.end()})) file->UnsafePath = true;
    }
    file->SetPiecesRoot(entry.PiecesRoot);
    layout_.Append(std::move(file), true);
  }
  totalLength_ = tree.TotalLength;
}

void TTorrentFile::HashInfo(std::string_view bytes, int64_t start, int64_t length) {
  InfoHash = Sha1Bytes(bytes.substr(static_cast<size_t>(start), static_cast<size_t>(length)));
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
    if (!dynamic_cast<TObjectHash*>(value.get())) throw EInvalidCast();
    Dictionary.reset(static_cast<TObjectHash*>(value.release()));
    TObjectHash* top = Dictionary.get();

    raw_ = std::make_unique<TRaw>();
    raw_->Bytes = memory.TakeData();
    // No larger than MaxFileSize, so every offset fits 32 bits.
    raw_->EntryStarts.assign(report.FileEntryStarts.begin(), report.FileEntryStarts.end());
    std::vector<int64_t>().swap(report.FileEntryStarts);
    raw_->LayersCount = report.LayersCount;
    if (report.LayersStart >= 0)
      raw_->Layers =
          std::string_view(raw_->Bytes)
              .substr(static_cast<size_t>(report.LayersStart), static_cast<size_t>(report.LayersLength));
    // From here on a save writes what it has not read as the file had it.
    trackersSet_ = commentSet_ = creationSet_ = webSeedsSet_ = false;
    ReadTrackers(*top);
    ReadDescription(*top);

    TObject* infoValue = top->Find("info");
    const size_t errorsBeforeInfo = Errors.size();
    if (!infoValue) {
      ReadExtras(*top, nullptr);
      Errors.push_back("Corrupt File: Missing \"info\" segment");
    } else {
      auto& info = As<TObjectHash>(infoValue);
      raw_->Info = &info;
      ReadExtras(*top, &info);
      // A v2-only info has no v1 file list or pieces: its files come from the tree.
      if (report.InfoStart >= 0)
        format_ = FormatOf(
            std::string_view(raw_->Bytes)
                .substr(static_cast<size_t>(report.InfoStart), static_cast<size_t>(report.InfoLength)));
      ReadInfo(info);
      // Clients hash the first "info"; this decoder keeps the last.
      if (report.InfoCount > 1) Errors.push_back("Corrupt File: the \"info\" segment appears more than once");
      if (report.InfoStart >= 0) {
        HashInfo(raw_->Bytes, report.InfoStart, report.InfoLength);
        raw_->InfoStart = static_cast<size_t>(report.InfoStart);
        raw_->InfoLength = static_cast<size_t>(report.InfoLength);
        raw_->InfoComplete = IsCompleteValue(raw_->RawInfo());
        // The decoder skips stray bytes, but the info hash covers them: no client
        // takes such an info, and a save would rebuild it under another hash.
        // A cut-off info has said so already.
        if (!raw_->InfoComplete && Errors.size() == errorsBeforeInfo)
          Errors.push_back("Corrupt File: Malformed \"info\" segment");
        ReadV2(raw_->RawInfo());
      }
    }
    if (!dynamic_cast<const TObjectList*>(raw_->Info ? raw_->Info->Find("files") : nullptr) ||
        raw_->Info->Exists("length"))
      std::vector<uint32_t>().swap(raw_->EntryStarts);
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

std::vector<std::string> TTorrentFile::DamageLinesBesideLayerFaults() const {
  std::multiset<std::string_view> faults;
  for (const TLayerFault& fault : layerFaults_) faults.insert(fault.Line);
  std::vector<std::string> lines;
  for (std::string& line : DamageLines()) {
    if (const auto found = faults.find(line); found != faults.end())
      faults.erase(found);
    else
      lines.push_back(std::move(line));
  }
  return lines;
}

TDateTime DateTimeOf(const TTorrentFile& torrent) {
  return torrent.HasCreationDate() ? UnixToDateTime(torrent.CreationUnix()) : 0;
}

bool TTorrentFile::HasV2Part() const {
  if (!raw_) return false;
  const TObjectHash* info = raw_->Info;
  return (info && (info->Exists("file tree") || info->Exists("meta version"))) ||
         Dictionary->Exists("piece layers");
}

std::string_view TTorrentFile::InfoBytes(const TTorrentPieces& pieces) const {
  if (&pieces != &pieces_) return {};
  if (!InfoChanged()) return raw_->RawInfo();
  if (builtInfo_.empty()) {
    TMemoryStream built;
    {
      TBufferedOutput buffered(built);
      WriteInfo(buffered, pieces);
      buffered.Flush();
    }
    builtInfo_ = built.TakeData();
  }
  return builtInfo_;
}

std::string TTorrentFile::SavedInfoHashV2Text(const TTorrentPieces& pieces) const {
  if (format_ == TMetaFormat::V1) return {};
  if (!InfoChanged() && &pieces == &pieces_) return InfoHashV2Text;
  const std::string_view info = InfoBytes(pieces);
  if (info.empty() || static_cast<int64_t>(info.size()) > MaxFileSize) return {};
  return BytesToHex(::InfoHashV2(info), 999);
}

std::string TTorrentFile::SavedInfoHashText(const TTorrentPieces& pieces) const {
  if (format_ == TMetaFormat::V2) return {};  // no v1 hash to give
  // The save copies the info byte for byte: the hash of those bytes.
  if (!InfoChanged() && &pieces == &pieces_) return InfoHashText;
  // A hash of another length breaks the "pieces" string: the info a reader
  // finds is not the one written.
  if (!pieces.Whole()) return {};
  if (const std::string_view info = InfoBytes(pieces); !info.empty()) {
    if (static_cast<int64_t>(info.size()) > MaxFileSize) return {};
    return BytesToHex(Sha1Bytes(info), 999);
  }
  TSha1Output info;
  TBufferedOutput buffered(info);
  WriteInfo(buffered, pieces);
  buffered.Flush();
  if (info.Written() > MaxFileSize) return {};
  return BytesToHex(info.DigestBytes(), 999);
}

void TTorrentFile::WriteInfo(TStream& out, const TTorrentPieces& pieces) const {
  const TRaw* raw = raw_.get();
  const TObjectHash* loadedInfo = raw ? raw->Info : nullptr;
  // A whole loaded info keeps the bytes of every key no setter changed.
  const std::vector<TRawEntry> rawInfo =
      raw && raw->InfoComplete ? RawEntries(raw->RawInfo()) : std::vector<TRawEntry>();
  const unsigned keysSet = raw && raw->InfoComplete ? raw->KeysSet : ~0u;
  auto keep = [&](std::string_view key, unsigned bit) -> const TRawEntry* {
    return (keysSet & bit) == 0 ? FindRaw(rawInfo, key) : nullptr;
  };

  std::vector<TKeyWriter> entries;
  // A v2-only info describes its files in "file tree" alone.
  const bool v1Keys = format_ != TMetaFormat::V2;
  if (v1Keys && MultiFile) {
    if (const TRawEntry* files = keep("files", KeyFiles | KeyFileList)) {
      entries.push_back({"files", [&out, value = files->Value] { WriteRaw(out, value); }});
    } else {
      // Entries keep their other keys while the list keeps its shape.
      const TRawEntry* loadedFiles = FindRaw(rawInfo, "files");
      entries.push_back({"files", [&out, this, loadedFiles] {
                           WriteRaw(out, "l");
                           std::string plain;
                           for (size_t i = 0; i < Files.size(); ++i) {
                             // Untouched entries of a whole info go out as they came.
                             if (loadedFiles && !raw_->WasRenamed(i) &&
                                 raw_->EntryStarts.size() == Files.size()) {
                               const size_t start = raw_->EntryStarts[i];
                               const size_t end =
                                   i + 1 < Files.size()
                                       ? raw_->EntryStarts[i + 1]
                                       : static_cast<size_t>(loadedFiles->Value.data() - raw_->Bytes.data()) +
                                             loadedFiles->Value.size() - 1;
                               WriteRaw(out, std::string_view(raw_->Bytes).substr(start, end - start));
                               continue;
                             }
                             WriteFileEntry(out, i, plain);
                           }
                           WriteRaw(out, "e");
                         }});
    }
  } else if (v1Keys) {
    entries.push_back({"length", [&] { WriteInteger(out, TotalLength); }});
  }
  if (const TRawEntry* name = keep("name", KeyName))
    entries.push_back({"name", [&out, value = name->Value] { WriteRaw(out, value); }});
  else
    entries.push_back({"name", [&] { WriteString(out, Name); }});
  if (const TRawEntry* length = keep("piece length", KeyPieceLength))
    entries.push_back({"piece length", [&out, value = length->Value] { WriteRaw(out, value); }});
  else
    entries.push_back({"piece length", [&] { WriteInteger(out, PieceLength); }});
  if (const TRawEntry* hashes = keep("pieces", KeyPieces); hashes && &pieces == &pieces_)
    entries.push_back({"pieces", [&out, value = hashes->Value] { WriteRaw(out, value); }});
  else if (v1Keys)
    entries.push_back({"pieces", [&] { WriteString(out, pieces.Bytes()); }});

  // The flags keep what the file had (even a value the model does not take as
  // set) until a setter changes them.
  const bool flagsKept = raw && !raw->InfoComplete;
  auto keepFlag = [&](std::string_view key, unsigned bit) {
    if (const TRawEntry* entry = keep(key, bit)) {
      entries.push_back({key, [&out, value = entry->Value] { WriteRaw(out, value); }});
      return true;
    }
    if (!flagsKept || (raw->KeysSet & bit) != 0 || !loadedInfo) return false;
    const TObject* value = loadedInfo->Find(key);
    if (value) entries.push_back({key, [&out, value] { EncodeValue(out, *value); }});
    return value != nullptr;
  };
  if (!keepFlag("private", KeyPrivate) && Private)
    entries.push_back({"private", [&] { WriteInteger(out, 1); }});
  if (!keepFlag("source", KeySource) && !Source.empty())
    entries.push_back({"source", [&] { WriteString(out, Source); }});

  std::vector<std::string_view> stale;
  std::vector<std::string_view> owned{"files",  "length",  "name",  "piece length",
                                      "pieces", "private", "source"};
  if ((keysSet & LayoutKeys) != 0) {
    if (raw && (raw->KeysSet & KeyName) != 0) stale.push_back("name.utf-8");
    // A renamed v2 torrent gets its tree under the new names; v2 keys beside
    // new pieces or a damaged info would not match them.
    if (std::string tree = RenamedFileTree(); !tree.empty()) {
      owned.push_back("file tree");
      entries.push_back({"file tree", [&out, tree = std::move(tree)] { WriteRaw(out, tree); }});
    } else {
      stale.push_back("file tree");
      stale.push_back("meta version");
    }
  }
  if (rawInfo.empty()) {
    AddForeignKeys(entries, out, loadedInfo, owned, stale);
  } else {
    for (const TRawEntry& entry : rawInfo) {
      if (IsIn(entry.Key, owned) || IsIn(entry.Key, stale)) continue;
      if (FindRaw(rawInfo, entry.Key) != &entry) continue;  // a twin: the last one stands
      entries.push_back({entry.Key, [&out, value = entry.Value] { WriteRaw(out, value); }});
    }
  }
  WriteDictionary(out, entries);
}

void TTorrentFile::WriteFileEntry(TStream& out, size_t index, std::string& plain) const {
  const TTorrentSubFile& file = *Files[index];
  const bool loaded = raw_ && raw_->EntryStarts.size() == Files.size();
  const bool renamed = !loaded || raw_->WasRenamed(index);
  PlainEntryBytes(file, plain);
  if (loaded && !renamed && raw_->EntryIs(index, plain)) {
    // Nothing beside length and path: no need to decode it.
    WriteRaw(out, plain);
    return;
  }
  if (!loaded) {
    // Made here: nothing beside length and path.
    WriteRaw(out, plain);
    return;
  }
  std::unique_ptr<TObject> owner;
  const TObjectHash* loadedEntry = raw_->Entry(index, owner);
  // An entry the user left alone keeps its path list as loaded: a component
  // holding a "/" must never become two.
  const TObject* loadedPath = !renamed && loadedEntry ? loadedEntry->Find("path") : nullptr;
  auto writePath = [&] {
    if (loadedPath) {
      EncodeValue(out, *loadedPath);
      return;
    }
    WriteRaw(out, "l");
    for (std::string_view part : PathComponents(file.Path, file.Name)) WriteString(out, part);
    WriteRaw(out, "e");
  };
  std::vector<TKeyWriter> entries;
  entries.push_back({"length", [&] { WriteInteger(out, file.Length); }});
  entries.push_back({"path", writePath});
  std::vector<std::string_view> stale;
  if (renamed) stale.push_back("path.utf-8");
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
  std::vector<TKeyWriter> entries;
  // A key the model has not set since the load is written as it was loaded.
  auto loadedValue = [&](std::string_view key) {
    if (const TObject* value = Dictionary->Find(key))
      entries.push_back({key, [&out, value] { EncodeValue(out, *value); }});
  };

  if (!trackersSet_) {
    loadedValue("announce");
    loadedValue("announce-list");
  } else {
    // No main tracker, no announce: an empty one is a tracker named "".
    if (std::string announce = Announce(); !announce.empty())
      entries.push_back({"announce", [&out, announce = std::move(announce)] { WriteString(out, announce); }});
    if (auto tiers = AnnounceTiers(); !tiers.empty()) {
      entries.push_back(
          {"announce-list", [&out, tiers = std::move(tiers)] { WriteStringLists(out, tiers); }});
    }
  }

  if (!commentSet_ && commentTaken_)
    entries.push_back({"comment", [&] { WriteString(out, Comment); }});
  else if (!commentSet_)
    loadedValue("comment");
  else if (!Comment.empty())
    entries.push_back({"comment", [&] { WriteString(out, Comment); }});

  if (!creationSet_)
    loadedValue("creation date");
  else if (creation_)
    entries.push_back({"creation date", [&] { WriteInteger(out, CreationUnix()); }});

  // The loaded info while clean, or the one SavedInfoHashText built.
  std::string_view info;
  const bool changed = InfoChanged();
  if (&pieces == &pieces_) info = changed ? std::string_view(builtInfo_) : raw_->RawInfo();
  if (!info.empty()) {
    // Byte for byte, so a clean info keeps its hash.
    entries.push_back({"info", [&out, info, infoHashText, changed, this] {
                         WriteRaw(out, info);
                         if (infoHashText)
                           *infoHashText = changed && format_ != TMetaFormat::V2
                                               ? BytesToHex(Sha1Bytes(info), 999)
                                               : InfoHashText;
                       }});
  } else {
    entries.push_back({"info", [&] {
                         if (!infoHashText) {
                           WriteInfo(out, pieces);
                           return;
                         }
                         // Hashed on its way out: the info is written once.
                         TSha1Output tee(&out);
                         WriteInfo(tee, pieces);
                         *infoHashText =
                             format_ == TMetaFormat::V2 ? std::string() : BytesToHex(tee.DigestBytes(), 999);
                       }});
  }

  if (!webSeedsSet_) {
    loadedValue("url-list");
  } else if (!WebSeeds.empty()) {
    entries.push_back({"url-list", [&] { WriteStringList(out, WebSeeds); }});
  }

  if (raw_) {
    std::vector<std::string_view> stale;
    if (commentSet_) stale.push_back("comment.utf-8");
    // v2 piece hashes belong to the file tree a rebuilt info leaves out.
    if (!raw_->InfoComplete || ((raw_->KeysSet & LayoutKeys) != 0 && RenamedFileTree().empty()))
      stale.push_back("piece layers");
    AddForeignKeys(entries, out, Dictionary.get(),
                   {"announce", "announce-list", "comment", "creation date", "info", "url-list"}, stale);
  }
  WriteDictionary(out, entries);
}

int64_t TTorrentFile::DataLength() const {
  int64_t total = 0;
  for (const auto& file : Files)
    if (!file->Pad) total += file->Length;
  return total;
}

int64_t TTorrentFile::PieceCount() const {
  if (format_ == TMetaFormat::V2) return layout_.PieceCount();
  return static_cast<int64_t>(pieces_.size());
}
