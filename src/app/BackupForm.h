#pragma once
// TfrmBackup: the back-up tracker window, created hidden at start-up and
// kept for the program's life. Its controls come with the back-up trackers.

#include <QDialog>

class TfrmBackup : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmBackup(QWidget* owner = nullptr);
};
