#include "metainfo/TorrentFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "MetainfoTestUtil.h"
#include "base/Text.h"
#include "digest/MessageDigests.h"
#include "metainfo/TorrentEdits.h"

namespace {

using namespace std::string_literals;
using Ben::Dict;
using Ben::Int;
using Ben::List;
using Ben::Str;
using Strings = std::vector<std::string>;

const std::string CorruptLine =
    "Something bad happened while trying to load the file, probably corrupt metainfo";
const std::string ParseLine = "Error parsing file; does not appear to be valid bencoded metainfo";

std::string SingleInfo(const std::string& name = "movie", int64_t length = 5) {
  return Dict({{"length", Int(length)},
               {"name", Str(name)},
               {"piece length", Int(16384)},
               {"pieces", Str(FakeHash(1))}});
}

std::string Torrent(const std::string& info, const std::string& extra = "") {
  return "d8:announce" + Str("http://a/ann") + extra + "4:info" + info + "e";
}

std::string Hex(const std::string& bytes) { return BytesToHex(bytes, 999); }

// The ".torrent" ending is cut from the name, but never so that what is left leads out of the
// download folder: the name is judged as it will be used.
TEST(TorrentFile, TheNameIsJudgedAsItWillBeUsed) {
  struct TCase {
    const char* Name;
    std::string InfoName;
    std::string Used;
    bool Unsafe;
  };
  const std::vector<TCase> cases = {
      {"an ordinary cut", "movie.torrent", "movie", false},
      {"two dots left: kept whole", "...torrent", "...torrent", false},
      {"one dot left: kept whole", "..torrent", "..torrent", false},
      {"nothing left: kept whole", ".torrent", ".torrent", false},
      {"a folder in the name", "a/b.torrent", "a/b.torrent", true},
      {"two dots", "..", "..", true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto [single, ok] = Load(Torrent(SingleInfo(c.InfoName)));
    ASSERT_TRUE(ok);
    EXPECT_EQ(single->Name, c.Used);
    ASSERT_EQ(single->Files.size(), 1u);
    EXPECT_EQ(single->Files[0]->Name, c.Used);
    EXPECT_EQ(single->Files[0]->UnsafePath, c.Unsafe);
    EXPECT_EQ(single->IsDamaged(), c.Unsafe);
    EXPECT_EQ(ComponentProblem(single->Name).empty(), !c.Unsafe);
    // A name set back to the one loaded is no rename: the info hash stays.
    SetTorrentName(*single, "other");
    SetTorrentName(*single, c.Used);
    EXPECT_FALSE(single->InfoChanged());

    auto [multi, okMulti] =
        Load(Torrent(Dict({{"files", List({Dict({{"length", Int(5)}, {"path", List({Str("f")})}})})},
                           {"name", Str(c.InfoName)},
                           {"piece length", Int(16384)},
                           {"pieces", Str(FakeHash(1))}})));
    ASSERT_TRUE(okMulti);
    EXPECT_EQ(multi->Name, c.Used);
    EXPECT_EQ(multi->IsDamaged(), c.Unsafe);
  }
}

TEST(TorrentFile, LoadCases) {
  struct {
    const char* Name;
    std::string Input;
    bool Ok;
    Strings Errors = {};
    std::function<void(const TTorrentFile&)> Check = {};
  } cases[] = {
      {.Name = "empty file", .Input = "", .Ok = false, .Errors = {ParseLine}},
      {.Name = "bad first byte", .Input = "<html>", .Ok = false, .Errors = {ParseLine}},
      {.Name = "top level list", .Input = "l4:spame", .Ok = false, .Errors = {CorruptLine}},
      {.Name = "top level integer", .Input = "i1e", .Ok = false, .Errors = {CorruptLine}},
      {.Name = "single file named .torrent",
       .Input = Torrent(SingleInfo("movie.torrent")),
       .Ok = true,
       .Check =
           [](const TTorrentFile& t) {
             EXPECT_EQ(t.Announce(), "http://a/ann");
             EXPECT_EQ(t.Name, "movie");
             EXPECT_FALSE(t.MultiFile);
             EXPECT_EQ(t.TotalLength, 5);
             EXPECT_EQ(t.PieceLength, 16384);
             ASSERT_EQ(t.Files.size(), 1u);
             EXPECT_EQ(t.Files[0]->Name, "movie");
             EXPECT_EQ(t.Files[0]->Path, "");
             EXPECT_EQ(t.Files[0]->Length, 5);
             EXPECT_EQ(t.Files[0]->Offset, 0);
             EXPECT_EQ(DateTimeOf(t), 0);
           }},
      {.Name = "suffix compare is case-sensitive",
       .Input = Torrent(SingleInfo("a.TORRENT")),
       .Ok = true,
       .Check = [](const TTorrentFile& t) { EXPECT_EQ(t.Name, "a.TORRENT"); }},
      {.Name = "multi-file with folders",
       .Input = Torrent(Dict(
           {{"files", List({Dict({{"length", Int(10)}, {"path", List({Str("x")})}}),
                            Dict({{"length", Int(5)}, {"path", List({Str("a"), Str("b"), Str("c.txt")})}}),
                            Dict({{"length", Int(1)}, {"path", List({})}})})},
            {"name", Str("top")},
            {"piece length", Int(32768)},
            {"pieces", Str(FakeHash(1))}})),
       .Ok = true,
       .Errors = {"Corrupt File: files[2] has an empty \"path\" segment"},
       .Check =
           [](const TTorrentFile& t) {
             EXPECT_TRUE(t.MultiFile);
             EXPECT_EQ(t.TotalLength, 16);
             ASSERT_EQ(t.Files.size(), 3u);
             EXPECT_EQ(t.Files[0]->Path, "");
             EXPECT_EQ(t.Files[0]->Name, "x");
             EXPECT_EQ(t.Files[1]->Path, "a/b/");
             EXPECT_EQ(t.Files[1]->Name, "c.txt");
             EXPECT_EQ(t.Files[1]->Offset, 10);
             EXPECT_EQ(t.Files[1]->Length, 5);
             EXPECT_EQ(t.Files[2]->Path, "");
             EXPECT_EQ(t.Files[2]->Name, "");
             EXPECT_EQ(t.Files[2]->Offset, 15);
           }},
      {.Name = "41 bytes of pieces",
       .Input = Torrent(Dict({{"length", Int(1)},
                              {"name", Str("n")},
                              {"piece length", Int(1)},
                              {"pieces", Str(FakeHash(1) + FakeHash(2) + "z")}})),
       .Ok = true,
       .Errors = {"Corrupt File: \"info.pieces\" is 41 bytes long, not a multiple of 20",
                  "Corrupt File: \"info.pieces\" holds 2 piece hashes, but the total length needs 1"},
       .Check =
           [](const TTorrentFile& t) {
             ASSERT_EQ(t.Pieces.size(), 2u);
             EXPECT_EQ(t.Pieces[1], FakeHash(2));
             EXPECT_EQ(t.Pieces.HashText(1), Hex(FakeHash(2)));
             EXPECT_EQ(t.Pieces.HashText(1).size(), 40u);
           }},
      {.Name = "announce-list tiers flattened",
       .Input = Torrent(SingleInfo(),
                        "13:announce-list" + List({List({Str("u1")}), List({Str("u2"), Str("u3")})})),
       .Ok = true,
       .Check =
           [](const TTorrentFile& t) {
             EXPECT_EQ(t.BackupTrackers(), (Strings{"u1", "u2", "u3"}));
           }},
      {.Name = "announce-list of strings is one tier per URL",
       .Input = Torrent(SingleInfo(), "13:announce-list" + List({Str("u1"), List({Str("u2")}), Str("u3")})),
       .Ok = true,
       .Check =
           [](const TTorrentFile& t) {
             EXPECT_EQ(t.Announce(), "http://a/ann");
             EXPECT_EQ(t.BackupTrackers(), (Strings{"u1", "u2", "u3"}));
             EXPECT_EQ(t.Name, "movie");
             EXPECT_EQ(t.Files.size(), 1u);
           }},
      {.Name = "no announce",
       .Input = "d4:info" + SingleInfo() + "e",
       .Ok = true,
       .Errors = {"Corrupt File: Missing \"announce\" segment"}},
      {.Name = "creation date 0 is 1970",
       .Input = Torrent(SingleInfo(), "7:comment2:hi13:creation datei0e"),
       .Ok = true,
       .Check =
           [](const TTorrentFile& t) {
             EXPECT_EQ(DateTimeOf(t), 25569.0);
             EXPECT_EQ(t.Comment, "hi");
           }},
      {.Name = "creation date after 2038",
       .Input = Torrent(SingleInfo(), "13:creation datei4102444800e"),
       .Ok = true,
       .Check = [](const TTorrentFile& t) { EXPECT_EQ(DateTimeOf(t), 73051.0); }},
      {.Name = "no info",
       .Input = "d8:announce1:ae",
       .Ok = true,
       .Errors = {"Corrupt File: Missing \"info\" segment"},
       .Check = [](const TTorrentFile& t) { EXPECT_EQ(t.InfoHashText, ""); }},
      {.Name = "empty info",
       .Input = Torrent("de"),
       .Ok = true,
       .Errors =
           {"Corrupt File: Missing \"info.name\" segment",
            "Corrupt File: Missing \"info.piece length\" segment",
            "Corrupt File: Missing \"info.pieces\" segment",
            "Corrupt File: Missing both \"info.length\" and \"info.files\" segments (should have one or the "
            "other)"}},
      {.Name = "file entries missing parts",
       .Input = Torrent(Dict({{"files", List({Dict({{"x", Int(1)}}), Dict({{"length", Int(4)}})})},
                              {"name", Str("n")},
                              {"piece length", Int(1)},
                              {"pieces", Str("")}})),
       .Ok = true,
       .Errors = {"Corrupt File: files[0] is missing a \"length\" segment",
                  "Corrupt File: files[0] is missing a \"path\" segment",
                  "Corrupt File: files[1] is missing a \"path\" segment",
                  "Corrupt File: \"info.pieces\" holds 0 piece hashes, but the total length needs 4"},
       .Check =
           [](const TTorrentFile& t) {
             ASSERT_EQ(t.Files.size(), 2u);
             EXPECT_EQ(t.Files[0]->Length, 0);
             EXPECT_EQ(t.Files[1]->Offset, 0);
             EXPECT_EQ(t.TotalLength, 4);
           }},
      {.Name = "string and integer swapped read as empty",
       .Input = Torrent(
           Dict({{"length", Str("5")}, {"name", Int(7)}, {"piece length", Str("x")}, {"pieces", Int(3)}})),
       .Ok = true,
       .Errors = {"Corrupt File: \"info.name\" is empty",
                  "Corrupt File: \"info.piece length\" is 0, not between 1 and 2147483648",
                  "Corrupt File: the torrent holds no data (total length 0)"},
       .Check =
           [](const TTorrentFile& t) {
             EXPECT_EQ(t.TotalLength, 0);
             EXPECT_EQ(t.Name, "");
             EXPECT_EQ(t.PieceLength, 0);
             EXPECT_TRUE(t.Pieces.empty());
           }},
      {.Name = "piece length past 32 bits is kept whole and reported",
       .Input = Torrent(Dict(
           {{"length", Int(1)}, {"name", Str("n")}, {"piece length", Int(4294967297)}, {"pieces", Str("")}})),
       .Ok = true,
       .Errors = {"Corrupt File: \"info.piece length\" is 4294967297, not between 1 and 2147483648"},
       .Check = [](const TTorrentFile& t) { EXPECT_EQ(t.PieceLength, 4294967297); }},
      {.Name = "piece length 2^31 is the largest accepted",
       .Input = Torrent(Dict({{"length", Int(1)},
                              {"name", Str("n")},
                              {"piece length", Int(2147483648)},
                              {"pieces", Str(FakeHash(1))}})),
       .Ok = true,
       .Check = [](const TTorrentFile& t) { EXPECT_EQ(t.PieceLength, 2147483648); }},
      {.Name = "padding and links",
       .Input = Torrent(Dict(
           {{"files",
             List({Dict({{"length", Int(3)}, {"path", List({Str("a")})}}),
                   Dict({{"attr", Str("p")}, {"length", Int(13)}, {"path", List({Str(".pad"), Str("13")})}}),
                   Dict({{"attr", Str("l")},
                         {"length", Int(99)},
                         {"path", List({Str("link")})},
                         {"symlink path", List({Str("d"), Str("a")})}}),
                   Dict({{"attr", Str("x")}, {"length", Int(4)}, {"path", List({Str("b")})}})})},
            {"name", Str("top")},
            {"piece length", Int(16)},
            {"pieces", Str(FakeHash(1) + FakeHash(2))}})),
       .Ok = true,
       .Check =
           [](const TTorrentFile& t) {
             ASSERT_EQ(t.Files.size(), 4u);
             EXPECT_TRUE(t.Files[1]->Pad);
             EXPECT_FALSE(t.Files[0]->Pad || t.Files[2]->Pad || t.Files[3]->Pad);
             EXPECT_TRUE(t.Files[2]->Symlink);
             EXPECT_EQ(t.Files[2]->SymlinkPath(), "d/a");
             EXPECT_EQ(t.Files[2]->Length, 0);
             EXPECT_EQ(t.Files[3]->Offset, 16);
             EXPECT_EQ(t.TotalLength, 20);
           }},
      {.Name = "two info keys",
       .Input = "d4:info" + SingleInfo("first") + "4:info" + SingleInfo("second") + "e",
       .Ok = true,
       .Errors = {"Corrupt File: Missing \"announce\" segment",
                  "Corrupt File: the \"info\" segment appears more than once"}},
      {.Name = "too complex",
       .Input = "d8:announce1:a4:info" + std::string(600, 'l'),
       .Ok = false,
       .Errors =
           {"The file is too complex to load (it would take more than 512 MiB of memory or 512 levels of "
            "nesting)"}},
      {.Name = "info is a list", .Input = Torrent("le"), .Ok = false, .Errors = {CorruptLine}},
      {.Name = "file entry is a string",
       .Input = Torrent(Dict({{"files", List({Str("a")})}, {"name", Str("n")}})),
       .Ok = false,
       .Errors = {"Corrupt File: Missing \"info.piece length\" segment",
                  "Corrupt File: Missing \"info.pieces\" segment", CorruptLine},
       .Check = [](const TTorrentFile& t) { EXPECT_EQ(t.Name, "n"); }},
      {.Name = "path component is a list",
       .Input = Torrent(Dict({{"files", List({Dict({{"length", Int(1)}, {"path", List({List({})})}})})}})),
       .Ok = false,
       .Errors = {"Corrupt File: Missing \"info.name\" segment",
                  "Corrupt File: Missing \"info.piece length\" segment",
                  "Corrupt File: Missing \"info.pieces\" segment", CorruptLine}},
      {.Name = "announce is a dictionary", .Input = "d8:announcedee", .Ok = false, .Errors = {CorruptLine}},
      {.Name = "file cut off inside info",
       .Input = "d8:announce1:a4:infod6:lengthi5e4:name1:n12:piece lengthi1e6:pieces",
       .Ok = true,
       .Errors = {"Corrupt File: the file ends inside a value (it is cut off)",
                  "Corrupt File: Missing \"info.pieces\" segment",
                  "Corrupt File: \"info.pieces\" holds 0 piece hashes, but the total length needs 5"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto [model, ok] = Load(c.Input);
    EXPECT_EQ(ok, c.Ok);
    EXPECT_EQ(model->Errors, c.Errors);
    if (c.Check) c.Check(*model);
  }
}

TEST(TorrentFile, InfoHashIsOverTheExactBytes) {
  // Unsorted keys and a zero-padded integer: the hash is over the bytes as they stand.
  const std::string info = "d4:name1:x6:lengthi007e12:piece lengthi1e6:pieces0:e";
  const std::string file = "d8:announce1:a4:info" + info + "7:comment1:ce";
  auto [model, ok] = Load(file);
  ASSERT_TRUE(ok);
  EXPECT_EQ(model->InfoHash, Sha1Bytes(info));
  EXPECT_EQ(model->InfoHashText, Hex(Sha1Bytes(info)));
  EXPECT_EQ(model->TotalLength, 7);
}

TEST(TorrentFile, KeysNamedLikeTheInfoMarksCannotMisleadTheHash) {
  // Keys of these names are the file's own: they move nothing and are kept.
  const std::string file = "d4:info" + SingleInfo() + "12:_info_lengthi999999999e11:_info_starti-5ee";
  auto [model, ok] = Load(file);
  ASSERT_TRUE(ok);
  // What libtorrent gives for this file.
  EXPECT_EQ(model->InfoHashText, "2442e9a7146eed76962150777506f20cd663c799");
  EXPECT_EQ(model->InfoHash, Sha1Bytes(SingleInfo()));
  model->SetComment("edited");
  auto [again, okAgain] = Load(Save(*model));
  ASSERT_TRUE(okAgain);
  EXPECT_EQ(again->InfoHashText, "2442e9a7146eed76962150777506f20cd663c799");
  EXPECT_TRUE(again->Dictionary->Exists("_info_start"));
  EXPECT_TRUE(again->Dictionary->Exists("_info_length"));
}

// Claims to be huge; reading it is a test failure.
class THugeStream : public TStream {
 public:
  int64_t Read(void*, int64_t) override {
    ADD_FAILURE() << "a file that large must not be read";
    return 0;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
  int64_t Size() override { return TTorrentFile::MaxFileSize + 1; }
};

// Fails on read, as a file on a failing disk does.
class TBrokenStream : public THugeStream {
 public:
  int64_t Read(void*, int64_t) override { throw EStreamError("Cannot read file \"x\": Input/output error"); }
  int64_t Size() override { return 100; }
};

TEST(TorrentFile, StreamsTooLargeOrFailing) {
  TTorrentFile model;
  THugeStream huge;
  EXPECT_FALSE(model.LoadFromStream(huge));
  ASSERT_EQ(model.Errors.size(), 1u);
  EXPECT_NE(model.Errors[0].find("too large to be a torrent"), std::string::npos) << model.Errors[0];

  TTorrentFile other;
  TBrokenStream broken;
  EXPECT_FALSE(other.LoadFromStream(broken));
  EXPECT_EQ(other.Errors, Strings{CorruptLine});
}

TEST(TorrentFile, LoadingAgainStartsFromScratch) {
  TTorrentFile model;
  TMemoryStream first{Torrent(SingleInfo(), "13:announce-list" + List({List({Str("u1")})}) + "7:comment1:c")};
  ASSERT_TRUE(model.LoadFromStream(first));
  TMemoryStream second{"d4:info" + SingleInfo("other") + "e"};
  ASSERT_TRUE(model.LoadFromStream(second));
  EXPECT_EQ(model.Announce(), "");
  EXPECT_TRUE(model.BackupTrackers().empty());
  EXPECT_EQ(model.Comment, "");
  EXPECT_EQ(model.Name, "other");
  EXPECT_EQ(model.Errors, Strings{"Corrupt File: Missing \"announce\" segment"});
}

TEST(TorrentFile, DateConversions) {
  struct {
    const char* Name;
    int64_t Unix;
    TDateTime DateTime;
  } cases[] = {
      {.Name = "epoch", .Unix = 0, .DateTime = 25569.0},
      {.Name = "noon", .Unix = 43200, .DateTime = 25569.5},
      {.Name = "next day", .Unix = 86400, .DateTime = 25570.0},
      {.Name = "one second before", .Unix = -1, .DateTime = 25568.0 + 86399.0 / 86400},
      {.Name = "2038 overflow point", .Unix = 2147483648LL, .DateTime = 25569.0 + 24855 + 11648.0 / 86400},
      {.Name = "2100-01-01", .Unix = 4102444800LL, .DateTime = 73051.0},
      {.Name = "9999-12-31 23:59:59", .Unix = 253402300799LL, .DateTime = 2958465.0 + 86399.0 / 86400},
      {.Name = "1899-12-29 06:00 counts time away from zero",
       .Unix = -2209161600LL - 86400 + 21600,
       .DateTime = -1.25},
      {.Name = "1800-01-01 12:00", .Unix = -5364619200LL, .DateTime = -36522.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_NEAR(UnixToDateTime(c.Unix), c.DateTime, 1e-9);
    EXPECT_EQ(DateTimeToUnix(UnixToDateTime(c.Unix)), c.Unix);
    EXPECT_EQ(DateTimeToUnix(c.DateTime), c.Unix);
  }
  // To the nearest millisecond, then whole seconds truncated.
  EXPECT_EQ(DateTimeToUnix(25569.0 + 0.9994 / 86400), 0);
  EXPECT_EQ(DateTimeToUnix(25569.0 + 0.9996 / 86400), 1);
  EXPECT_EQ(DateTimeToUnix(std::nan("")), 0);
  EXPECT_EQ(DateTimeToUnix(HUGE_VAL), 0);
  EXPECT_EQ(DateTimeToUnix(1e300), DateTimeToUnix(1e11));
}

TEST(TorrentFile, CreationDateIsUtcWhateverTheZone) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", "JST-9", 1);  // nine hours east of UTC
  tzset();
  TTorrentFile model;
  model.SetInfo("a", "n", "", "", 1, false);
  const int64_t now = std::time(nullptr);
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
  EXPECT_NEAR(static_cast<double>(DateTimeToUnix(DateTimeOf(model))), static_cast<double>(now), 5.0);
  EXPECT_NEAR(NowUtc(), 25569.0 + static_cast<double>(std::time(nullptr)) / 86400, 5.0 / 86400);
}

std::unique_ptr<TTorrentFile> SingleModel() {
  auto model = std::make_unique<TTorrentFile>();
  model->SetInfo("A", "N", "", "", 5, false);
  model->ClearCreationDate();
  model->SetPieceLength(262144);
  AppendPiece(*model, FakeHash(9));
  return model;
}

TEST(TorrentFile, WritesTheFixedLayout) {
  const std::string tail =
      "4:infod6:lengthi5e4:name1:N12:piece lengthi262144e6:pieces20:" + FakeHash(9) + "ee";
  struct {
    const char* Name;
    std::function<void(TTorrentFile&)> Change = {};
    std::string Expected;
  } cases[] = {
      {.Name = "plain single file", .Expected = "d8:announce1:A" + tail},
      {.Name = "backup includes announce",
       .Change =
           [](TTorrentFile& t) {
             t.SetBackupTrackers({"A", "B"});
           },
       .Expected = "d8:announce1:A13:announce-listll1:Ael1:Bee" + tail},
      {.Name = "backup only announce",
       .Change = [](TTorrentFile& t) { t.SetBackupTrackers({"A"}); },
       .Expected = "d8:announce1:A13:announce-listll1:Aee" + tail},
      {.Name = "comment of a line break",
       .Change = [](TTorrentFile& t) { t.SetComment("\n"); },
       .Expected = "d8:announce1:A7:comment1:\n" + tail},
      {.Name = "creation date after 2038",
       .Change = [](TTorrentFile& t) { t.SetCreationUnix(DateTimeToUnix(73051.0)); },
       .Expected = "d8:announce1:A13:creation datei4102444800e" + tail},
      {.Name = "no announce", .Change = [](TTorrentFile& t) { t.SetAnnounce(""); }, .Expected = "d" + tail},
      {.Name = "no pieces",
       .Change = [](TTorrentFile& t) { t.SetPieces({}); },
       .Expected = "d8:announce1:A4:infod6:lengthi5e4:name1:N12:piece lengthi262144e6:pieces0:ee"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto model = SingleModel();
    if (c.Change) c.Change(*model);
    EXPECT_EQ(Save(*model), c.Expected);
  }
}

TEST(TorrentFile, WritesPathComponents) {
  struct {
    const char* Path;
    Strings Components;
  } cases[] = {
      {.Path = "", .Components = {"f"}},
      {.Path = "a/b/", .Components = {"a", "b", "f"}},
      {.Path = "a/b", .Components = {"a", "b", "f"}},
      {.Path = "a//b/", .Components = {"a", "", "b", "f"}},
      {.Path = "/a", .Components = {"", "a", "f"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Path);
    TTorrentFile model;
    model.SetInfo("A", "N", "", "", 3, true);
    model.ClearCreationDate();
    model.AddFile(std::make_unique<TTorrentSubFile>("f", c.Path, 3, 0));
    std::string path = "l";
    for (const auto& part : c.Components) path += Str(part);
    path += "e";
    EXPECT_EQ(Save(model), "d8:announce1:A4:infod5:filesld6:lengthi3e4:path" + path +
                               "ee4:name1:N12:piece lengthi0e6:pieces0:ee");
  }
}

TEST(TorrentFile, ShortWriteRaises) {
  auto model = SingleModel();
  TShortStream out(30);
  EXPECT_THROW(model->SaveToStream(out, model->Pieces), EStreamError);

  // Large output too, whether the short write comes early or late.
  auto [many, ok] = Load(ManyFilesTorrent(5000));
  ASSERT_TRUE(ok);
  many->RenameFile(0, many->Files[0]->Path, "renamed");  // rebuilt from the model, not copied
  const std::string full = Save(*many);
  ASSERT_GT(full.size(), 200000u);
  for (const int64_t room :
       {int64_t{0}, int64_t{65535}, int64_t{65536}, static_cast<int64_t>(full.size()) - 1}) {
    SCOPED_TRACE(room);
    TShortStream shortOut(room);
    EXPECT_THROW(many->SaveToStream(shortOut, many->Pieces), EStreamError);
  }
  TShortStream exact(static_cast<int64_t>(full.size()));
  many->SaveToStream(exact, many->Pieces);
  EXPECT_EQ(exact.Data(), full);
}

TEST(TorrentFile, CreatedModelRoundTrips) {
  TTorrentFile model;
  model.SetInfo("http://t/a", "folder", "made by a test", "", 0, true);
  model.SetBackupTrackers({"http://t/b", "http://t/a", "udp://t/c"});
  model.SetPieceLength(160);  // three pieces for the 406 bytes
  const Strings paths{"", "a", "a/b", "a/b/"};
  for (int i = 0; i < 4; ++i) {
    model.AddFile(std::make_unique<TTorrentSubFile>("f" + std::to_string(i), paths[i], 100 + i, 0));
  }
  for (int i = 0; i < 3; ++i) AppendPiece(model, FakeHash(i));
  const std::string bytes = Save(model);

  auto [loaded, ok] = Load(bytes);
  ASSERT_TRUE(ok);
  EXPECT_TRUE(loaded->Errors.empty());
  EXPECT_EQ(loaded->Announce(), "http://t/a");
  EXPECT_EQ(loaded->BackupTrackers(), (Strings{"http://t/a", "http://t/b", "udp://t/c"}));
  EXPECT_EQ(loaded->Name, "folder");
  EXPECT_EQ(loaded->Comment, "made by a test");
  EXPECT_EQ(DateTimeToUnix(DateTimeOf(*loaded)), DateTimeToUnix(DateTimeOf(model)));
  EXPECT_TRUE(loaded->MultiFile);
  EXPECT_EQ(loaded->PieceLength, 160);
  EXPECT_EQ(loaded->TotalLength, model.TotalLength);
  ASSERT_EQ(loaded->Files.size(), 4u);
  const Strings loadedPaths{"", "a/", "a/b/", "a/b/"};
  int64_t offset = 0;
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(loaded->Files[i]->Name, model.Files[i]->Name);
    EXPECT_EQ(loaded->Files[i]->Path, loadedPaths[i]);
    EXPECT_EQ(loaded->Files[i]->Length, model.Files[i]->Length);
    EXPECT_EQ(loaded->Files[i]->Offset, offset);
    offset += model.Files[i]->Length;
  }
  ASSERT_EQ(loaded->Pieces.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(loaded->Pieces[i], FakeHash(i));
  const size_t infoAt = bytes.find("4:infod") + 6;
  EXPECT_EQ(loaded->InfoHash, Sha1Bytes(std::string_view(bytes).substr(infoAt, bytes.size() - 1 - infoAt)));

  // Saved again unchanged: the same bytes.
  EXPECT_EQ(Save(*loaded), bytes);
}

// A private torrent as other tools write it, with keys the model does not own.
struct TForeignTorrent {
  std::string Info;
  std::string Bytes;
};

TForeignTorrent ForeignTorrent() {
  TForeignTorrent t;
  // Unsorted on purpose: only a byte-for-byte copy keeps this info hash.
  t.Info = Dict(
      {{"name", Str("album")},
       {"files", List({Dict({{"length", Int(3)},
                             {"path", List({Str("cd1"), Str("one.flac")})},
                             {"path.utf-8", List({Str("cd1"), Str("one.flac")})}}),
                       Dict({{"attr", Str("x")}, {"length", Int(4)}, {"path", List({Str("two.flac")})}})})},
       {"name.utf-8", Str("album")},
       {"piece length", Int(16384)},
       {"pieces", Str(FakeHash(5))},
       {"private", Int(1)},
       {"source", Str("SRC")}});
  t.Bytes = "d8:announce" + Str("http://t/a") + "13:announce-list" +
            List({List({Str("http://t/a"), Str("http://t/b")}), List({Str("http://t/c")})}) + "7:comment" +
            Str("old") + "13:comment.utf-8" + Str("old") + "10:created by" + Str("other tool") +
            "13:creation datei1700000000e8:encoding" + Str("UTF-8") + "4:info" + t.Info + "5:nodes" +
            List({List({Str("n.example"), Int(6881)})}) + "8:url-list" + List({Str("http://w/")}) + "e";
  return t;
}

TEST(TorrentFile, UnownedKeysSurviveAnEdit) {
  const TForeignTorrent t = ForeignTorrent();
  auto [model, ok] = Load(t.Bytes);
  ASSERT_TRUE(ok);
  EXPECT_EQ(model->InfoHash, Sha1Bytes(t.Info));

  // Saved unchanged: exactly the file that was loaded.
  EXPECT_EQ(Save(*model), t.Bytes);

  // A new comment: same info (hash, private flag and all), the stale
  // comment.utf-8 goes, everything else stays in its sorted place.
  model->SetComment("new");
  const std::string expected =
      "d8:announce" + Str("http://t/a") + "13:announce-list" +
      List({List({Str("http://t/a"), Str("http://t/b")}), List({Str("http://t/c")})}) + "7:comment" +
      Str("new") + "10:created by" + Str("other tool") + "13:creation datei1700000000e8:encoding" +
      Str("UTF-8") + "4:info" + t.Info + "5:nodes" + List({List({Str("n.example"), Int(6881)})}) +
      "8:url-list" + List({Str("http://w/")}) + "e";
  const std::string saved = Save(*model);
  EXPECT_EQ(saved, expected);
  auto [again, okAgain] = Load(saved);
  ASSERT_TRUE(okAgain);
  EXPECT_EQ(again->InfoHash, model->InfoHash);
  EXPECT_EQ(again->Comment, "new");

  // Trackers and creation date edited: rewritten from the model, info untouched.
  model->SetBackupTrackers({"http://t/z"});
  model->SetCreationUnix(4102444800LL);
  const std::string edited = Save(*model);
  EXPECT_NE(edited.find("13:announce-listll10:http://t/ael10:http://t/zee"), std::string::npos);
  EXPECT_NE(edited.find("13:creation datei4102444800e"), std::string::npos);
  EXPECT_NE(edited.find("4:info" + t.Info), std::string::npos);
  EXPECT_EQ(edited.find("_info_"), std::string::npos);
}

// The model takes the loaded comment over rather than copying it: saved
// unset, it goes out as it came, a string or (read as "") an integer.
TEST(TorrentFile, AnUnsetCommentIsWrittenAsLoaded) {
  for (const std::string& comment : {Str("line one\nline two"), Str(""), Int(5)}) {
    SCOPED_TRACE(comment);
    const std::string bytes = Torrent(SingleInfo(), "7:comment" + comment);
    auto [model, ok] = Load(bytes);
    ASSERT_TRUE(ok);
    EXPECT_EQ(Save(*model), bytes);
  }
}

TEST(TorrentFile, RenamingRewritesInfoButKeepsItsOtherKeys) {
  const TForeignTorrent t = ForeignTorrent();
  struct {
    const char* Name;
    std::function<void(TTorrentFile&)> Change;
    std::string Info;
  } cases[] = {
      {.Name = "file renamed",
       .Change = [](TTorrentFile& m) { m.RenameFile(0, m.Files[0]->Path, "uno.flac"); },
       .Info =
           Dict({{"files",
                  List({Dict({{"length", Int(3)}, {"path", List({Str("cd1"), Str("uno.flac")})}}),
                        Dict({{"attr", Str("x")}, {"length", Int(4)}, {"path", List({Str("two.flac")})}})})},
                 {"name", Str("album")},
                 {"name.utf-8", Str("album")},
                 {"piece length", Int(16384)},
                 {"pieces", Str(FakeHash(5))},
                 {"private", Int(1)},
                 {"source", Str("SRC")}})},
      {.Name = "torrent renamed",
       .Change = [](TTorrentFile& m) { m.SetName("disc"); },
       .Info =
           Dict({{"files",
                  List({Dict({{"length", Int(3)},
                              {"path", List({Str("cd1"), Str("one.flac")})},
                              {"path.utf-8", List({Str("cd1"), Str("one.flac")})}}),
                        Dict({{"attr", Str("x")}, {"length", Int(4)}, {"path", List({Str("two.flac")})}})})},
                 {"name", Str("disc")},
                 {"piece length", Int(16384)},
                 {"pieces", Str(FakeHash(5))},
                 {"private", Int(1)},
                 {"source", Str("SRC")}})},
      {.Name = "folder given without trailing slash is no change",
       .Change = [](TTorrentFile& m) { m.RenameFile(0, "cd1", m.Files[0]->Name); },
       .Info = t.Info},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto [model, ok] = Load(t.Bytes);
    ASSERT_TRUE(ok);
    c.Change(*model);
    const std::string saved = Save(*model);
    EXPECT_NE(saved.find("4:info" + c.Info + "5:nodes"), std::string::npos) << saved;
    auto [again, okAgain] = Load(saved);
    ASSERT_TRUE(okAgain);
    EXPECT_EQ(again->InfoHash, Sha1Bytes(c.Info));
  }
}

TEST(TorrentFile, AHybridKeepsItsV2PartsAndRefusesARename) {
  const std::string tree = Dict(
      {{"movie", Dict({{"", Dict({{"length", Int(5)}, {"pieces root", Str(FakeHash(7) + FakeHash(8))}})}})}});
  const std::string info = Dict({{"file tree", tree},
                                 {"length", Int(5)},
                                 {"meta version", Int(2)},
                                 {"name", Str("movie")},
                                 {"piece length", Int(16384)},
                                 {"pieces", Str(FakeHash(1))},
                                 {"private", Int(1)}});
  const std::string layers = "12:piece layers" + Dict({{FakeHash(7) + FakeHash(8), Str(FakeHash(3))}});
  const std::string bytes = "d8:announce1:a4:info" + info + layers + "e";
  auto [model, ok] = Load(bytes);
  ASSERT_TRUE(ok);
  EXPECT_TRUE(model->HasV2Part());
  model->SetComment("c");
  EXPECT_EQ(Save(*model), "d8:announce1:a7:comment1:c4:info" + info + layers + "e");

  // Every other edit keeps the v2 parts, inside info and beside it.
  struct TCase {
    const char* Name;
    std::function<void(TTorrentFile&)> Change;
  };
  const std::vector<TCase> kept = {
      {"private off", [](TTorrentFile& m) { m.SetPrivate(false); }},
      {"source", [](TTorrentFile& m) { m.SetSource("SRC"); }},
      {"trackers", [](TTorrentFile& m) { AddTracker(m, "udp://t/b"); }},
      {"date and web seeds",
       [](TTorrentFile& m) {
         m.SetCreationUnix(1700000000);
         m.SetWebSeeds({"http://w/"});
       }},
      {"a name typed and typed back",
       [](TTorrentFile& m) {
         SetTorrentName(m, "film");
         SetTorrentName(m, "movie");
       }},
  };
  for (const auto& c : kept) {
    SCOPED_TRACE(c.Name);
    auto [edited, okEdited] = Load(bytes);
    ASSERT_TRUE(okEdited);
    c.Change(*edited);
    EXPECT_FALSE(edited->HybridRenamed());
    const std::string saved = Save(*edited);
    EXPECT_NE(saved.find("9:file tree" + tree), std::string::npos) << saved;
    EXPECT_NE(saved.find("12:meta versioni2e"), std::string::npos) << saved;
    EXPECT_NE(saved.find(layers), std::string::npos) << saved;
  }

  // A rename would leave the file tree naming the old file: refused, nothing written.
  SetTorrentName(*model, "film");
  EXPECT_TRUE(model->HybridRenamed());
  TMemoryStream out;
  EXPECT_THROW(model->SaveToStream(out, model->Pieces), EHybridRename);
  EXPECT_TRUE(out.Data().empty());
}

TEST(TorrentFile, AHybridRefusesAFileRename) {
  const std::string file = Dict({{"length", Int(3)}, {"path", List({Str("d"), Str("a")})}});
  const std::string bytes = Torrent(Dict({{"files", List({file, file})},
                                          {"meta version", Int(2)},
                                          {"name", Str("top")},
                                          {"piece length", Int(16384)},
                                          {"pieces", Str(FakeHash(1))}}));
  auto [model, ok] = Load(bytes);
  ASSERT_TRUE(ok);
  EXPECT_FALSE(model->HybridRenamed());
  RenameFileEntry(*model, 1, "e/a");
  EXPECT_TRUE(model->HybridRenamed());
  RenameFileEntry(*model, 1, "d/a");
  EXPECT_FALSE(model->HybridRenamed());
  RenameFileEntry(*model, 0, "b");
  EXPECT_TRUE(model->HybridRenamed());

  // Without v2 data the same rename is an ordinary save.
  auto [plain, okPlain] = Load(Torrent(Dict({{"files", List({file})},
                                             {"name", Str("top")},
                                             {"piece length", Int(16384)},
                                             {"pieces", Str(FakeHash(1))}})));
  ASSERT_TRUE(okPlain);
  RenameFileEntry(*plain, 0, "b");
  EXPECT_FALSE(plain->HasV2Part());
  EXPECT_FALSE(plain->HybridRenamed());
  EXPECT_NE(Save(*plain).find("4:pathl1:d1:be"), std::string::npos);
}

TEST(TorrentFile, IncompleteInfoIsWrittenFromTheModel) {
  // The file ends inside info: its bytes are no value to copy.
  const std::string bytes = "d8:announce1:a4:infod6:lengthi5e4:name1:n12:piece lengthi1e6:pieces0:";
  auto [model, ok] = Load(bytes);
  ASSERT_TRUE(ok);
  EXPECT_EQ(Save(*model), "d8:announce1:a4:infod6:lengthi5e4:name1:n12:piece lengthi1e6:pieces0:ee");
}

TEST(TorrentFile, CreationModelIgnoresAnEarlierLoad) {
  auto [model, ok] = Load(ForeignTorrent().Bytes);
  ASSERT_TRUE(ok);
  model->SetInfo("A", "N", "", "", 5, false);
  model->ClearCreationDate();
  model->BackupTrackers().clear();
  model->SetPieceLength(262144);
  model->SetPieces({});
  AppendPiece(*model, FakeHash(9));
  EXPECT_EQ(Save(*model), Save(*SingleModel()));
}

}  // namespace

namespace {

TEST(TorrentFile, ARebuiltInfoNeverSplitsAComponent) {
  // Damaged (a "/" inside a component), saved anyway after renaming another file.
  const std::string bytes =
      Torrent(Dict({{"files", List({Dict({{"length", Int(3)}, {"path", List({Str("x/y"), Str("a")})}}),
                                    Dict({{"length", Int(4)}, {"path", List({Str("b")})}})})},
                    {"name", Str("top")},
                    {"piece length", Int(16384)},
                    {"pieces", Str(FakeHash(1))}}));
  auto [model, ok] = Load(bytes);
  ASSERT_TRUE(ok);
  EXPECT_EQ(model->Errors, Strings{"Corrupt File: files[0].path[0] contains \"/\""});
  model->RenameFile(1, model->Files[1]->Path, "c");
  const std::string saved = Save(*model);
  EXPECT_NE(saved.find("4:pathl3:x/y1:ae"), std::string::npos) << saved;
  EXPECT_NE(saved.find("4:pathl1:ce"), std::string::npos) << saved;
}

}  // namespace

// The loader reads the file entries one at a time from the loaded bytes, at
// the places the decoder noted: they must be the entries of the list the
// decoder kept, also when keys repeat, stray bytes sit between entries, or a
// "files" key lies somewhere else.
TEST(TorrentFile, FileEntriesComeFromTheKeptList) {
  const std::string a = Dict({{"length", Int(1)}, {"path", List({Str("a")})}});
  const std::string b =
      Dict({{"length", Int(2)}, {"md5sum", Str("m")}, {"path", List({Str("d"), Str("b")})}});
  const std::string c = Dict({{"length", Int(3)}, {"path", List({Str("c")})}});
  auto info = [](const std::string& files) {
    return "d5:files" + files + "4:name4:many12:piece lengthi16384e6:pieces" + Str(FakeHash(1)) + "e";
  };
  struct TCase {
    const char* Name;
    std::string Bytes;
  };
  const TCase cases[] = {
      {.Name = "stray bytes between entries", .Bytes = Torrent(info("l" + a + "x" + b + "?" + c + "e"))},
      {.Name = "files twice: the last counts",
       .Bytes = Torrent("d5:filesl" + c + "e" + info("l" + a + b + c + "e").substr(1))},
      {.Name = "info twice: the last counts",
       .Bytes = "d8:announce" + Str("http://a/ann") + "4:info" + info("l" + c + "e") + "4:info" +
                info("l" + a + b + c + "e") + "e"},
      {.Name = "files elsewhere is not the list",
       .Bytes = "d8:announce" + Str("http://a/ann") + "5:otherd5:filesl" + c + "ee4:info" +
                info("l" + a + b + c + "e") + "e"},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.Name);
    auto [model, ok] = Load(tc.Bytes);
    ASSERT_TRUE(ok);
    ASSERT_EQ(model->Files.size(), 3u);
    EXPECT_EQ(model->Files[0]->Name, "a");
    EXPECT_EQ(model->Files[1]->Path + model->Files[1]->Name, "d/b");
    EXPECT_EQ(model->Files[2]->Length, 3);
    EXPECT_EQ(model->TotalLength, 6);
    // A rebuilt list keeps the untouched entries' other keys, decoded again from the bytes.
    model->RenameFile(0, model->Files[0]->Path, "z");
    const std::string saved = Save(*model);
    EXPECT_NE(saved.find("5:filesl" + Dict({{"length", Int(1)}, {"path", List({Str("z")})}}) + b + c + "e"),
              std::string::npos)
        << saved;
  }
}
