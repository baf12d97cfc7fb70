#include "trackers/HttpListDownloader.h"

THttpListDownloader::THttpListDownloader(TEventLoop& loop, std::chrono::milliseconds timeout)
    : loop_(loop), timeout_(timeout), cli_(loop), timer_(loop), buffer_(*this) {
  cli_.Agent = "Mozilla/3.0 (compatible; Quorvane v2.1 beta)";
  cli_.Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
  cli_.SetRequestVer("1.0");
  cli_.FollowRelocation = true;
  cli_.NoCache = false;
  cli_.LocalAddr = "0.0.0.0";
  cli_.ProxyPort = "80";
  cli_.SetMultiThreaded(false);
  cli_.ContentTypePost = "application/x-www-form-urlencoded";
  cli_.ReceiveStream = &buffer_;
  // A redirecting response's own body is not part of the list.
  cli_.OnLocationChange = [this](THttpCli&) { buffer_.Bytes.clear(); };
  // The refresh may start its next attempt from the completion: let the
  // client finish its own handler first.
  cli_.OnRequestDone = [this](THttpCli&, THttpRequest, uint16_t error) {
    std::weak_ptr<int> alive = alive_;
    const uint64_t attempt = attempt_;
    loop_.Post([this, alive, attempt, error] {
      if (!alive.expired() && attempt == attempt_) RequestDone(error);
    });
  };
}

THttpListDownloader::~THttpListDownloader() {
  done_ = nullptr;
  cli_.OnRequestDone = nullptr;
  cli_.OnLocationChange = nullptr;
  timer_.Stop();
  if (cli_.State() != THttpClientState::Ready) cli_.Abort();
  cli_.ReceiveStream = nullptr;
}

void THttpListDownloader::Fetch(const std::string& url, std::function<void(TListDownload)> done) {
  if (done_) throw std::logic_error("THttpListDownloader: a download is already running");
  ++attempt_;
  buffer_.Bytes.clear();
  failure_.clear();
  done_ = std::move(done);
  cli_.URL = url;
  timer_.Start(timeout_, [this] { Expire(); });
  try {
    cli_.RequestAsync(THttpRequest::httpGET);
  } catch (const std::exception& e) {
    // Announced from the loop, like every other end of an attempt.
    failure_ = e.what();
    timer_.Stop();
    std::weak_ptr<int> alive = alive_;
    const uint64_t attempt = attempt_;
    loop_.Post([this, alive, attempt] {
      if (!alive.expired() && attempt == attempt_ && done_) RequestDone(1);
    });
  }
}

void THttpListDownloader::Expire() {
  if (!done_ || !failure_.empty()) return;
  failure_ = "no answer within " + std::to_string(timeout_.count() / 1000) + " s";
  if (cli_.State() != THttpClientState::Ready) cli_.Abort();
}

void THttpListDownloader::AbortLater() {
  if (!failure_.empty()) return;
  failure_ = "the list is larger than 1 MiB";
  // Not from inside the client's own data handler: abort from the loop.
  std::weak_ptr<int> alive = alive_;
  const uint64_t attempt = attempt_;
  loop_.Post([this, alive, attempt] {
    if (!alive.expired() && attempt == attempt_ && done_ && cli_.State() != THttpClientState::Ready)
      cli_.Abort();
  });
}

void THttpListDownloader::RequestDone(uint16_t error) {
  if (!done_) return;
  timer_.Stop();
  TListDownload result;
  result.StatusCode = cli_.StatusCode();
  if (!failure_.empty()) {
    result.Error = failure_;
  } else if (error != 0 || cli_.OwnFailure()) {
    // The client's own reason ("https is not supported", "can't connect: ...");
    // its 404 is no server's answer.
    result.Error = !cli_.ReasonPhrase().empty() ? cli_.ReasonPhrase() : "error " + std::to_string(error);
  } else {
    result.Reason = cli_.ReasonPhrase();
    result.Completed = true;
    result.Body = std::move(buffer_.Bytes);
  }
  buffer_.Bytes.clear();
  std::function<void(TListDownload)> done = std::move(done_);
  done_ = nullptr;
  done(std::move(result));
}

int64_t THttpListDownloader::TLimitedBuffer::Write(const void* buffer, int64_t count) {
  if (static_cast<int64_t>(Bytes.size()) + count > MaxTrackerListSize) {
    owner_.AbortLater();
    return count;  // dropped: the attempt has failed already
  }
  Bytes.append(static_cast<const char*>(buffer), static_cast<size_t>(count));
  return count;
}

int64_t THttpListDownloader::TLimitedBuffer::Seek(int64_t offset, TSeekOrigin origin) {
  // Always written at its end; the position is only ever asked for.
  (void)offset;
  (void)origin;
  return static_cast<int64_t>(Bytes.size());
}
