#pragma once
// quorvane-cli sub-commands register themselves here.

#include <string>
#include <vector>

struct TCliCommand {
  const char* Name;
  const char* Usage;    // one line: "show [--json] FILE"
  const char* Summary;  // one line
  // Args after the command name; raises EUsage for a mistake on the command line.
  int (*Run)(const std::vector<std::string>& args);
  void (*PrintHelp)();              // to stdout, for --help
  const char* FullUsage = nullptr;  // the usage line under a usage error; null: Usage
};

// Exit statuses shared by every command.
constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

struct TCliRegistration {
  explicit TCliRegistration(const TCliCommand& command);
};

const std::vector<TCliCommand>& CliCommands();

// Says what was wrong with a command line, and the command's usage line, on
// stderr; returns ExitUsage. Run's EUsage ends here.
int UsageError(const char* command, const std::string& what, const char* usage);

class TTorrentFile;
// Loads the .torrent at path for a command; refuses a folder, FIFO or device
// before opening it. False, with one line on stderr, when the file could not
// be opened; loaded is LoadFromStream's result.
bool LoadTorrentForCommand(const char* command, const std::string& path, TTorrentFile& torrent, bool& loaded);
// True, with "FILE is damaged, <consequence>: <first error> (and N more)" on
// stderr, when the torrent did not load, has no file list or reported errors.
// layerFaultsAllowed: piece layers that do not reduce to their roots are no
// reason (verify reports them itself).
bool RefuseDamaged(const char* command, const std::string& path, const TTorrentFile& torrent, bool loaded,
                   const char* consequence, bool layerFaultsAllowed = false);
