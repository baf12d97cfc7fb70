#pragma once
// The drive list of the "Simple" page: the roots of the mounted volumes,
// "/" first. A long mount path is shortened in the middle rather than
// widening the list.

#include <QComboBox>
#include <string>

class TDriveComboBox : public QComboBox {
  Q_OBJECT
 public:
  explicit TDriveComboBox(QWidget* parent = nullptr);

  void Refresh();
  std::string Drive() const;
  // Shows the volume that holds folder, without a change event.
  void SelectFor(const std::string& folder);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
