#include "net/HttpProt.h"

#include "base/Path.h"
#include "base/Stream.h"
#include "base/Text.h"
#include "net/Url.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// "host:port" with the host lower-cased; a missing port is 80.
std::string Origin(const std::string& host, const std::string& port) {
  return AsciiLower(host) + ":" + (port.empty() ? std::string("80") : port);
}

}  // namespace

// THttpCli -------------------------------------------------------------------

THttpCli::THttpCli(TEventLoop& loop) : loop_(loop), socket_(std::make_unique<TWSocket>(loop)) {
  socket_->OnDnsLookupDone = [this](TWSocket&, uint16_t e) { SocketDnsLookupDone(e); };
  socket_->OnSessionConnected = [this](TWSocket&, uint16_t e) { SocketSessionConnected(e); };
  socket_->OnDataAvailable = [this](TWSocket&, uint16_t e) {
    try {
      SocketDataAvailable(e);
    } catch (const std::exception& ex) {
      // Reading cannot go on (a failing stream, a handler's error): end the
      // request rather than wait for ever.
      if (state_ == THttpClientState::ReadingHeader || state_ == THttpClientState::ReadingBody)
        EndRequest(statusCode_ > 401 ? statusCode_ : 404, ex.what());
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
  response_.Begin(requestType_ == THttpRequest::httpHEAD);
  completionError_ = 0;
  documentName_.clear();
  statusCode_ = 0;
  ownFailure_ = false;
  receivedCount_ = 0;
  uploadedCount_ = 0;
  allowedToSend_ = false;
  closeAfterFeed_ = false;
}

bool THttpCli::KeepConnection() const {
  // Only a 1.1 request answered by a 1.1 response that does not ask to close
  // leaves a connection the server will keep; a 1.0 server closes after each.
  return responseVersion_ == "1.1" && requestVer_ == "1.1" && !response_.ServerWantsClose();
}

std::string THttpCli::TargetOrigin() const { return Origin(targetHost_, targetPort_); }

void THttpCli::RequestAsync(THttpRequest request) {
  if (request != THttpRequest::httpCLOSE && state_ != THttpClientState::Ready)
    throw EHttpException("HTTP component is busy", 1);
  if ((request == THttpRequest::httpPOST || request == THttpRequest::httpPUT) && !UploadStream)
    throw EHttpException("HTTP component has nothing to post or put", 2);

  ++requestSerial_;
  if (request == THttpRequest::httpCLOSE) {
    statusCode_ = 200;
    reasonPhrase_ = "OK";
    ownFailure_ = false;
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
  closeForNextAddress_ = false;
  reusedConnection_ = false;
  retried_ = false;
  location_ = URL;

  const TUrlParts url = SplitUrl(URL);
  targetHost_ = url.Host;
  documentName_ = url.Path;
  protoWord_ = url.Proto;
  if (Proxy.empty()) {
    path_ = url.Path;
    hostname_ = url.Host;
    port_ = url.Port.empty() ? "80" : url.Port;
    targetPort_ = port_;
  } else {
    targetPort_ = !url.Port.empty() ? url.Port : url.Proto == "https" ? "443" : "80";
    path_ = (url.Proto.empty() ? std::string("http") : url.Proto) + "://" + HostForUrl(url.Host) +
            (url.Port.empty() ? std::string() : ":" + url.Port) + url.Path;
    const TUrlParts proxy = SplitUrl(Proxy);
    hostname_ = proxy.Host;
    port_ = proxy.Port.empty() ? ProxyPort : proxy.Port;
  }
  // Credentials belong to the host and port they were given for: the ones in
  // the address to this request only, the properties to the address's host.
  authUser_ = !url.User.empty() ? url.User : Username;
  authPass_ = !url.User.empty() || !url.Pass.empty() ? url.Pass : Password;
  if (url.User.empty() && !url.Pass.empty()) authUser_ = Username;
  authOrigin_ = TargetOrigin();
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
    reusedConnection_ = true;
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
  closeForNextAddress_ = false;
  if (socket_->State() == TSocketState::wsConnected) {
    reusedConnection_ = true;
    SocketSessionConnected(0);
    return;
  }
  reusedConnection_ = false;
  SetState(THttpClientState::Resolving);
  try {
    socket_->SetLocalAddr(LocalAddr);
    socket_->DnsLookup(hostname_);
  } catch (const std::exception& e) {
    statusCode_ = 404;
    reasonPhrase_ = e.what();
    ownFailure_ = true;
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
    ownFailure_ = true;
    SocketSessionClosed(error);
    return;
  }
  addresses_ = socket_->DnsResultList();
  nextAddress_ = 0;
  SetState(THttpClientState::LookupDone);
  ConnectNextAddress();
}

void THttpCli::ConnectNextAddress() {
  // The lookup's addresses in turn (IPv6 and IPv4 as the resolver ordered
  // them): a failed attempt goes on with the next one.
  while (nextAddress_ < addresses_.size()) {
    const std::string address = addresses_[nextAddress_++];
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
    if (!failed) return;
    const int last = socket_->LastError();
    completionError_ = static_cast<uint16_t>(last);
    statusCode_ = 404;
    // Not every refusal is a system error (a port that is no number, say):
    // then the socket's own text says why.
    std::string why = socket_->LastErrorMessage();
    if (why.rfind("connect: ", 0) == 0) why.erase(0, 9);
    reasonPhrase_ = "can't connect: " +
                    (last != 0 ? SocketErrorText(last) + " (Error #" + std::to_string(last) + ")" : why);
    ownFailure_ = true;
    AbortSocketQuietly();
  }
  if (reasonPhrase_.empty()) {
    statusCode_ = 404;
    reasonPhrase_ = "can't connect: no address";
    ownFailure_ = true;
  }
  SocketSessionClosed(completionError_);
}

void THttpCli::SocketSessionConnected(uint16_t error) {
  if (error != 0) {
    completionError_ = error;
    statusCode_ = 404;
    reasonPhrase_ = SocketErrorText(error) + " (Error #" + std::to_string(error) + ")";
    ownFailure_ = true;
    // The socket closes itself after a failed connect; that close leads to the
    // next address when there is one.
    if (nextAddress_ < addresses_.size()) closeForNextAddress_ = true;
    if (OnSessionConnected) OnSessionConnected(*this);
    return;
  }
  relocationPending_ = false;
  relocationError_.clear();
  connected_ = true;
  statusCode_ = 0;
  reasonPhrase_.clear();
  ownFailure_ = false;
  completionError_ = 0;
  SetState(THttpClientState::Connected);
  if (OnSessionConnected) OnSessionConnected(*this);
  response_.Begin(requestType_ == THttpRequest::httpHEAD);
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
  headers.push_back("Host: " + HostForUrl(targetHost_));
  if (NoCache) headers.push_back("Pragma: no-cache");
  if (withBody) headers.push_back("Content-Length: " + std::to_string(UploadStream->Size()));
  if (ModifiedSince != 0) headers.push_back("If-Modified-Since: " + FormatHttpDate(ModifiedSince) + " GMT");
  if (!authUser_.empty() && authOrigin_ == TargetOrigin())
    headers.push_back("Authorization: Basic " + Base64Encode(authUser_ + ":" + authPass_));
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

void THttpCli::SocketDataAvailable(uint16_t error) {
  char buffer[BufferSize];
  const int length = socket_->Receive(buffer, BufferSize);
  if (requestType_ == THttpRequest::httpABORT) return;
  if (length <= 0) return;
  if (state_ != THttpClientState::ReadingHeader && state_ != THttpClientState::ReadingBody) {
    // Nothing is expected now (a proxy's answer, bytes after a document).
    if (OnDataPush) OnDataPush(*this, error);
    return;
  }
  const uint64_t serial = requestSerial_;
  closeAfterFeed_ = false;
  response_.Feed(buffer, static_cast<size_t>(length));
  if (serial != requestSerial_) return;  // a handler started something else
  if (response_.Phase() == THttpResponse::TPhase::Failed &&
      (state_ == THttpClientState::ReadingHeader || state_ == THttpClientState::ReadingBody)) {
    EndRequest(statusCode_ > 401 ? statusCode_ : 404, response_.Error());
    return;
  }
  if (closeAfterFeed_) {
    closeAfterFeed_ = false;
    if (socket_->State() != TSocketState::wsClosed) socket_->Close();
  }
}

void THttpCli::HeaderBegin() {
  headerInProgress_ = true;
  if (OnHeaderBegin) OnHeaderBegin(*this);
}

void THttpCli::StatusLine() {
  responseVersion_ = response_.Version();
  statusCode_ = response_.StatusCode();
  reasonPhrase_ = response_.Reason();
  ownFailure_ = false;
}

void THttpCli::UnknownFirstLine() {
  if (OnDataPush2) OnDataPush2(*this);
}

void THttpCli::HeaderField(const std::string& name, const std::string& value) {
  if (name == "location") {
    LocationHeader(value);
  } else if (name == "content-range") {
    const auto dash = value.find('-');
    const auto slash = value.find('/');
    ContentRangeBegin = dash != std::string::npos && dash > 6 ? value.substr(6, dash - 6) : std::string();
    ContentRangeEnd = dash != std::string::npos && slash != std::string::npos && slash > dash
                          ? value.substr(dash + 1, slash - dash - 1)
                          : std::string();
  } else if (name == "accept-ranges") {
    acceptRanges_ = value;
  } else if (name == "www-authenticate") {
    challenges_.push_back(value);
  } else if (name == "set-cookie") {
    bool accept = true;
    if (OnCookie) OnCookie(*this, value, accept);
  }
}

void THttpCli::HeaderData() {
  if (OnHeaderData) OnHeaderData(*this);
}

void THttpCli::HeaderEnd(bool bodyExpected) {
  headerInProgress_ = false;
  if (OnHeaderEnd) OnHeaderEnd(*this);
  if (response_.Headerless()) {
    SetState(THttpClientState::ReadingBody);
    return;
  }
  if (!bodyExpected) {
    FinishExchange();
    return;
  }
  const auto dot = documentName_.rfind('.');
  const std::string ext = dot == std::string::npos ? std::string() : AsciiLower(documentName_.substr(dot));
  if ((ext == ".exe" || ext.empty()) && response_.ContentType() == "text/html")
    ChangeExtension(documentName_, "htm");
  SetState(THttpClientState::ReadingBody);
  // An error's body: only what came with the header is read.
  if (statusCode_ >= 400) closeAfterFeed_ = true;
}

void THttpCli::DocBegin() {
  if (OnDocBegin) OnDocBegin(*this);
}

void THttpCli::DocData(const char* data, size_t length) {
  const int n = static_cast<int>(length);
  receivedCount_ = static_cast<int>(std::min<int64_t>(INT32_MAX, static_cast<int64_t>(receivedCount_) + n));
  if (ReceiveStream) ReceiveStream->WriteBuffer(data, n);
  if (OnDocData) OnDocData(*this, data, n);
}

void THttpCli::DocEnd() { DocumentEnd(); }

void THttpCli::DocumentEnd() {
  SetState(THttpClientState::DocumentDone);
  if (OnDocEnd) OnDocEnd(*this);
  if (state_ != THttpClientState::DocumentDone) return;  // the handler aborted
  FinishExchange();
}

void THttpCli::FinishExchange() {
  // A pending relocation goes on from here; ending now would complete the
  // request with the redirection's own status.
  if (relocationPending_)
    StartRelocation();
  else if (KeepConnection())
    PostSetReady();
  else
    socket_->CloseLater();
}

void THttpCli::SocketSessionClosed(uint16_t error) {
  if (ignoreClose_) return;
  if (closeForRelocation_) {
    RelocationClosed();
    return;
  }
  if (closeForNextAddress_) {
    // A failed connection attempt: the next address, from the loop.
    closeForNextAddress_ = false;
    std::weak_ptr<int> alive = alive_;
    const uint64_t serial = requestSerial_;
    loop_.Post([this, alive, serial] {
      if (!alive.lock() || serial != requestSerial_ || state_ != THttpClientState::LookupDone) return;
      ConnectNextAddress();
    });
    return;
  }
  const bool reading = state_ == THttpClientState::ReadingHeader || state_ == THttpClientState::ReadingBody;
  const THttpResponse::TAtClose atClose =
      reading ? response_.ConnectionClosed() : THttpResponse::TAtClose::AlreadyComplete;
  if (atClose == THttpResponse::TAtClose::Nothing && reusedConnection_ && !retried_ &&
      state_ == THttpClientState::ReadingHeader) {
    // The kept connection had been closed by the server meanwhile: the request
    // goes out once more, on a new connection.
    retried_ = true;
    reusedConnection_ = false;
    connected_ = false;
    SetState(THttpClientState::Starting);
    PostLogin();
    return;
  }
  if (error != 0) completionError_ = error;
  connected_ = false;
  if (atClose == THttpResponse::TAtClose::HeaderCut) {
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
  if (response_.BodyStarted() && atClose != THttpResponse::TAtClose::AlreadyComplete && OnDocEnd)
    OnDocEnd(*this);
  if (atClose == THttpResponse::TAtClose::DocumentCut && statusCode_ < 400) {
    // A cut-off document must not pass for a complete one.
    statusCode_ = 404;
    reasonPhrase_ = "Connection closed before the end of the document";
    ownFailure_ = true;
  }
  if (OnSessionClosed) OnSessionClosed(*this);
  if (relocationPending_ && state_ != THttpClientState::Aborting) {
    // The redirection's body ended with the close (or was cut short); its
    // Location still stands.
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
  if (StartsWithNoCase(value, "https://")) {
    relocationError_ = "https is not supported";
    return;
  }
  if (Proxy.empty()) {
    if (value.starts_with("/")) {
      path_ = value;
      location_ = "http://" + HostForUrl(hostname_) + path_;
    } else if (!value.starts_with("http://")) {
      path_ = PathBase(path_) + value;
      location_ = "http://" + HostForUrl(hostname_) + path_;
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
      targetHost_ = url.Host;
      targetPort_ = port_;
      if (!url.User.empty() && !url.Pass.empty()) {
        authUser_ = url.User;
        authPass_ = url.Pass;
        authOrigin_ = TargetOrigin();
      }
      if (path_.empty()) {
        path_ = "/";
        location_ = url.Proto + "://" + HostForUrl(url.Host);
      } else {
        location_ = url.Proto + "://" + HostForUrl(url.Host) + path_;
      }
    }
    return;
  }
  if (value.starts_with("/")) {
    const TUrlParts current = SplitUrl(path_);
    location_ = (current.Proto.empty() ? std::string("http") : current.Proto) + "://" +
                HostForUrl(current.Host) + value;
    path_ = location_;
  } else if (!value.starts_with("http://")) {
    path_ = PathBase(path_) + value;
    location_ = path_;
  } else {
    const TUrlParts url = SplitUrl(value);
    if (url.Proto.empty() || url.Host.empty()) {
      relocationError_ = "Invalid redirection";
      return;
    }
    targetHost_ = url.Host;
    targetPort_ = url.Port.empty() ? "80" : url.Port;
    if (!url.User.empty() && !url.Pass.empty()) {
      authUser_ = url.User;
      authPass_ = url.Pass;
      authOrigin_ = TargetOrigin();
    }
    location_ = path_ = url.Proto + "://" + HostForUrl(url.Host) + url.Path;
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
  // Bytes after the relocating response belong to no document.
  response_.Stop();
  receivedCount_ = 0;
  if (RelocationRefused()) return;
  if (KeepConnection() && hostname_ == curHost_ && port_ == curPort_ && protoWord_ == curProto_ &&
      socket_->State() == TSocketState::wsConnected) {
    if (OnLocationChange) OnLocationChange(*this);
    const std::string location = location_;
    ClearRequestState();
    response_.Stop();
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
  // Whichever way the relocating response ended, the next document is counted
  // from its first byte.
  response_.Begin(requestType_ == THttpRequest::httpHEAD);
  receivedCount_ = 0;
  statusCode_ = 0;
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
  documentName_ = LastPathComponent(name).substr(0, 255);
}

void THttpCli::EndRequest(int status, const std::string& reason) {
  relocationPending_ = false;
  closeForRelocation_ = false;
  closeForNextAddress_ = false;
  headerInProgress_ = false;
  closeAfterFeed_ = false;
  response_.Stop();
  statusCode_ = status;
  reasonPhrase_ = reason;
  ownFailure_ = true;
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
    closeForNextAddress_ = false;
    response_.Stop();
    if (resolving) {
      try {
        socket_->CancelDnsLookup();
      } catch (...) {
      }
    }
    statusCode_ = 404;
    reasonPhrase_ = "Connection aborted on request";
    ownFailure_ = true;
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
  ownFailure_ = false;
  completionError_ = 0;
  if (OnStateChange) OnStateChange(*this);
  if (OnRequestDone) OnRequestDone(*this, requestType_, 0);
}
