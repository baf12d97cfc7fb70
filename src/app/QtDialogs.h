#pragma once
// The program's dialogs as Qt shows them: message boxes, file dialogs and
// the folder picker, all modal over the owner window.

#include <QPointer>
#include <QString>
#include <QWidget>

#include "Dialogs.h"

class TQtDialogs : public TDialogs {
 public:
  explicit TQtDialogs(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }

  TMsgResult MessageBox(const std::string& text, const std::string& caption, TMsgButtons buttons) override;
  std::optional<std::string> SaveDialog(const TSaveDialogOptions& options) override;
  std::optional<std::string> OpenDialog(const std::string& filter) override;
  std::optional<std::string> OpenDialogAt(const std::string& filter, const std::string& start) override;
  std::optional<std::string> PickFolder(const std::string& title) override;
  std::optional<std::string> PickFolderAt(const std::string& title, const std::string& start) override;

 private:
  QPointer<QWidget> owner_;
};

// "torrent files (*.torrent)|*.torrent|All Files (*.*)|*.*" as Qt's name filters.
QStringList QtNameFilters(const std::string& filter);

// A fixed text of the program's core (message, caption, status) in the
// user's language; a text the translations do not know is shown as it is.
QString TranslatedMessage(const std::string& text);
// A metadata fault's reason (a loader line without its "Corrupt File: ") in
// the user's language, what it names kept.
QString TranslatedFault(const QString& what);
// A line of the loader's error list: translated whole when the translations
// know it, else its "Corrupt File: " is.
QString TranslatedLoadError(const std::string& line);

// The folder a file or folder dialog should show for path: the path itself
// when it is a folder, else its nearest existing ancestor; "" for an empty path.
std::string StartFolderFor(const std::string& path);
