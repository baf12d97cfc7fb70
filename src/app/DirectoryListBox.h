#pragma once
// The folder list of the "Simple" page: the chosen folder's ancestors from
// "/" down, then its sub-folders. Read synchronously, so it shows the same
// thing every time; activating an entry (double-click, Enter) enters it.

#include <QListWidget>
#include <stdexcept>
#include <string>

class EInOutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TDirectoryListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit TDirectoryListBox(QWidget* parent = nullptr);

  const std::string& Directory() const { return directory_; }
  // Enters folder; raises EInOutError when it cannot be entered, leaving the
  // list where it was. Emits Changed.
  void SetDirectory(const std::string& folder);
  // The folder an entry stands for.
  std::string ItemPath(const QListWidgetItem* item) const;

 signals:
  void Changed();

 private:
  void Fill();
  std::string directory_;
};
