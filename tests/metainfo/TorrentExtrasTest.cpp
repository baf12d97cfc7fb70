// The keys beside the model's own: private, source, web seeds, tiers, the
// magnet link, and what a save does to the info hash when they change.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "MetainfoTestUtil.h"
#include "metainfo/Magnet.h"
#include "metainfo/TorrentEdits.h"

namespace {

using namespace Ben;
using TTiers = std::vector<std::vector<std::string>>;

const std::string MainUrl = "http://a.example/ann?passkey=111";
const std::string SecondUrl = "udp://a2.example:80";
const std::string BackupUrl = "http://b.example/ann?passkey=111";

// An unknown key whose value is not in canonical order: only a byte copy keeps it.
const std::string OddValue = "d1:bi1e1:ai2ee";

std::string InfoBytes(const std::string& extra = "") {
  return "d5:files" +
         List({Dict({{"length", Int(10)}, {"path", List({Str("a.txt")})}}),
               Dict({{"length", Int(5)}, {"path", List({Str("b.txt")})}})}) +
         "4:name3:top12:piece lengthi16384e6:pieces" + Str(FakeHash(1)) + extra + "3:zzz" + OddValue + "e";
}

// before: keys sorting before "info"; after: keys sorting after it.
std::string TorrentBytes(const std::string& info, const std::string& before = "",
                         const std::string& after = "") {
  return "d8:announce" + Str(MainUrl) + "13:announce-list" +
         List({List({Str(MainUrl), Str(SecondUrl)}), List({Str(BackupUrl)})}) + before + "4:info" + info +
         after + "e";
}

// The bytes of the info value.
std::string InfoOf(const std::string& torrent) {
  const size_t start = torrent.find("4:info") + 6;
  for (size_t length = 2; start + length <= torrent.size(); ++length)
    if (IsCompleteValue(std::string_view(torrent).substr(start, length)))
      return torrent.substr(start, length);
  return "";
}

TEST(TorrentExtras, LoaderReadsTheKeysBesideTheModelsOwn) {
  struct TCase {
    const char* Label = "";
    std::string Bytes;
    bool Private = false;
    std::string Source{};
    std::vector<std::string> WebSeeds{};
    std::string CreatedBy{};
  };
  const TCase cases[] = {
      {.Label = "none", .Bytes = TorrentBytes(InfoBytes()), .Private = false},
      {.Label = "private and source",
       .Bytes = TorrentBytes(InfoBytes("7:privatei1e6:source3:SRC")),
       .Private = true,
       .Source = "SRC"},
      {.Label = "private 0 is public", .Bytes = TorrentBytes(InfoBytes("7:privatei0e")), .Private = false},
      {.Label = "private as a string is not private",
       .Bytes = TorrentBytes(InfoBytes("7:private1:1")),
       .Private = false},
      {.Label = "one web seed as a string",
       .Bytes = TorrentBytes(InfoBytes(), "", "8:url-list" + Str("http://seed/")),
       .WebSeeds = {"http://seed/"}},
      {.Label = "web seeds as a list, odd items ignored",
       .Bytes = TorrentBytes(InfoBytes(), "10:created by4:mk 1",
                             "8:url-list" + List({Str("http://s1/"), Int(3), Str(""), Str("http://s2/")})),
       .WebSeeds = {"http://s1/", "http://s2/"},
       .CreatedBy = "mk 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    const auto loaded = Load(c.Bytes);
    ASSERT_TRUE(loaded.Ok);
    EXPECT_TRUE(loaded.Model->DamageLines().empty());
    EXPECT_EQ(loaded.Model->Private, c.Private);
    EXPECT_EQ(loaded.Model->Source, c.Source);
    EXPECT_EQ(loaded.Model->WebSeeds, c.WebSeeds);
    EXPECT_EQ(loaded.Model->CreatedBy, c.CreatedBy);
    EXPECT_EQ(loaded.Model->AnnounceTiers(), (TTiers{{MainUrl, SecondUrl}, {BackupUrl}}));
    // Nothing changed, nothing moves.
    EXPECT_EQ(Save(*loaded.Model), c.Bytes);
    EXPECT_FALSE(InfoHashChanges(*loaded.Model));
  }
}

// Private and source live in info: a change rebuilds it, and every other key
// keeps its bytes, unknown ones included.
TEST(TorrentExtras, FlagChangesRebuildInfoKeepingEveryOtherKeyByteForByte) {
  struct TCase {
    const char* Label = "";
    std::string InfoExtra{};  // flags in the loaded info
    bool Private = false;
    std::string Source{};
    std::string ExpectedExtra{};  // flags in the saved info
  };
  const TCase cases[] = {
      {.Label = "set private", .Private = true, .ExpectedExtra = "7:privatei1e"},
      {.Label = "set both", .Private = true, .Source = "S", .ExpectedExtra = "7:privatei1e6:source1:S"},
      {.Label = "clear private",
       .InfoExtra = "7:privatei1e6:source1:S",
       .Source = "S",
       .ExpectedExtra = "6:source1:S"},
      {.Label = "clear source",
       .InfoExtra = "7:privatei1e6:source1:S",
       .Private = true,
       .ExpectedExtra = "7:privatei1e"},
      {.Label = "change source", .InfoExtra = "6:source1:S", .Source = "T", .ExpectedExtra = "6:source1:T"},
      {.Label = "private 0 stays while public",
       .InfoExtra = "7:privatei0e",
       .Source = "S",
       .ExpectedExtra = "7:privatei0e6:source1:S"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    const std::string bytes = TorrentBytes(InfoBytes(c.InfoExtra));
    auto loaded = Load(bytes);
    ASSERT_TRUE(loaded.Ok);
    const std::string oldHash = loaded.Model->InfoHashText;
    loaded.Model->SetPrivate(c.Private);
    loaded.Model->SetSource(c.Source);
    EXPECT_TRUE(InfoHashChanges(*loaded.Model));
    const std::string saved = Save(*loaded.Model);
    EXPECT_EQ(InfoOf(saved), InfoBytes(c.ExpectedExtra));
    EXPECT_EQ(saved.substr(0, saved.find("4:info")), bytes.substr(0, bytes.find("4:info")));
    const auto reloaded = Load(saved);
    EXPECT_EQ(reloaded.Model->InfoHashText, SavedInfoHash(*loaded.Model));
    EXPECT_NE(reloaded.Model->InfoHashText, oldHash);
    EXPECT_EQ(reloaded.Model->Private, c.Private);
    EXPECT_EQ(reloaded.Model->Source, c.Source);
  }
}

// The info hash is worked out without saving and loading the file: it must be
// the one the saved file loads with, also where the writer cannot write a
// sound "pieces" string and the file reads back as something else.
TEST(TorrentExtras, SavedInfoHashIsTheHashTheSavedFileLoadsWith) {
  struct TCase {
    const char* Label;
    std::function<void(TTorrentFile&)> Edit;
  };
  const TCase cases[] = {
      {"nothing", [](TTorrentFile&) {}},
      {"comment only", [](TTorrentFile& t) { t.SetComment("c"); }},
      {"private", [](TTorrentFile& t) { t.SetPrivate(true); }},
      {"source", [](TTorrentFile& t) { t.SetSource("S"); }},
      {"name", [](TTorrentFile& t) { t.SetName("renamed"); }},
      {"file renamed", [](TTorrentFile& t) { RenameFileEntry(t, 1, "c.txt"); }},
      {"piece added", [](TTorrentFile& t) { AppendPiece(t, FakeHash(2)); }},
      {"piece hash too short", [](TTorrentFile& t) { AppendPiece(t, "abc"); }},
      {"piece hash too long", [](TTorrentFile& t) { AppendPiece(t, FakeHash(2) + FakeHash(3)); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    auto loaded = Load(TorrentBytes(InfoBytes("6:source1:S")));
    ASSERT_TRUE(loaded.Ok);
    c.Edit(*loaded.Model);
    EXPECT_EQ(SavedInfoHash(*loaded.Model), Load(Save(*loaded.Model)).Model->InfoHashText);
    // A save hashes the info it writes.
    TMemoryStream out;
    std::string written;
    loaded.Model->SaveToStream(out, loaded.Model->Pieces, written);
    EXPECT_EQ(written, Load(out.Data()).Model->InfoHashText);
  }
}

TEST(TorrentExtras, ARenameKeepsUnknownInfoKeysAndTheFlagsByteForByte) {
  auto loaded = Load(TorrentBytes(InfoBytes("7:privatei1e6:source1:S")));
  RenameFileEntry(*loaded.Model, 1, "c.txt");
  const std::string info = InfoOf(Save(*loaded.Model));
  EXPECT_NE(info.find("5:c.txt"), std::string::npos);
  EXPECT_NE(info.find("7:privatei1e6:source1:S3:zzz" + OddValue), std::string::npos) << info;
}

TEST(TorrentExtras, WebSeedsAreWrittenAsUrlListWithoutTouchingInfo) {
  auto loaded = Load(TorrentBytes(InfoBytes(), "", "8:url-list" + Str("http://old/")));
  const std::string info = InfoOf(TorrentBytes(InfoBytes()));
  loaded.Model->SetWebSeeds({"http://s1/", "http://s2/"});
  EXPECT_FALSE(InfoHashChanges(*loaded.Model));
  std::string saved = Save(*loaded.Model);
  EXPECT_NE(saved.find("8:url-list" + List({Str("http://s1/"), Str("http://s2/")})), std::string::npos);
  EXPECT_EQ(InfoOf(saved), info);
  loaded.Model->SetWebSeeds({});
  saved = Save(*loaded.Model);
  EXPECT_EQ(saved.find("url-list"), std::string::npos);
}

TEST(TorrentExtras, TrackerEditsKeepTheTiers) {
  struct TCase {
    const char* Label;
    std::function<void(TTorrentFile&)> Edit;
    std::string Announce;
    TTiers Tiers;
  };
  const TCase cases[] = {
      {.Label = "add: a new tier at the end",
       .Edit = [](TTorrentFile& t) { AddTracker(t, "http://c/"); },
       .Announce = MainUrl,
       .Tiers = {{MainUrl, SecondUrl}, {BackupUrl}, {"http://c/"}}},
      {.Label = "add a URL already there: nothing doubles",
       .Edit = [](TTorrentFile& t) { AddTracker(t, BackupUrl); },
       .Announce = MainUrl,
       .Tiers = {{MainUrl, SecondUrl}, {BackupUrl}}},
      {.Label = "remove the main tracker: the next one leads",
       .Edit = [](TTorrentFile& t) { EXPECT_TRUE(RemoveTracker(t, MainUrl)); },
       .Announce = SecondUrl,
       .Tiers = {{SecondUrl}, {BackupUrl}}},
      {.Label = "remove a tier's only URL: the tier goes",
       .Edit = [](TTorrentFile& t) { EXPECT_TRUE(RemoveTracker(t, BackupUrl)); },
       .Announce = MainUrl,
       .Tiers = {{MainUrl, SecondUrl}}},
      {.Label = "remove what is not there",
       .Edit = [](TTorrentFile& t) { EXPECT_FALSE(RemoveTracker(t, "http://x/")); },
       .Announce = MainUrl,
       .Tiers = {{MainUrl, SecondUrl}, {BackupUrl}}},
      {.Label = "replace a passkey in every URL",
       .Edit = [](TTorrentFile& t) { EXPECT_EQ(ReplaceInTrackers(t, "passkey=111", "passkey=222"), 3); },
       .Announce = "http://a.example/ann?passkey=222",
       .Tiers = {{"http://a.example/ann?passkey=222", SecondUrl}, {"http://b.example/ann?passkey=222"}}},
      {.Label = "new main tracker: the old one does not stay behind",
       .Edit = [](TTorrentFile& t) { ReplaceMainTracker(t, "http://n/"); },
       .Announce = "http://n/",
       .Tiers = {{"http://n/", SecondUrl}, {BackupUrl}}},
      {.Label = "new main tracker that was a back-up",
       .Edit = [](TTorrentFile& t) { ReplaceMainTracker(t, BackupUrl); },
       .Announce = BackupUrl,
       .Tiers = {{BackupUrl, SecondUrl}}},
      {.Label = "new main tracker, old one named again as a back-up",
       .Edit =
           [](TTorrentFile& t) {
             ReplaceMainTracker(t, "http://n/");
             AddTracker(t, MainUrl);
           },
       .Announce = "http://n/",
       .Tiers = {{"http://n/", SecondUrl}, {BackupUrl}, {MainUrl}}},
      {.Label = "a main URL set apart from the tiers leads them",
       .Edit = [](TTorrentFile& t) { t.SetAnnounce("http://apart/"); },
       .Announce = "http://apart/",
       .Tiers = {{"http://apart/"}, {MainUrl, SecondUrl}, {BackupUrl}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    auto loaded = Load(TorrentBytes(InfoBytes()));
    c.Edit(*loaded.Model);
    const auto reloaded = Load(Save(*loaded.Model));
    EXPECT_EQ(reloaded.Model->Announce(), c.Announce);
    EXPECT_EQ(reloaded.Model->AnnounceTiers(), c.Tiers);
    EXPECT_FALSE(InfoHashChanges(*loaded.Model));
  }
}

// libtorrent reads such a file's tiers without its announce URL; show says so too.
TEST(TorrentExtras, AMainUrlOutsideTheLoadedTiersIsShownAsTheFileHasIt) {
  auto loaded = Load("d8:announce" + Str(MainUrl) + "13:announce-list" + List({List({Str(BackupUrl)})}) +
                     "4:info" + InfoBytes() + "e");
  EXPECT_EQ(loaded.Model->AnnounceTiers(), (TTiers{{BackupUrl}}));
}

TEST(TorrentExtras, TrackerEditsWithoutAnAnnounceList) {
  const std::string info = InfoBytes();
  auto onlyMain = Load("d8:announce" + Str(MainUrl) + "4:info" + info + "e");
  AddTracker(*onlyMain.Model, "http://c/");
  EXPECT_EQ(Load(Save(*onlyMain.Model)).Model->AnnounceTiers(), (TTiers{{MainUrl}, {"http://c/"}}));

  auto none = Load("d4:info" + info + "e");
  AddTracker(*none.Model, "http://c/");
  const auto reloaded = Load(Save(*none.Model));
  EXPECT_EQ(reloaded.Model->Announce(), "http://c/");
  EXPECT_EQ(reloaded.Model->AnnounceTiers(), (TTiers{{"http://c/"}}));

  auto replaced = Load("d8:announce" + Str(MainUrl) + "4:info" + info + "e");
  ReplaceMainTracker(*replaced.Model, "http://n/");
  const std::string saved = Save(*replaced.Model);
  EXPECT_EQ(saved.find("announce-list"), std::string::npos);
  EXPECT_EQ(Load(saved).Model->Announce(), "http://n/");
}

TEST(Magnet, HoldsTheHashTheNameEveryTrackerOnceAndTheWebSeeds) {
  auto loaded = Load(TorrentBytes(InfoBytes(), "", "8:url-list" + List({Str("http://s/a b")})));
  loaded.Model->SetName("A & B/1+1=2 é");
  const std::string link = MagnetLink(*loaded.Model);
  EXPECT_EQ(link, "magnet:?xt=urn:btih:" + loaded.Model->InfoHashText +
                      "&dn=A%20%26%20B%2F1%2B1%3D2%20%C3%A9"
                      "&tr=http%3A%2F%2Fa.example%2Fann%3Fpasskey%3D111"
                      "&tr=udp%3A%2F%2Fa2.example%3A80"
                      "&tr=http%3A%2F%2Fb.example%2Fann%3Fpasskey%3D111"
                      "&ws=http%3A%2F%2Fs%2Fa%20b");
  EXPECT_EQ(MagnetLink(*loaded.Model, std::string(40, 'f')).substr(0, 60),
            "magnet:?xt=urn:btih:" + std::string(40, 'f'));
  EXPECT_EQ(PercentEncode("AZaz09-._~"), "AZaz09-._~");
}

}  // namespace
