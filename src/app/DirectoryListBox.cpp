#include "app/DirectoryListBox.h"

#include <dirent.h>
#include <unistd.h>
#include <QStyle>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "app/FileNames.h"

namespace {

constexpr int PathRole = Qt::UserRole + 1;

std::string Normalise(const std::string& folder) {
  std::filesystem::path p(folder);
  if (p.is_relative()) {
    std::error_code ec;
    p = std::filesystem::current_path(ec) / p;
  }
  std::string s = p.lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s.empty() ? "/" : s;
}

}  // namespace

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QListWidget(parent) {
  setIconSize(QSize(16, 16));
  setSelectionMode(QAbstractItemView::SingleSelection);
  std::error_code ec;
  const std::filesystem::path cwd = std::filesystem::current_path(ec);
  directory_ = ec ? "/" : Normalise(cwd.string());
  Fill();
}

void TDirectoryListBox::SetDirectory(const std::string& folder) {
  const std::string path = Normalise(folder);
  DIR* dir = ::opendir(path.c_str());
  if (!dir) throw EInOutError("Cannot enter folder " + path + ": " + std::strerror(errno));
  ::closedir(dir);
  directory_ = path;
  Fill();
  emit Changed();
}

std::string TDirectoryListBox::ItemPath(const QListWidgetItem* item) const {
  return item ? Bytes(item->data(PathRole).toByteArray()) : std::string();
}

void TDirectoryListBox::Fill() {
  clear();
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);

  // The chain from "/" down to the folder itself.
  std::vector<std::string> chain{"/"};
  for (size_t pos = 1; pos <= directory_.size(); ++pos)
    if (pos == directory_.size() || directory_[pos] == '/')
      if (directory_ != "/") chain.push_back(directory_.substr(0, pos));
  if (directory_ == "/") chain.resize(1);

  int depth = 0;
  QListWidgetItem* current = nullptr;
  for (const std::string& path : chain) {
    const std::string name = path == "/" ? "/" : LastPathComponent(path);
    auto* item = new QListWidgetItem(open, QString(depth * 2, QLatin1Char(' ')) + ShowName(name), this);
    item->setData(PathRole, ToByteArray(path));
    current = item;
    ++depth;
  }

  std::vector<std::string> subFolders;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(directory_, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    std::error_code statEc;
    if (it->is_directory(statEc)) subFolders.push_back(name);
  }
  std::sort(subFolders.begin(), subFolders.end(), LessNoCase);
  for (const std::string& name : subFolders) {
    auto* item = new QListWidgetItem(closed, QString(depth * 2, QLatin1Char(' ')) + ShowName(name), this);
    item->setData(PathRole, ToByteArray(JoinPath(directory_, name)));
  }
  setCurrentItem(current);
  scrollToItem(current);
}
