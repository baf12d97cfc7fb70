#pragma once
// What the program asks of the user, behind an interface: the Qt program
// shows real dialogs, the CLI answers from its options, tests script answers.

#include <optional>
#include <string>

// YesNoDefaultNo: a question whose safe answer is No, so Return gives No.
enum class TMsgButtons { Ok, YesNo, YesNoDefaultNo };
enum class TMsgResult { Ok, Yes, No };

struct TSaveDialogOptions {
  std::string Preset;            // proposed file name (full path)
  std::string DefaultExt;        // without the dot, e.g. "torrent"
  std::string Filter;            // "torrent files (*.torrent)|*.torrent"
  bool ConfirmOverwrite = true;  // ask before replacing an existing file
};

class TDialogs {
 public:
  virtual ~TDialogs() = default;
  // A modal message box with a caption and OK or Yes/No buttons.
  virtual TMsgResult MessageBox(const std::string& text, const std::string& caption, TMsgButtons buttons) = 0;
  // The save dialog; the chosen path, or nothing when cancelled.
  virtual std::optional<std::string> SaveDialog(const TSaveDialogOptions& options) = 0;
  // The open dialog; the chosen path, or nothing when cancelled.
  virtual std::optional<std::string> OpenDialog(const std::string& filter) {
    (void)filter;
    return std::nullopt;
  }
  // The same, opening at start's folder (start may name a file, or a path
  // not there yet: the dialog shows the nearest folder that is).
  virtual std::optional<std::string> OpenDialogAt(const std::string& filter, const std::string& start) {
    (void)start;
    return OpenDialog(filter);
  }
  // The folder picker with a title; the chosen folder, or nothing when cancelled.
  virtual std::optional<std::string> PickFolder(const std::string& title) = 0;
  // The same, opening at start (a folder that may not exist yet: the picker
  // shows the nearest one that does).
  virtual std::optional<std::string> PickFolderAt(const std::string& title, const std::string& start) {
    (void)start;
    return PickFolder(title);
  }
};
