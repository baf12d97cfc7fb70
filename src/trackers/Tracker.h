#pragma once
// One tracker of the selection: from the downloaded list or a private one.

#include <string>

struct TTracker {
  std::string Name;  // the key of every lookup: exact, case-sensitive
  std::string Announce;
  std::string Webpage;  // may be empty
  bool Down = false;    // always false for private trackers
};

// What the tracker box knows of its text: a listed tracker that is up or down,
// or text that names no listed tracker (a typed URL, the prompt).
enum class TTrackerStatus { NotAvailable, Up, Down };
