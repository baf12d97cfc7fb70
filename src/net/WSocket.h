#pragma once
// TWSocket: an event-driven, non-blocking TCP socket. Every call returns at
// once; lookup, connection, arriving data, drained send queue and close are
// reported later through events raised from the event loop's queue.

#include "net/EventLoop.h"
#include "net/WSockBuf.h"

#include <sys/socket.h>
#include <sys/types.h>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct addrinfo;
struct sockaddr;

class ESocketException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TSocketState {
  wsInvalidState,
  wsOpened,
  wsBound,
  wsConnecting,
  wsSocksConnected,
  wsConnected,
  wsAccepting,
  wsListening,
  wsClosed
};
enum class TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };
enum class TSocketSendFlags { wsSendNormal, wsSendUrgent };
// ComponentOptions bits.
enum : unsigned { wsoNoReceiveLoop = 1, wsoTcpNoDelay = 2, wsoSIO_RCVALL = 4 };

// The socket-library error numbers the socket layer reports.
std::string SocketErrorText(int error);
// errno to socket error number (ECONNREFUSED 10061, EWOULDBLOCK 10035, ...).
int SocketErrorFromErrno(int err);
// getaddrinfo result to socket error number (11001 "Host not found", ...).
int SocketErrorFromLookup(int gaiError, int err);

// Blocking resolution used by Connect; each raises ESocketException.
int WSocketResolveProto(const std::string& proto);
uint16_t WSocketResolvePort(const std::string& port, const std::string& proto);
// IPv4 and IPv6: a dotted or IPv6 literal as it stands, a name by a blocking
// lookup (its first address). Returns the address's length.
socklen_t WSocketResolveHost(const std::string& host, sockaddr_storage& address);
// The numeric text of an IPv4 or IPv6 address; empty for other families.
std::string AddressText(const sockaddr* address);
// The dotted-address test of DnsLookup: four digit groups of at most 255,
// blanks allowed around. Stores the address in network byte order.
bool IsDottedAddress(const std::string& host, uint32_t* address = nullptr);

// The socket layer's system calls, behind one switch point so tests can
// inject EINTR, short writes and failures.
struct TSocketSysCalls {
  int (*Socket)(int domain, int type, int protocol);
  int (*Connect)(int fd, const sockaddr* address, socklen_t length);
  int (*Bind)(int fd, const sockaddr* address, socklen_t length);
  ssize_t (*Send)(int fd, const void* data, size_t length, int flags);
  ssize_t (*Recv)(int fd, void* buffer, size_t length, int flags);
  int (*Shutdown)(int fd, int how);
  int (*Close)(int fd);
  int (*SetSockOpt)(int fd, int level, int name, const void* value, socklen_t length);
  int (*GetSockOpt)(int fd, int level, int name, void* value, socklen_t* length);
  int (*BytesWaiting)(int fd, int* count);
  int (*GetAddrInfo)(const char* node, const char* service, const addrinfo* hints, addrinfo** result);
};
const TSocketSysCalls& SocketSysCalls();
// Replaces the system calls (tests only); returns the previous set.
TSocketSysCalls SetSocketSysCalls(const TSocketSysCalls& calls);

class TWSocket {
 public:
  explicit TWSocket(TEventLoop& loop);
  virtual ~TWSocket();
  TWSocket(const TWSocket&) = delete;
  TWSocket& operator=(const TWSocket&) = delete;

  // Settings; the connection ones change only while closed.
  const std::string& Addr() const { return addr_; }
  void SetAddr(const std::string& value);
  const std::string& Port() const { return port_; }
  void SetPort(const std::string& value);
  const std::string& Proto() const { return proto_; }
  void SetProto(const std::string& value);
  const std::string& LocalAddr() const { return localAddr_; }
  void SetLocalAddr(const std::string& value);
  const std::string& LocalPort() const { return localPort_; }
  void SetLocalPort(const std::string& value);
  TSocketSendFlags SendFlags() const { return sendFlags_; }
  void SetSendFlags(TSocketSendFlags value);
  bool LineMode() const { return lineMode_; }
  void SetLineMode(bool value);

  TSocketLingerOnOff LingerOnOff = TSocketLingerOnOff::wsLingerOn;
  int LingerTimeout = 0;
  int FlushTimeout = 60;
  unsigned ComponentOptions = 0;
  bool MultiThreaded = false;
  int ListenBacklog = 5;
  int MultiCastIpTTL = 1;
  int ReqVerLow = 1;
  int ReqVerHigh = 1;
  std::string LineEnd = "\r\n";
  int LineLimit = 65536;
  bool LineEcho = false;
  bool LineEdit = false;

  // Results.
  TSocketState State() const { return state_; }
  const std::string& DnsResult() const { return dnsResult_; }
  const std::vector<std::string>& DnsResultList() const { return dnsResultList_; }
  std::string PeerAddr() const;
  std::string PeerPort() const;
  int64_t ReadCount() const { return readCount_; }
  int RcvdCount();
  int LastError() const { return lastError_; }
  // The text of the last error reported (also of refusals that carry no number).
  const std::string& LastErrorMessage() const { return lastErrorMessage_; }
  int HSocket() const { return fd_; }
  bool AllSent() const { return allSent_; }

  void Connect();
  void Close();
  void CloseLater();
  void Abort();
  void Shutdown(int how);
  int Send(const void* data, int length);
  int SendText(const std::string& text) { return Send(text.data(), static_cast<int>(text.size())); }
  void QueueForSend(const void* data, int length);
  // Sends what the system takes now; the rest waits for write readiness.
  void TryToSend();
  int Receive(void* buffer, int size);
  std::string ReceiveText();
  void DnsLookup(const std::string& host);
  void CancelDnsLookup();
  void Pause();
  void Resume();
  void Flush();
  void WaitForClose();
  void PumpMessages();
  bool Terminated() const { return terminated_; }

  // Events (all optional). ErrCode is a socket error number, 0 for success.
  std::function<void(TWSocket& sender, uint16_t errCode)> OnDnsLookupDone;
  std::function<void(TWSocket& sender, uint16_t errCode)> OnSessionConnected;
  std::function<void(TWSocket& sender, uint16_t errCode)> OnDataAvailable;
  std::function<void(TWSocket& sender, uint16_t errCode)> OnDataSent;
  std::function<void(TWSocket& sender, int bytesSent)> OnSendData;
  std::function<void(TWSocket& sender, uint16_t errCode)> OnSessionClosed;
  std::function<void(TWSocket& sender, TSocketState oldState, TSocketState newState)> OnChangeState;
  // With OnError assigned, a reported error raises it and the operation
  // returns quietly; without it, ESocketException carries the text.
  std::function<void(TWSocket& sender)> OnError;
  std::function<void(TWSocket& sender, const std::exception& e, bool& canClose)> OnBgException;
  std::function<void(TWSocket& sender, int rcvdLength, bool& clearData)> OnLineLimitExceeded;

 private:
  struct TLookupJob;

  void ChangeState(TSocketState newState);
  void RaiseException(const std::string& message);
  void SocketError(const std::string& function, int error);
  void RestoreDefaults();
  void InternalClose(bool shutdownFirst, uint16_t error);
  void UpdateWatch();
  void HandleReadiness(unsigned events);
  void HandleConnect(uint16_t error);
  void HandleWrite(uint16_t error);
  void HandleClose(uint16_t error);
  void ReceiveLoop(uint16_t error, bool always);
  void TriggerDataAvailable(uint16_t error);
  // Runs an event handler from a notification; an escaping exception goes to
  // OnBgException and, unless it says otherwise, aborts the socket.
  void Guarded(const std::function<void()>& raise);
  int SocketOptionError();
  int BytesWaiting();
  void StopLookup();
  void LookupDone(uint64_t id, int error, std::vector<std::string> addresses);
  // Line mode.
  void LineModeReceive(uint16_t error);
  void CollectReceived(const char* data, int length);
  bool DeliverLines(uint16_t error);
  void DeliverCollectedAgain();

  TEventLoop& loop_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // posted work checks it
  int fd_ = -1;
  uint64_t connSerial_ = 0;  // posted work applies to the connection it was posted for
  TSocketState state_ = TSocketState::wsClosed;
  std::string addr_, port_, proto_ = "tcp", localAddr_ = "0.0.0.0", localPort_ = "0";
  bool addrResolved_ = false, portResolved_ = false, protoResolved_ = false;
  sockaddr_storage remote_{};
  socklen_t remoteLength_ = 0;
  uint16_t sinPort_ = 0;
  int protoNumber_ = 6;
  TSocketSendFlags sendFlags_ = TSocketSendFlags::wsSendNormal;
  std::deque<TBuffer> queue_;
  bool allSent_ = true;
  bool closeReported_ = false;
  bool paused_ = false;
  bool destroying_ = false;
  bool terminated_ = false;
  int lastError_ = 0;
  std::string lastErrorMessage_;
  int64_t readCount_ = 0;
  std::string dnsResult_;
  std::vector<std::string> dnsResultList_;
  std::shared_ptr<TLookupJob> lookup_;
  uint64_t lookupId_ = 0;
  bool lineMode_ = false;
  std::string collected_;  // line mode: bytes received but not yet read
  int lineLength_ = 0;     // length of the complete line ready to be read
};
