#include "trackers/TrackerRefresh.h"

#include "base/Stream.h"

#ifndef QUORVANE_TRACKERS_URL
#define QUORVANE_TRACKERS_URL "http://www.quorvane.net/torrent/trackers.lst"
#endif
#ifndef QUORVANE_TRACKERS_URL2
#define QUORVANE_TRACKERS_URL2 "http://home.quorvane.net/~quorvane/trackers.lst"
#endif

std::vector<std::string> DefaultTrackerListUrls() { return {QUORVANE_TRACKERS_URL, QUORVANE_TRACKERS_URL2}; }

TTrackerRefresh::TTrackerRefresh(std::vector<TTracker>& trackers,
                                 const std::vector<TTracker>& privateTrackers, TTrackerCache cache,
                                 std::vector<std::string> urls, std::unique_ptr<TListDownloader> downloader,
                                 TDialogs& dialogs, TTrackerRefreshEvents events)
    : trackers_(trackers),
      privateTrackers_(privateTrackers),
      cache_(std::move(cache)),
      urls_(std::move(urls)),
      downloader_(std::move(downloader)),
      dialogs_(dialogs),
      events_(std::move(events)) {}

void TTrackerRefresh::Run() {
  if (busy_) {
    queued_ = true;
    return;
  }
  busy_ = true;
  Begin();
}

void TTrackerRefresh::Begin() {
  failures_.clear();
  next_ = 0;
  if (events_.Status) events_.Status("Attempting to update tracker list...");
  if (events_.NoUpdate && events_.NoUpdate()) {
    UseCache(TRefreshOutcome::Cached);
    return;
  }
  FetchNext();
}

void TTrackerRefresh::FetchNext() {
  if (next_ >= urls_.size() || !downloader_) {
    dialogs_.MessageBox("There was an error updating the tracker list, information may not be current!",
                        "Warning", TMsgButtons::Ok);
    UseCache(TRefreshOutcome::DownloadFailed);
    return;
  }
  const std::string url = urls_[next_++];
  downloader_->Fetch(url, [this, url](const TListDownload& download) { Downloaded(url, download); });
}

void TTrackerRefresh::Downloaded(const std::string& url, const TListDownload& download) {
  std::string failure;
  if (!download.Completed) {
    failure = download.Error.empty() ? "the request failed" : download.Error;
  } else if (download.StatusCode != 200) {
    failure = "status " + std::to_string(download.StatusCode) +
              (download.Reason.empty() ? std::string() : " (" + download.Reason + ")");
  } else if (static_cast<int64_t>(download.Body.size()) > MaxTrackerListSize) {
    failure = "the list is larger than 1 MiB";
  } else {
    // Only a list that parses completely may replace the cache: a captive
    // portal's page or a cut-off file counts as a failed attempt.
    const TTrackerListParse parse = ParseTrackerList(download.Body);
    const size_t nul = download.Body.find('\0');
    // An empty list, or one cut at a NUL (with bytes behind it or not), is
    // valid, but more likely a broken server or download than the real list:
    // it never replaces a cache that names trackers.
    const char* doubt = parse.Entries.empty()            ? "it names no tracker"
                        : nul == std::string::npos       ? nullptr
                        : nul + 1 < download.Body.size() ? "bytes after a NUL byte"
                                                         : "a NUL byte at its end";
    if (parse.Ok() && doubt && CacheNamesTrackers()) {
      failure = std::string("not a tracker list (") + doubt + "; the cached list is kept)";
    } else if (parse.Ok()) {
      if (Store(download.Body) && Apply(parse)) {
        End(TRefreshOutcome::Downloaded);
      } else {
        End(TRefreshOutcome::Error);
      }
      return;
    } else {
      failure = "not a tracker list (" + parse.Error + ")";
    }
  }
  failures_.push_back(url + ": " + failure);
  FetchNext();
}

bool TTrackerRefresh::CacheNamesTrackers() const {
  try {
    const std::optional<std::string> bytes = cache_.Read();
    if (!bytes) return false;
    const TTrackerListParse cached = ParseTrackerList(*bytes);
    return cached.Ok() && !cached.Entries.empty();
  } catch (const std::exception&) {
    return false;
  }
}

void TTrackerRefresh::UseCache(TRefreshOutcome outcome) {
  std::optional<std::string> bytes;
  try {
    bytes = cache_.Read();
  } catch (const std::exception& e) {
    if (events_.ErrorReport) events_.ErrorReport(e.what());
    End(TRefreshOutcome::Error);
    return;
  }
  if (!bytes) {
    dialogs_.MessageBox("No cached version of the tracker list could be found; you're on your own", "Error",
                        TMsgButtons::Ok);
    // The selection is emptied; Trackers keeps what it held.
    if (events_.FillSelection) events_.FillSelection({});
    End(TRefreshOutcome::NoCache);
    return;
  }
  // The cache is stored again as read, so the installed list becomes the cache
  // on first use; a damaged cache is reported by the parse below.
  if (!Store(*bytes)) {
    End(TRefreshOutcome::Error);
    return;
  }
  End(Apply(ParseTrackerList(*bytes)) ? outcome : TRefreshOutcome::Error);
}

bool TTrackerRefresh::Store(const std::string& bytes) {
  try {
    cache_.Write(bytes);
    return true;
  } catch (const std::exception& e) {
    if (events_.ErrorReport) events_.ErrorReport(e.what());
    return false;
  }
}

bool TTrackerRefresh::Apply(const TTrackerListParse& parse) {
  if (parse.VersionRead && parse.Version > TrackerListRelease) {
    const TMsgResult answer = dialogs_.MessageBox("A new version of Quorvane is afvailable! Update now?",
                                                  "Version Check", TMsgButtons::YesNo);
    if (answer == TMsgResult::Yes && IsBrowsableUrl(parse.UpdateURL) && events_.OpenUrl)
      events_.OpenUrl(parse.UpdateURL);
  }
  if (parse.EntriesReached) {
    // After a fault half-way the selection shows what was read before it.
    trackers_ = parse.Ok() ? CombineTrackers(parse.Entries, privateTrackers_) : parse.Entries;
    if (events_.FillSelection) events_.FillSelection(TrackerNames(trackers_));
  }
  if (!parse.Ok()) {
    if (events_.ErrorReport) events_.ErrorReport(parse.Error);
    return false;
  }
  if (events_.Status) events_.Status("Tracker list loaded!");
  return true;
}

void TTrackerRefresh::End(TRefreshOutcome outcome) {
  if (outcome != TRefreshOutcome::Error && events_.RememberedTracker && events_.SetTrackerText) {
    if (const std::optional<std::string> remembered = events_.RememberedTracker())
      events_.SetTrackerText(*remembered);
  }
  busy_ = false;
  if (events_.Finished) events_.Finished(outcome);
  if (queued_) {
    queued_ = false;
    Run();
  }
}
