#include "app/FileListBox.h"

#include <QStyle>
#include <algorithm>
#include <filesystem>

#include "app/FileNames.h"

namespace {
constexpr int NameRole = Qt::UserRole + 1;
}

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {
  setIconSize(QSize(16, 16));
  setSelectionMode(QAbstractItemView::ExtendedSelection);
}

void TFileListBox::SetDirectory(const std::string& folder) {
  directory_ = folder;
  clear();
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') continue;  // hidden, as the folder list hides them
    std::error_code statEc;
    if (it->is_regular_file(statEc)) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), LessNoCase);
  const QIcon icon = style()->standardIcon(QStyle::SP_FileIcon);
  for (const std::string& name : names) {
    auto* item = new QListWidgetItem(icon, ShowName(name), this);
    item->setData(NameRole, ToByteArray(name));
  }
}

std::string TFileListBox::FileName(int row) const {
  const QListWidgetItem* it = item(row);
  return it ? Bytes(it->data(NameRole).toByteArray()) : std::string();
}

void TFileListBox::SelectNames(const std::vector<std::string>& names) {
  clearSelection();
  QListWidgetItem* first = nullptr;
  for (int row = 0; row < count(); ++row) {
    if (std::find(names.begin(), names.end(), FileName(row)) == names.end()) continue;
    item(row)->setSelected(true);
    if (!first) first = item(row);
  }
  if (first) scrollToItem(first);
}
