#pragma once
// The private tracker editor of the "Settings" page as plain logic. The window
// shows Items in lstPrivateTrackers and copies the results into its controls.

#include <optional>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "trackers/TrackerList.h"

class TPrivateTrackerEditor {
 public:
  TPrivateTrackerEditor(std::vector<TTracker>& privateTrackers, TDialogs& dialogs)
      : privateTrackers_(privateTrackers), dialogs_(dialogs) {}

  // The entries of lstPrivateTrackers and the selected one (-1: none).
  std::vector<std::string> Items;
  int Selected = -1;

  // Shows the private trackers afresh, as after loading the settings.
  void Reload();

  struct TClickResult {
    bool DeleteEnabled = false;
    std::optional<TTracker> Fill;        // the record for the three edit boxes
    std::optional<std::string> Caption;  // the Add/Modify button's new caption
  };
  // lstPrivateTrackersClick: the entry at index was clicked (-1: none selected).
  TClickResult Click(int index);
  // txtPrivateNameChange: "Add" for an unknown name, else "Modify".
  std::string CaptionFor(const std::string& name) const;
  // btnPrivateAddModifyClick: false when a field was missing (the message was
  // shown). On success the button reads "Modify".
  bool AddModify(const std::string& name, const std::string& announce, const std::string& webpage);
  // btnPrivateDeleteClick: removes the selected entry and its record when the
  // typed name is a private tracker; true when something was removed.
  bool Delete(const std::string& typedName);

 private:
  std::vector<TTracker>& privateTrackers_;
  TDialogs& dialogs_;
};
