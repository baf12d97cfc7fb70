#pragma once
// The file list of the "Simple" page: the files of one folder, sorted by
// name without regard to case, several selectable at once (CTRL, SHIFT).

#include <QListWidget>
#include <string>
#include <vector>

class TFileListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit TFileListBox(QWidget* parent = nullptr);

  const std::string& Directory() const { return directory_; }
  // Lists the files of folder; a folder that cannot be read gives an empty list.
  void SetDirectory(const std::string& folder);
  std::string FileName(int row) const;
  // Selects the entries with these names; the others are deselected.
  void SelectNames(const std::vector<std::string>& names);

 private:
  std::string directory_;
};
