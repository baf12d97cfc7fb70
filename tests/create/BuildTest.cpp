// Build: plain values in, the model, its bytes and its info hash out.

#include "create/Build.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <optional>

#include "../support/TempDir.h"
#include "base/Stream.h"
#include "create/Progress.h"
#include "create/Sources.h"
#include "digest/MessageDigests.h"
#include "metainfo/TorrentFile.h"

namespace {

std::unique_ptr<TTorrentFile> LoadBytes(const std::string& bytes) {
  auto torrent = std::make_unique<TTorrentFile>();
  TMemoryStream stream(bytes);
  EXPECT_TRUE(torrent->LoadFromStream(stream));
  // A torrent without a main tracker has no announce, which the loader notes but is no damage.
  EXPECT_TRUE(torrent->DamageLines().empty());
  return torrent;
}

class BuildTest : public ::testing::Test {
 protected:
  TTempDir Dir;
  TNullProgress Progress;
};

// Asks for the abort once the output's temporary file stands, as a Ctrl-C
// during the save would.
class TAbortDuringSave : public TNullProgress {
 public:
  explicit TAbortDuringSave(std::string folder) : folder_(std::move(folder)) {}
  bool IsAborted() const override {
    for (const auto& e : std::filesystem::directory_iterator(folder_))
      if (e.path().filename().string().find(".quorvane-tmp-") != std::string::npos) return true;
    return false;
  }

 private:
  std::string folder_;
};

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

}  // namespace

// What the result says must be what a load of its bytes finds, with or without a file.
TEST_F(BuildTest, ResultAgreesWithALoadOfItsBytes) {
  const std::string a = PatternBytes(300000, 1);
  const std::string b = PatternBytes(5, 2);
  const std::string c = PatternBytes(262144, 3);
  Dir.Write("src/a", a);
  Dir.Write("src/x/b", b);
  Dir.Write("src/x/y/c", c);
  struct TCase {
    const char* Name;
    bool Folder;
    bool ToFile;
  };
  const TCase cases[] = {
      {"one file, bytes only", false, false},
      {"one file, written", false, true},
      {"folder, bytes only", true, false},
      {"folder, written", true, true},
  };
  for (const auto& cs : cases) {
    SCOPED_TRACE(cs.Name);
    TBuildRequest request =
        cs.Folder ? FolderRequest({}, Dir / "src", "src", {}) : FileRequest({}, Dir / "src/a", "a");
    const std::string output = Dir / "out.torrent";
    std::filesystem::remove(output);
    if (cs.ToFile) request.Output = output;
    const TBuildResult result = Build(request, Progress);
    ASSERT_EQ(result.Outcome, TBuildOutcome::Built);
    if (cs.ToFile) {
      EXPECT_EQ(result.Written, output);
      EXPECT_EQ(ReadWholeFile(output), result.Bytes);
    } else {
      EXPECT_EQ(result.Written, "");
      EXPECT_FALSE(std::filesystem::exists(output));
    }

    const auto loaded = LoadBytes(result.Bytes);
    EXPECT_EQ(result.InfoHashText, loaded->InfoHashText);
    EXPECT_EQ(result.InfoHash, loaded->InfoHash);
    const TTorrentFile& made = *result.Torrent;
    EXPECT_EQ(made.InfoHashText, loaded->InfoHashText);
    EXPECT_EQ(made.Name, loaded->Name);
    EXPECT_EQ(made.MultiFile, cs.Folder);
    EXPECT_EQ(made.TotalLength, loaded->TotalLength);
    EXPECT_EQ(made.Files.size(), loaded->Files.size());
    EXPECT_EQ(made.PieceLength, 262144);

    // The pieces against an independent hash of the data in torrent order.
    const std::string data = cs.Folder ? a + b + c : a;
    ASSERT_EQ(made.Pieces.size(), (data.size() + 262143) / 262144);
    ASSERT_EQ(loaded->Pieces.size(), made.Pieces.size());
    for (size_t p = 0; p < made.Pieces.size(); ++p) {
      EXPECT_EQ(made.Pieces[p], Sha1Bytes(data.substr(p * 262144, 262144))) << p;
      EXPECT_EQ(loaded->Pieces[p], made.Pieces[p]) << p;
    }
    if (cs.Folder) {
      ASSERT_EQ(loaded->Files.size(), 3u);
      EXPECT_EQ(loaded->Files[1]->Path + loaded->Files[1]->Name, "x/b");
      EXPECT_EQ(loaded->Files[2]->Path + loaded->Files[2]->Name, "x/y/c");
    }
  }
}

TEST_F(BuildTest, TiersDateFlagsAndPieceLength) {
  Dir.Write("f", PatternBytes(1000));
  using TTiers = std::vector<std::vector<std::string>>;
  struct TCase {
    const char* Name;
    TTiers Trackers;
    std::string Announce;                    // as loaded
    std::optional<TTiers> Tiers = TTiers{};  // as loaded; none without back-ups; not checked: nullopt
    std::optional<int64_t> Date;
    std::optional<int32_t> PieceLength;
    int64_t LoadedPieceLength;
  };
  const TCase cases[] = {
      {.Name = "no tracker", .LoadedPieceLength = 262144},
      {.Name = "main only",
       .Trackers = {{"http://m/a"}},
       .Announce = "http://m/a",
       .Date = 1700000000,
       .LoadedPieceLength = 262144},
      {.Name = "main and back-ups, one a tier",
       .Trackers = {{"http://m/a"}, {"udp://b1/a"}, {"http://b2/a"}},
       .Announce = "http://m/a",
       .Tiers = TTiers{{"http://m/a"}, {"udp://b1/a"}, {"http://b2/a"}},
       .Date = 0,
       .PieceLength = 3'000'000,
       .LoadedPieceLength = 2097152},
      {.Name = "back-ups without a main tracker",
       .Trackers = {{""}, {"http://b1/a"}},
       .Tiers = std::nullopt,  // how the writer lists a missing main tracker is its own affair
       .Date = int64_t{1} << 40,
       .PieceLength = 131072,
       .LoadedPieceLength = 131072},
      {.Name = "a tier of two",
       .Trackers = {{"http://m/a", "http://m2/a"}, {"http://b/a"}},
       .Announce = "http://m/a",
       .Tiers = TTiers{{"http://m/a", "http://m2/a"}, {"http://b/a"}},
       .LoadedPieceLength = 262144},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TBuildRequest request = FileRequest({}, Dir / "f", "name");
    request.Trackers = c.Trackers;
    request.CreationDate = c.Date;
    request.PieceLength = c.PieceLength;
    request.Private = true;
    request.Source = "SRC";
    request.WebSeeds = {"http://w/"};
    request.Comment = "one\r\ntwo";
    const TBuildResult result = Build(request, Progress);
    ASSERT_EQ(result.Outcome, TBuildOutcome::Built);
    const auto loaded = LoadBytes(result.Bytes);
    EXPECT_EQ(loaded->Announce(), c.Announce);
    if (c.Tiers) {
      EXPECT_EQ(loaded->AnnounceTiers(), *c.Tiers);
    }
    EXPECT_EQ(loaded->BackupTrackers().empty(), c.Trackers.size() <= 1 && c.Tiers == TTiers{});
    if (c.Date) {
      EXPECT_EQ(loaded->CreationUnix(), *c.Date);
    } else {
      EXPECT_EQ(DateTimeOf(*loaded), 0);
    }
    EXPECT_EQ(loaded->PieceLength, c.LoadedPieceLength);
    EXPECT_EQ(loaded->Name, "name");
    EXPECT_TRUE(loaded->Private);
    EXPECT_EQ(loaded->Source, "SRC");
    EXPECT_EQ(loaded->WebSeeds, std::vector<std::string>{"http://w/"});
    EXPECT_EQ(loaded->Comment, "one\r\ntwo");
  }
}

// A build that does not end in a torrent leaves the output as it was, in every format.
TEST_F(BuildTest, OutcomesWithoutATorrentWriteNothing) {
  struct TCase {
    const char* Name;
    std::string Data;
    TMetaFormat Format = TMetaFormat::V1;
    bool Abort = false;
    bool AbortDuringSave = false;
    bool RemoveData = false;
    std::optional<int32_t> PieceLength;
    TBuildOutcome Outcome;
    bool Shown = true;
  };
  std::vector<TCase> cases;
  for (const TMetaFormat format : {TMetaFormat::V1, TMetaFormat::V2, TMetaFormat::Hybrid}) {
    cases.push_back(
        {.Name = "no data", .Data = "", .Format = format, .Outcome = TBuildOutcome::NoData, .Shown = false});
    cases.push_back(
        {.Name = "aborted", .Data = "x", .Format = format, .Abort = true, .Outcome = TBuildOutcome::Aborted});
    cases.push_back({.Name = "aborted during the save",
                     .Data = "x",
                     .Format = format,
                     .AbortDuringSave = true,
                     .Outcome = TBuildOutcome::Aborted});
    cases.push_back({.Name = "data gone",
                     .Data = "x",
                     .Format = format,
                     .RemoveData = true,
                     .Outcome = TBuildOutcome::Failed});
  }
  // Pieces of 24 KiB or 8 KiB cannot be cut into a merkle tree of 16 KiB blocks.
  for (const TMetaFormat format : {TMetaFormat::V2, TMetaFormat::Hybrid})
    for (const int32_t length : {24 * 1024, 8 * 1024})
      cases.push_back({.Name = "piece length",
                       .Data = "x",
                       .Format = format,
                       .PieceLength = length,
                       .Outcome = TBuildOutcome::Failed,
                       .Shown = false});
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Name) + " format " + std::to_string(static_cast<int>(c.Format)));
    TTempDir dir;
    const std::string data = dir.Write("d/f", c.Data);
    dir.Write("out.torrent", "precious");
    TBuildRequest request = FolderRequest({}, dir / "d", "d", {});
    request.Output = dir / "out.torrent";
    request.Format = c.Format;
    request.PieceLength = c.PieceLength;
    if (c.RemoveData) std::filesystem::remove(data);
    TAbortDuringSave abortDuringSave(dir.Path());
    TNullProgress plain;
    TNullProgress& progress = c.AbortDuringSave ? abortDuringSave : plain;
    progress.SetAborted(c.Abort);
    const TBuildResult result = Build(request, progress);
    EXPECT_EQ(result.Outcome, c.Outcome);
    EXPECT_EQ(result.Written, "");
    EXPECT_EQ(result.Bytes, "");
    EXPECT_EQ(ReadWholeFile(dir / "out.torrent"), "precious");
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"d", "out.torrent"}));
    EXPECT_EQ(progress.Shown, c.Shown);
    if (c.RemoveData) {
      EXPECT_NE(result.Error.find("\"" + data + "\""), std::string::npos) << result.Error;
    }
    if (c.PieceLength) {
      EXPECT_EQ(result.Error, V2PieceLengthMessage);
    }
  }
}

TEST_F(BuildTest, BadRequestsRaiseBeforeAnyRead) {
  Dir.Write("f", "1");
  TBuildRequest request = FileRequest({}, Dir / "f", "f");
  request.Output = Dir / "no/such/folder/f.torrent";
  EXPECT_THROW(Build(request, Progress), EStreamError);

  TBuildRequest two = FileRequest({}, Dir / "f", "f");
  two.Files.push_back(two.Files.front());
  EXPECT_THROW(Build(two, Progress), std::invalid_argument);
  two.Files.clear();
  EXPECT_THROW(Build(two, Progress), std::invalid_argument);
  EXPECT_FALSE(Progress.Shown);
}

// A run never hashes its own torrents: the one it replaces, one it wrote
// before into the data, nor (with one file) the output itself.
TEST_F(BuildTest, OwnOutputsAreNeverData) {
  Dir.Write("Self/a", PatternBytes(40000, 1));
  Dir.Write("Self/b", PatternBytes(3000, 2));
  const std::string output = Dir / "Self/Self.torrent";
  for (const TMetaFormat format : {TMetaFormat::V1, TMetaFormat::Hybrid}) {
    SCOPED_TRACE(static_cast<int>(format));
    std::filesystem::remove(output);
    std::string first;
    for (int run = 0; run < 2; ++run) {
      TBuildRequest request = FolderRequest({}, Dir / "Self", "Self", {});
      request.Output = output;
      request.Format = format;
      const TBuildResult result = Build(request, Progress);
      ASSERT_EQ(result.Outcome, TBuildOutcome::Built);
      std::vector<std::string> names;
      for (const auto& file : result.Torrent->Files)
        if (!(file->Path + file->Name).starts_with(".pad")) names.push_back(file->Path + file->Name);
      EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
      if (run == 0) first = result.InfoHashText;
      EXPECT_EQ(result.InfoHashText, first);
    }
  }

  // One builder: what it wrote into the data of a later torrent stays out of it.
  Dir.Write("Each/x", "1234");
  Dir.Write("Each/y/z", "5678");
  TBuildRequest x = FileRequest({}, Dir / "Each/x", "x");
  x.Output = Dir / "Each/y/x.torrent";
  TTorrentBuilder builder(Progress);
  ASSERT_EQ(builder.Build(x).Outcome, TBuildOutcome::Built);
  TBuildRequest y = FolderRequest({}, Dir / "Each/y", "y", {});
  EXPECT_EQ(y.Files.size(), 2u);
  y.Output = Dir / "out.torrent";
  const TBuildResult made = builder.Build(y);
  ASSERT_EQ(made.Outcome, TBuildOutcome::Built);
  ASSERT_EQ(made.Torrent->Files.size(), 1u);
  EXPECT_EQ(made.Torrent->Files.front()->Name, "z");
  // ... and so does one it is to write, left by an earlier run.
  TTorrentBuilder next(Progress);
  next.LeaveOut({Dir / "Each/y/x.torrent"});
  EXPECT_EQ(next.WithoutOwnOutputs(FolderRequest({}, Dir / "Each/y", "y", {})).Files.size(), 1u);

  // One file that is its own output: refused, the file kept.
  const std::string data = Dir.Write("one.bin", "data");
  TBuildRequest self = FileRequest({}, data, "one.bin");
  self.Output = data;
  const TBuildResult refused = Build(self, Progress);
  EXPECT_EQ(refused.Outcome, TBuildOutcome::Failed);
  EXPECT_EQ(refused.Error, "\"" + data + "\" is the torrent's own output file");
  EXPECT_EQ(ReadWholeFile(data), "data");
}

// A private torrent's announce URL carries a passkey: it is its owner's alone.
TEST_F(BuildTest, PrivateTorrentsAreTheOwnersOnly) {
  Dir.Write("f", "1234");
  struct TCase {
    const char* Name;
    bool Private;
    bool Exists;  // replaced, with mode 0644
    mode_t Umask;
    mode_t Mode;
  };
  const TCase cases[] = {
      {.Name = "public", .Private = false, .Exists = false, .Umask = 022, .Mode = 0644},
      {.Name = "private", .Private = true, .Exists = false, .Umask = 022, .Mode = 0600},
      {.Name = "private, umask 077", .Private = true, .Exists = false, .Umask = 077, .Mode = 0600},
      {.Name = "private, umask 277 narrows", .Private = true, .Exists = false, .Umask = 0277, .Mode = 0400},
      {.Name = "private over a public one", .Private = true, .Exists = true, .Umask = 022, .Mode = 0600},
      {.Name = "public over a public one", .Private = false, .Exists = true, .Umask = 077, .Mode = 0644},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string output = Dir / "f.torrent";
    std::filesystem::remove(output);
    if (c.Exists) {
      Dir.Write("f.torrent", "old");
      ::chmod(output.c_str(), 0644);
    }
    TBuildRequest request = FileRequest({}, Dir / "f", "f");
    request.Private = c.Private;
    request.Output = output;
    const mode_t previous = ::umask(c.Umask);
    const TBuildOutcome outcome = Build(request, Progress).Outcome;
    ::umask(previous);
    ASSERT_EQ(outcome, TBuildOutcome::Built);
    EXPECT_EQ(ModeOf(output), c.Mode);
  }
}

// Without leave to replace, a file that appears at the output while the
// torrent is saved stays, and the build says so.
TEST_F(BuildTest, AnOutputThatAppearsMeanwhileIsKept) {
  // Writes the output as another program would, once the save is under way.
  class TOtherWriter : public TNullProgress {
   public:
    explicit TOtherWriter(const TTempDir& dir) : dir_(dir) {}
    bool IsAborted() const override {
      for (const auto& e : std::filesystem::directory_iterator(dir_.Path()))
        if (!written_ && e.path().filename().string().find(".quorvane-tmp-") != std::string::npos) {
          dir_.Write("f.torrent", "theirs");
          written_ = true;
        }
      return false;
    }

   private:
    const TTempDir& dir_;
    mutable bool written_ = false;
  };
  Dir.Write("f", "1234");
  for (const bool keep : {true, false}) {
    SCOPED_TRACE(keep ? "kept" : "replaced");
    std::filesystem::remove(Dir / "f.torrent");
    TBuildRequest request = FileRequest({}, Dir / "f", "f");
    request.Output = Dir / "f.torrent";
    request.KeepExisting = keep;
    TOtherWriter other(Dir);
    std::string error;
    try {
      Build(request, other);
    } catch (const EStreamError& e) {
      error = e.what();
    }
    EXPECT_EQ(error, keep ? "Cannot create file \"" + Dir / "f.torrent" + "\": File exists" : "");
    EXPECT_EQ(ReadWholeFile(Dir / "f.torrent") == "theirs", keep);
    EXPECT_EQ(Dir.List(), (std::vector<std::string>{"f", "f.torrent"}));
  }
}
