#include "app/QtDialogs.h"

#include "app/FileNames.h"
#include "app/QuorvaneApplication.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>
#include <string_view>

QStringList QtNameFilters(const std::string& filter) {
  const QStringList parts = Utf8Text(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString masks = parts[i + 1];
    masks.replace(QLatin1Char(';'), QLatin1Char(' '));
    // "*.*" means every file; on Linux many names have no dot.
    if (masks.trimmed() == QLatin1String("*.*")) masks = QStringLiteral("*");
    QString name = parts[i];
    const qsizetype paren = name.indexOf(QLatin1Char('('));
    if (paren >= 0) name = name.left(paren).trimmed();
    filters << QStringLiteral("%1 (%2)").arg(name, masks);
  }
  if (filters.isEmpty()) filters << QStringLiteral("All Files (*)");
  return filters;
}

TMsgResult TQtDialogs::MessageBox(const std::string& text, const std::string& caption, TMsgButtons buttons) {
  const bool question = buttons != TMsgButtons::Ok;
  // The general error report and a failed load are errors as much as "Error" is.
  const bool error = caption == "Error" || caption == "Error Loading!" || caption == ApplicationTitle;
  QMessageBox box(question               ? QMessageBox::Question
                  : error                ? QMessageBox::Critical
                  : caption == "Warning" ? QMessageBox::Warning
                                         : QMessageBox::Information,
                  TranslatedMessage(caption), TranslatedMessage(text),
                  question ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, owner_);
  if (buttons == TMsgButtons::YesNoDefaultNo) box.setDefaultButton(QMessageBox::No);
  const int answer = box.exec();
  if (buttons == TMsgButtons::Ok) return TMsgResult::Ok;
  return answer == QMessageBox::Yes ? TMsgResult::Yes : TMsgResult::No;
}

std::optional<std::string> TQtDialogs::SaveDialog(const TSaveDialogOptions& options) {
  QFileDialog dialog(owner_);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(QtNameFilters(options.Filter));
  dialog.setDefaultSuffix(Utf8Text(options.DefaultExt));
  if (!options.ConfirmOverwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setSizeGripEnabled(true);
  if (!options.Preset.empty()) dialog.selectFile(QFile::decodeName(options.Preset.c_str()));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return NameBytes(dialog.selectedFiles().first());
}

// The fixed texts of the core that reach the windows, listed for lupdate;
// TranslatedMessage finds them by their English.
[[maybe_unused]] const char* const CoreMessages[] = {
    QT_TRANSLATE_NOOP("Messages", "Error"),
    QT_TRANSLATE_NOOP("Messages", "Warning"),
    QT_TRANSLATE_NOOP("Messages", "Question"),
    QT_TRANSLATE_NOOP("Messages", "Abort"),
    QT_TRANSLATE_NOOP("Messages", "Version Check"),
    QT_TRANSLATE_NOOP("Messages", "You must select a tracker to use with this torrent!"),
    QT_TRANSLATE_NOOP("Messages", "Tracker may be down; are you sure you want to continue?"),
    QT_TRANSLATE_NOOP("Messages", "No files were selected!"),
    QT_TRANSLATE_NOOP("Messages", "Please enter a file or directory name!"),
    QT_TRANSLATE_NOOP("Messages", "Operation Aborted!"),
    QT_TRANSLATE_NOOP("Messages",
                      "There was an error updating the tracker list, information may not be current!"),
    QT_TRANSLATE_NOOP("Messages", "No cached version of the tracker list could be found; you're on your own"),
    QT_TRANSLATE_NOOP("Messages", "A new version of Quorvane is afvailable! Update now?"),
    QT_TRANSLATE_NOOP("Messages", "Attempting to update tracker list..."),
    QT_TRANSLATE_NOOP("Messages", "Tracker list loaded!"),
    QT_TRANSLATE_NOOP("Messages", "Status: UP"),
    QT_TRANSLATE_NOOP("Messages", "Status: *DOWN*"),
    QT_TRANSLATE_NOOP("Messages", "Status: N/A"),
    QT_TRANSLATE_NOOP("Messages", "Please enter tracker name!"),
    QT_TRANSLATE_NOOP("Messages", "Please enter tracker announce URL!"),
    QT_TRANSLATE_NOOP("Messages", "No torrent loaded!"),
    QT_TRANSLATE_NOOP("Messages", "Error Loading!"),
    QT_TRANSLATE_NOOP("Messages", "Add"),
    QT_TRANSLATE_NOOP("Messages", "Modify"),
    QT_TRANSLATE_NOOP("Messages", "Select a directory to hash"),
    QT_TRANSLATE_NOOP("Messages", "Enter directory to output torrents in:"),
    QT_TRANSLATE_NOOP("Messages", "(enter a tracker URL, or select from list below)"),
    // The loader's lines in the "Error Loading!" box; those that name a key
    // or an entry keep it, behind the translated "Corrupt File: ".
    QT_TRANSLATE_NOOP("Messages", "Corrupt File: "),
    QT_TRANSLATE_NOOP("Messages", "The file is too large to be a torrent (more than 256 MiB)"),
    QT_TRANSLATE_NOOP("Messages", "Error parsing file; does not appear to be valid bencoded metainfo"),
    QT_TRANSLATE_NOOP("Messages",
                      "Something bad happened while trying to load the file, probably corrupt metainfo"),
    // One text in two literals, not two texts.
    // NOLINTBEGIN(bugprone-suspicious-missing-comma)
    QT_TRANSLATE_NOOP("Messages",
                      "The file is too complex to load (it would take more than 512 MiB of memory or 512 "
                      "levels of nesting)"),
    // NOLINTEND(bugprone-suspicious-missing-comma)
    QT_TRANSLATE_NOOP("Messages", "Corrupt File: the file ends inside a value (it is cut off)"),
    QT_TRANSLATE_NOOP("Messages", "Corrupt File: Missing \"announce\" segment"),
    QT_TRANSLATE_NOOP("Messages", "Corrupt File: Missing \"info\" segment"),
    QT_TRANSLATE_NOOP("Messages", "Corrupt File: Missing \"info.name\" segment"),
    QT_TRANSLATE_NOOP("Messages", "Corrupt File: Missing \"info.piece length\" segment"),
    QT_TRANSLATE_NOOP("Messages", "Corrupt File: Missing \"info.pieces\" segment"),
    QT_TRANSLATE_NOOP("Messages", "Corrupt File: \"info.files\" is empty"),
    QT_TRANSLATE_NOOP("Messages", "Corrupt File: the torrent holds no data (total length 0)"),
    QT_TRANSLATE_NOOP("Messages",
                      "Corrupt File: Missing both \"info.length\" and \"info.files\" segments (should have "
                      "one or the other)"),
};

QString TranslatedMessage(const std::string& text) {
  QString whole = QCoreApplication::translate("Messages", text.c_str());
  if (whole != Utf8Text(text)) return whole;
  // A file the system refused: its path and the system's reason stay as they are.
  static const std::pair<std::string_view, const char*> fileErrors[] = {
      {"Cannot open file \"", QT_TRANSLATE_NOOP("Messages", "Cannot open file \"%1\": %2")},
      {"Cannot create file \"", QT_TRANSLATE_NOOP("Messages", "Cannot create file \"%1\": %2")},
  };
  for (const auto& [prefix, pattern] : fileErrors) {
    const size_t end = text.rfind("\": ");
    if (!text.starts_with(prefix) || end == std::string::npos || end < prefix.size()) continue;
    return QCoreApplication::translate("Messages", pattern)
        .arg(Utf8Text(text.substr(prefix.size(), end - prefix.size())), Utf8Text(text.substr(end + 3)));
  }
  return whole;
}

QString TranslatedFault(const QString& what) {
  static const QRegularExpression layer(
      QStringLiteral("^the piece layer of (.*) does not reduce to its \"pieces root\"$"));
  if (const QRegularExpressionMatch match = layer.match(what); match.hasMatch())
    return QCoreApplication::translate("Messages",
                                       "the piece layer of %1 does not reduce to its \"pieces root\"")
        .arg(match.captured(1));
  static const QRegularExpression v1(QStringLiteral(
      "^\"info.pieces\" disagrees with the file tree for (pieces?) (.*), where the data matches the tree$"));
  if (const QRegularExpressionMatch match = v1.match(what); match.hasMatch())
    return (match.captured(1) == QStringLiteral("piece")
                ? QCoreApplication::translate("Messages",
                                              "\"info.pieces\" disagrees with the file tree for piece %1, "
                                              "where the data matches the tree")
                : QCoreApplication::translate("Messages",
                                              "\"info.pieces\" disagrees with the file tree for pieces %1, "
                                              "where the data matches the tree"))
        .arg(match.captured(2));
  return what;
}

QString TranslatedLoadError(const std::string& line) {
  static constexpr std::string_view Corrupt = "Corrupt File: ";
  QString whole = TranslatedMessage(line);
  if (whole != Utf8Text(line) || !line.starts_with(Corrupt)) return whole;
  return TranslatedMessage(std::string(Corrupt)) + Utf8Text(line.substr(Corrupt.size()));
}

std::string StartFolderFor(const std::string& path) {
  if (path.empty()) return {};
  QFileInfo info(ShowName(path));
  // A path typed half-way names no file yet: its nearest folder serves.
  while (!info.isDir()) {
    const QString parent = info.absolutePath();
    if (parent == info.absoluteFilePath()) return {};
    info = QFileInfo(parent);
  }
  return NameBytes(info.absoluteFilePath());
}

std::optional<std::string> TQtDialogs::OpenDialog(const std::string& filter) {
  return OpenDialogAt(filter, "");
}

std::optional<std::string> TQtDialogs::OpenDialogAt(const std::string& filter, const std::string& start) {
  QFileDialog dialog(owner_);
  if (const std::string folder = StartFolderFor(start); !folder.empty())
    dialog.setDirectory(ShowName(folder));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(QtNameFilters(filter));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return NameBytes(dialog.selectedFiles().first());
}

std::optional<std::string> TQtDialogs::PickFolder(const std::string& title) {
  return PickFolderAt(title, "");
}

std::optional<std::string> TQtDialogs::PickFolderAt(const std::string& title, const std::string& start) {
  const QString folder = QFileDialog::getExistingDirectory(
      owner_, TranslatedMessage(title), ShowName(StartFolderFor(start)), QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return std::nullopt;
  return NameBytes(folder);
}
