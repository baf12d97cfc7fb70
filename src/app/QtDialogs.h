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
  std::optional<std::string> PickFolder(const std::string& title) override;
  std::optional<std::string> PickFolderAt(const std::string& title, const std::string& start) override;

 private:
  QPointer<QWidget> owner_;
};

// "torrent files (*.torrent)|*.torrent|All Files (*.*)|*.*" as Qt's name filters.
QStringList QtNameFilters(const std::string& filter);
