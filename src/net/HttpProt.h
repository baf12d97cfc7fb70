#pragma once
// HTTP client over TWSocket.

#include "net/EventLoop.h"
#include "net/HttpResponse.h"
#include "net/Url.h"
#include "net/WSocket.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class TStream;

class EHttpException : public std::runtime_error {
 public:
  EHttpException(const std::string& message, int errorCode)
      : std::runtime_error(message), ErrorCode(errorCode) {}
  int ErrorCode;
};

enum class THttpRequest { httpABORT, httpGET, httpPOST, httpPUT, httpHEAD, httpCLOSE };

// The order matters: ReadingHeader and ReadingBody are one range.
enum class THttpClientState {
  Ready,
  Starting,
  Connected,
  Resolving,
  LookupDone,
  ReadingHeader,
  ReadingBody,
  DocumentDone,
  ProxyTunnelWait,
  Closing,
  Aborting
};

// A small HTTP/1.0-1.1 client on one TWSocket: name lookup, connection,
// request, response header and body (identity or chunked), relocations.
// Driven by the event loop; Get pumps the loop until the request is over.
class THttpCli : private THttpResponse::TListener {
 public:
  explicit THttpCli(TEventLoop& loop);
  ~THttpCli() override;
  THttpCli(const THttpCli&) = delete;
  THttpCli& operator=(const THttpCli&) = delete;

  // Settings.
  std::string URL;
  std::string LocalAddr = "0.0.0.0";
  std::string Proxy;
  std::string ProxyPort = "80";
  std::string Sender;
  std::string Agent = "Mozilla/4.0 (compatible; MSIE 4.0)";
  std::string Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
  std::string AcceptLanguage;
  std::string Reference;
  std::string Connection;
  std::string ProxyConnection;
  std::string Username, Password;
  std::string ProxyUsername, ProxyPassword;
  bool NoCache = false;
  double ModifiedSince = 0;  // days since 1899-12-30; 0 = none
  std::string Cookie;
  std::string ContentTypePost = "application/x-www-form-urlencoded";
  std::string ContentRangeBegin, ContentRangeEnd;
  bool FollowRelocation = true;
  TStream* ReceiveStream = nullptr;  // the caller's; receives the body
  TStream* UploadStream = nullptr;   // the caller's; body of POST and PUT

  const std::string& RequestVer() const { return requestVer_; }
  // "1.0" or "1.1"; anything else raises "Insupported HTTP version" (5).
  void SetRequestVer(const std::string& value);
  bool MultiThreaded() const { return multiThreaded_; }
  void SetMultiThreaded(bool value);

  // Results of the last request.
  int StatusCode() const { return statusCode_; }
  const std::string& ReasonPhrase() const { return reasonPhrase_; }
  const std::string& ResponseVersion() const { return responseVersion_; }
  int ContentLength() const { return response_.ContentLength(); }
  const std::string& ContentType() const { return response_.ContentType(); }
  const std::string& TransferEncoding() const { return response_.TransferEncoding(); }
  const std::string& AcceptRanges() const { return acceptRanges_; }
  const std::vector<std::string>& ResponseHeader() const { return response_.Header(); }
  const std::vector<std::string>& AuthChallenges() const { return challenges_; }
  int ReceivedCount() const { return receivedCount_; }
  int UploadedCount() const { return uploadedCount_; }
  const std::string& Location() const { return location_; }
  const std::string& DocumentName() const { return documentName_; }
  uint16_t CompletionError() const { return completionError_; }
  // True when StatusCode and ReasonPhrase are the client's own (a failed lookup,
  // connection or response, a refused relocation, an abort), not a server's.
  bool OwnFailure() const { return ownFailure_; }
  THttpClientState State() const { return state_; }
  THttpRequest RequestType() const { return requestType_; }
  TWSocket& CtrlSocket() { return *socket_; }

  // Synchronous GET of URL; raises EHttpException when StatusCode > 401.
  void Get() { RequestSync(THttpRequest::httpGET); }
  void Post() { RequestSync(THttpRequest::httpPOST); }
  void Head() { RequestSync(THttpRequest::httpHEAD); }
  void RequestSync(THttpRequest request);
  // Starts a request and returns; OnRequestDone announces the end.
  void RequestAsync(THttpRequest request);
  void Abort();

  // Events (all optional).
  using TNotify = std::function<void(THttpCli& sender)>;
  TNotify OnStateChange, OnSessionConnected, OnSessionClosed, OnRequestHeaderBegin, OnRequestHeaderEnd,
      OnHeaderBegin, OnHeaderData, OnHeaderEnd, OnDocBegin, OnDocEnd, OnSendBegin, OnSendEnd,
      OnLocationChange, OnDataPush2, OnSocketError;
  std::function<void(THttpCli& sender, const std::string& method, std::vector<std::string>& headers)>
      OnBeforeHeaderSend;
  std::function<void(THttpCli& sender, std::string& line)> OnCommand;
  std::function<void(THttpCli& sender, const std::string& data, bool& accept)> OnCookie;
  std::function<void(THttpCli& sender, const char* buffer, int length)> OnDocData;
  std::function<void(THttpCli& sender, const char* buffer, int length)> OnSendData;
  std::function<void(THttpCli& sender, THttpRequest request, uint16_t errCode)> OnRequestDone;
  std::function<void(THttpCli& sender, uint16_t errCode)> OnDataPush;

 private:
  static constexpr int BufferSize = 8192;

  void SetState(THttpClientState state);
  void PostSetReady();
  void PostLogin();
  void ClearRequestState();
  void Login();
  void ConnectNextAddress();
  void SocketDnsLookupDone(uint16_t error);
  void SocketSessionConnected(uint16_t error);
  void SocketDataAvailable(uint16_t error);
  void SocketDataSent(uint16_t error);
  void SocketSessionClosed(uint16_t error);
  void SendRequest(const std::string& method, const std::string& version);
  void SendNextChunk();
  void DocumentEnd();
  // After a complete response: follow a relocation, or keep or close the connection.
  void FinishExchange();
  void LocationHeader(const std::string& value);
  void StartRelocation();
  bool RelocationRefused();
  void RelocationClosed();
  void AdjustDocName();
  // Ends the running request at once with a status and reason of our own.
  void EndRequest(int status, const std::string& reason);
  void AbortSocketQuietly();
  bool KeepConnection() const;
  // host:port the request goes to, for the credentials' check.
  std::string TargetOrigin() const;

  // The response reader's calls.
  void HeaderBegin() override;
  void StatusLine() override;
  void UnknownFirstLine() override;
  void HeaderField(const std::string& name, const std::string& value) override;
  void HeaderData() override;
  void HeaderEnd(bool bodyExpected) override;
  void DocBegin() override;
  void DocData(const char* data, size_t length) override;
  void DocEnd() override;

  TEventLoop& loop_;
  std::unique_ptr<TWSocket> socket_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  std::string requestVer_ = "1.0";
  bool multiThreaded_ = false;
  THttpResponse response_{this};

  THttpClientState state_ = THttpClientState::Ready;
  THttpRequest requestType_ = THttpRequest::httpABORT;
  uint64_t requestSerial_ = 0;  // posted work of an old request never touches a new one
  int statusCode_ = 0;
  std::string reasonPhrase_;
  std::string responseVersion_;
  bool ownFailure_ = false;
  std::string acceptRanges_;
  std::vector<std::string> challenges_;
  int receivedCount_ = 0, uploadedCount_ = 0;
  std::string location_, documentName_;
  uint16_t completionError_ = 0;

  std::string hostname_, port_, protoWord_;   // where to connect
  std::string targetHost_, targetPort_;       // named in the request
  std::string path_;                          // request path (absolute URL through a proxy)
  std::string curHost_, curPort_, curProto_;  // the open connection
  // Credentials of this request and the host:port they were given for.
  std::string authUser_, authPass_, authOrigin_;
  std::vector<std::string> addresses_;  // the lookup's addresses, tried in order
  size_t nextAddress_ = 0;
  bool closeForNextAddress_ = false;  // a failed attempt's close leads to the next address
  bool connected_ = false;
  bool relocationPending_ = false;
  std::string relocationError_;  // a Location we refuse to follow
  int relocations_ = 0;
  bool headerInProgress_ = false;
  bool allowedToSend_ = false;
  bool closeForRelocation_ = false;  // session close routed to the relocation
  bool ignoreClose_ = false;         // our own hard close of a connection
  bool closeAfterFeed_ = false;      // an error status: read no more of its body
  bool reusedConnection_ = false;    // the request went out on a kept connection
  bool retried_ = false;             // ... and was already sent again on a new one
  char sendBuf_[BufferSize + 1] = {};
};
