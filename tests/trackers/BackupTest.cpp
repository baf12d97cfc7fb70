// The back-up tracker list: its editing rules and the resolution of its entries.

#include <gtest/gtest.h>

#include "trackers/Backup.h"

namespace {

using Lines = std::vector<std::string>;

TEST(BackupList, AddRefusesNothingChosenAndNamesAlreadyThere) {
  TBackupList backup;
  EXPECT_FALSE(backup.Add(std::nullopt)) << "an empty selection offers nothing to add";
  EXPECT_TRUE(backup.Add("Alpha"));
  EXPECT_FALSE(backup.Add("ALPHA"));
  EXPECT_FALSE(backup.Add("Alpha"));
  EXPECT_TRUE(backup.Add("Alphabet"));
  EXPECT_EQ(backup.Entries, (Lines{"Alpha", "Alphabet"}));
}

TEST(BackupList, MovesAndRemovals) {
  struct TCase {
    const char* Name;
    Lines Entries;
    int Selected;
    bool (TBackupList::*Op)();
    bool Changed;
    Lines Want;
    int WantSelected;
  } cases[] = {
      {"up moves with the selection", {"a", "b", "c"}, 2, &TBackupList::Up, true, {"a", "c", "b"}, 1},
      {"up on the first", {"a", "b", "c"}, 0, &TBackupList::Up, false, {"a", "b", "c"}, 0},
      {"up with nothing selected", {"a", "b"}, -1, &TBackupList::Up, false, {"a", "b"}, -1},
      {"dn moves with the selection", {"a", "b", "c"}, 0, &TBackupList::Down, true, {"b", "a", "c"}, 1},
      {"dn on the last", {"a", "b", "c"}, 2, &TBackupList::Down, false, {"a", "b", "c"}, 2},
      {"dn with nothing selected", {"a", "b"}, -1, &TBackupList::Down, false, {"a", "b"}, -1},
      {"dn on a single entry", {"a"}, 0, &TBackupList::Down, false, {"a"}, 0},
      {"remove the selected", {"a", "b", "c"}, 1, &TBackupList::Remove, true, {"a", "c"}, -1},
      {"remove with nothing selected", {"a", "b"}, -1, &TBackupList::Remove, false, {"a", "b"}, -1},
      {"remove from an empty list", {}, -1, &TBackupList::Remove, false, {}, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TBackupList backup;
    backup.Entries = c.Entries;
    backup.Selected = c.Selected;
    EXPECT_EQ((backup.*c.Op)(), c.Changed);
    EXPECT_EQ(backup.Entries, c.Want);
    EXPECT_EQ(backup.Selected, c.WantSelected);
  }
}

TEST(BackupList, ResolvesNamesAndPassesEverythingElseThrough) {
  TTrackerList trackers;
  trackers.PrivateTrackers = {{"Mine", "http://mine/announce", "", false}};
  trackers.Combine({{"Alpha", "http://alpha/announce", "", false},
                    {"Twin", "http://alpha/announce", "", false},
                    {"Mine", "http://public-mine/announce", "", true}});
  TBackupList backup;
  backup.Assign({"Alpha", "Twin", "alpha", "Vanished", "http://loaded/announce", "Mine", "Alpha"});
  EXPECT_EQ(backup.ResolveBackupTrackers(trackers.Trackers),
            (Lines{"http://alpha/announce", "http://alpha/announce", "alpha", "Vanished",
                   "http://loaded/announce", "http://mine/announce", "http://alpha/announce"}));
  EXPECT_TRUE(TBackupList().ResolveBackupTrackers(trackers.Trackers).empty());
}

}  // namespace
