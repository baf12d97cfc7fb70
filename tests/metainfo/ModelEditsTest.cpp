// Which edits keep a loaded torrent's info bytes, which write them anew, and
// what an empty tracker set writes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "MetainfoTestUtil.h"
#include "base/Text.h"
#include "digest/MessageDigests.h"
#include "metainfo/TorrentEdits.h"

namespace {

using namespace Ben;

const std::string FirstEntry = Dict({{"length", Int(3)}, {"path", List({Str("cd1"), Str("one.flac")})}});
const std::string SecondEntry =
    Dict({{"attr", Str("x")}, {"length", Int(4)}, {"path", List({Str("two.flac")})}, {"x-entry", Int(7)}});
const std::string Files = List({FirstEntry, SecondEntry});
const std::string Info = Dict({{"files", Files},
                               {"name", Str("disc")},
                               {"piece length", Int(16384)},
                               {"pieces", Str(FakeHash(5))},
                               {"x-info", Str("kept")}});
const std::string Bytes = "d8:announce" + Str("http://t/a") + "4:info" + Info + "5:x-top" + Int(1) + "e";

// The info value of saved bytes, as a load finds it.
std::string SavedInfo(const std::string& saved) {
  for (const TRawEntry& entry : RawEntries(saved))
    if (entry.Key == "info") return std::string(entry.Value);
  return {};
}

}  // namespace

TEST(ModelEdits, InfoBytesStayUntilAnInfoSetterChangesThem) {
  struct TCase {
    const char* Name;
    std::function<void(TTorrentFile&)> Edit;
    bool Rebuilt;
    bool FilesKept = true;  // the files list keeps its bytes in a rebuilt info
  };
  const TCase cases[] = {
      {.Name = "nothing", .Edit = [](TTorrentFile&) {}, .Rebuilt = false},
      {.Name = "comment", .Edit = [](TTorrentFile& t) { t.SetComment("new"); }, .Rebuilt = false},
      {.Name = "trackers", .Edit = [](TTorrentFile& t) { AddTracker(t, "udp://u/b"); }, .Rebuilt = false},
      {.Name = "date and web seeds",
       .Edit =
           [](TTorrentFile& t) {
             t.SetCreationUnix(1);
             t.SetWebSeeds({"http://w/"});
           },
       .Rebuilt = false},
      {.Name = "private set to what it is",
       .Edit = [](TTorrentFile& t) { t.SetPrivate(false); },
       .Rebuilt = false},
      {.Name = "name typed and typed back",
       .Edit =
           [](TTorrentFile& t) {
             SetTorrentName(t, "other");
             SetTorrentName(t, "disc");
           },
       .Rebuilt = false},
      {.Name = "file renamed and renamed back",
       .Edit =
           [](TTorrentFile& t) {
             RenameFileEntry(t, 0, "cd2/one.flac");
             RenameFileEntry(t, 0, "cd1/one.flac");
           },
       .Rebuilt = false},
      {.Name = "private", .Edit = [](TTorrentFile& t) { t.SetPrivate(true); }, .Rebuilt = true},
      {.Name = "source", .Edit = [](TTorrentFile& t) { t.SetSource("SRC"); }, .Rebuilt = true},
      {.Name = "name", .Edit = [](TTorrentFile& t) { SetTorrentName(t, "other"); }, .Rebuilt = true},
      {.Name = "piece length", .Edit = [](TTorrentFile& t) { t.SetPieceLength(32768); }, .Rebuilt = true},
      {.Name = "pieces", .Edit = [](TTorrentFile& t) { AppendPiece(t, FakeHash(6)); }, .Rebuilt = true},
      {.Name = "a file renamed",
       .Edit = [](TTorrentFile& t) { RenameFileEntry(t, 1, "three.flac"); },
       .Rebuilt = true,
       .FilesKept = false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto [model, ok] = Load(Bytes);
    ASSERT_TRUE(ok);
    EXPECT_FALSE(model->InfoChanged());
    c.Edit(*model);
    EXPECT_EQ(model->InfoChanged(), c.Rebuilt);
    const std::string predicted = SavedInfoHash(*model);
    TMemoryStream out;
    std::string written;
    model->SaveToStream(out, model->Pieces, written);
    const std::string saved = out.Data();
    const std::string info = SavedInfo(saved);
    ASSERT_FALSE(info.empty()) << saved;
    // The hash told before and while saving is the hash of what was written.
    EXPECT_EQ(predicted, BytesToHex(Sha1Bytes(info), 999));
    EXPECT_EQ(written, predicted);
    EXPECT_EQ(info == Info, !c.Rebuilt);
    EXPECT_EQ(InfoHashChanges(*model), c.Rebuilt);
    // Keys the model does not own survive every save.
    EXPECT_NE(info.find("6:x-info4:kept"), std::string::npos) << info;
    EXPECT_NE(saved.find("5:x-topi1e"), std::string::npos) << saved;
    EXPECT_NE(info.find(Str("x-entry") + Int(7)), std::string::npos) << info;
    EXPECT_EQ(info.find("5:files" + Files) != std::string::npos, c.FilesKept) << info;
    auto [again, okAgain] = Load(saved);
    ASSERT_TRUE(okAgain);
    EXPECT_EQ(again->InfoHashText, predicted);
  }
}

// A save after another keeps the first save's bytes: the built info is not
// built from a stale state.
TEST(ModelEdits, ASecondEditAfterAHashQueryIsSaved) {
  auto [model, ok] = Load(Bytes);
  ASSERT_TRUE(ok);
  model->SetPrivate(true);
  const std::string first = SavedInfoHash(*model);
  model->SetSource("SRC");
  const std::string second = SavedInfoHash(*model);
  EXPECT_NE(first, second);
  auto [again, okAgain] = Load(Save(*model));
  ASSERT_TRUE(okAgain);
  EXPECT_EQ(again->InfoHashText, second);
  EXPECT_TRUE(again->Private);
  EXPECT_EQ(again->Source, "SRC");
}

// Nothing empty is written for trackers: no announce "" and no empty tier.
TEST(ModelEdits, NoEmptyTrackerIsWritten) {
  struct TCase {
    const char* Name;
    std::function<void(TTorrentFile&)> Trackers;
    std::string Expected;  // the top-level keys before "4:info"
  };
  const TCase cases[] = {
      {.Name = "none", .Trackers = [](TTorrentFile&) {}, .Expected = "d"},
      {.Name = "main only",
       .Trackers = [](TTorrentFile& t) { t.SetAnnounce("http://m/"); },
       .Expected = "d8:announce" + Str("http://m/")},
      {.Name = "back-ups without a main tracker",
       .Trackers =
           [](TTorrentFile& t) {
             t.SetBackupTrackers({"", "http://b/", ""});
           },
       .Expected = "d13:announce-list" + List({List({Str("http://b/")})})},
      {.Name = "empty tiers and URLs dropped",
       .Trackers =
           [](TTorrentFile& t) {
             t.SetTrackers({{}, {"", "http://a/"}, {""}, {"http://b/"}});
           },
       .Expected = "d8:announce" + Str("http://a/") + "13:announce-list" +
                   List({List({Str("http://a/")}), List({Str("http://b/")})})},
      {.Name = "the only tracker removed",
       .Trackers =
           [](TTorrentFile& t) {
             t.SetAnnounce("http://m/");
             RemoveTracker(t, "http://m/");
           },
       .Expected = "d"},
      {.Name = "main tracker cleared, back-ups kept",
       .Trackers =
           [](TTorrentFile& t) {
             t.SetAnnounce("http://m/");
             t.SetBackupTrackers({"http://b/"});
             t.SetAnnounce("");
           },
       .Expected = "d13:announce-list" + List({List({Str("http://b/")})})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TTorrentFile model;
    model.SetInfo("", "n", "", "", 1, false);
    model.ClearCreationDate();
    model.SetPieceLength(16384);
    AppendPiece(model, FakeHash(1));
    c.Trackers(model);
    const std::string saved = Save(model);
    EXPECT_EQ(saved.substr(0, saved.find("4:info")), c.Expected);
    auto [again, ok] = Load(saved);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(again->DamageLines().empty());
  }
}
