#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <deque>
#include <filesystem>

#include "../support/ScriptedDialogs.h"
#include "../support/TempDir.h"
#include "app/CreationDriver.h"
#include "base/Stream.h"
#include "create/HashedStorage.h"
#include "create/Sources.h"
#include "digest/MessageDigests.h"
#include "metainfo/TorrentFile.h"

namespace {

// The driver asks Yes/No only where a test queues the answer.
void FailOnUnexpectedQuestions(TScriptedDialogs& dialogs) {
  dialogs.OnUnanswered = [](const TScriptedDialogs::TBox& box) {
    ADD_FAILURE() << "unexpected question: " << box.Text;
  };
}

// A progress that can act when a given file starts or when events are pumped.
class TScriptProgress : public TNullProgress {
 public:
  std::vector<std::string> Captions;
  std::function<void(const std::string& label)> OnLabel;
  std::function<void()> OnPump;
  void SetCaption(const std::string& caption) override {
    TNullProgress::SetCaption(caption);
    Captions.push_back(caption);
  }
  // The progress window's label, worded as the window words it.
  std::string HashingText = "Hashing:";
  void FileStarted(int64_t index, const std::string& name) override {
    TNullProgress::FileStarted(index, name);
    HashingText = "Hashing: " + name;
    if (OnLabel) OnLabel(HashingText);
  }
  void ProcessEvents() override {
    if (OnPump) OnPump();
  }
};

struct TLoaded {
  TTorrentFile Model;
  bool Ok = false;
};

std::unique_ptr<TLoaded> Load(const std::string& path) {
  auto loaded = std::make_unique<TLoaded>();
  TMemoryStream stream(ReadWholeFile(path));
  loaded->Ok = loaded->Model.LoadFromStream(stream);
  return loaded;
}

// "path/name length" for every file of a loaded torrent.
std::vector<std::string> FilesOf(const TTorrentFile& model) {
  std::vector<std::string> files;
  for (const auto& f : model.Files) files.push_back(f->Path + f->Name + " " + std::to_string(f->Length));
  return files;
}

class CreationDriverTest : public ::testing::Test {
 protected:
  TTempDir Dir;
  TScriptedDialogs Dialogs;
  TScriptProgress Progress;
  TCreationDriver Driver{Dialogs, Progress};

  CreationDriverTest() { FailOnUnexpectedQuestions(Dialogs); }

  // "Classic" on path, the save dialog answering output.
  void ClassicInto(const std::string& path, const std::string& output) {
    Driver.Input.Mode = TCreateMode::Classic;
    Driver.Input.ClassicPath = path;
    Dialogs.SaveAnswers.push_back(output);
  }
  // "Classic" with "1 torrent for each file" on folder.
  void OnePerEntry(const std::string& folder) {
    Driver.Input.Mode = TCreateMode::Classic;
    Driver.Input.ClassicPath = folder;
    Driver.Input.ClassicWholeFolder = false;
  }
  // One per entry of src, holding the files a and b, into the folder out.
  void TwoEntriesIntoOut() {
    Dir.Write("src/a", "aaa");
    Dir.Write("src/b", "bbb");
    Dir.MakeDir("out");
    OnePerEntry(Dir / "src");
    Dialogs.FolderAnswers.push_back(Dir / "out");
  }
};

}  // namespace

// The thresholds of "Auto" are the core's (PieceLengthTest); here the controls reach it.
TEST_F(CreationDriverTest, PieceLengthFromTheControls) {
  Dir.Write("f", "data");
  struct TCase {
    bool Auto;
    int Index;  // of the selected cmbPieceSize entry
    int64_t Expected;
  };
  const TCase cases[] = {
      {.Auto = true, .Index = 7, .Expected = 262144},  // the entry is ignored
      {.Auto = false, .Index = 0, .Expected = 131072},  {.Auto = false, .Index = 1, .Expected = 262144},
      {.Auto = false, .Index = 2, .Expected = 524288},  {.Auto = false, .Index = 3, .Expected = 1048576},
      {.Auto = false, .Index = 4, .Expected = 2097152}, {.Auto = false, .Index = 5, .Expected = 4194304},
      {.Auto = false, .Index = 6, .Expected = 8388608}, {.Auto = false, .Index = 7, .Expected = 16777216},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Auto ? "auto " : "custom ") + std::to_string(c.Index));
    ClassicInto(Dir / "f", Dir / "f.torrent");
    Driver.Input.AutoPieceSize = c.Auto;
    Driver.Input.PieceLength = PieceLengthAt(c.Index);
    Driver.btnCreateTorrentClick();
    auto t = Load(Dir / "f.torrent");
    ASSERT_TRUE(t->Ok);
    EXPECT_EQ(t->Model.PieceLength, c.Expected);
  }
  EXPECT_EQ(PieceLengthIndex(TCreationInput{}.PieceLength), 1);  // "256kb" is the default entry
}

TEST_F(CreationDriverTest, FolderFilesInByteOrderDepthFirst) {
  const std::pair<const char*, const char*> files[] = {
      {"top/b.txt", "bb"},      {"top/A.txt", "A"}, {"top/a/x.bin", "xxx"}, {"top/a/Thumbs.DB", "t"},
      {"top/a/c/deep", "dddd"}, {"top/ab", "5"},    {"top/.hidden", "hh"}};
  for (const auto& [path, bytes] : files) Dir.Write(path, bytes);
  Dir.MakeDir("top/empty/inner");
  ASSERT_EQ(::mkfifo((Dir / "top/pipe").c_str(), 0600), 0);
  ASSERT_EQ(::symlink(".", (Dir / "top/a/loop").c_str()), 0);

  for (bool skip : {true, false}) {
    SCOPED_TRACE(skip ? "skip thumbs" : "keep thumbs");
    Driver.Input.SkipThumbs = skip;
    ClassicInto(Dir / "top", Dir / "top.torrent");
    Driver.btnCreateTorrentClick();
    auto t = Load(Dir / "top.torrent");
    ASSERT_TRUE(t->Ok);
    std::vector<std::string> expected = {".hidden 2", "A.txt 1"};
    if (!skip) expected.push_back("a/Thumbs.DB 1");
    for (const char* s : {"a/c/deep 4", "a/x.bin 3", "ab 1", "b.txt 2"}) expected.push_back(s);
    EXPECT_EQ(FilesOf(t->Model), expected);
    EXPECT_EQ(t->Model.TotalLength, skip ? 13 : 14);
    // Each entry was read from its own file: one piece of them all, in that order.
    const std::string data = skip ? "hhA"
                                    "dddd"
                                    "xxx"
                                    "5"
                                    "bb"
                                  : "hhA"
                                    "t"
                                    "dddd"
                                    "xxx"
                                    "5"
                                    "bb";
    ASSERT_EQ(t->Model.Pieces.size(), 1u);
    EXPECT_EQ(t->Model.Pieces[0], Sha1Bytes(data));
  }
}

TEST_F(CreationDriverTest, TrackerChecks) {
  Dir.Write("f", "data");
  struct TCase {
    const char* Name;
    std::string Tracker;
    TTrackerStatus Status = TTrackerStatus::NotAvailable;
    std::deque<TMsgResult> Answers = {};
    std::vector<std::string> Log = {};
  };
  const std::string save = "save " + Dir / "f.torrent";
  const TCase cases[] = {
      {.Name = "placeholder",
       .Tracker = TrackerPrompt,
       .Log = {"Error: You must select a tracker to use with this torrent!"}},
      {.Name = "down, No",
       .Tracker = "t",
       .Status = TTrackerStatus::Down,
       .Answers = {TMsgResult::No},
       .Log = {"Question: Tracker may be down; are you sure you want to continue? [Yes/No]"}},
      {.Name = "down, Yes",
       .Tracker = "t",
       .Status = TTrackerStatus::Down,
       .Answers = {TMsgResult::Yes},
       .Log = {"Question: Tracker may be down; are you sure you want to continue? [Yes/No]", save}},
      {.Name = "up", .Tracker = "t", .Status = TTrackerStatus::Up, .Log = {save}},
      {.Name = "empty tracker passes", .Tracker = "", .Status = TTrackerStatus::NotAvailable, .Log = {save}},
      {.Name = "near-placeholder passes",
       .Tracker = std::string(TrackerPrompt) + " ",
       .Status = TTrackerStatus::NotAvailable,
       .Log = {save}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Dialogs.Log.clear();
    Dialogs.Answers = c.Answers;
    Driver.Input.TrackerText = c.Tracker;
    Driver.Input.TrackerStatus = c.Status;
    Driver.Input.Mode = TCreateMode::Classic;
    Driver.Input.ClassicPath = Dir / "f";
    Progress.SetAborted(true);  // left over from an earlier run: cleared by the command
    Driver.btnCreateTorrentClick();
    EXPECT_FALSE(Progress.IsAborted());
    EXPECT_EQ(Dialogs.Log, c.Log);
  }
}

TEST_F(CreationDriverTest, SimpleModeOneFile) {
  Dir.Write("music/movie.avi", PatternBytes(300000));
  Driver.Input.TrackerText = "http://t.example/announce";
  Driver.Input.Comment = "line one\r\nline two";
  Driver.Input.SimpleFolder = Dir / "music";
  Driver.Input.SimpleFiles = {{"a", false}, {"movie.avi", true}, {"z", false}};
  Driver.Input.SkipThumbs = true;
  Dialogs.SaveAnswers.push_back(Dir / "out.torrent");
  Driver.btnCreateTorrentClick();

  ASSERT_EQ(Dialogs.SaveRequests.size(), 1u);
  EXPECT_EQ(Dialogs.SaveRequests[0].Preset, Dir / "music/movie.avi.torrent");
  EXPECT_EQ(Dialogs.SaveRequests[0].DefaultExt, "torrent");
  EXPECT_EQ(Dialogs.SaveRequests[0].Filter, "torrent files (*.torrent)|*.torrent");
  EXPECT_TRUE(Dialogs.SaveRequests[0].ConfirmOverwrite);
  EXPECT_EQ(Dialogs.Log.size(), 1u);
  EXPECT_EQ(Driver.Result().Written, std::vector<std::string>{Dir / "out.torrent"});
  EXPECT_EQ(Progress.Caption, "Progress: " + Dir / "out.torrent");
  EXPECT_TRUE(Progress.Shown);
  EXPECT_EQ(Progress.OverallMax(), 300000 / 262144 + 1);
  EXPECT_EQ(Driver.Storage(), nullptr);

  auto t = Load(Dir / "out.torrent");
  ASSERT_TRUE(t->Ok);
  EXPECT_FALSE(t->Model.MultiFile);
  EXPECT_EQ(t->Model.Name, "movie.avi");
  EXPECT_EQ(t->Model.Announce(), "http://t.example/announce");
  EXPECT_EQ(t->Model.Comment, "line one\r\nline two");
  EXPECT_EQ(t->Model.TotalLength, 300000);
  EXPECT_EQ(t->Model.PieceLength, 262144);
  ASSERT_EQ(t->Model.Pieces.size(), 2u);
  const std::string data = ReadWholeFile(Dir / "music/movie.avi");
  EXPECT_EQ(t->Model.Pieces[0], Sha1Bytes(data.substr(0, 262144)));
  EXPECT_EQ(t->Model.Pieces[1], Sha1Bytes(data.substr(262144)));
  EXPECT_TRUE(t->Model.BackupTrackers().empty());
}

TEST_F(CreationDriverTest, SimpleModeSeveralFiles) {
  Dir.Write("Album/b.mp3", "bbbb");
  Dir.Write("Album/A.mp3", "aa");
  Dir.Write("Album/Thumbs.DB", "thumb");
  for (bool skip : {true, false}) {
    SCOPED_TRACE(skip ? "skip thumbs" : "keep thumbs");
    Dialogs.Log.clear();
    Dialogs.SaveRequests.clear();
    Driver.Input.SimpleFolder = Dir / "Album/";  // a trailing "/" does not hide the name
    // The list's order (by name, without regard to case) is kept.
    Driver.Input.SimpleFiles = {{"A.mp3", true}, {"b.mp3", true}, {"c", false}, {"Thumbs.DB", true}};
    Driver.Input.SkipThumbs = skip;
    Driver.Input.Backup = true;
    Driver.ResolveBackupTrackers = [] { return std::vector<std::string>{"http://b1/a", "http://b2/a"}; };
    std::string asked;
    Driver.GetAnnounceURL = [&](const std::string& text) {
      asked = text;
      return TAnnounceResolution{.URL = "http://resolved/announce"};
    };
    Driver.Input.TrackerText = "Some Tracker";
    Dialogs.SaveAnswers.push_back(Dir / "album.torrent");
    Driver.btnCreateTorrentClick();
    EXPECT_EQ(Dialogs.Log, std::vector<std::string>{"save " + Dir / "Album.torrent"});
    EXPECT_EQ(asked, "Some Tracker");
    auto t = Load(Dir / "album.torrent");
    ASSERT_TRUE(t->Ok);
    EXPECT_TRUE(t->Model.MultiFile);
    EXPECT_EQ(t->Model.Name, "Album");
    EXPECT_EQ(t->Model.Announce(), "http://resolved/announce");
    // Loaded, the announce-list holds the main URL as its first tier.
    EXPECT_EQ(t->Model.BackupTrackers(),
              (std::vector<std::string>{"http://resolved/announce", "http://b1/a", "http://b2/a"}));
    std::vector<std::string> files = {"A.mp3 2", "b.mp3 4"};
    if (!skip) files.push_back("Thumbs.DB 5");
    EXPECT_EQ(FilesOf(t->Model), files);
    ASSERT_EQ(t->Model.Pieces.size(), 1u);
    EXPECT_EQ(t->Model.Pieces[0], Sha1Bytes(skip ? "aabbbb" : "aabbbbthumb"));
  }
}

TEST_F(CreationDriverTest, SimpleModeMessagesAndPresets) {
  struct TCase {
    const char* Name;
    std::string Folder;
    std::vector<TSimpleFileItem> Files;
    std::vector<std::string> Log;
  };
  const TCase cases[] = {
      {.Name = "nothing selected",
       .Folder = "/x",
       .Files = {{"a", false}},
       .Log = {"Error: No files were selected!"}},
      {.Name = "empty list", .Folder = "/x", .Files = {}, .Log = {"Error: No files were selected!"}},
      {.Name = "root folder: named after the first selected file",
       .Folder = "/",
       .Files = {{"a.txt", false}, {"b.txt", true}, {"c.txt", true}},
       .Log = {"save b.txt.torrent"}},
      {.Name = "one file in the root",
       .Folder = "/",
       .Files = {{"b.txt", true}},
       .Log = {"save /b.txt.torrent"}},
      {.Name = "folder",
       .Folder = "/data/Album",
       .Files = {{"1", true}, {"2", true}},
       .Log = {"save /data/Album.torrent"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Dialogs.Log.clear();
    Driver.Input.Mode = TCreateMode::Simple;
    Driver.Input.SimpleFolder = c.Folder;
    Driver.Input.SimpleFiles = c.Files;
    Driver.btnCreateTorrentClick();  // the save dialog is cancelled
    EXPECT_EQ(Dialogs.Log, c.Log);
    EXPECT_TRUE(Driver.Result().Written.empty());
  }
}

TEST_F(CreationDriverTest, ClassicModeMessagesAndPaths) {
  Dir.Write("data/file.bin", "123");
  std::vector<std::string> written;
  Driver.SetClassicPath = [&](const std::string& p) { written.push_back(p); };
  Driver.Input.Mode = TCreateMode::Classic;
  struct TCase {
    const char* Name;
    std::string Path;
    std::vector<std::string> Log = {};
    std::vector<std::string> WrittenBack = {};
  };
  const TCase cases[] = {
      {.Name = "empty", .Path = "", .Log = {"Error: Please enter a file or directory name!"}},
      {.Name = "missing", .Path = Dir / "nothing", .Log = {"Error: Please enter a file or directory name!"}},
      {.Name = "folder with trailing slash",
       .Path = Dir / "data/",
       .Log = {"save " + Dir / "data.torrent"},
       .WrittenBack = {Dir / "data"}},
      {.Name = "file", .Path = Dir / "data/file.bin", .Log = {"save " + Dir / "data/file.bin.torrent"}},
      {.Name = "just a slash",
       .Path = "/",
       .Log = {"Error: Please enter a file or directory name!"},
       .WrittenBack = {""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Dialogs.Log.clear();
    written.clear();
    Driver.Input.ClassicPath = c.Path;
    Driver.btnCreateTorrentClick();
    EXPECT_EQ(Dialogs.Log, c.Log);
    EXPECT_EQ(written, c.WrittenBack);
  }
}

TEST_F(CreationDriverTest, ClassicWholeFolder) {
  Dir.Write("src/b.txt", "b");
  Dir.Write("src/A.txt", "A");
  Dir.Write("src/a/x.bin", "x");
  Dir.Write("src/a/thumbs.db", "t");
  Driver.Input.Mode = TCreateMode::Classic;
  Driver.Input.ClassicPath = Dir / "src";
  Driver.Input.ClassicWholeFolder = true;
  Driver.Input.AutoPieceSize = false;
  Driver.Input.PieceLength = PieceLengthAt(0);
  Dialogs.SaveAnswers.push_back(Dir / "src.torrent");
  Driver.btnCreateTorrentClick();
  auto t = Load(Dir / "src.torrent");
  ASSERT_TRUE(t->Ok);
  EXPECT_EQ(t->Model.Name, "src");
  EXPECT_EQ(t->Model.PieceLength, 131072);
  EXPECT_EQ(FilesOf(t->Model), (std::vector<std::string>{"A.txt 1", "a/x.bin 1", "b.txt 1"}));
  ASSERT_EQ(t->Model.Pieces.size(), 1u);
  EXPECT_EQ(t->Model.Pieces[0], Sha1Bytes("Axb"));
}

// Small files are opened through their folder, kept open by the reader: the
// folders must not be mixed up as the stream moves between them, and a file
// gone missing is still named by its whole path.
TEST_F(CreationDriverTest, SmallFilesInManyFolders) {
  for (const bool removeOne : {false, true}) {
    SCOPED_TRACE(removeOne ? "one file removed" : "all there");
    TTempDir dir;
    std::string all;
    // Same names in every folder, sizes that put folder borders inside pieces.
    for (const char* folder : {"a", "a/deeper", "b", "c"})
      for (int i = 0; i < 40; ++i) {
        const std::string bytes =
            PatternBytes(100 + 97 * static_cast<size_t>(i), static_cast<unsigned>(i + 3));
        dir.Write(std::string("src/") + folder + "/f" + std::to_string(100 + i), bytes);
      }
    // The stream in byte order of the paths: a/deeper/... before a/f...
    for (const char* folder : {"a/deeper", "a", "b", "c"})
      for (int i = 0; i < 40; ++i)
        all += ReadWholeFile(dir / (std::string("src/") + folder + "/f" + std::to_string(100 + i)));
    const std::string gone = dir / "src/b/f120";
    for (const int threads : {1, 2}) {
      SCOPED_TRACE(threads);
      TScriptedDialogs dialogs;
      FailOnUnexpectedQuestions(dialogs);
      TScriptProgress progress;
      TCreationDriver driver(dialogs, progress);
      driver.Input.Mode = TCreateMode::Classic;
      driver.Input.ClassicPath = dir / "src";
      driver.Input.ClassicWholeFolder = true;
      driver.Input.AutoPieceSize = false;
      driver.Input.PieceLength = 131072;
      driver.Input.Threads = threads;
      dialogs.SaveAnswers.push_back(dir / "src.torrent");
      // Before the first piece is awaited, so before any worker reads.
      progress.OnLabel = [&](const std::string& label) {
        if (removeOne && label == "Hashing: f100") std::filesystem::remove(gone);
      };
      driver.btnCreateTorrentClick();
      if (removeOne) {
        ASSERT_EQ(dialogs.Log.size(), 2u);
        EXPECT_NE(dialogs.Log[1].find("\"" + gone + "\": No such file or directory"), std::string::npos)
            << dialogs.Log[1];
        EXPECT_TRUE(driver.Result().Written.empty());
        break;  // the file stays gone
      }
      auto t = Load(dir / "src.torrent");
      ASSERT_TRUE(t->Ok);
      ASSERT_EQ(t->Model.Pieces.size(), (all.size() + 131071) / 131072);
      for (size_t p = 0; p < t->Model.Pieces.size(); ++p)
        EXPECT_EQ(t->Model.Pieces[p], Sha1Bytes(all.substr(p * 131072, 131072))) << p;
    }
  }
}

// Clients load no torrent without data ("no files in torrent", "incorrect
// number of piece hashes"): a source with no bytes at all is refused.
TEST_F(CreationDriverTest, NoDataNoTorrent) {
  struct TCase {
    const char* Name;
    std::function<void(TCreationInput&, const TTempDir&)> SetUp;
    std::string Torrent;  // the name the refusal gives
  };
  const TCase cases[] = {
      {.Name = "empty folder",
       .SetUp =
           [](TCreationInput& in, const TTempDir& d) {
             d.MakeDir("src/inner");
             in.Mode = TCreateMode::Classic;
             in.ClassicPath = d / "src";
           },
       .Torrent = "src"},
      {.Name = "only zero-byte files",
       .SetUp =
           [](TCreationInput& in, const TTempDir& d) {
             d.Write("src/a", "");
             d.Write("src/b/c", "");
             in.Mode = TCreateMode::Classic;
             in.ClassicPath = d / "src";
           },
       .Torrent = "src"},
      {.Name = "zero-byte single file",
       .SetUp =
           [](TCreationInput& in, const TTempDir& d) {
             d.Write("src", "");
             in.Mode = TCreateMode::Classic;
             in.ClassicPath = d / "src";
           },
       .Torrent = "src"},
      {.Name = "everything excluded",
       .SetUp =
           [](TCreationInput& in, const TTempDir& d) {
             d.Write("src/a.nfo", "data");
             in.Mode = TCreateMode::Classic;
             in.ClassicPath = d / "src";
             in.Exclude = {"*.nfo"};
           },
       .Torrent = "src"},
      {.Name = "simple mode, empty files",
       .SetUp =
           [](TCreationInput& in, const TTempDir& d) {
             d.Write("src/a", "");
             d.Write("src/b", "");
             in.Mode = TCreateMode::Simple;
             in.SimpleFolder = d / "src";
             in.SimpleFiles = {{"a", true}, {"b", true}};
           },
       .Torrent = "src"},
  };
  // Each format says it once: the v1 and v2 sides share the one refusal.
  for (const TFormatChoice& format : FormatChoices) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.Name) + ", " + format.Key);
      TTempDir dir;
      TScriptedDialogs dialogs;
      FailOnUnexpectedQuestions(dialogs);
      TScriptProgress progress;
      TCreationDriver driver(dialogs, progress);
      c.SetUp(driver.Input, dir);
      driver.Input.Format = format.Format;
      dialogs.SaveAnswers.push_back(dir / "out.torrent");
      driver.btnCreateTorrentClick();
      ASSERT_EQ(dialogs.Log.size(), 2u);
      EXPECT_EQ(dialogs.Log[1], "Error: " + NoDataMessage(c.Torrent));
      EXPECT_TRUE(driver.Result().Failed);
      EXPECT_TRUE(driver.Result().Written.empty());
      EXPECT_FALSE(std::filesystem::exists(dir / "out.torrent"));
      EXPECT_FALSE(progress.Shown);
    }
  }
}

// The progress learns the run's size from the driver, before the first piece.
TEST_F(CreationDriverTest, ProgressIsToldTheRunSizeBeforeTheFirstPiece) {
  Dir.Write("src/a", std::string(200000, 'a'));
  Dir.Write("src/b/c", std::string(100000, 'c'));
  Driver.Input.Mode = TCreateMode::Classic;
  Driver.Input.ClassicPath = Dir / "src";
  Driver.Input.AutoPieceSize = false;
  Driver.Input.PieceLength = 524288;
  std::vector<std::pair<int64_t, int64_t>> sizesAtFirstFile;
  Progress.OnLabel = [&](const std::string&) {
    sizesAtFirstFile.emplace_back(Progress.TotalBytes, Progress.PieceLength);
  };
  Dialogs.SaveAnswers.push_back(Dir / "src.torrent");
  Driver.btnCreateTorrentClick();
  ASSERT_EQ(Driver.Result().Written.size(), 1u);
  ASSERT_EQ(sizesAtFirstFile.size(), 2u);
  EXPECT_EQ(sizesAtFirstFile.front(), (std::pair<int64_t, int64_t>{300000, 524288}));
}

// One entry without data does not stop the others.
TEST_F(CreationDriverTest, OnePerEntryRefusesOnlyTheEntryWithoutData) {
  Dir.Write("src/empty", "");
  Dir.Write("src/full", "x");
  Dir.MakeDir("out");
  Driver.Input.Mode = TCreateMode::Classic;
  Driver.Input.ClassicPath = Dir / "src";
  Driver.Input.ClassicWholeFolder = false;
  Dialogs.FolderAnswers.push_back(Dir / "out");
  Driver.btnCreateTorrentClick();
  EXPECT_EQ(Dir.List("out"), std::vector<std::string>{"full.torrent"});
  EXPECT_TRUE(Driver.Result().Failed);
  EXPECT_NE(std::find(Dialogs.Log.begin(), Dialogs.Log.end(), "Error: " + NoDataMessage("empty")),
            Dialogs.Log.end());
}

// An output that cannot be written is found before any data is read.
TEST_F(CreationDriverTest, OutputFolderIsCheckedBeforeHashing) {
  Dir.Write("f", "1");
  Dir.Write("file", "not a folder");
  Dir.MakeDir("ro");
  ASSERT_EQ(::chmod((Dir / "ro").c_str(), 0500), 0);
  ASSERT_EQ(::mkfifo((Dir / "pipe").c_str(), 0600), 0);
  ASSERT_EQ(::symlink((Dir / "gone/f.torrent").c_str(), (Dir / "link").c_str()), 0);
  struct TCase {
    const char* Name;
    std::string Output;
    std::string Reason;
  };
  const bool root = ::geteuid() == 0;  // root writes anywhere
  std::vector<TCase> cases = {
      {.Name = "no such folder", .Output = Dir / "no/f.torrent", .Reason = "No such file or directory"},
      {.Name = "a file as the folder", .Output = Dir / "file/f.torrent", .Reason = "Not a directory"},
      {.Name = "a folder as the output", .Output = Dir.Path(), .Reason = "Is a directory"},
      {.Name = "a pipe as the output", .Output = Dir / "pipe", .Reason = "Not a regular file"},
      {.Name = "a link into a missing folder", .Output = Dir / "link", .Reason = "No such file or directory"},
  };
  if (!root)
    cases.push_back(
        {.Name = "read-only folder", .Output = Dir / "ro/f.torrent", .Reason = "Permission denied"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TScriptProgress progress;
    TCreationDriver driver(Dialogs, progress);
    driver.Input.Mode = TCreateMode::Classic;
    driver.Input.ClassicPath = Dir / "f";
    Dialogs.SaveAnswers.push_back(c.Output);
    try {
      driver.btnCreateTorrentClick();
      ADD_FAILURE() << "no error";
    } catch (const EStreamError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + c.Output + "\": " + c.Reason);
    }
    EXPECT_EQ(progress.HashingText, "Hashing:") << "nothing was hashed";
  }
  ::chmod((Dir / "ro").c_str(), 0700);
}

TEST_F(CreationDriverTest, PrivateSourceWebSeedsNameNoDateAndExclusions) {
  Dir.Write("src/keep.bin", "keep");
  Dir.Write("src/skip.nfo", "nfo");
  Dir.Write("src/sub/skip.nfo", "nfo");
  Dir.Write("src/sub/keep.txt", "txt");
  Dir.Write("src/cache/x", "cache");
  Driver.Input.Mode = TCreateMode::Classic;
  Driver.Input.ClassicPath = Dir / "src";
  Driver.Input.Private = true;
  Driver.Input.Source = "SRC";
  Driver.Input.WebSeeds = {"http://s1/", "http://s2/"};
  Driver.Input.Name = "Renamed";
  Driver.Input.NoDate = true;
  Driver.Input.Exclude = {"*.nfo", "cache"};
  Dialogs.SaveAnswers.push_back(Dir / "out.torrent");
  Driver.btnCreateTorrentClick();
  auto t = Load(Dir / "out.torrent");
  ASSERT_TRUE(t->Ok);
  EXPECT_TRUE(t->Model.DamageLines().empty());
  EXPECT_EQ(t->Model.Name, "Renamed");
  EXPECT_TRUE(t->Model.Private);
  EXPECT_EQ(t->Model.Source, "SRC");
  EXPECT_EQ(t->Model.WebSeeds, (std::vector<std::string>{"http://s1/", "http://s2/"}));
  EXPECT_EQ(DateTimeOf(t->Model), 0);
  EXPECT_EQ(FilesOf(t->Model), (std::vector<std::string>{"keep.bin 4", "sub/keep.txt 3"}));
  ASSERT_EQ(t->Model.Pieces.size(), 1u);
  EXPECT_EQ(t->Model.Pieces[0], Sha1Bytes("keeptxt"));

  // A single file takes the name too.
  Dialogs.SaveAnswers.push_back(Dir / "one.torrent");
  Driver.Input.ClassicPath = Dir / "src/keep.bin";
  Driver.btnCreateTorrentClick();
  auto one = Load(Dir / "one.torrent");
  EXPECT_EQ(one->Model.Name, "Renamed");
  EXPECT_EQ(FilesOf(one->Model), std::vector<std::string>{"Renamed 4"});
}

TEST_F(CreationDriverTest, OnePerEntry) {
  Dir.Write("src/one.txt", "1");
  Dir.Write("src/Thumbs.db", "t");  // a top-level file always gets its own torrent
  Dir.Write("src/sub/x", "xx");
  Dir.Write("src/sub/thumbs.db", "skipped");
  ASSERT_EQ(::mkfifo((Dir / "src/pipe").c_str(), 0600), 0);
  Dir.MakeDir("out");
  Dir.Write("out/one.txt.torrent", "old");  // replaced without asking
  OnePerEntry(Dir / "src");

  Driver.btnCreateTorrentClick();  // the folder picker is cancelled
  EXPECT_EQ(Dialogs.Log, std::vector<std::string>{"folder Enter directory to output torrents in:"});
  EXPECT_TRUE(Driver.Result().Written.empty());

  Dialogs.Log.clear();
  Dialogs.FolderAnswers.push_back(Dir / "out");
  Driver.btnCreateTorrentClick();
  EXPECT_EQ(Dialogs.Log, std::vector<std::string>{"folder Enter directory to output torrents in:"});
  EXPECT_EQ(Dir.List("out"),
            (std::vector<std::string>{"Thumbs.db.torrent", "one.txt.torrent", "sub.torrent"}));
  EXPECT_EQ(Driver.Result().Written.size(), 3u);
  auto sub = Load(Dir / "out/sub.torrent");
  EXPECT_TRUE(sub->Model.MultiFile);
  EXPECT_EQ(sub->Model.Name, "sub");
  EXPECT_EQ(FilesOf(sub->Model), std::vector<std::string>{"x 2"});
  auto one = Load(Dir / "out/one.txt.torrent");
  ASSERT_TRUE(one->Ok);
  EXPECT_FALSE(one->Model.MultiFile);
  EXPECT_EQ(one->Model.Name, "one.txt");
}

TEST_F(CreationDriverTest, AbortInOnePerEntryEndsEachLaterEntryWithItsOwnMessage) {
  Dir.Write("src/a", PatternBytes(600000));
  Dir.Write("src/b", PatternBytes(600000));
  Dir.Write("src/c", "c");
  Dir.MakeDir("out");
  OnePerEntry(Dir / "src");
  Dialogs.FolderAnswers.push_back(Dir / "out");
  // Abort while the second entry hashed by the command is under way.
  int started = 0;
  Progress.OnLabel = [&](const std::string&) { ++started; };
  Progress.OnPump = [&] {
    if (started == 2) Progress.SetAborted(true);
  };
  Driver.btnCreateTorrentClick();
  // One torrent written, then two "Operation Aborted!" messages.
  EXPECT_EQ(Driver.Result().Written.size(), 1u);
  EXPECT_EQ(Driver.Result().Aborted, 2);
  const std::vector<std::string> log = {"folder Enter directory to output torrents in:",
                                        "Abort: Operation Aborted!", "Abort: Operation Aborted!"};
  EXPECT_EQ(Dialogs.Log, log);
  EXPECT_EQ(Dir.List("out").size(), 1u);
  EXPECT_EQ(Progress.Captions.size(), 3u);  // every entry still had its run
}

TEST_F(CreationDriverTest, AbortLeavesAnExistingOutputUntouched) {
  Dir.Write("f", PatternBytes(700000));
  Dir.Write("f.torrent", "precious");
  ClassicInto(Dir / "f", Dir / "f.torrent");
  Progress.OnPump = [&] { Progress.SetAborted(true); };
  Driver.btnCreateTorrentClick();
  EXPECT_EQ(Dialogs.Log.back(), "Abort: Operation Aborted!");
  EXPECT_EQ(ReadWholeFile(Dir / "f.torrent"), "precious");
  EXPECT_EQ(Dir.List(), (std::vector<std::string>{"f", "f.torrent"}));
}

// A source that fails while it is hashed: an error naming it, and no torrent.
TEST_F(CreationDriverTest, HashingFaultsWriteNothing) {
  struct TCase {
    const char* Name;
    std::function<void(const std::string& path)> Break;  // acts on the second file when the first is hashed
    std::string Message;
  };
  const TCase cases[] = {
      {.Name = "replaced by a folder",
       .Break =
           [](const std::string& p) {
             std::filesystem::remove(p);
             std::filesystem::create_directory(p);
           },
       .Message = "\": Is a directory"},
      {.Name = "deleted",
       .Break = [](const std::string& p) { std::filesystem::remove(p); },
       .Message = "\": No such file or directory"},
      {.Name = "truncated",
       .Break = [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 10), 0); },
       .Message = "\" changed while it was being hashed."},
      {.Name = "grown",
       .Break = [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 900000), 0); },
       .Message = "\" changed while it was being hashed."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TTempDir dir;
    dir.Write("src/1", PatternBytes(300000));
    const std::string second = dir.Write("src/2", PatternBytes(300000, 2));
    dir.Write("src/3", "three");
    dir.Write("src.torrent", "old");
    TScriptedDialogs dialogs;
    FailOnUnexpectedQuestions(dialogs);
    TScriptProgress progress;
    TCreationDriver driver(dialogs, progress);
    driver.Input.Mode = TCreateMode::Classic;
    driver.Input.ClassicPath = dir / "src";
    dialogs.SaveAnswers.push_back(dir / "src.torrent");
    bool broken = false;
    progress.OnLabel = [&](const std::string& label) {
      if (label == "Hashing: 1" && !broken) {
        broken = true;
        c.Break(second);
      }
    };
    driver.btnCreateTorrentClick();
    ASSERT_EQ(dialogs.Log.size(), 2u);
    EXPECT_EQ(dialogs.Log[1].rfind("Error: ", 0), 0u) << dialogs.Log[1];
    EXPECT_NE(dialogs.Log[1].find("\"" + second + c.Message), std::string::npos) << dialogs.Log[1];
    EXPECT_TRUE(driver.Result().Failed);
    EXPECT_TRUE(driver.Result().Written.empty());
    EXPECT_EQ(ReadWholeFile(dir / "src.torrent"), "old");
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"src", "src.torrent"}));
    EXPECT_TRUE(progress.FinishedEnabled);  // the window still reaches its end state
  }
}

// A piece that spans two files fails for the first one only once the walk
// has reached the second: the label goes back to the file that failed, and
// the failure is reported once, through the front end's report when it has one.
TEST_F(CreationDriverTest, FailedFileIsNamedOnceAndLast) {
  for (const bool frontEndReport : {false, true}) {
    SCOPED_TRACE(frontEndReport ? "front end's report" : "Error box");
    TTempDir dir;
    const std::string first = dir.Write("src/a", "first");
    dir.Write("src/b", "second");
    TScriptedDialogs dialogs;
    FailOnUnexpectedQuestions(dialogs);
    TScriptProgress progress;
    TCreationDriver driver(dialogs, progress);
    std::vector<std::string> reports;
    if (frontEndReport)
      driver.ReportFailure = [&](const std::string& message) { reports.push_back(message); };
    driver.Input.Mode = TCreateMode::Classic;
    driver.Input.ClassicPath = dir / "src";
    dialogs.SaveAnswers.push_back(dir / "src.torrent");
    std::vector<std::string> labels;
    progress.OnLabel = [&](const std::string& label) {
      labels.push_back(label);
      if (label == "Hashing: a") std::filesystem::remove(first);  // before its first read
    };
    driver.btnCreateTorrentClick();
    EXPECT_EQ(labels, (std::vector<std::string>{"Hashing: a", "Hashing: b", "Hashing: a"}));
    const std::string expected = "Cannot open file \"" + first + "\": No such file or directory";
    if (frontEndReport) {
      EXPECT_EQ(reports, std::vector<std::string>{expected});
      EXPECT_EQ(dialogs.Log, std::vector<std::string>{"save " + dir / "src.torrent"});
    } else {
      EXPECT_EQ(dialogs.Log, (std::vector<std::string>{"save " + dir / "src.torrent", "Error: " + expected}));
    }
    EXPECT_TRUE(driver.Result().Failed);
    EXPECT_FALSE(std::filesystem::exists(dir / "src.torrent"));
  }
}

TEST_F(CreationDriverTest, HashingErrorEndsOnePerEntryMode) {
  TwoEntriesIntoOut();
  // Whichever entry comes first loses its data before it is read.
  bool broken = false;
  Progress.OnLabel = [&](const std::string& label) {
    if (!broken) {
      broken = true;
      ASSERT_EQ(::truncate((Dir / "src/" + label.substr(9)).c_str(), 0), 0);
    }
  };
  Driver.btnCreateTorrentClick();
  EXPECT_EQ(Dialogs.Log.size(), 2u);
  EXPECT_TRUE(Dir.List("out").empty());
}

// An entry whose size cannot be read ends the command with the general
// report; the progress window, still up from the entry before, names this one.
TEST_F(CreationDriverTest, OnePerEntrySizeErrorNamesTheFailingEntry) {
  TwoEntriesIntoOut();
  // Whichever entry comes first takes the other one's file away.
  std::string first, second;
  Progress.OnLabel = [&](const std::string& label) {
    if (!first.empty()) return;
    first = label.substr(std::string_view("Hashing: ").size());
    second = first == "a" ? "b" : "a";
    std::filesystem::remove(Dir / ("src/" + second));
  };
  try {
    Driver.btnCreateTorrentClick();
    ADD_FAILURE() << "no error";
  } catch (const EStreamError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + Dir / ("src/" + second) + "\": No such file or directory");
  }
  EXPECT_EQ(Dir.List("out"), std::vector<std::string>{first + ".torrent"});
  EXPECT_EQ(Progress.Caption, "Progress: " + Dir / ("out/" + second + ".torrent"));
  EXPECT_EQ(Progress.HashingText, "Hashing: " + second);
}

TEST_F(CreationDriverTest, SizeGatheringErrorsPropagate) {
  Dir.Write("d/ok", "1");
  Driver.Input.Mode = TCreateMode::Simple;
  Driver.Input.SimpleFolder = Dir / "d";
  Driver.Input.SimpleFiles = {{"ok", true}, {"missing", true}};
  Dialogs.SaveAnswers.push_back(Dir / "d.torrent");
  try {
    Driver.btnCreateTorrentClick();
    ADD_FAILURE() << "no error";
  } catch (const EStreamError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + Dir / "d/missing" + "\": No such file or directory");
  }
  EXPECT_EQ(Dir.List(), std::vector<std::string>{"d"});
  EXPECT_EQ(FileSizeOf(Dir / "d/ok"), 1);
  EXPECT_THROW(FileSizeOf(Dir / "d"), EStreamError);
}

TEST_F(CreationDriverTest, FullDiskLeavesNoPartialFile) {
  Dir.Write("f", PatternBytes(1000));
  Dir.Write("f.torrent", "precious");
  ClassicInto(Dir / "f", Dir / "f.torrent");
  TFileSysCalls full = FileSysCalls();
  full.Write = [](int, const void*, size_t) -> ssize_t {
    errno = ENOSPC;
    return -1;
  };
  const TFileSysCalls old = SetFileSysCalls(full);
  EXPECT_THROW(Driver.btnCreateTorrentClick(), EStreamError);
  SetFileSysCalls(old);
  EXPECT_EQ(ReadWholeFile(Dir / "f.torrent"), "precious");
  EXPECT_EQ(Dir.List(), (std::vector<std::string>{"f", "f.torrent"}));
  EXPECT_EQ(Driver.Storage(), nullptr);

  // A complete torrent does replace it.
  Dialogs.SaveAnswers.push_back(Dir / "f.torrent");
  Driver.btnCreateTorrentClick();
  EXPECT_TRUE(Load(Dir / "f.torrent")->Ok);
  EXPECT_EQ(Dir.List(), (std::vector<std::string>{"f", "f.torrent"}));
}

TEST_F(CreationDriverTest, OutputThatCannotBeCreatedPropagates) {
  Dir.Write("f", "1");
  ClassicInto(Dir / "f", Dir / "no/such/folder/f.torrent");
  EXPECT_THROW(Driver.btnCreateTorrentClick(), EStreamError);
}

TEST_F(CreationDriverTest, PressingCreateAgainDuringARunDoesNothing) {
  Dir.Write("f", PatternBytes(600000));
  ClassicInto(Dir / "f", Dir / "f.torrent");
  int nested = 0;
  Progress.OnPump = [&] {
    if (nested++ == 0) Driver.btnCreateTorrentClick();  // the user presses the button again
  };
  Driver.btnCreateTorrentClick();
  EXPECT_GT(nested, 0);
  EXPECT_EQ(Dialogs.Log, std::vector<std::string>{"save " + Dir / "f.torrent"});
  EXPECT_EQ(Driver.Result().Written, std::vector<std::string>{Dir / "f.torrent"});
  EXPECT_TRUE(Load(Dir / "f.torrent")->Ok);

  // Once the run is over, the button works again.
  Dialogs.SaveAnswers.push_back(Dir / "f.torrent");
  Driver.btnCreateTorrentClick();
  EXPECT_EQ(Dialogs.Log.size(), 2u);
  EXPECT_EQ(Driver.Result().Written, std::vector<std::string>{Dir / "f.torrent"});
}
