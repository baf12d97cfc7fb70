#include "app/DriveComboBox.h"

#include <QSignalBlocker>
#include <QStorageInfo>
#include <QStyle>
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

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) { Refresh(); }

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
  for (const std::string& root : roots) addItem(icon, ShowName(root), ToByteArray(root));
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
