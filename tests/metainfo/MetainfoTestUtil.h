#pragma once
// Helpers shared by the metainfo tests.

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "base/Stream.h"
#include "metainfo/BDecode.h"
#include "metainfo/TorrentFile.h"

// The decoded value written back canonically, or "none".
inline std::string DecodeToText(const std::string& input) {
  TMemoryStream in{input};
  auto value = DecodeValue(in);
  if (!value) return "none";
  TMemoryStream out;
  EncodeValue(out, *value);
  return out.Data();
}

// Appends one piece hash to the model's pieces.
inline void AppendPiece(TTorrentFile& torrent, const std::string& hash) {
  TTorrentPieces pieces = torrent.Pieces;
  pieces.push_back(hash);
  torrent.SetPieces(std::move(pieces));
}

// Accepts a fixed number of bytes, then writes short.
class TShortStream : public TMemoryStream {
 public:
  explicit TShortStream(int64_t room) : room_(room) {}
  int64_t Write(const void* buffer, int64_t count) override {
    const int64_t n = std::min(count, room_);
    room_ -= n;
    return TMemoryStream::Write(buffer, n);
  }

 private:
  int64_t room_;
};

// Bencode built by hand, in the order given (so tests can write unsorted keys).
namespace Ben {
inline std::string Str(const std::string& s) { return std::to_string(s.size()) + ":" + s; }
inline std::string Int(int64_t v) { return "i" + std::to_string(v) + "e"; }
inline std::string List(std::initializer_list<std::string> items) {
  std::string out = "l";
  for (const auto& item : items) out += item;
  return out + "e";
}
inline std::string Dict(std::initializer_list<std::pair<std::string, std::string>> entries) {
  std::string out = "d";
  for (const auto& [key, value] : entries) out += Str(key) + value;
  return out + "e";
}
// A v1 file entry, and a pad entry as hybrids write them.
inline std::string FileEntry(int64_t length, std::initializer_list<std::string> path) {
  return Dict({{"length", Int(length)}, {"path", List(path)}});
}
inline std::string PadEntry(int64_t length) {
  return Dict({{"attr", Str("p")},
               {"length", Int(length)},
               {"path", List({Str(".pad"), Str(std::to_string(length))})}});
}
}  // namespace Ben

// Twenty bytes of piece hash made from a seed.
inline std::string FakeHash(int seed) {
  std::string hash(20, '\0');
  for (int i = 0; i < 20; ++i) hash[static_cast<size_t>(i)] = static_cast<char>((seed * 31 + i * 7) & 0xff);
  return hash;
}

struct TLoadResult {
  std::unique_ptr<TTorrentFile> Model;
  bool Ok;
};

inline TLoadResult Load(const std::string& bytes) {
  auto model = std::make_unique<TTorrentFile>();
  TMemoryStream in{bytes};
  const bool ok = model->LoadFromStream(in);
  return {std::move(model), ok};
}

inline std::string Save(const TTorrentFile& model) {
  TMemoryStream out;
  model.SaveToStream(out, model.Pieces);
  return out.Data();
}

// A multi-file torrent of count files in nested folders, built directly as
// bytes. File i has length 1000 + i % 4096 and the path
// dir<i/1000>/sub<i/100 % 10>/file<i>.bin.
inline std::string ManyFilesTorrent(int count, std::string* infoOut = nullptr) {
  std::string files = "l";
  int64_t total = 0;
  for (int i = 0; i < count; ++i) {
    const int64_t length = 1000 + i % 4096;
    total += length;
    files += "d6:lengthi" + std::to_string(length) + "e4:pathl";
    files += Ben::Str("dir" + std::to_string(i / 1000));
    files += Ben::Str("sub" + std::to_string(i / 100 % 10));
    files += Ben::Str("file" + std::to_string(i) + ".bin");
    files += "ee";
  }
  files += "e";
  const int64_t pieceLength = 1 << 20;
  const int64_t pieces = (total + pieceLength - 1) / pieceLength;
  std::string hashes;
  for (int64_t p = 0; p < pieces; ++p) hashes += FakeHash(static_cast<int>(p));
  const std::string info = "d5:files" + files + "4:name4:many12:piece lengthi" + std::to_string(pieceLength) +
                           "e6:pieces" + Ben::Str(hashes) + "7:privatei1ee";
  if (infoOut) *infoOut = info;
  return "d8:announce" + Ben::Str("http://tracker.example/announce") + "10:created by" + Ben::Str("test") +
         "13:creation datei1700000000e4:info" + info + "e";
}
