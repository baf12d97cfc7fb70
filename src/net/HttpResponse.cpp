#include "net/HttpResponse.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "base/Text.h"
#include "net/Url.h"

namespace {

// A whole decimal integer that fits 32 bits, or nothing.
bool ParseInt(const std::string& text, int& value) {
  const std::string t = Trim(text);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  if (i >= t.size()) return false;
  int64_t v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    v = v * 10 + (t[i] - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > 2147483647LL) return false;
  value = static_cast<int>(v);
  return true;
}

}  // namespace

void THttpResponse::Begin(bool headRequest) {
  // stopped_ stays: a listener may start over from inside Feed and stop it.
  phase_ = TPhase::Header;
  head_ = headRequest;
  error_.clear();
  line_.clear();
  lineCount_ = 0;
  headerBytes_ = 0;
  interim_ = 0;
  chunked_ = false;
  headerStarted_ = false;
  headerless_ = false;
  bodyPasses_ = 0;
  version_.clear();
  statusCode_ = 0;
  reason_.clear();
  contentLength_ = -1;
  contentType_.clear();
  transferEncoding_.clear();
  serverWantsClose_ = false;
  header_.clear();
  bodyCount_ = 0;
  chunkState_ = TChunk::Size;
  chunkLength_ = chunkRead_ = 0;
  chunkLineBytes_ = 0;
  chunkDigits_ = false;
}

void THttpResponse::Fail(std::string error) {
  phase_ = TPhase::Failed;
  error_ = std::move(error);
}

void THttpResponse::Feed(const char* data, size_t length) {
  stopped_ = false;
  while (length > 0 && Running()) {
    const size_t used = phase_ == TPhase::Header ? FeedHeader(data, length) : FeedBody(data, length);
    data += used;
    length -= used;
  }
}

size_t THttpResponse::FeedHeader(const char* data, size_t length) {
  const void* lf = std::memchr(data, '\n', length);
  if (!lf) {
    line_.append(data, length);
    if (line_.size() >= MaxLine) Fail("HTTP line too long");
    return length;
  }
  const size_t used = static_cast<size_t>(static_cast<const char*>(lf) - data) + 1;
  line_.append(data, used - 1);
  if (line_.size() >= MaxLine) {
    Fail("HTTP line too long");
    return used;
  }
  const bool cr = !line_.empty() && line_.back() == '\r';
  if (cr) line_.pop_back();
  const std::string line = std::move(line_);
  line_.clear();
  HeaderLine(line, cr ? "\r\n" : "\n");
  return used;
}

void THttpResponse::HeaderLine(const std::string& line, const char* lineEnd) {
  if (lineCount_ == 0) {
    headerStarted_ = true;
    if (listener_) listener_->HeaderBegin();
  } else if (lineCount_ == -1) {
    lineCount_ = 0;
  }
  ++lineCount_;

  if (lineCount_ == 1 && AsciiUpper(line.substr(0, 6)) == "<HTML>") {
    // No header at all: the document starts here, as it came.
    headerless_ = true;
    if (contentType_.empty()) contentType_ = "text/html";
    if (listener_) listener_->HeaderEnd(true);
    if (!Running()) return;
    phase_ = TPhase::Body;
    const std::string first = line + lineEnd;
    Deliver(first.data(), first.size());
    return;
  }
  if (line.empty()) {
    HeaderEnded();
    return;
  }

  headerBytes_ += line.size();
  if (header_.size() >= MaxHeaderLines || headerBytes_ > MaxHeaderBytes) {
    Fail("The response header is too large (more than " + std::to_string(MaxHeaderLines) + " lines or " +
         std::to_string(MaxHeaderBytes / 1024) + " KiB)");
    return;
  }
  header_.push_back(line);
  if (lineCount_ == 1) {
    if (line.starts_with("HTTP/1.0") || line.starts_with("HTTP/1.1")) {
      version_ = line.substr(5, 3);
      // "HTTP/1.x", a space, exactly three digits, then a space or the end.
      const size_t statusEnd = line.find(' ', 9);
      const std::string status =
          line.substr(std::min<size_t>(9, line.size()), std::min<size_t>(statusEnd, 29) - 9);
      const bool digits = status.size() == 3 && std::all_of(status.begin(), status.end(),
                                                            [](char c) { return c >= '0' && c <= '9'; });
      if (line.size() < 12 || line[8] != ' ' || !digits || !ParseInt(status, statusCode_)) {
        statusCode_ = 0;
        Fail("Invalid status code in the response: '" + status + "'");
        return;
      }
      reason_ = line.size() > 13 ? line.substr(13) : std::string();
      if (listener_) listener_->StatusLine();
    } else if (listener_) {
      listener_->UnknownFirstLine();
    }
  } else {
    const auto colon = line.find(':');
    if (colon != std::string::npos) {
      const std::string field = AsciiLower(line.substr(0, colon));
      size_t start = colon + 1;
      // Blanks only, and never the line's last character.
      while (start + 1 < line.size() && line[start] == ' ') ++start;
      const std::string value = line.substr(std::min(start, line.size()));
      if (field == "content-length") {
        if (!ParseInt(value, contentLength_)) contentLength_ = -1;
      } else if (field == "transfer-encoding") {
        transferEncoding_ = value;
        chunked_ = AsciiLower(Trim(value)) == "chunked";
      } else if (field == "content-type") {
        contentType_ = AsciiLower(value);
      } else if (field == "connection") {
        if (Trim(value) == "close") serverWantsClose_ = true;
      }
      if (listener_) listener_->HeaderField(field, value);
      if (!Running()) return;
    }
  }
  if (listener_) listener_->HeaderData();
}

void THttpResponse::HeaderEnded() {
  if (version_ == "1.1" && statusCode_ == 100) {
    // An interim response: the real header follows, and none of the interim
    // one's fields (a Content-Length, say) carries over to it.
    if (++interim_ > MaxInterim) {
      Fail("Too many interim responses (more than " + std::to_string(MaxInterim) + ")");
      return;
    }
    header_.clear();
    headerBytes_ = 0;
    chunked_ = false;
    lineCount_ = -1;
    contentLength_ = -1;
    contentType_.clear();
    transferEncoding_.clear();
    serverWantsClose_ = false;
    if (listener_) listener_->Interim();
    return;
  }
  const bool bodyExpected =
      !head_ && contentLength_ != 0 &&
      (contentLength_ != -1 || (statusCode_ >= 200 && statusCode_ != 204 && statusCode_ != 304));
  if (listener_) listener_->HeaderEnd(bodyExpected);
  if (stopped_ || phase_ != TPhase::Header) return;  // the listener failed or started over
  if (bodyExpected)
    phase_ = TPhase::Body;
  else
    phase_ = TPhase::Done;
}

size_t THttpResponse::FeedBody(const char* data, size_t length) {
  if (Chunked()) return FeedChunked(data, length);
  size_t n = length;
  if (contentLength_ >= 0)
    n = static_cast<size_t>(std::clamp<int64_t>(contentLength_ - bodyCount_, 0, static_cast<int64_t>(n)));
  Deliver(data, n);
  if (contentLength_ >= 0 && bodyCount_ >= contentLength_ && Running()) DocumentEnd();
  // Bytes past Content-Length belong to no document.
  return length;
}

size_t THttpResponse::FeedChunked(const char* data, size_t length) {
  const char* p = data;
  const char* end = data + length;
  while (p < end && Running()) {
    switch (chunkState_) {
      case TChunk::Size:
        if (IsHexDigit(*p)) {
          chunkLength_ = chunkLength_ * 16 + HexDigitValue(*p);
          ++p;
          if (chunkLength_ > INT_MAX) {
            Fail("Invalid chunk size: more than " + std::to_string(INT_MAX) + " bytes");
            return length;
          }
          // Leading zeros count: the line is capped, whatever it holds.
          if (!ChunkLineByte()) return length;
          chunkDigits_ = true;
        } else if (!chunkDigits_) {
          Fail("Invalid chunk size: the line holds no hexadecimal number");
          return length;
        } else {
          chunkState_ = TChunk::SizeLine;
        }
        break;
      case TChunk::SizeLine:
        // Extensions are skipped, up to and including the line end.
        if (*p++ == '\n') {
          chunkState_ = TChunk::Data;
          chunkLineBytes_ = 0;
        } else if (!ChunkLineByte()) {
          return length;
        }
        break;
      case TChunk::Data: {
        const size_t n = static_cast<size_t>(std::min<int64_t>(end - p, chunkLength_ - chunkRead_));
        if (n > 0) {
          chunkRead_ += static_cast<int64_t>(n);
          Deliver(p, n);
          p += n;
        }
        if (chunkRead_ >= chunkLength_) chunkState_ = TChunk::DataEnd;
        break;
      }
      case TChunk::DataEnd: {
        const char c = *p++;
        if (c == '\n') {
          chunkState_ = chunkLength_ == 0 ? TChunk::End : TChunk::Size;
          chunkLength_ = chunkRead_ = 0;
          chunkLineBytes_ = 0;
          chunkDigits_ = false;
        } else if (chunkLength_ > 0 && (c != '\r' || chunkLineBytes_ > 0)) {
          // Data goes on past its size: the stream is out of step.
          Fail("Invalid chunk: more bytes than its size");
          return length;
        } else if (!ChunkLineByte()) {
          return length;  // the trailers after the last chunk, capped as well
        }
        break;
      }
      case TChunk::End:
        p = end;
        break;
    }
  }
  // A zero-size chunk ends the document once the line end after it has come.
  if (chunkState_ == TChunk::End && Running()) DocumentEnd();
  return length;
}

bool THttpResponse::ChunkLineByte() {
  if (++chunkLineBytes_ < MaxLine) return true;
  Fail("Invalid chunk: a line of more than " + std::to_string(MaxLine) + " bytes");
  return false;
}

void THttpResponse::Deliver(const char* data, size_t length) {
  if (bodyPasses_++ == 0 && listener_) {
    listener_->DocBegin();
    if (!Running()) return;
  }
  if (length == 0) return;
  bodyCount_ += static_cast<int64_t>(length);
  if (listener_) listener_->DocData(data, length);
}

void THttpResponse::DocumentEnd() {
  phase_ = TPhase::Done;
  if (listener_) listener_->DocEnd();
}

THttpResponse::TAtClose THttpResponse::ConnectionClosed() {
  const TPhase phase = phase_;
  if (phase == TPhase::Done || phase == TPhase::Failed) return TAtClose::AlreadyComplete;
  phase_ = TPhase::Done;
  if (phase == TPhase::Header) return headerStarted_ ? TAtClose::HeaderCut : TAtClose::Nothing;
  if (Chunked() || contentLength_ >= 0) return TAtClose::DocumentCut;
  return TAtClose::DocumentEnds;
}
