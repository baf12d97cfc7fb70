#pragma once
// The refresh's downloader on the HTTP client (HttpCli1): one GET at a time on
// the event loop, only the final document kept, never more than
// MaxTrackerListSize bytes, and given up after TrackerListTimeoutMs.

#include <chrono>
#include <memory>

#include "base/Stream.h"
#include "net/HttpProt.h"
#include "trackers/LoopTimer.h"
#include "trackers/TrackerRefresh.h"

class THttpListDownloader : public TListDownloader {
 public:
  explicit THttpListDownloader(
      TEventLoop& loop, std::chrono::milliseconds timeout = std::chrono::milliseconds(TrackerListTimeoutMs));
  ~THttpListDownloader() override;

  void Fetch(const std::string& url, std::function<void(TListDownload)> done) override;
  // Gives the running attempt up, as the timer does when it expires.
  void Expire();
  bool Busy() const { return static_cast<bool>(done_); }
  THttpCli& Client() { return cli_; }

 private:
  // The refresh buffer: refuses to grow past the limit.
  class TLimitedBuffer : public TStream {
   public:
    explicit TLimitedBuffer(THttpListDownloader& owner) : owner_(owner) {}
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(Bytes.size()); }
    std::string Bytes;

   private:
    THttpListDownloader& owner_;
  };

  void AbortLater();
  void RequestDone(uint16_t error);

  TEventLoop& loop_;
  std::chrono::milliseconds timeout_;
  THttpCli cli_;
  TLoopTimer timer_;
  TLimitedBuffer buffer_;
  std::function<void(TListDownload)> done_;
  std::string failure_;   // why we gave the attempt up ourselves
  uint64_t attempt_ = 0;  // a posted abort never reaches a later attempt
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
