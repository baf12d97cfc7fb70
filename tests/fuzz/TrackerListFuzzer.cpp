// The tracker list parser on any bytes, and the lookups on what it read. A
// list that parses must read back the same from the entries written out again.

#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "trackers/TrackerList.h"

namespace {

bool HasLineBreak(const std::string& s) {
  return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const TTrackerListParse parse = ParseTrackerList(input);
  FUZZ_CHECK(parse.Ok() ? parse.EntriesReached : true);
  FUZZ_CHECK(parse.EntriesReached ? parse.VersionRead : parse.Entries.empty());
  for (const auto& t : parse.Entries) {
    FUZZ_CHECK(!HasLineBreak(t.Name));
    FUZZ_CHECK(!HasLineBreak(t.Announce));
    FUZZ_CHECK(!HasLineBreak(t.Webpage));
  }

  // The lookups the window makes, with names from the list and one that is not in it.
  TTrackerList list;
  list.PrivateTrackers.push_back({"Mine", "http://mine/announce", "", false});
  list.Combine(parse.Entries);
  FUZZ_CHECK(list.Trackers.size() == parse.Entries.size() + 1);
  for (const auto& name : list.Names()) {
    const TAnnounceResolution r = list.GetAnnounceURL(name);
    FUZZ_CHECK(r.VisitEnabled);
    FUZZ_CHECK(r.URL == list.LookupAnnounceURL(name));
    for (const auto& page : list.VisitPages(name)) FUZZ_CHECK(IsBrowsableUrl(page));
  }
  FUZZ_CHECK(list.FindPrivateTracker("Mine") == 0);
  const TAnnounceResolution typed = list.GetAnnounceURL(input);
  if (!typed.VisitEnabled) FUZZ_CHECK(typed.URL == input);

  if (!parse.Ok()) return 0;
  std::string again = std::to_string(parse.Version) + "\r\n" + parse.UpdateURL + "\r\n" +
                      std::to_string(parse.Entries.size()) + "\r\n";
  for (const auto& t : parse.Entries)
    again += t.Name + "\r\n" + t.Announce + "\r\n" + t.Webpage + "\r\n" + (t.Down ? "1" : "0") + "\r\n";
  const TTrackerListParse reread = ParseTrackerList(again);
  FUZZ_CHECK(reread.Ok());
  FUZZ_CHECK(reread.Version == parse.Version);
  FUZZ_CHECK(reread.Entries.size() == parse.Entries.size());
  for (size_t i = 0; i < parse.Entries.size(); ++i) {
    FUZZ_CHECK(reread.Entries[i].Name == parse.Entries[i].Name);
    FUZZ_CHECK(reread.Entries[i].Announce == parse.Entries[i].Announce);
    FUZZ_CHECK(reread.Entries[i].Webpage == parse.Entries[i].Webpage);
    FUZZ_CHECK(reread.Entries[i].Down == parse.Entries[i].Down);
  }
  return 0;
}
