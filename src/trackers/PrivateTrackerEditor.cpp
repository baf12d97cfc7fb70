#include "trackers/PrivateTrackerEditor.h"

void TPrivateTrackerEditor::Reload() {
  Items.clear();
  for (const auto& t : list_.PrivateTrackers) Items.push_back(t.Name);
  Selected = -1;
}

TPrivateTrackerEditor::TClickResult TPrivateTrackerEditor::Click(int index) {
  TClickResult result;
  Selected = index >= 0 && index < static_cast<int>(Items.size()) ? index : -1;
  if (Selected < 0) return result;
  result.DeleteEnabled = true;
  const int found = list_.FindPrivateTracker(Items[Selected]);
  if (found >= 0) {
    result.Fill = list_.PrivateTrackers[found];
    result.Caption = "Modify";
  } else {
    result.Caption = "Add";
  }
  return result;
}

std::string TPrivateTrackerEditor::CaptionFor(const std::string& name) const {
  return list_.FindPrivateTracker(name) < 0 ? "Add" : "Modify";
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
  int found = list_.FindPrivateTracker(name);
  if (found < 0) {
    list_.PrivateTrackers.emplace_back();
    Items.push_back(name);
    found = static_cast<int>(list_.PrivateTrackers.size()) - 1;
  }
  TTracker& record = list_.PrivateTrackers[found];
  record.Name = name;
  record.Announce = announce;
  record.Webpage = webpage;
  record.Down = false;
  return true;
}

bool TPrivateTrackerEditor::Delete(const std::string& typedName) {
  if (list_.FindPrivateTracker(typedName) < 0) return false;
  // Without a selection there is no entry to remove (the button is disabled then).
  if (Selected < 0 || Selected >= static_cast<int>(Items.size())) return false;
  const std::string removed = Items[Selected];
  Items.erase(Items.begin() + Selected);
  Selected = -1;
  const int record = list_.FindPrivateTracker(removed);
  if (record >= 0) list_.PrivateTrackers.erase(list_.PrivateTrackers.begin() + record);
  return true;
}
