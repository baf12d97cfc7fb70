#include "app/QtDialogs.h"

#include "app/FileNames.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

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
  QMessageBox box(buttons == TMsgButtons::YesNo ? QMessageBox::Question
                  : caption == "Error"          ? QMessageBox::Critical
                  : caption == "Warning"        ? QMessageBox::Warning
                                                : QMessageBox::Information,
                  Utf8Text(caption), Utf8Text(text),
                  buttons == TMsgButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                  owner_);
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

std::optional<std::string> TQtDialogs::OpenDialog(const std::string& filter) {
  QFileDialog dialog(owner_);
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
  QString from = ShowName(start);
  while (!from.isEmpty() && !QFileInfo(from).isDir()) {
    const QString parent = QFileInfo(from).path();
    from = parent == from ? QString() : parent;
  }
  const QString folder =
      QFileDialog::getExistingDirectory(owner_, Utf8Text(title), from, QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return std::nullopt;
  return NameBytes(folder);
}
