#pragma once
// The reading of one HTTP response, apart from any socket: bytes go in, split
// anywhere; the status line, header fields, body bytes (identity, cut at
// Content-Length, or chunked) and the document's end come out as calls to a
// listener. THttpCli feeds it from its connection; tests and the fuzzer feed it
// directly.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class THttpResponse {
 public:
  // Every call is optional. They run from inside Feed, in the order of the bytes.
  class TListener {
   public:
    virtual ~TListener() = default;
    virtual void HeaderBegin() {}
    // The status line has been read (Version, StatusCode and Reason are set).
    virtual void StatusLine() {}
    // The first line is neither a status line nor "<HTML>"; it is kept, not parsed.
    virtual void UnknownFirstLine() {}
    // A "name: value" line; name lower-cased, value without the blanks after the colon.
    virtual void HeaderField(const std::string& name, const std::string& value) {
      (void)name;
      (void)value;
    }
    // After every non-empty header line.
    virtual void HeaderData() {}
    // An interim 1.1 100 response was skipped; the real header follows.
    virtual void Interim() {}
    virtual void HeaderEnd(bool bodyExpected) { (void)bodyExpected; }
    virtual void DocBegin() {}
    virtual void DocData(const char* data, size_t length) {
      (void)data;
      (void)length;
    }
    virtual void DocEnd() {}
  };

  enum class TPhase {
    Header,  // reading the header (or waiting for it)
    Body,    // reading the body
    Done,    // the response is complete; further bytes belong to no response
    Failed,  // the response cannot be read; Error() says why
  };

  // The longest header line (and the longest chunk-size line) we wait for.
  static constexpr size_t MaxLine = 8192;
  // A header's lines and bytes, and the interim responses before the real
  // one: real servers stay far below these, and a hostile one cannot make
  // the client keep its header without end.
  static constexpr size_t MaxHeaderLines = 100;
  static constexpr size_t MaxHeaderBytes = 64 * 1024;
  static constexpr int MaxInterim = 10;

  explicit THttpResponse(TListener* listener = nullptr) : listener_(listener) {}
  void SetListener(TListener* listener) { listener_ = listener; }

  // Gets ready for the response to a new request; HEAD responses have no body.
  void Begin(bool headRequest);
  // Reads bytes; returns at once in Done or Failed, or once Stop was called.
  void Feed(const char* data, size_t length);
  void Feed(std::string_view bytes) { Feed(bytes.data(), bytes.size()); }
  // The listener's way to stop reading (the rest of the current Feed is dropped).
  void Stop() { stopped_ = true; }

  // What the end of the connection means for the response.
  enum class TAtClose {
    Nothing,         // no byte of a response had arrived
    HeaderCut,       // the connection closed inside the header
    DocumentEnds,    // a body without a length: the close ends it (DocEnd is called)
    DocumentCut,     // a body with a length or chunks, closed before its end
    AlreadyComplete  // the response had ended (or failed) before
  };
  TAtClose ConnectionClosed();

  TPhase Phase() const { return phase_; }
  const std::string& Error() const { return error_; }
  bool HeaderStarted() const { return headerStarted_; }
  bool BodyStarted() const { return bodyPasses_ > 0; }
  bool Headerless() const { return headerless_; }

  // The header's values, as in THttpCli.
  const std::string& Version() const { return version_; }  // "1.0", "1.1" or empty
  int StatusCode() const { return statusCode_; }           // 0 when no status line was seen
  const std::string& Reason() const { return reason_; }
  int ContentLength() const { return contentLength_; }  // -1 when absent or not a number
  const std::string& ContentType() const { return contentType_; }
  const std::string& TransferEncoding() const { return transferEncoding_; }
  // Transfer codings are case-insensitive.
  bool Chunked() const { return chunked_; }
  bool ServerWantsClose() const { return serverWantsClose_; }
  const std::vector<std::string>& Header() const { return header_; }
  // Body bytes handed to DocData for this response.
  int64_t BodyCount() const { return bodyCount_; }

 private:
  void Fail(std::string error);
  // Consumes header bytes from data; returns how many.
  size_t FeedHeader(const char* data, size_t length);
  void HeaderLine(const std::string& line, const char* lineEnd);
  void HeaderEnded();
  void EnterBody();
  // Consumes body bytes from data; returns how many.
  size_t FeedBody(const char* data, size_t length);
  size_t FeedChunked(const char* data, size_t length);
  // Counts one byte of a chunk line; false (and failed) past MaxLine.
  bool ChunkLineByte();
  void Deliver(const char* data, size_t length);
  void DocumentEnd();
  bool Running() const { return !stopped_ && (phase_ == TPhase::Header || phase_ == TPhase::Body); }

  TListener* listener_;
  TPhase phase_ = TPhase::Header;
  bool head_ = false;
  bool stopped_ = false;
  std::string error_;
  std::string line_;  // the header line read so far
  int lineCount_ = 0;
  size_t headerBytes_ = 0;
  int interim_ = 0;
  bool chunked_ = false;
  bool headerStarted_ = false;
  bool headerless_ = false;
  int bodyPasses_ = 0;

  std::string version_;
  int statusCode_ = 0;
  std::string reason_;
  int contentLength_ = -1;
  std::string contentType_, transferEncoding_;
  bool serverWantsClose_ = false;
  std::vector<std::string> header_;
  int64_t bodyCount_ = 0;

  enum class TChunk { Size, SizeLine, Data, DataEnd, End };
  TChunk chunkState_ = TChunk::Size;
  int64_t chunkLength_ = 0, chunkRead_ = 0;
  // The bytes of the chunk's size line (or of the line after its data) so
  // far, capped at MaxLine as header lines are; a digit of the size was read.
  size_t chunkLineBytes_ = 0;
  bool chunkDigits_ = false;
};
