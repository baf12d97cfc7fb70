// Load -> save -> reload of any bytes. A file that loads without an error
// line must survive the round trip: the same model, the same info hash, a
// second save byte for byte like the first, and a comment edit that leaves
// the info hash alone.

#include <cstdint>
#include <exception>
#include <string>

#include "FuzzCheck.h"
#include "metainfo/TorrentFile.h"

namespace {

std::string Save(const TTorrentFile& torrent) {
  TMemoryStream out;
  torrent.SaveToStream(out, torrent.Pieces);
  return out.TakeData();
}

bool Load(TTorrentFile& torrent, const std::string& bytes) {
  TMemoryStream in(bytes);
  return torrent.LoadFromStream(in);
}

void CheckSameModel(const TTorrentFile& a, const TTorrentFile& b) {
  FUZZ_CHECK(a.InfoHash == b.InfoHash);
  FUZZ_CHECK(a.InfoHashText == b.InfoHashText);
  FUZZ_CHECK(a.InfoHashV2Text == b.InfoHashV2Text);
  FUZZ_CHECK(a.Format() == b.Format());
  FUZZ_CHECK(a.PieceLayers() == b.PieceLayers());
  FUZZ_CHECK(a.Announce() == b.Announce());
  FUZZ_CHECK(a.Name == b.Name);
  FUZZ_CHECK(a.TotalLength == b.TotalLength);
  FUZZ_CHECK(a.HasCreationDate() == b.HasCreationDate() && a.CreationUnix() == b.CreationUnix());
  FUZZ_CHECK(a.Files.size() == b.Files.size());
  FUZZ_CHECK(a.MultiFile == b.MultiFile);
  FUZZ_CHECK(a.PieceLength == b.PieceLength);
  FUZZ_CHECK(a.BackupTrackers() == b.BackupTrackers());
  FUZZ_CHECK(a.Files.size() == b.Files.size());
  for (size_t i = 0; i < a.Files.size(); ++i) {
    FUZZ_CHECK(a.Files[i]->Name == b.Files[i]->Name);
    FUZZ_CHECK(a.Files[i]->Path == b.Files[i]->Path);
    FUZZ_CHECK(a.Files[i]->Length == b.Files[i]->Length);
    FUZZ_CHECK(a.Files[i]->Offset == b.Files[i]->Offset);
    FUZZ_CHECK(a.Files[i]->PiecesRoot() == b.Files[i]->PiecesRoot());
  }
  FUZZ_CHECK(a.Pieces.size() == b.Pieces.size());
  for (size_t i = 0; i < a.Pieces.size(); ++i) FUZZ_CHECK(a.Pieces[i] == b.Pieces[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  TTorrentFile first;
  // Never raises, whatever the bytes.
  if (!Load(first, input)) return 0;
  if (!first.Errors.empty()) {
    // A damaged torrent may still be saved when the user insists: that may
    // fail with an error, never crash.
    try {
      TTorrentFile again;
      Load(again, Save(first));
    } catch (const std::exception&) {
    }
    return 0;
  }

  const std::string saved = Save(first);
  TTorrentFile second;
  FUZZ_CHECK(Load(second, saved));
  FUZZ_CHECK(second.Errors.empty());
  CheckSameModel(first, second);
  FUZZ_CHECK(second.Comment == first.Comment);
  FUZZ_CHECK(Save(second) == saved);

  // The page's and edit's most common change: the comment is outside info.
  second.SetComment(first.Comment + " (edited)");
  TTorrentFile third;
  FUZZ_CHECK(Load(third, Save(second)));
  FUZZ_CHECK(third.Errors.empty());
  FUZZ_CHECK(third.Comment == second.Comment);
  CheckSameModel(first, third);

  // A torrent with a v2 part keeps it through an info edit and through a
  // rename, or refuses the rename and writes nothing.
  if (first.Format() == TMetaFormat::V1 || first.Files.empty()) return 0;
  third.SetPrivate(!third.Private);
  const std::string predicted = third.SavedInfoHashV2Text(third.Pieces);
  TTorrentFile fourth;
  FUZZ_CHECK(Load(fourth, Save(third)));
  FUZZ_CHECK(fourth.Errors.empty());
  FUZZ_CHECK(fourth.Format() == first.Format());
  FUZZ_CHECK(fourth.InfoHashV2Text == predicted);
  size_t file = 0;
  while (file < fourth.Files.size() && fourth.Files[file]->Pad) ++file;
  // Long enough already to be refused as too long once renamed.
  if (file == fourth.Files.size() || fourth.Files[file]->Name.size() > 200) return 0;
  fourth.RenameFile(file, fourth.Files[file]->Path, fourth.Files[file]->Name + "x");
  TMemoryStream out;
  try {
    fourth.SaveToStream(out, fourth.Pieces);
  } catch (const EHybridRename&) {
    FUZZ_CHECK(out.Data().empty());
    return 0;
  }
  TTorrentFile fifth;
  FUZZ_CHECK(Load(fifth, out.Data()));
  FUZZ_CHECK(fifth.Errors.empty());
  FUZZ_CHECK(fifth.Format() == first.Format());
  FUZZ_CHECK(fifth.Files.size() == fourth.Files.size());
  return 0;
}
