#pragma once
// Dialogs answered by script, for tests: every call is recorded, and the
// answers come from values and queues the test sets beforehand.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Dialogs.h"

class TScriptedDialogs : public TDialogs {
 public:
  struct TBox {
    std::string Text, Caption;
    TMsgButtons Buttons = TMsgButtons::Ok;
  };

  // What was asked, in order.
  std::vector<TBox> Boxes;
  std::vector<TSaveDialogOptions> SaveRequests;
  std::vector<std::string> OpenFilters, FolderTitles;
  std::vector<std::string> FolderStarts;  // "" when the picker was given no start
  std::vector<std::string> OpenStarts;    // the same for the open dialog
  // Every call as one line, to check the order across kinds:
  // "Caption: text [Yes/No]", "save <preset>", "open <filter>", "folder <title>".
  std::vector<std::string> Log;

  // Yes/No boxes take the next queued answer, else Answer.
  std::deque<TMsgResult> Answers;
  TMsgResult Answer = TMsgResult::No;
  // Called for a Yes/No box when no answer is queued (before Answer is used).
  std::function<void(const TBox&)> OnUnanswered;
  // Runs while a box is open, as events do under a modal dialog.
  std::function<void()> WhileOpen;

  // The chosen paths in order; an empty queue cancels.
  std::deque<std::optional<std::string>> SaveAnswers, OpenAnswers, FolderAnswers;

  TMsgResult MessageBox(const std::string& text, const std::string& caption, TMsgButtons buttons) override {
    Boxes.push_back({text, caption, buttons});
    Log.push_back(caption + ": " + text +
                  (buttons == TMsgButtons::YesNo            ? " [Yes/No]"
                   : buttons == TMsgButtons::YesNoDefaultNo ? " [Yes/No, default No]"
                                                            : ""));
    if (WhileOpen) WhileOpen();
    if (buttons == TMsgButtons::Ok) return TMsgResult::Ok;
    if (Answers.empty()) {
      if (OnUnanswered) OnUnanswered(TBox{text, caption, buttons});
      return Answer;
    }
    const TMsgResult answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  std::optional<std::string> SaveDialog(const TSaveDialogOptions& options) override {
    SaveRequests.push_back(options);
    Log.push_back("save " + options.Preset);
    return Next(SaveAnswers);
  }
  std::optional<std::string> OpenDialog(const std::string& filter) override {
    OpenFilters.push_back(filter);
    OpenStarts.emplace_back();
    Log.push_back("open " + filter);
    return Next(OpenAnswers);
  }
  std::optional<std::string> OpenDialogAt(const std::string& filter, const std::string& start) override {
    auto answer = OpenDialog(filter);
    OpenStarts.back() = start;
    return answer;
  }
  std::optional<std::string> PickFolder(const std::string& title) override {
    FolderTitles.push_back(title);
    FolderStarts.emplace_back();
    Log.push_back("folder " + title);
    return Next(FolderAnswers);
  }
  std::optional<std::string> PickFolderAt(const std::string& title, const std::string& start) override {
    auto answer = PickFolder(title);
    FolderStarts.back() = start;
    return answer;
  }

  std::vector<std::string> Captions() const {
    std::vector<std::string> captions;
    for (const TBox& box : Boxes) captions.push_back(box.Caption);
    return captions;
  }
  // The options of the latest save dialog, or null when none was shown.
  const TSaveDialogOptions* LastSave() const { return SaveRequests.empty() ? nullptr : &SaveRequests.back(); }

 private:
  static std::optional<std::string> Next(std::deque<std::optional<std::string>>& answers) {
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
  }
};
