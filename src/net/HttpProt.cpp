#include "net/HttpProt.h"

#include "base/Stream.h"
#include "base/Text.h"
#include "net/Url.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

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

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

// THttpCli -------------------------------------------------------------------

THttpCli::THttpCli(TEventLoop& loop) : loop_(loop), socket_(std::make_unique<TWSocket>(loop)) {
  socket_->OnDnsLookupDone = [this](TWSocket&, uint16_t e) { SocketDnsLookupDone(e); };
  socket_->OnSessionConnected = [this](TWSocket&, uint16_t e) { SocketSessionConnected(e); };
  socket_->OnDataAvailable = [this](TWSocket&, uint16_t e) {
    try {
      SocketDataAvailable(e);
    } catch (const std::exception& ex) {
      // Reading cannot go on (line too long, bad status line, a failing
      // stream): end the request rather than wait for ever.
      if (state_ == THttpClientState::ReadingHeader || state_ == THttpClientState::ReadingBody)
        EndRequest(statusCode_ > 401 ? statusCode_ : 404, ex.what());
      else
        rcvdCount_ = 0;
    }
  };
  socket_->OnDataSent = [this](TWSocket&, uint16_t e) { SocketDataSent(e); };
  socket_->OnSessionClosed = [this](TWSocket&, uint16_t e) { SocketSessionClosed(e); };
  socket_->OnError = [this](TWSocket&) {
    if (OnSocketError) OnSocketError(*this);
  };
}

THttpCli::~THttpCli() {
  // The socket goes first, while the handlers it may still call can run.
  socket_.reset();
}

void THttpCli::SetRequestVer(const std::string& value) {
  if (value == requestVer_) return;
  if (value != "1.0" && value != "1.1") throw EHttpException("Insupported HTTP version", 5);
  requestVer_ = value;
}

void THttpCli::SetMultiThreaded(bool value) {
  multiThreaded_ = value;
  socket_->MultiThreaded = value;
}

void THttpCli::SetState(THttpClientState state) {
  if (state == state_) return;
  state_ = state;
  if (OnStateChange) OnStateChange(*this);
  if (state == THttpClientState::Ready) {
    std::weak_ptr<int> alive = alive_;
    const THttpRequest request = requestType_;
    const uint16_t error = completionError_;
    loop_.Post([this, alive, request, error] {
      if (alive.lock() && OnRequestDone) OnRequestDone(*this, request, error);
    });
  }
}

void THttpCli::PostSetReady() {
  std::weak_ptr<int> alive = alive_;
  const uint64_t serial = requestSerial_;
  loop_.Post([this, alive, serial] {
    if (alive.lock() && serial == requestSerial_) SetState(THttpClientState::Ready);
  });
}

void THttpCli::PostLogin() {
  std::weak_ptr<int> alive = alive_;
  const uint64_t serial = requestSerial_;
  loop_.Post([this, alive, serial] {
    if (!alive.lock() || serial != requestSerial_) return;
    if (state_ == THttpClientState::Ready || state_ == THttpClientState::Aborting) return;
    Login();
  });
}

void THttpCli::ClearRequestState() {
  responseHeader_.clear();
  completionError_ = 0;
  documentName_.clear();
  statusCode_ = 0;
  receivedCount_ = 0;
  uploadedCount_ = 0;
  headerLineCount_ = 0;
  bodyPassCount_ = 0;
  contentLength_ = -1;
  contentType_.clear();
  transferEncoding_.clear();
  allowedToSend_ = false;
  serverWantsClose_ = false;
}

bool THttpCli::KeepConnection() const {
  return responseVersion_ != "1.0" && requestVer_ != "1.0" && !serverWantsClose_;
}

void THttpCli::RequestAsync(THttpRequest request) {
  if (request != THttpRequest::httpCLOSE && state_ != THttpClientState::Ready)
    throw EHttpException("HTTP component is busy", 1);
  if ((request == THttpRequest::httpPOST || request == THttpRequest::httpPUT) && !UploadStream)
    throw EHttpException("HTTP component has nothing to post or put", 2);

  ++requestSerial_;
  if (request == THttpRequest::httpCLOSE) {
    statusCode_ = 200;
    reasonPhrase_ = "OK";
    SetState(THttpClientState::Closing);
    if (socket_->State() == TSocketState::wsClosed)
      PostSetReady();
    else
      socket_->CloseLater();
    return;
  }

  requestType_ = request;
  ClearRequestState();
  reasonPhrase_.clear();
  responseVersion_.clear();
  challenges_.clear();
  relocationPending_ = false;
  relocationError_.clear();
  relocations_ = 0;
  headerInProgress_ = false;
  closeForRelocation_ = false;
  nextLine_ = TNextLine::None;
  // Bytes left over from an earlier response must not be read as this one's.
  rcvdCount_ = 0;
  location_ = URL;

  const TUrlParts url = SplitUrl(URL);
  if (!url.User.empty()) Username = url.User;
  if (!url.Pass.empty()) Password = url.Pass;
  targetHost_ = url.Host;
  documentName_ = url.Path;
  protoWord_ = url.Proto;
  if (Proxy.empty()) {
    path_ = url.Path;
    hostname_ = url.Host;
    port_ = url.Port.empty() ? "80" : url.Port;
  } else {
    targetPort_ = !url.Port.empty() ? url.Port : url.Proto == "https" ? "443" : "80";
    path_ = (url.Proto.empty() ? std::string("http") : url.Proto) + "://" + url.Host +
            (url.Port.empty() ? std::string() : ":" + url.Port) + url.Path;
    const TUrlParts proxy = SplitUrl(Proxy);
    hostname_ = proxy.Host;
    port_ = proxy.Port.empty() ? ProxyPort : proxy.Port;
  }
  if (path_.empty()) path_ = "/";
  AdjustDocName();

  if (AsciiLower(protoWord_) == "https") {
    // No TLS here; never fetch an https address as plain HTTP.
    SetState(THttpClientState::Starting);
    EndRequest(404, "https is not supported");
    return;
  }

  const bool socketConnected = socket_->State() == TSocketState::wsConnected;
  if (socketConnected && hostname_ == curHost_ && port_ == curPort_ && protoWord_ == curProto_) {
    SocketSessionConnected(0);
    return;
  }
  if (socketConnected) AbortSocketQuietly();
  SetState(THttpClientState::Starting);
  Login();
}

void THttpCli::AbortSocketQuietly() {
  // Our own hard close: its closed notification belongs to no request.
  ignoreClose_ = true;
  try {
    socket_->Abort();
  } catch (...) {
  }
  ignoreClose_ = false;
  connected_ = false;
}

void THttpCli::RequestSync(THttpRequest request) {
  RequestAsync(request);
  if (!loop_.RunUntil([this] { return state_ == THttpClientState::Ready; }, TEventLoop::NoLimit)) Abort();
  if (statusCode_ > 401) throw EHttpException(reasonPhrase_, statusCode_);
}

void THttpCli::Login() {
  closeForRelocation_ = false;
  if (socket_->State() == TSocketState::wsConnected) {
    SocketSessionConnected(0);
    return;
  }
  SetState(THttpClientState::Resolving);
  try {
    socket_->SetLocalAddr(LocalAddr);
    socket_->DnsLookup(hostname_);
  } catch (const std::exception& e) {
    statusCode_ = 404;
    reasonPhrase_ = e.what();
    connected_ = false;
    SetState(THttpClientState::Ready);
  }
}

void THttpCli::SocketDnsLookupDone(uint16_t error) {
  if (state_ != THttpClientState::Resolving) return;  // aborting, or nothing asked for
  if (error != 0) {
    completionError_ = error;
    statusCode_ = 404;
    reasonPhrase_ = "can't resolve hostname to IP address";
    SocketSessionClosed(error);
    return;
  }
  const std::string address = socket_->DnsResult();
  SetState(THttpClientState::LookupDone);
  bool failed = false;
  try {
    socket_->SetAddr(address);
    socket_->SetLocalAddr(LocalAddr);
    socket_->SetPort(port_);
    socket_->SetProto("tcp");
    curHost_ = hostname_;
    curPort_ = port_;
    curProto_ = protoWord_;
    socket_->Connect();
    // The socket reports a failed connect to OnError and returns quietly.
    const TSocketState s = socket_->State();
    failed = s != TSocketState::wsConnecting && s != TSocketState::wsConnected;
  } catch (const std::exception&) {
    failed = true;
  }
  if (failed) {
    const int last = socket_->LastError();
    completionError_ = static_cast<uint16_t>(last);
    statusCode_ = 404;
    reasonPhrase_ = "can't connect: " + SocketErrorText(last) + " (Error #" + std::to_string(last) + ")";
    AbortSocketQuietly();
    SocketSessionClosed(static_cast<uint16_t>(last));
  }
}

void THttpCli::SocketSessionConnected(uint16_t error) {
  if (error != 0) {
    completionError_ = error;
    statusCode_ = 404;
    reasonPhrase_ = SocketErrorText(error) + " (Error #" + std::to_string(error) + ")";
    if (OnSessionConnected) OnSessionConnected(*this);
    return;
  }
  relocationPending_ = false;
  relocationError_.clear();
  connected_ = true;
  SetState(THttpClientState::Connected);
  if (OnSessionConnected) OnSessionConnected(*this);
  nextLine_ = TNextLine::Header;
  try {
    SetState(THttpClientState::ReadingHeader);
    static const char* const methods[] = {"", "GET", "POST", "PUT", "HEAD", ""};
    SendRequest(methods[static_cast<int>(requestType_)], requestVer_);
    if (requestType_ == THttpRequest::httpPOST || requestType_ == THttpRequest::httpPUT) {
      if (OnSendBegin) OnSendBegin(*this);
      allowedToSend_ = true;
      SendNextChunk();
    }
  } catch (...) {
    AbortSocketQuietly();
    throw;
  }
}

void THttpCli::SendRequest(const std::string& method, const std::string& version) {
  if (OnRequestHeaderBegin) OnRequestHeaderBegin(*this);
  const bool withBody = requestType_ == THttpRequest::httpPOST || requestType_ == THttpRequest::httpPUT;
  std::vector<std::string> headers;
  headers.push_back(method + " " + path_ + " HTTP/" + version);
  if (!Sender.empty()) headers.push_back("From: " + Sender);
  if (!Accept.empty()) headers.push_back("Accept: " + Accept);
  if (!Reference.empty()) headers.push_back("Referer: " + Reference);
  if (!Connection.empty()) headers.push_back("Connection: " + Connection);
  if (!ProxyConnection.empty()) headers.push_back("Proxy-Connection: " + ProxyConnection);
  if (!AcceptLanguage.empty()) headers.push_back("Accept-Language: " + AcceptLanguage);
  if (withBody && !ContentTypePost.empty()) headers.push_back("Content-Type: " + ContentTypePost);
  if (!Agent.empty()) headers.push_back("User-Agent: " + Agent);
  headers.push_back("Host: " + targetHost_);
  if (NoCache) headers.push_back("Pragma: no-cache");
  if (withBody) headers.push_back("Content-Length: " + std::to_string(UploadStream->Size()));
  if (ModifiedSince != 0) headers.push_back("If-Modified-Since: " + FormatHttpDate(ModifiedSince) + " GMT");
  if (!Username.empty()) headers.push_back("Authorization: Basic " + Base64Encode(Username + ":" + Password));
  if (!Proxy.empty() && !ProxyUsername.empty())
    headers.push_back("Proxy-Authorization: Basic " + Base64Encode(ProxyUsername + ":" + ProxyPassword));
  if (!Cookie.empty()) headers.push_back("Cookie: " + Cookie);
  if (!ContentRangeBegin.empty() || !ContentRangeEnd.empty()) {
    headers.push_back("Range: bytes=" + ContentRangeBegin + "-" + ContentRangeEnd);
    ContentRangeBegin.clear();
    ContentRangeEnd.clear();
  }
  acceptRanges_.clear();
  if (OnBeforeHeaderSend) OnBeforeHeaderSend(*this, method, headers);

  std::string request;
  auto writeLine = [&](std::string line) {
    if (OnCommand) OnCommand(*this, line);
    request += line;
    request += "\r\n";
  };
  for (const std::string& line : headers) writeLine(line);
  if (OnRequestHeaderEnd) OnRequestHeaderEnd(*this);
  writeLine(std::string());
  socket_->Send(request.data(), static_cast<int>(request.size()));
}

void THttpCli::SendNextChunk() {
  if (!allowedToSend_ || !UploadStream) return;
  const int n = static_cast<int>(UploadStream->Read(sendBuf_, sizeof sendBuf_));
  if (n > 0) {
    uploadedCount_ += n;
    if (OnSendData) OnSendData(*this, sendBuf_, n);
    socket_->Send(sendBuf_, n);
  } else {
    allowedToSend_ = false;
    if (OnSendEnd) OnSendEnd(*this);
  }
}

void THttpCli::SocketDataSent(uint16_t) {
  if (allowedToSend_) SendNextChunk();
}

int THttpCli::BodyBlock(int available) const {
  // A chunked body carries its own end; Content-Length does not cut it.
  if (contentLength_ >= 0 && transferEncoding_ != "chunked" &&
      static_cast<int64_t>(receivedCount_) + available > contentLength_)
    return std::max(0, contentLength_ - receivedCount_);
  return available;
}

void THttpCli::SocketDataAvailable(uint16_t error) {
  const int room = BufferSize - rcvdCount_;
  if (room <= 0) throw EHttpException("HTTP line too long", 4);
  const int length = socket_->Receive(rcvBuf_ + rcvdCount_, room);
  if (requestType_ == THttpRequest::httpABORT) return;
  if (length <= 0) return;
  rcvBuf_[rcvdCount_ + length] = 0;
  rcvdCount_ += length;

  if (state_ == THttpClientState::ReadingBody) {
    if (rcvdCount_ > 0) {
      const int block = BodyBlock(rcvdCount_);
      BodyData(rcvBuf_, block);
      std::memmove(rcvBuf_, rcvBuf_ + block, rcvdCount_ - block + 1);
      rcvdCount_ -= block;
      // Bytes past the end of the document belong to no response.
      if (nextLine_ != TNextLine::Body) rcvdCount_ = 0;
    }
    if (nextLine_ == TNextLine::Body)
      BodyData(rcvBuf_, 0);
    else if (relocationPending_)
      StartRelocation();
    else if (state_ != THttpClientState::Ready)
      PostSetReady();
    return;
  }

  while (rcvdCount_ > 0) {
    const size_t searchable = strnlen(rcvBuf_, rcvdCount_);
    const char* lf = static_cast<const char*>(std::memchr(rcvBuf_, '\n', searchable));
    if (!lf) break;
    const int lineEnd = static_cast<int>(lf - rcvBuf_);
    int lineLength = lineEnd;
    lastLineEnd_ = "\n";
    if (lineLength > 0 && rcvBuf_[lineLength - 1] == '\r') {
      --lineLength;
      lastLineEnd_ = "\r\n";
    }
    const std::string line(rcvBuf_, lineLength);
    std::memmove(rcvBuf_, rcvBuf_ + lineEnd + 1, rcvdCount_ - lineEnd);
    rcvdCount_ -= lineEnd + 1;
    if (state_ == THttpClientState::ReadingHeader || state_ == THttpClientState::ReadingBody) {
      if (nextLine_ == TNextLine::Header)
        HeaderLine(line);
      else if (nextLine_ == TNextLine::Body)
        BodyData(line.data(), static_cast<int>(line.size()));
      else
        PostSetReady();
    } else if (OnDataPush) {
      OnDataPush(*this, error);
    }
    if (state_ == THttpClientState::ReadingBody && nextLine_ == TNextLine::Body && rcvdCount_ > 0) {
      // A header-less "<HTML>" document: the rest of the buffer is body as it
      // came, line ends included.
      BodyData(rcvBuf_, rcvdCount_);
      rcvdCount_ = 0;
    }
  }
  // A full buffer without a line end can never make a line.
  if (rcvdCount_ >= BufferSize) throw EHttpException("HTTP line too long", 4);
}

void THttpCli::HeaderLine(const std::string& line) {
  if (headerLineCount_ == 0) {
    headerInProgress_ = true;
    if (OnHeaderBegin) OnHeaderBegin(*this);
  } else if (headerLineCount_ == -1) {
    headerLineCount_ = 0;
  }
  ++headerLineCount_;

  if (headerLineCount_ == 1 && AsciiUpper(line.substr(0, 6)) == "<HTML>") {
    if (contentType_.empty()) contentType_ = "text/html";
    SetState(THttpClientState::ReadingBody);
    nextLine_ = TNextLine::Body;
    headerInProgress_ = false;
    if (OnHeaderEnd) OnHeaderEnd(*this);
    // Keep the document as it came, its first line end included.
    const std::string first = line + lastLineEnd_;
    BodyData(first.data(), static_cast<int>(first.size()));
    return;
  }
  if (line.empty()) {
    HeaderEnded();
    return;
  }

  responseHeader_.push_back(line);
  if (headerLineCount_ == 1) {
    if (StartsWith(line, "HTTP/1.0") || StartsWith(line, "HTTP/1.1")) {
      responseVersion_ = line.substr(5, 3);
      const std::string status = line.size() > 9 ? line.substr(9, 3) : std::string();
      if (!ParseInt(status, statusCode_))
        throw EHttpException("Invalid status code in the response: '" + status + "'", 404);
      reasonPhrase_ = line.size() > 13 ? line.substr(13) : std::string();
    } else if (OnDataPush2) {
      OnDataPush2(*this);
    }
  } else {
    const auto colon = line.find(':');
    if (colon != std::string::npos) {
      const std::string field = AsciiLower(line.substr(0, colon));
      size_t start = colon + 1;
      while (start + 1 < line.size() && line[start] == ' ') ++start;
      const std::string value = line.substr(std::min(start, line.size()));
      if (field == "location") {
        LocationHeader(value);
      } else if (field == "content-length") {
        if (!ParseInt(value, contentLength_)) contentLength_ = -1;
      } else if (field == "transfer-encoding") {
        transferEncoding_ = value;
      } else if (field == "content-range") {
        const auto dash = value.find('-');
        const auto slash = value.find('/');
        ContentRangeBegin = dash != std::string::npos && dash > 6 ? value.substr(6, dash - 6) : std::string();
        ContentRangeEnd = dash != std::string::npos && slash != std::string::npos && slash > dash
                              ? value.substr(dash + 1, slash - dash - 1)
                              : std::string();
      } else if (field == "accept-ranges") {
        acceptRanges_ = value;
      } else if (field == "content-type") {
        contentType_ = AsciiLower(value);
      } else if (field == "www-authenticate") {
        challenges_.push_back(value);
      } else if (field == "set-cookie") {
        bool accept = true;
        if (OnCookie) OnCookie(*this, value, accept);
      } else if (field == "connection") {
        if (Trim(value) == "close") serverWantsClose_ = true;
      }
    }
  }
  if (OnHeaderData) OnHeaderData(*this);
}

void THttpCli::HeaderEnded() {
  if (responseVersion_ == "1.1" && statusCode_ == 100) {
    // An interim response: the real header follows.
    responseHeader_.clear();
    headerLineCount_ = -1;
    return;
  }
  headerInProgress_ = false;
  if (OnHeaderEnd) OnHeaderEnd(*this);
  const bool bodyExpected =
      requestType_ != THttpRequest::httpHEAD && contentLength_ != 0 &&
      (contentLength_ != -1 || (statusCode_ >= 200 && statusCode_ != 204 && statusCode_ != 304));
  if (!bodyExpected) {
    nextLine_ = TNextLine::None;
    if (relocationPending_)
      StartRelocation();
    else if (KeepConnection())
      PostSetReady();
    else
      socket_->CloseLater();
    return;
  }
  const auto dot = documentName_.rfind('.');
  const std::string ext = dot == std::string::npos ? std::string() : AsciiLower(documentName_.substr(dot));
  if ((ext == ".exe" || ext.empty()) && contentType_ == "text/html") ChangeExtension(documentName_, "htm");
  SetState(THttpClientState::ReadingBody);
  nextLine_ = TNextLine::Body;
  if (rcvdCount_ > 0) {
    const int block = BodyBlock(rcvdCount_);
    BodyData(rcvBuf_, block);
    // Bytes past the document are not ours: they go with the block.
    rcvdCount_ = 0;
  }
  if (state_ == THttpClientState::Ready) return;
  if (nextLine_ == TNextLine::None && relocationPending_) StartRelocation();
  if (statusCode_ >= 400 && socket_->State() != TSocketState::wsClosed) socket_->Close();
}

void THttpCli::BodyData(const char* data, int length) {
  if (bodyPassCount_ == 0) {
    chunkLength_ = chunkRcvd_ = chunkState_ = 0;
    if (OnDocBegin) OnDocBegin(*this);
  }
  ++bodyPassCount_;
  auto deliver = [&](const char* p, int n) {
    receivedCount_ += n;
    if (ReceiveStream) ReceiveStream->WriteBuffer(p, n);
    if (OnDocData) OnDocData(*this, p, n);
  };
  if (transferEncoding_ != "chunked") {
    if (length > 0) deliver(data, length);
    if (receivedCount_ == contentLength_) DocumentEnd();
    return;
  }
  const char* p = data;
  const char* end = data + length;
  while (p < end && chunkState_ != 4) {
    switch (chunkState_) {
      case 0:
        if (IsHexDigit(*p)) {
          chunkLength_ = chunkLength_ * 16 + HexDigitValue(*p);
          ++p;
        } else {
          chunkState_ = 1;
        }
        break;
      case 1:
        if (*p++ == '\n') chunkState_ = 2;
        break;
      case 2: {
        const int n = static_cast<int>(std::min<int64_t>(end - p, chunkLength_ - chunkRcvd_));
        if (n > 0) {
          chunkRcvd_ += n;
          deliver(p, n);
          p += n;
        }
        if (chunkRcvd_ >= chunkLength_) chunkState_ = 3;
        break;
      }
      case 3:
        if (*p++ == '\n') {
          chunkState_ = chunkLength_ == 0 ? 4 : 0;
          chunkLength_ = chunkRcvd_ = 0;
        }
        break;
    }
  }
  if (chunkState_ == 4) DocumentEnd();
}

void THttpCli::DocumentEnd() {
  bodyPassCount_ = 0;
  nextLine_ = TNextLine::None;
  SetState(THttpClientState::DocumentDone);
  if (OnDocEnd) OnDocEnd(*this);
  // A pending relocation goes on from here; ending now would complete the
  // request with the redirection's own status.
  if (relocationPending_) return;
  if (KeepConnection())
    PostSetReady();
  else
    socket_->CloseLater();
}

bool THttpCli::DocumentIncomplete() const {
  if (transferEncoding_ == "chunked") return chunkState_ != 4;
  return contentLength_ >= 0 && receivedCount_ < contentLength_;
}

void THttpCli::SocketSessionClosed(uint16_t error) {
  if (ignoreClose_) return;
  if (closeForRelocation_) {
    RelocationClosed();
    return;
  }
  if (error != 0) completionError_ = error;
  connected_ = false;
  if (headerInProgress_) {
    headerInProgress_ = false;
    if (OnHeaderEnd) OnHeaderEnd(*this);
    if (relocationPending_) {
      if (!RelocationRefused()) RelocationClosed();
      return;
    }
    if (state_ != THttpClientState::Aborting) {
      EndRequest(statusCode_ > 401 ? statusCode_ : 404,
                 "Connection closed while reading the response header");
      return;
    }
  }
  if (bodyPassCount_ > 0 && OnDocEnd) OnDocEnd(*this);
  if (state_ == THttpClientState::ReadingBody && statusCode_ < 400 && DocumentIncomplete()) {
    // A cut-off document must not pass for a complete one.
    statusCode_ = 404;
    reasonPhrase_ = "Connection closed before the end of the document";
  }
  if (OnSessionClosed) OnSessionClosed(*this);
  if (relocationPending_ && state_ != THttpClientState::Aborting) {
    // The redirection's body was cut short; its Location still stands.
    if (!RelocationRefused()) RelocationClosed();
    return;
  }
  PostSetReady();
}

void THttpCli::LocationHeader(const std::string& value) {
  if (requestType_ == THttpRequest::httpPUT) {
    location_ = value;
    return;
  }
  if (!FollowRelocation) return;
  relocationPending_ = true;
  if (StartsWith(AsciiLower(value), "https://")) {
    relocationError_ = "https is not supported";
    return;
  }
  if (Proxy.empty()) {
    if (StartsWith(value, "/")) {
      path_ = value;
      location_ = "http://" + hostname_ + path_;
    } else if (!StartsWith(value, "http://")) {
      path_ = PathBase(path_) + value;
      location_ = "http://" + hostname_ + path_;
    } else {
      const TUrlParts url = SplitUrl(value);
      if (url.Host.empty()) {
        relocationError_ = "Invalid redirection";
        return;
      }
      hostname_ = url.Host;
      path_ = url.Path;
      port_ = url.Port.empty() ? "80" : url.Port;
      protoWord_ = url.Proto;
      if (!url.User.empty() && !url.Pass.empty()) {
        Username = url.User;
        Password = url.Pass;
      }
      targetHost_ = url.Host;
      if (path_.empty()) {
        path_ = "/";
        location_ = url.Proto + "://" + url.Host;
      } else {
        location_ = url.Proto + "://" + url.Host + path_;
      }
    }
    return;
  }
  if (StartsWith(value, "/")) {
    const TUrlParts current = SplitUrl(path_);
    location_ = (current.Proto.empty() ? std::string("http") : current.Proto) + "://" + current.Host + value;
    path_ = location_;
    if (!current.User.empty() && !current.Pass.empty()) {
      Username = current.User;
      Password = current.Pass;
    }
  } else if (!StartsWith(value, "http://")) {
    path_ = PathBase(path_) + value;
    location_ = path_;
  } else {
    const TUrlParts url = SplitUrl(value);
    if (url.Proto.empty() || url.Host.empty()) {
      relocationError_ = "Invalid redirection";
      return;
    }
    port_ = url.Port.empty() ? "80" : url.Port;
    if (!url.User.empty() && !url.Pass.empty()) {
      Username = url.User;
      Password = url.Pass;
    }
    targetHost_ = url.Host;
    location_ = path_ = url.Proto + "://" + url.Host + url.Path;
  }
}

bool THttpCli::RelocationRefused() {
  if (!relocationError_.empty()) {
    EndRequest(404, relocationError_);
    return true;
  }
  if (++relocations_ > 10) {
    EndRequest(404, "Too many redirections");
    return true;
  }
  return false;
}

void THttpCli::StartRelocation() {
  receivedCount_ = 0;
  rcvdCount_ = 0;
  headerLineCount_ = 0;
  bodyPassCount_ = 0;
  if (RelocationRefused()) return;
  if (responseVersion_ == "1.1" && hostname_ == curHost_ && port_ == curPort_ && protoWord_ == curProto_ &&
      !serverWantsClose_ && socket_->State() == TSocketState::wsConnected) {
    if (OnLocationChange) OnLocationChange(*this);
    const std::string location = location_;
    ClearRequestState();
    location_ = location;
    documentName_ = path_;
    AdjustDocName();
    if (requestType_ == THttpRequest::httpPOST) requestType_ = THttpRequest::httpGET;
    PostLogin();
    return;
  }
  closeForRelocation_ = true;
  if (socket_->State() == TSocketState::wsClosed)
    RelocationClosed();
  else
    socket_->CloseLater();
}

void THttpCli::RelocationClosed() {
  std::string location = location_;
  const auto hash = location.find('#');
  if (hash != std::string::npos) location.erase(hash);
  documentName_ = SplitUrl(location).Path;
  AdjustDocName();
  connected_ = false;
  relocationPending_ = false;
  if (requestType_ == THttpRequest::httpPOST) requestType_ = THttpRequest::httpGET;
  closeForRelocation_ = false;
  if (OnLocationChange) OnLocationChange(*this);
  responseHeader_.clear();
  headerLineCount_ = 0;
  bodyPassCount_ = 0;
  contentLength_ = -1;
  contentType_.clear();
  statusCode_ = 0;
  transferEncoding_.clear();
  serverWantsClose_ = false;
  if (!Proxy.empty()) {
    const TUrlParts proxy = SplitUrl(Proxy);
    port_ = proxy.Port.empty() ? ProxyPort : proxy.Port;
  }
  PostLogin();
}

void THttpCli::AdjustDocName() {
  std::string name = documentName_.substr(0, documentName_.find('?'));
  if (name.empty() || name.back() == '/') {
    documentName_ = "document.htm";
    return;
  }
  const auto slash = name.rfind('/');
  if (slash != std::string::npos) name = name.substr(slash + 1);
  name = name.substr(0, 255);
  documentName_ = name.substr(0, name.find('?'));
}

void THttpCli::EndRequest(int status, const std::string& reason) {
  relocationPending_ = false;
  closeForRelocation_ = false;
  headerInProgress_ = false;
  nextLine_ = TNextLine::None;
  bodyPassCount_ = 0;
  rcvdCount_ = 0;
  statusCode_ = status;
  reasonPhrase_ = reason;
  if (socket_->State() != TSocketState::wsClosed) AbortSocketQuietly();
  connected_ = false;
  SetState(THttpClientState::Ready);
}

void THttpCli::Abort() {
  if (state_ != THttpClientState::Ready) {
    const bool resolving = state_ == THttpClientState::Resolving;
    SetState(THttpClientState::Aborting);
    relocationPending_ = false;
    closeForRelocation_ = false;
    if (resolving) {
      try {
        socket_->CancelDnsLookup();
      } catch (...) {
      }
    }
    statusCode_ = 404;
    reasonPhrase_ = "Connection aborted on request";
    completionError_ = 3;
    if (resolving)
      SocketSessionClosed(0);
    else if (socket_->State() != TSocketState::wsClosed)
      socket_->Close();
    SetState(THttpClientState::Ready);
    return;
  }
  state_ = THttpClientState::Aborting;
  state_ = THttpClientState::Ready;
  if (socket_->State() != TSocketState::wsClosed) AbortSocketQuietly();
  statusCode_ = 200;
  reasonPhrase_ = "OK";
  completionError_ = 0;
  if (OnStateChange) OnStateChange(*this);
  if (OnRequestDone) OnRequestDone(*this, requestType_, 0);
}
