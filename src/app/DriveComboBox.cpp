#include "app/DriveComboBox.h"

#include <QAbstractItemView>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <algorithm>
#include <vector>

#include "app/FileNames.h"

namespace {

// Kernel and runtime file systems are no place for torrent data.
bool IsSystemMount(const std::string& root) {
  for (const char* prefix : {"/proc", "/sys", "/dev", "/run"}) {
    const std::string p = prefix;
    if (root == p || root.rfind(p + "/", 0) == 0) return root.rfind("/run/media/", 0) != 0;
  }
  return false;
}

}  // namespace

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) {
  // Sized for a short root; the longest mount path must not squeeze the file list.
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  setMinimumContentsLength(8);
  view()->setTextElideMode(Qt::ElideMiddle);
  setAccessibleName(tr("Drive"));
  Refresh();
}

void TDriveComboBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionComboBox option;
  initStyleOption(&option);
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  // The start and the end of a mount path tell volumes apart; the middle can go.
  const QRect field =
      style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
  const int iconSpace = option.currentIcon.isNull() ? 0 : option.iconSize.width() + 4;
  option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideMiddle,
                                                std::max(0, field.width() - iconSpace - 2));
  painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void TDriveComboBox::Refresh() {
  const QSignalBlocker block(this);
  clear();
  std::vector<std::string> roots{"/"};
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || !volume.isReady()) continue;
    const std::string root = NameBytes(volume.rootPath());
    if (root.empty() || IsSystemMount(root)) continue;
    if (std::find(roots.begin(), roots.end(), root) == roots.end()) roots.push_back(root);
  }
  std::sort(roots.begin() + 1, roots.end());
  const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
  for (const std::string& root : roots) {
    addItem(icon, ShowName(root), ToByteArray(root));
    setItemData(count() - 1, ShowName(root), Qt::ToolTipRole);
  }
}

std::string TDriveComboBox::Drive() const { return Bytes(currentData().toByteArray()); }

void TDriveComboBox::SelectFor(const std::string& folder) {
  int best = 0;
  size_t bestLength = 0;
  for (int i = 0; i < count(); ++i) {
    const std::string root = Bytes(itemData(i).toByteArray());
    const bool holds = root == "/" || folder == root || folder.rfind(root + "/", 0) == 0;
    if (holds && root.size() > bestLength) {
      best = i;
      bestLength = root.size();
    }
  }
  const QSignalBlocker block(this);
  setCurrentIndex(best);
}
