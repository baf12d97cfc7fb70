#include "app/BackupForm.h"

TfrmBackup::TfrmBackup(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("frmBackup"));
  setWindowTitle(QStringLiteral("Back-up Tracker Selection"));
  setModal(false);
  resize(478, 204);
}
