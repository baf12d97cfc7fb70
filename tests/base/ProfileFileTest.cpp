#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "../support/TempDir.h"
#include "base/ProfileFile.h"
#include "base/Stream.h"

namespace fs = std::filesystem;

class ProfileFileTest : public ::testing::Test {
 protected:
  void Put(const std::string& text) {
    fs::create_directories(fs::path(path_).parent_path());
    std::ofstream(path_, std::ios::binary) << text;
  }
  std::string Text() { return ReadWholeFile(path_); }

  TTempDir scratch_;
  const std::string dir_ = scratch_.Path();
  const std::string path_ = dir_ + "/sub/quorvane.ini";
};

TEST_F(ProfileFileTest, MissingFileGivesDefaultsAndFirstWriteCreatesFolder) {
  const TProfileFile ini(path_);
  EXPECT_EQ(ini.ReadString("memory", "tracker", "prompt"), "prompt");
  EXPECT_EQ(ini.ReadInteger("window", "left", 227), 227);
  EXPECT_TRUE(ini.ReadBool("settings", "autosave", true));
  EXPECT_FALSE(fs::exists(path_));

  ini.WriteBool("settings", "autosave", false);
  EXPECT_EQ(Text(), "[settings]\nautosave=0\n");
  EXPECT_FALSE(ini.ReadBool("settings", "autosave", true));
}

TEST_F(ProfileFileTest, SectionsAndKeysIgnoreCaseAndKeepOtherLines) {
  Put("; kept\r\n[Settings]\r\nAutoSave = 0\r\nother=x\r\n\r\n[window]\r\nleft=5\r\n");
  const TProfileFile ini(path_);
  EXPECT_FALSE(ini.ReadBool("settings", "autosave", true));
  EXPECT_EQ(ini.ReadString("SETTINGS", "OTHER", ""), "x");
  EXPECT_EQ(ini.ReadString("settings", "left", "none"), "none");  // a key of another section

  ini.WriteString("settings", "autosave", "1");      // replaced in place, with the caller's spelling
  ini.WriteString("settings", "skipthumbs", "1");    // appended after the section's last entry
  ini.WriteString("private0", "name", "A tracker");  // a new section at the end
  EXPECT_EQ(Text(),
            "; kept\n[Settings]\nautosave=1\nother=x\nskipthumbs=1\n\n[window]\nleft=5\n\n"
            "[private0]\nname=A tracker\n");
}

TEST_F(ProfileFileTest, IntegerForms) {
  struct Case {
    const char* text;
    int32_t expected;  // default 99 when the text is not a number
  };
  const Case cases[] = {
      {.text = "512", .expected = 512},
      {.text = "0x200", .expected = 512},
      {.text = "0X1f", .expected = 31},
      {.text = "$200", .expected = 512},
      {.text = "-20", .expected = -20},
      {.text = "$FFFFFFFF", .expected = -1},
      {.text = "-0x1", .expected = -1},
      {.text = "-$FFFFFFFF", .expected = 1},
      {.text = "-$80000000", .expected = INT32_MIN},  // once a signed overflow
      {.text = "2147483647", .expected = 2147483647},
      {.text = "2147483648", .expected = 99},
      {.text = "12px", .expected = 99},
      {.text = "", .expected = 99},
      {.text = "0x", .expected = 99},
      {.text = "$1G", .expected = 99},
      {.text = "0x100000000", .expected = 99},
  };
  const TProfileFile ini(path_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ini.WriteString("window", "width", c.text);
    EXPECT_EQ(ini.ReadInteger("window", "width", 99), c.expected);
  }
  ini.WriteString("settings", "noupdate", "7");  // any non-zero value is true
  EXPECT_TRUE(ini.ReadBool("settings", "noupdate", false));
  ini.WriteString("settings", "noupdate", "yes");  // not a number: the default
  EXPECT_FALSE(ini.ReadBool("settings", "noupdate", false));
}

TEST_F(ProfileFileTest, LongValuesAreCutAndLineBreaksCannotSplitAnEntry) {
  const TProfileFile ini(path_);
  ini.WriteString("memory", "folder", std::string(3000, 'f'));
  EXPECT_EQ(ini.ReadString("memory", "folder", ""), std::string(2047, 'f'));

  ini.WriteString("private0", "name", "evil\n[settings]\nautosave=0");
  EXPECT_EQ(ini.ReadString("private0", "name", ""), "evil [settings] autosave=0");
  EXPECT_TRUE(ini.ReadBool("settings", "autosave", true));
}

TEST_F(ProfileFileTest, WriteReplacesTheFileAtomically) {
  Put("[settings]\nautosave=1\n");
  const TProfileFile ini(path_);
  struct stat before {};
  ASSERT_EQ(stat(path_.c_str(), &before), 0);
  ini.WriteInteger("settings", "startup", 1);
  struct stat after {};
  ASSERT_EQ(stat(path_.c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino);  // a new file renamed over the old one
  EXPECT_EQ(Text(), "[settings]\nautosave=1\nstartup=1\n");
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(fs::path(path_).parent_path())) ++entries;
  EXPECT_EQ(entries, 1u);  // no temporary file left behind

  // The same value again leaves the file alone (no flushes on every close).
  ini.WriteInteger("settings", "startup", 1);
  ini.WriteString("settings", "autosave", "1");
  struct stat again {};
  ASSERT_EQ(stat(path_.c_str(), &again), 0);
  EXPECT_EQ(again.st_ino, after.st_ino);
  ini.WriteString("settings", "autosave", "0");
  EXPECT_EQ(Text(), "[settings]\nautosave=0\nstartup=1\n");
}

TEST_F(ProfileFileTest, RefusedWriteRaisesAndLeavesTheFile) {
  // A folder that cannot be created: a file stands where it should be.
  std::ofstream(dir_ + "/blocker") << "x";
  const TProfileFile ini(dir_ + "/blocker/quorvane/quorvane.ini");
  try {
    ini.WriteString("settings", "autosave", "1");
    FAIL() << "no error";
  } catch (const EProfileError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + dir_ + "/blocker/quorvane/quorvane.ini");
  }
}

// Settings often live in a dotfiles folder, linked into place, and may hold
// private trackers' passkeys.
TEST_F(ProfileFileTest, WriteKeepsTheLinkAndTheMode) {
  const std::string real = dir_ + "/dotfiles/quorvane.ini";
  fs::create_directories(dir_ + "/dotfiles");
  fs::create_directories(fs::path(path_).parent_path());
  std::ofstream(real) << "[settings]\nautosave=1\n";
  ASSERT_EQ(::chmod(real.c_str(), 0600), 0);
  fs::create_symlink("../dotfiles/quorvane.ini", path_);

  TProfileFile(path_).WriteString("private0", "announce", "http://t/passkey/announce");
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(ReadWholeFile(real),
            "[settings]\nautosave=1\n\n[private0]\nannounce=http://t/passkey/announce\n");
  EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ + "/dotfiles"), fs::directory_iterator()), 1);
}

TEST(SettingsFileName, FollowsXdgConfigHome) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  const char* oldHome = std::getenv("HOME");
  const std::string savedHome = oldHome ? oldHome : "";
  setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
  EXPECT_EQ(SettingsFileName(), "/somewhere/config/quorvane/quorvane.ini");
  setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored, as the XDG rules say
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(SettingsFileName(), "/home/someone/.config/quorvane/quorvane.ini");
  if (old)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
  if (oldHome) setenv("HOME", savedHome.c_str(), 1);
}
