// quorvane-cli trackers [--refresh] [--url URL]...: the tracker selection the
// desktop program offers, one tracker per line, optionally downloaded afresh.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/Terminal.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "net/PollLoop.h"
#include "trackers/HttpListDownloader.h"
#include "trackers/SavedTrackers.h"
#include "trackers/TrackerRefresh.h"

namespace {

const char* const TrackersUsage = "trackers [--refresh] [--url URL]...";

// privateCount: how many entries at the end of the selection are private trackers.
void PrintTrackers(const std::vector<TTracker>& trackers, size_t privateCount) {
  const size_t firstPrivate = trackers.size() - std::min(privateCount, trackers.size());
  for (size_t i = 0; i < trackers.size(); ++i) {
    const TTracker& t = trackers[i];
    const char* mark = i >= firstPrivate ? "private" : t.Down ? "DOWN" : "UP";
    std::printf("%s\t%s\t%s\n", ForTerminal(t.Name).c_str(), ForTerminal(t.Announce).c_str(), mark);
  }
}

// The refresh's message boxes, on stderr; nobody is there to answer Yes.
class TCliDialogs : public TDialogs {
 public:
  TMsgResult MessageBox(const std::string& text, const std::string& caption, TMsgButtons buttons) override {
    std::fprintf(stderr, "quorvane-cli trackers: %s: %s\n", caption.c_str(), ForTerminal(text).c_str());
    return buttons == TMsgButtons::Ok ? TMsgResult::Ok : TMsgResult::No;
  }
  std::optional<std::string> SaveDialog(const TSaveDialogOptions&) override { return std::nullopt; }
  std::optional<std::string> PickFolder(const std::string&) override { return std::nullopt; }
};

int ListSaved() {
  TTrackerList list;
  const std::string error = LoadSavedTrackers(list, TTrackerCache::Installed(), SettingsFileName());
  // A list that did not parse brings no private trackers in.
  PrintTrackers(list.Trackers, error.empty() ? list.PrivateTrackers.size() : 0);
  if (!error.empty()) {
    std::fprintf(stderr, "quorvane-cli trackers: %s\n", ForTerminal(error).c_str());
    return ExitFailure;
  }
  return ExitOk;
}

int Refresh(const std::vector<std::string>& urls) {
  TTrackerList list;
  list.PrivateTrackers = LoadPrivateTrackers(TProfileFile(SettingsFileName()));
  TPollLoop loop;
  TCliDialogs dialogs;
  TRefreshOutcome outcome = TRefreshOutcome::Error;
  TTrackerRefreshEvents events;
  events.ErrorReport = [](const std::string& message) {
    std::fprintf(stderr, "quorvane-cli trackers: %s\n", ForTerminal(message).c_str());
  };
  events.Finished = [&outcome](TRefreshOutcome o) { outcome = o; };
  TTrackerRefresh refresh(list.Trackers, list.PrivateTrackers, TTrackerCache::Installed(),
                          urls.empty() ? DefaultTrackerListUrls() : urls,
                          std::make_unique<THttpListDownloader>(loop), dialogs, std::move(events));
  refresh.Run();
  // Every attempt is bounded by the downloader's own time limit.
  loop.RunUntil([&refresh] { return !refresh.Busy(); }, TEventLoop::NoLimit);
  for (const auto& failure : refresh.FailedAttempts())
    std::fprintf(stderr, "quorvane-cli trackers: %s\n", ForTerminal(failure).c_str());
  const bool parsed = outcome == TRefreshOutcome::Downloaded || outcome == TRefreshOutcome::DownloadFailed;
  PrintTrackers(list.Trackers, parsed ? list.PrivateTrackers.size() : 0);
  return outcome == TRefreshOutcome::Downloaded ? ExitOk : ExitFailure;
}

const TOptionSpec TrackersOptions[] = {
    {.Long = "refresh"},
    {.Long = "url", .Kind = TArgKind::Value},
};

void PrintHelp() {
  std::printf(
      "Usage: quorvane-cli %s\n\n"
      "Prints the tracker selection: the cached tracker list, then the private trackers\n"
      "of the settings file. One tracker per line: name, announce URL and UP, DOWN or\n"
      "private, separated by tabs.\n\n"
      "  --refresh    download the list first and keep it as the cache; when no address\n"
      "               gives a valid list, say so, print the cached list and exit 1\n"
      "  --url URL    an address to download from, tried in the order given (implies\n"
      "               --refresh; default: the program's two list addresses)\n"
      "\n"
      "create and edit take the names of this list (and of the private trackers) as\n"
      "trackers; the names match without regard to case.\n"
      "Exit status: 0 listed (with --refresh: a list was downloaded), 1 the cached list\n"
      "could not be read or no address gave a valid list (what there is still printed),\n"
      "2 usage error.\n",
      TrackersUsage);
}

int RunTrackers(const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, TrackersOptions);
  if (!parsed.Operands.empty()) throw EUsage("unexpected argument \"" + parsed.Operands.front() + "\"");
  const std::vector<std::string> urls = parsed.All("url");
  return parsed.Has("refresh") || !urls.empty() ? Refresh(urls) : ListSaved();
}

const TCliRegistration registration({
    .Name = "trackers",
    .Usage = TrackersUsage,
    .Summary = "lists the trackers to choose from",
    .Run = RunTrackers,
    .PrintHelp = PrintHelp,
});

}  // namespace
