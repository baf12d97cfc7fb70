// Whole saves by the program: what `edit` keeps of the file it replaces and
// what it refuses to open or to replace.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "../support/RunProgram.h"
#include "../support/TempDir.h"
#include "base/Stream.h"

namespace fs = std::filesystem;

namespace {

class CliSave : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteWholeFile(dir / "payload.bin", std::string(70000, 'p'));
    const TRun made =
        Cli("create -q -a http://t/announce -o '" + dir / "made.torrent" + "' '" + dir / "payload.bin" + "'");
    ASSERT_EQ(made.Status, 0) << made.Err;
    original = ReadWholeFile(dir / "made.torrent");
    fs::remove(dir / "made.torrent");
  }

  TRun Cli(const std::string& args) { return RunCli(dir.Path(), args); }

  TTempDir dir;
  std::string original;
};

TEST_F(CliSave, EditKeepsModeAndWritesThroughTheLink) {
  fs::create_directories(dir / "store");
  fs::create_directories(dir / "links");
  const std::string real = dir / "store/private.torrent";
  WriteWholeFile(real, original);
  ASSERT_EQ(::chmod(real.c_str(), 0600), 0);
  const std::string link = dir / "links/private.torrent";
  fs::create_symlink("../store/private.torrent", link);

  const TRun run = Cli("edit '" + link + "' --comment passkey-inside");
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link), "../store/private.torrent");
  EXPECT_NE(ReadWholeFile(real).find("7:comment14:passkey-inside"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(dir.List("store"), std::vector<std::string>{"private.torrent"});
  EXPECT_EQ(dir.List("links"), std::vector<std::string>{"private.torrent"});
}

TEST_F(CliSave, RefusesWhatIsNotARegularFileWithoutBlocking) {
  const std::string torrent = dir / "t.torrent";
  WriteWholeFile(torrent, original);
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);  // no writer ever comes
  fs::create_directories(dir / "folder");
  struct Case {
    const char* Name;
    std::string Args;
    std::string Error;
  };
  const Case cases[] = {
      {.Name = "edit a FIFO",
       .Args = "edit '" + dir / "fifo" + "' --comment x",
       .Error = dir / "fifo" + ": Not a regular file"},
      {.Name = "edit a folder",
       .Args = "edit '" + dir / "folder" + "' --comment x",
       .Error = dir / "folder" + ": Is a directory"},
      {.Name = "write over a FIFO",
       .Args = "edit '" + torrent + "' -o '" + dir / "fifo" + "' --comment x",
       .Error = "Cannot create file \"" + dir / "fifo" + "\": Not a regular file"},
      {.Name = "write over a device",
       .Args = "edit '" + torrent + "' -o /dev/null --comment x",
       .Error = "Cannot create file \"/dev/null\": Not a regular file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TRun run = Cli(c.Args);
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find(c.Error), std::string::npos) << run.Err;
  }
  EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_EQ(ReadWholeFile(torrent), original);

  // show refuses a FIFO nobody writes to instead of waiting for ever.
  EXPECT_NE(Cli("show '" + dir / "fifo" + "'").Status, 124);
}

}  // namespace
