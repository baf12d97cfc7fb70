#pragma once
// TfrmBackup: the back-up tracker window, created hidden at start-up and
// kept for the program's life, so its list keeps its entries between
// openings. The editing rules live in TBackupList; the window shows it.

#include <QDialog>
#include <string>
#include <vector>

#include "trackers/Backup.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

class TfrmBackup : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmBackup(QWidget* owner = nullptr);

  // The back-up list (lstBackup's entries and selection).
  TBackupList Backup;

  void btnAddClick();
  void btnRemoveClick();
  void btnUpClick();
  void btnDownClick();
  void btnOkClick();

  // Refills cmbTrackers with names (raw bytes kept beside the text), selects
  // the first one, and shows the window without blocking.
  void ShowWithTrackers(const std::vector<std::string>& names);
  // Replaces the list's entries, as the View/Edit page does.
  void AssignEntries(std::vector<std::string> entries);
  // Shows Backup in lstBackup again.
  void Sync();

  QListWidget* lstBackup;
  QComboBox* cmbTrackers;
  QPushButton* btnAdd;
  QPushButton* btnRemove;
  QPushButton* btnUp;
  QPushButton* btnDown;
  QPushButton* btnOk;
  QLabel* lblNote;
};
