#pragma once
// Shared helpers of the tracker tests: a temporary folder and scripted dialogs.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Dialogs.h"

class TTempDir {
 public:
  TTempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quorvane-trackers-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Records every message box; Yes/No boxes get the scripted answer.
class TScriptedDialogs : public TDialogs {
 public:
  struct TBox {
    std::string Text, Caption;
    TMsgButtons Buttons;
  };
  std::vector<TBox> Boxes;
  TMsgResult Answer = TMsgResult::No;
  // Runs while a box is open, as events do under a modal dialog.
  std::function<void()> WhileOpen;

  TMsgResult MessageBox(const std::string& text, const std::string& caption, TMsgButtons buttons) override {
    Boxes.push_back({text, caption, buttons});
    if (WhileOpen) WhileOpen();
    return buttons == TMsgButtons::Ok ? TMsgResult::Ok : Answer;
  }
  std::optional<std::string> SaveDialog(const TSaveDialogOptions&) override { return std::nullopt; }
  std::optional<std::string> PickFolder(const std::string&) override { return std::nullopt; }

  std::vector<std::string> Captions() const {
    std::vector<std::string> c;
    for (const auto& b : Boxes) c.push_back(b.Caption);
    return c;
  }
};
