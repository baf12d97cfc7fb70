#pragma once
// Runs a shell command line (mostly quorvane-cli, as built beside the tests) and captures what it
// printed and how it exited.

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/Stream.h"

// The command-line program under test.
inline const std::string QuorvaneCli = QUORVANE_BINARY_DIR "/src/cli/quorvane-cli";

struct TRun {
  int Status = -1;  // the exit status; -1 when the command could not start or did not exit
  std::string Out, Err;
};

// Each argument as one single-quoted shell word (no test passes a quote).
inline std::string ShellWords(const std::vector<std::string>& args) {
  std::string words;
  for (const auto& arg : args) words += " '" + arg + "'";
  return words;
}

// Runs `command` through the shell and reads its standard output to the end. Standard error is
// the caller's to redirect; given `errFile`, it goes there and is read back into Err.
inline TRun RunShell(const std::string& command, const std::string& errFile = "") {
  TRun run;
  const std::string line = errFile.empty() ? command : command + " 2>'" + errFile + "'";
  FILE* out = ::popen(line.c_str(), "r");
  if (out == nullptr) return run;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;) run.Out.append(buffer, n);
  const int status = ::pclose(out);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (!errFile.empty()) run.Err = ReadWholeFile(errFile);
  return run;
}

// quorvane-cli with `args` (shell text) run in the folder `home`, whose "config" and "cache" folders
// stand in for the user's: the developer's own settings and tracker list never count. Standard input
// is the file `input` (empty unless given), standard error goes through home's "stderr.txt", and a
// hung command ends after a minute with status 124 instead of hanging the run.
inline TRun RunCli(const std::string& home, const std::string& args, const std::string& input = "/dev/null") {
  return RunShell("cd '" + home + "' && XDG_CACHE_HOME='" + home + "/cache' XDG_CONFIG_HOME='" + home +
                      "/config' timeout 60 '" + QuorvaneCli + "' " + args + " <'" + input + "'",
                  home + "/stderr.txt");
}
