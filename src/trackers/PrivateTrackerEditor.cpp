#include "trackers/PrivateTrackerEditor.h"

void TPrivateTrackerEditor::Reload() {
  Items.clear();
  for (const auto& t : privateTrackers_) Items.push_back(t.Name);
  Selected = -1;
}

TPrivateTrackerEditor::TClickResult TPrivateTrackerEditor::Click(int index) {
  TClickResult result;
  Selected = index >= 0 && index < static_cast<int>(Items.size()) ? index : -1;
  if (Selected < 0) return result;
  result.DeleteEnabled = true;
  const int found = FindPrivateTracker(privateTrackers_, Items[Selected]);
  if (found >= 0) {
    result.Fill = privateTrackers_[found];
    result.Caption = "Modify";
  } else {
    result.Caption = "Add";
  }
  return result;
}

std::string TPrivateTrackerEditor::CaptionFor(const std::string& name) const {
  return FindPrivateTracker(privateTrackers_, name) < 0 ? "Add" : "Modify";
}

bool TPrivateTrackerEditor::AddModify(const std::string& name, const std::string& announce,
                                      const std::string& webpage) {
  if (name.empty()) {
    dialogs_.MessageBox("Please enter tracker name!", "Error", TMsgButtons::Ok);
    return false;
  }
  if (announce.empty()) {
    dialogs_.MessageBox("Please enter tracker announce URL!", "Error", TMsgButtons::Ok);
    return false;
  }
  int found = FindPrivateTracker(privateTrackers_, name);
  if (found < 0) {
    privateTrackers_.emplace_back();
    Items.push_back(name);
    found = static_cast<int>(privateTrackers_.size()) - 1;
  }
  TTracker& record = privateTrackers_[found];
  record.Name = name;
  record.Announce = announce;
  record.Webpage = webpage;
  record.Down = false;
  return true;
}

bool TPrivateTrackerEditor::Delete(const std::string& typedName) {
  if (FindPrivateTracker(privateTrackers_, typedName) < 0) return false;
  // Without a selection there is no entry to remove (the button is disabled then).
  if (Selected < 0 || Selected >= static_cast<int>(Items.size())) return false;
  const std::string removed = Items[Selected];
  Items.erase(Items.begin() + Selected);
  Selected = -1;
  const int record = FindPrivateTracker(privateTrackers_, removed);
  if (record >= 0) privateTrackers_.erase(privateTrackers_.begin() + record);
  return true;
}
