#pragma once
// Shared helpers of the tracker tests: a temporary folder and scripted dialogs.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "../support/ScriptedDialogs.h"

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
