#include "app/BackupForm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "app/FileNames.h"

TfrmBackup::TfrmBackup(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("frmBackup"));
  setWindowTitle(tr("Back-up Tracker Selection"));
  setModal(false);

  lstBackup = Named(new QListWidget(this), "lstBackup");
  cmbTrackers = Named(new QComboBox(this), "cmbTrackers");
  cmbTrackers->setEditable(false);
  lstBackup->setAccessibleName(tr("Back-up trackers"));
  cmbTrackers->setAccessibleName(tr("Tracker to add"));
  cmbTrackers->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cmbTrackers->setMinimumContentsLength(16);
  btnAdd = Named(new QPushButton(tr("&Add:"), this), "btnAdd");
  btnRemove = Named(new QPushButton(tr("&Remove Selected"), this), "btnRemove");
  btnUp = Named(new QPushButton(tr("&Up"), this), "btnUp");
  btnDown = Named(new QPushButton(tr("D&n"), this), "btnDown");
  btnOk = Named(new QPushButton(tr("OK"), this), "btnOk");
  lblNote = Named(new QLabel(tr("Note: multi-tracker support is preliminary, and only a few BitTorrent "
                                "clients understand it yet. Trackers from above will be tried in the "
                                "order they are listed if the main tracker fails."),
                             this),
                  "lblNote");
  lblNote->setWordWrap(true);
  for (QPushButton* b : {btnAdd, btnRemove, btnUp, btnDown}) b->setAutoDefault(false);

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(8, 8, 8, 8);
  grid->setSpacing(6);
  grid->addWidget(lstBackup, 0, 0, 3, 1);
  grid->addWidget(btnUp, 0, 1);
  grid->addWidget(btnDown, 1, 1);
  grid->addWidget(btnRemove, 2, 1, Qt::AlignTop);
  auto* row = new QHBoxLayout;
  row->addWidget(btnAdd);
  row->addWidget(cmbTrackers, 1);
  grid->addLayout(row, 3, 0);
  grid->addWidget(btnOk, 3, 1);
  grid->addWidget(lblNote, 4, 0, 1, 2);
  grid->setColumnStretch(0, 1);
  grid->setRowStretch(2, 1);

  // The designed size, or what the fonts need; the note wraps to the width.
  const int width = std::max(478, minimumSizeHint().width());
  resize(width, std::max({204, minimumSizeHint().height(), layout()->minimumHeightForWidth(width)}));

  connect(lstBackup, &QListWidget::itemSelectionChanged, this, [this] {
    const QList<QListWidgetItem*> selected = lstBackup->selectedItems();
    Backup.Selected = selected.isEmpty() ? -1 : lstBackup->row(selected.front());
  });
  connect(btnAdd, &QPushButton::clicked, this, &TfrmBackup::btnAddClick);
  connect(btnRemove, &QPushButton::clicked, this, &TfrmBackup::btnRemoveClick);
  connect(btnUp, &QPushButton::clicked, this, &TfrmBackup::btnUpClick);
  connect(btnDown, &QPushButton::clicked, this, &TfrmBackup::btnDownClick);
  connect(btnOk, &QPushButton::clicked, this, &TfrmBackup::btnOkClick);
}

void TfrmBackup::btnAddClick() {
  std::optional<std::string> chosen;
  if (const int index = cmbTrackers->currentIndex(); index >= 0) {
    const QVariant bytes = cmbTrackers->itemData(index);
    chosen = bytes.isValid() ? Bytes(bytes.toByteArray()) : Bytes(cmbTrackers->itemText(index).toUtf8());
  }
  if (Backup.Add(chosen)) Sync();
}

void TfrmBackup::btnRemoveClick() {
  if (Backup.Remove()) Sync();
}

void TfrmBackup::btnUpClick() {
  if (Backup.Up()) Sync();
}

void TfrmBackup::btnDownClick() {
  if (Backup.Down()) Sync();
}

void TfrmBackup::btnOkClick() { hide(); }

void TfrmBackup::ShowWithTrackers(const std::vector<std::string>& names) {
  cmbTrackers->clear();
  for (const std::string& name : names) cmbTrackers->addItem(Utf8Text(name), ToByteArray(name));
  cmbTrackers->setCurrentIndex(names.empty() ? -1 : 0);
  Sync();
  show();
  raise();
}

void TfrmBackup::AssignEntries(std::vector<std::string> entries) {
  Backup.Assign(std::move(entries));
  Sync();
}

void TfrmBackup::Sync() {
  const QSignalBlocker block(lstBackup);
  lstBackup->clear();
  for (const std::string& entry : Backup.Entries) lstBackup->addItem(Utf8Text(entry));
  if (Backup.Selected >= 0 && Backup.Selected < lstBackup->count()) {
    lstBackup->setCurrentRow(Backup.Selected);
    lstBackup->item(Backup.Selected)->setSelected(true);
  } else {
    Backup.Selected = -1;
    lstBackup->setCurrentRow(-1);
  }
}
