#pragma once
// The tracker-list refresh: download the list (primary address, then the
// fallback), check it, keep it in the cache, or else fall back on the cache;
// then rebuild the selection. The window only wires its controls to the events.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "trackers/TrackerCache.h"
#include "trackers/TrackerList.h"

// The list's two addresses, the primary first.
std::vector<std::string> DefaultTrackerListUrls();

// A list larger than this is refused: the real one is a few kilobytes.
inline constexpr int64_t MaxTrackerListSize = 1024 * 1024;
// An attempt still running after this long is given up.
inline constexpr int TrackerListTimeoutMs = 30000;

// The outcome of one download attempt.
struct TListDownload {
  bool Completed = false;  // the request ended without a raised error
  int StatusCode = 0;      // the final status, after redirections
  std::string Body;        // the final document only
  std::string Error;       // why the request failed, when it did
  std::string Reason;      // the server's reason text for StatusCode
};

// Fetches one address at a time for the refresh.
class TListDownloader {
 public:
  virtual ~TListDownloader() = default;
  // Starts a GET of url; done runs exactly once when the attempt has ended,
  // unless the downloader is destroyed first. Never called while busy.
  virtual void Fetch(const std::string& url, std::function<void(TListDownload)> done) = 0;
};

enum class TRefreshOutcome {
  Downloaded,      // a list was downloaded, stored and loaded
  Cached,          // updating is off: the cached list was loaded
  DownloadFailed,  // every address failed: the cached list was loaded
  NoCache,         // nothing downloaded and no cache: the selection is empty
  Error,           // the general error report ended the refresh
};

// What the refresh does to the window, and what it asks of it.
struct TTrackerRefreshEvents {
  std::function<void(const std::string&)> Status;  // StatusBar1's text
  std::function<void(const std::vector<std::string>&)>
      FillSelection;                                    // cmbAnnounceURL's items (text left alone)
  std::function<void(const std::string&)> OpenUrl;      // the browser; only http(s) reaches it
  std::function<void(const std::string&)> ErrorReport;  // the general error report
  std::function<bool()> NoUpdate;                       // chkNoUpdate is checked
  // The remembered tracker when chkRememberTracker is checked ("memory"/"tracker",
  // default TrackerPrompt); nothing when it is not.
  std::function<std::optional<std::string>()> RememberedTracker;
  // Sets cmbAnnounceURL's text and runs cmbAnnounceURL2Change.
  std::function<void(const std::string&)> SetTrackerText;
  std::function<void(TRefreshOutcome)> Finished;  // optional
};

class TTrackerRefresh {
 public:
  // trackers and privateTrackers are the window's Trackers and PrivateTrackers.
  TTrackerRefresh(std::vector<TTracker>& trackers, const std::vector<TTracker>& privateTrackers,
                  TTrackerCache cache, std::vector<std::string> urls,
                  std::unique_ptr<TListDownloader> downloader, TDialogs& dialogs,
                  TTrackerRefreshEvents events);

  // updateTimerTimer. A refresh asked for while one waits for its download is
  // queued and runs once the running one has finished.
  void Run();
  bool Busy() const { return busy_; }
  bool Queued() const { return queued_; }
  // Why each address of the last refresh failed, "URL: reason", in order.
  const std::vector<std::string>& FailedAttempts() const { return failures_; }
  const TTrackerCache& Cache() const { return cache_; }

 private:
  void Begin();
  void FetchNext();
  void Downloaded(const std::string& url, const TListDownload& download);
  void UseCache(TRefreshOutcome outcome);
  bool Store(const std::string& bytes);
  bool Apply(const TTrackerListParse& parse);
  void End(TRefreshOutcome outcome);

  std::vector<TTracker>& trackers_;
  const std::vector<TTracker>& privateTrackers_;
  TTrackerCache cache_;
  // True when the cache holds a list that parses and names at least one tracker.
  bool CacheNamesTrackers() const;
  std::vector<std::string> urls_;
  std::unique_ptr<TListDownloader> downloader_;
  TDialogs& dialogs_;
  TTrackerRefreshEvents events_;
  size_t next_ = 0;
  bool busy_ = false;
  bool queued_ = false;
  std::vector<std::string> failures_;
};
