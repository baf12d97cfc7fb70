#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "Version.h"
#include "base/Stream.h"
#include "base/Terminal.h"
#include "cli/Args.h"
#include "cli/Commands.h"

namespace {

std::vector<TCliCommand>& Registry() {
  static std::vector<TCliCommand> commands;
  return commands;
}

void PrintUsage(FILE* out) {
  std::fprintf(out, "Usage: quorvane-cli COMMAND [OPTIONS] ...\n\nCommands:\n");
  for (const auto& c : Registry()) std::fprintf(out, "  %-44s %s\n", c.Usage, c.Summary);
  std::fprintf(out,
               "\n  quorvane-cli COMMAND --help   describes one command (also: help COMMAND)\n"
               "  quorvane-cli --version, -V    prints the version\n");
}

// Output cut short by a full disk or a closed pipe is a failure, not a
// success with half a report: every command's output is checked once here.
int CheckedExit(const char* command, int status) {
  errno = 0;
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  int err = errno;
  // A write that failed earlier leaves only the error flag; an empty write
  // asks the device for its reason again (a full device gives ENOSPC).
  if (err == 0 && ::write(STDOUT_FILENO, "", 0) < 0) err = errno;
  if (err == 0) err = EIO;
  std::fprintf(stderr, "quorvane-cli%s%s: Cannot write standard output: %s\n", command ? " " : "",
               command ? command : "", std::strerror(err));
  return status == ExitOk ? ExitFailure : status;
}

}  // namespace

TCliRegistration::TCliRegistration(const TCliCommand& command) { Registry().push_back(command); }

const std::vector<TCliCommand>& CliCommands() { return Registry(); }

int main(int argc, char** argv) {
  // Ctrl-C or a kill during a save must not leave the temporary file behind.
  InstallTempFileCleanup();
  if (argc < 2) {
    PrintUsage(stderr);
    return ExitUsage;
  }
  const std::string first = argv[1];
  if (first == "help" && argc > 2) {
    // "help COMMAND", as git and imdl take it.
    for (const auto& c : Registry()) {
      if (argv[2] != std::string(c.Name)) continue;
      c.PrintHelp();
      return CheckedExit(c.Name, ExitOk);
    }
    std::fprintf(stderr, "quorvane-cli help: unknown command \"%s\"\n", ForTerminal(argv[2]).c_str());
    PrintUsage(stderr);
    return ExitUsage;
  }
  // Unambiguous prefixes, as every command's long options take them.
  const auto prefixOf = [&first](const char* option) {
    return first.size() > 2 && std::string_view(option).starts_with(first);
  };
  if (prefixOf("--help") || first == "-h" || first == "help") {
    PrintUsage(stdout);
    return CheckedExit(nullptr, ExitOk);
  }
  if (prefixOf("--version") || first == "-V") {
    std::printf("quorvane-cli %s\n", Version());
    return CheckedExit(nullptr, ExitOk);
  }
  for (const auto& c : Registry()) {
    if (first != c.Name) continue;
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (WantsHelp(args)) {
      c.PrintHelp();
      return CheckedExit(c.Name, ExitOk);
    }
    TSafeFileStream::SetWaitNotice([name = c.Name](const std::string& target) {
      std::fprintf(stderr, "quorvane-cli %s: %s: waiting for another program writing it to finish\n", name,
                   ForTerminal(target).c_str());
    });
    int status;
    try {
      status = c.Run(args);
    } catch (const EUsage& e) {
      status = UsageError(c.Name, e.what(), c.FullUsage ? c.FullUsage : c.Usage);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "quorvane-cli %s: %s\n", c.Name, ForTerminal(e.what()).c_str());
      status = ExitFailure;
    }
    return CheckedExit(c.Name, status);
  }
  std::fprintf(stderr, "quorvane-cli: unknown command \"%s\"\n", ForTerminal(first).c_str());
  PrintUsage(stderr);
  return ExitUsage;
}
