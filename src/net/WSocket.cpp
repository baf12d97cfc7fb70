#include "net/WSocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "base/Text.h"

namespace {

constexpr int SocketBlockSize = 1460;

TSocketSysCalls& Calls() {
  static TSocketSysCalls calls{
      ::socket,      ::connect,
      ::bind,        ::send,
      ::recv,        ::shutdown,
      ::close,       ::setsockopt,
      ::getsockopt,  [](int fd, int* count) { return ::ioctl(fd, FIONREAD, count); },
      ::getaddrinfo,
  };
  return calls;
}

}  // namespace

const TSocketSysCalls& SocketSysCalls() { return Calls(); }

TSocketSysCalls SetSocketSysCalls(const TSocketSysCalls& calls) {
  TSocketSysCalls previous = Calls();
  Calls() = calls;
  return previous;
}

std::string SocketErrorText(int error) {
  switch (error) {
    case 0:
      return "No Error";
    case 10004:
      return "Interrupted system call";
    case 10009:
      return "Bad file number";
    case 10013:
      return "Permission denied";
    case 10014:
      return "Bad address";
    case 10022:
      return "Invalid argument";
    case 10024:
      return "Too many open files";
    case 10035:
      return "Operation would block";
    case 10036:
      return "Operation now in progress";
    case 10037:
      return "Operation already in progress";
    case 10038:
      return "Socket operation on non-socket";
    case 10039:
      return "Destination address required";
    case 10040:
      return "Message too long";
    case 10041:
      return "Protocol wrong type for socket";
    case 10042:
      return "Protocol not available";
    case 10043:
      return "Protocol not supported";
    case 10044:
      return "Socket type not supported";
    case 10045:
      return "Operation not supported on socket";
    case 10046:
      return "Protocol family not supported";
    case 10047:
      return "Address family not supported by protocol family";
    case 10048:
      return "Address already in use";
    case 10049:
      return "Address not available";
    case 10050:
      return "Network is down";
    case 10051:
      return "Network is unreachable";
    case 10052:
      return "Network dropped connection on reset";
    case 10053:
      return "Connection aborted";
    case 10054:
      return "Connection reset by peer";
    case 10055:
      return "No buffer space available";
    case 10056:
      return "Socket is already connected";
    case 10057:
      return "Socket is not connected";
    case 10058:
      return "Can't send after socket shutdown";
    case 10059:
      return "Too many references: can't splice";
    case 10060:
      return "Connection timed out";
    case 10061:
      return "Connection refused";
    case 10062:
      return "Too many levels of symbolic links";
    case 10063:
      return "File name too long";
    case 10064:
      return "Host is down";
    case 10065:
      return "No route to host";
    case 10066:
      return "Directory not empty";
    case 10067:
      return "Too many processes";
    case 10068:
      return "Too many users";
    case 10069:
      return "Disc quota exceeded";
    case 10070:
      return "Stale NFS file handle";
    case 10071:
      return "Too many levels of remote in path";
    case 10091:
      return "Network sub-system is unusable";
    case 10092:
      return "WinSock DLL cannot support this application";
    case 10093:
      return "WinSock not initialized";
    case 11001:
      return "Host not found";
    case 11002:
      return "Non-authoritative host not found";
    case 11003:
      return "Non-recoverable error";
    case 11004:
      return "No Data";
    default:
      return "Not a WinSock error";
  }
}

int SocketErrorFromErrno(int err) {
  switch (err) {
    case 0:
      return 0;
    case EINTR:
      return 10004;
    case EBADF:
      return 10009;
    case EACCES:
      return 10013;
    case EPERM:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
      return 10024;
    case ENFILE:
      return 10024;
    case EWOULDBLOCK:
      return 10035;
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    case ECONNRESET:
      return 10054;
    // A send after the peer went away: the connection is gone as after a reset.
    case EPIPE:
      return 10054;
    case ENOBUFS:
      return 10055;
    case ENOMEM:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ESHUTDOWN:
      return 10058;
    case ETOOMANYREFS:
      return 10059;
    case ETIMEDOUT:
      return 10060;
    case ECONNREFUSED:
      return 10061;
    case ELOOP:
      return 10062;
    case ENAMETOOLONG:
      return 10063;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    case ENOTEMPTY:
      return 10066;
    case EUSERS:
      return 10068;
    case EDQUOT:
      return 10069;
    case ESTALE:
      return 10070;
    case EREMOTE:
      return 10071;
    default:
      return 10000 + (err > 0 && err < 1000 ? err : 0);
  }
}

int SocketErrorFromLookup(int gaiError, int err) {
  switch (gaiError) {
    case 0:
      return 0;
    case EAI_NONAME:
      return 11001;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return 11004;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      return 11004;
#endif
    case EAI_AGAIN:
      return 11002;
    case EAI_MEMORY:
      return 10055;
    case EAI_SYSTEM:
      return SocketErrorFromErrno(err);
    default:
      return 11003;
  }
}

bool IsDottedAddress(const std::string& host, uint32_t* address) {
  size_t i = 0;
  while (i < host.size() && host[i] == ' ') ++i;
  if (i >= host.size() || host[i] == '.') return false;
  uint32_t parts[4] = {};
  int dots = 0;
  bool digitSeen = false;
  for (; i < host.size() && host[i] != ' '; ++i) {
    const char c = host[i];
    if (c >= '0' && c <= '9') {
      parts[dots] = parts[dots] * 10 + static_cast<uint32_t>(c - '0');
      if (parts[dots] > 255) return false;
      digitSeen = true;
    } else if (c == '.') {
      if (!digitSeen || dots == 3) return false;
      if (i + 1 >= host.size() || host[i + 1] < '0' || host[i + 1] > '9') return false;
      ++dots;
      digitSeen = false;
    } else {
      return false;
    }
  }
  for (; i < host.size(); ++i)
    if (host[i] != ' ') return false;
  if (dots != 3 || !digitSeen) return false;
  if (address) *address = htonl((parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3]);
  return true;
}

int WSocketResolveProto(const std::string& proto) {
  if (proto.empty() || proto.size() >= 32) throw ESocketException("WSocketResolveProto: Invalid Protocol.");
  if (proto[0] >= '0' && proto[0] <= '9') return static_cast<int>(std::strtol(proto.c_str(), nullptr, 10));
  const std::string name = AsciiLower(Trim(proto));
  if (name == "tcp") return IPPROTO_TCP;
  if (name == "udp") return IPPROTO_UDP;
  if (name == "raw") return IPPROTO_RAW;
  protoent entry{};
  protoent* found = nullptr;
  char buffer[1024];
  if (::getprotobyname_r(name.c_str(), &entry, buffer, sizeof buffer, &found) != 0 || !found)
    throw ESocketException("WSocketResolveProto: Cannot convert protocol '" + proto + "', Error #" +
                           std::to_string(10043));
  return found->p_proto;
}

uint16_t WSocketResolvePort(const std::string& port, const std::string& proto) {
  if (port.empty() || port.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Port.");
  if (proto.empty() || proto.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Proto.");
  if (port[0] >= '0' && port[0] <= '9') {
    uint32_t value = 0;
    for (size_t i = 0; i < port.size() && port[i] >= '0' && port[i] <= '9'; ++i) {
      value = value * 10 + static_cast<uint32_t>(port[i] - '0');
      if (value > 65535)
        throw ESocketException("WSocketResolvePort: Cannot convert port '" + port + "', Error #" +
                               std::to_string(10022));
    }
    return static_cast<uint16_t>(value);
  }
  servent entry{};
  servent* found = nullptr;
  char buffer[1024];
  if (::getservbyname_r(Trim(port).c_str(), AsciiLower(Trim(proto)).c_str(), &entry, buffer, sizeof buffer,
                        &found) != 0 ||
      !found)
    throw ESocketException("WSocketResolvePort: Cannot convert port '" + port + "', Error #" +
                           std::to_string(11004));
  return ntohs(static_cast<uint16_t>(found->s_port));
}

std::string AddressText(const sockaddr* address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address->sa_family == AF_INET)
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  else if (address->sa_family == AF_INET6)
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
  return text;
}

namespace {

// An IPv6 literal, with or without its brackets.
bool ParseIpv6(const std::string& host, in6_addr& address) {
  std::string text = Trim(host);
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']') text = text.substr(1, text.size() - 2);
  return text.find(':') != std::string::npos && ::inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

// A dotted IPv4 or an IPv6 literal as it stands, no lookup: the address's
// length, or 0 for any other text.
socklen_t LiteralAddress(const std::string& host, sockaddr_storage& address) {
  address = {};
  in6_addr v6{};
  uint32_t v4 = 0;
  if (ParseIpv6(host, v6)) {
    auto& a = reinterpret_cast<sockaddr_in6&>(address);
    a.sin6_family = AF_INET6;
    a.sin6_addr = v6;
    return sizeof(sockaddr_in6);
  }
  if (IsDottedAddress(host, &v4)) {
    auto& a = reinterpret_cast<sockaddr_in&>(address);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = v4;
    return sizeof(sockaddr_in);
  }
  return 0;
}

}  // namespace

socklen_t WSocketResolveHost(const std::string& host, sockaddr_storage& address) {
  if (host.empty() || host.size() > 256)
    throw ESocketException("WSocketResolveHost: '" + host + "' Invalid Hostname.");
  const std::string name = Trim(host);
  if (const socklen_t length = LiteralAddress(name, address)) return length;
  if (!name.empty() && name.find_first_not_of("0123456789.") == std::string::npos)
    throw ESocketException("WSocketResolveHost: '" + host + "' Invalid IP address.");
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  const int rc = Calls().GetAddrInfo(name.c_str(), nullptr, &hints, &result);
  const addrinfo* usable = nullptr;
  for (const addrinfo* r = rc == 0 ? result : nullptr; r && !usable; r = r->ai_next)
    if ((r->ai_family == AF_INET || r->ai_family == AF_INET6) && r->ai_addrlen <= sizeof address) usable = r;
  if (!usable) {
    const int error = rc != 0 ? SocketErrorFromLookup(rc, errno) : 11004;
    if (result) ::freeaddrinfo(result);
    throw ESocketException("WSocketResolveHost: Cannot convert host address '" + host + "', Error #" +
                           std::to_string(error));
  }
  std::memcpy(&address, usable->ai_addr, usable->ai_addrlen);
  const socklen_t length = usable->ai_addrlen;
  ::freeaddrinfo(result);
  return length;
}

// A running name lookup. Its thread posts the result back only while the
// lookup has not been cancelled, under the job's lock, so a cancelled or
// destroyed socket never hears from it.
struct TWSocket::TLookupJob {
  std::mutex Mutex;
  bool Cancelled = false;
};

TWSocket::TWSocket(TEventLoop& loop) : loop_(loop) {}

TWSocket::~TWSocket() {
  destroying_ = true;
  // A close that fails here has no one left to tell.
  try {
    StopLookup();
    if (fd_ >= 0) InternalClose(false, 0);
  } catch (...) {
  }
}

void TWSocket::SetAddr(const std::string& value) {
  const std::string v = Trim(value);
  if (v == addr_) return;
  if (state_ != TSocketState::wsClosed) return RaiseException("Cannot change Addr if not closed");
  addr_ = v;
  addrResolved_ = false;
}

void TWSocket::SetPort(const std::string& value) {
  const std::string v = Trim(value);
  if (v == port_) return;
  if (state_ != TSocketState::wsClosed) return RaiseException("Cannot change Port if not closed");
  port_ = v;
  portResolved_ = false;
}

void TWSocket::SetProto(const std::string& value) {
  if (value == proto_) return;
  if (state_ != TSocketState::wsClosed) return RaiseException("Cannot change Proto if not closed");
  proto_ = value;
  protoResolved_ = false;
  portResolved_ = false;
}

void TWSocket::SetLocalAddr(const std::string& value) {
  if (state_ != TSocketState::wsClosed) return RaiseException("Cannot change LocalAddr if not closed");
  localAddr_ = value.empty() ? std::string("0.0.0.0") : value;
}

void TWSocket::SetLocalPort(const std::string& value) {
  if (state_ != TSocketState::wsClosed) return RaiseException("Cannot change LocalPort if not closed");
  localPort_ = value;
}

void TWSocket::SetSendFlags(TSocketSendFlags value) {
  if (value != TSocketSendFlags::wsSendNormal && value != TSocketSendFlags::wsSendUrgent)
    return RaiseException("Invalid SendFlags");
  sendFlags_ = value;
}

void TWSocket::ChangeState(TSocketState newState) {
  const TSocketState oldState = state_;
  if (oldState == newState) return;
  state_ = newState;
  if (OnChangeState) OnChangeState(*this, oldState, newState);
}

void TWSocket::RaiseException(const std::string& message) {
  lastErrorMessage_ = message;
  if (OnError)
    OnError(*this);
  else
    throw ESocketException(message);
}

void TWSocket::SocketError(const std::string& function, int error) {
  if (error == 10054 || error == 10057) {
    if (fd_ >= 0) {
      loop_.Unwatch(fd_);
      Calls().Close(fd_);
      fd_ = -1;
    }
    if (state_ != TSocketState::wsClosed) {
      ChangeState(TSocketState::wsClosed);
      if (!closeReported_) {
        closeReported_ = true;
        if (OnSessionClosed) OnSessionClosed(*this, static_cast<uint16_t>(error));
      }
    }
  }
  lastError_ = error;
  RaiseException("Error " + std::to_string(error) + " in function " + function + "\r\n" +
                 SocketErrorText(error));
}

void TWSocket::RestoreDefaults() {
  proto_ = "tcp";
  localAddr_ = "0.0.0.0";
  localPort_ = "0";
  LingerOnOff = TSocketLingerOnOff::wsLingerOn;
  LingerTimeout = 0;
  FlushTimeout = 60;
  addr_.clear();
  port_.clear();
  addrResolved_ = portResolved_ = protoResolved_ = false;
}

void TWSocket::UpdateWatch() {
  if (fd_ < 0) return;
  unsigned events = 0;
  if (!paused_) {
    if (state_ == TSocketState::wsConnecting || state_ == TSocketState::wsOpened)
      events = TEventLoop::FdWrite;
    else if (state_ == TSocketState::wsConnected)
      events = TEventLoop::FdRead | (allSent_ ? 0u : unsigned(TEventLoop::FdWrite));
  }
  if (events == 0) {
    loop_.Unwatch(fd_);
    return;
  }
  std::weak_ptr<int> alive = alive_;
  loop_.Watch(fd_, events, [this, alive](unsigned ready) {
    if (alive.lock()) HandleReadiness(ready);
  });
}

void TWSocket::Connect() {
  if (fd_ >= 0 && state_ != TSocketState::wsClosed) return RaiseException("Connect: Socket already in use");
  if (port_.empty()) return RaiseException("Connect: No Port Specified");
  if (addr_.empty()) return RaiseException("Connect: No IP Address Specified");
  if (proto_.empty()) return RaiseException("Connect: No Protocol Specified");

  sockaddr_storage localAddress{};
  socklen_t localLength = 0;
  uint16_t localPort = 0;
  lastError_ = 0;
  try {
    if (!protoResolved_) {
      protoNumber_ = WSocketResolveProto(proto_);
      protoResolved_ = true;
    }
    if (!portResolved_) {
      sinPort_ = WSocketResolvePort(port_, proto_);
      portResolved_ = true;
    }
    localPort = WSocketResolvePort(localPort_, proto_);
    if (!addrResolved_) {
      remoteLength_ = WSocketResolveHost(addr_, remote_);
      addrResolved_ = true;
    }
    if (localAddr_ != "0.0.0.0") localLength = WSocketResolveHost(localAddr_, localAddress);
  } catch (const ESocketException& e) {
    return RaiseException(std::string("connect: ") + e.what());
  }
  const int family = remote_.ss_family;

  queue_.clear();
  allSent_ = true;
  const bool tcp = protoNumber_ == IPPROTO_TCP;
  const int type = tcp ? SOCK_STREAM : protoNumber_ == IPPROTO_UDP ? SOCK_DGRAM : SOCK_RAW;
  const int fd = Calls().Socket(family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protoNumber_);
  if (fd < 0) return SocketError("Connect (socket)", SocketErrorFromErrno(errno));
  fd_ = fd;
  ++connSerial_;
  closeReported_ = false;
  ChangeState(TSocketState::wsOpened);
  if (state_ != TSocketState::wsOpened)
    return SocketError("Connect (Invalid operation in OnChangeState)", 10022);

  auto setOption = [&](int level, int name, const void* value, socklen_t length, const char* what) {
    if (Calls().SetSockOpt(fd_, level, name, value, length) != 0) {
      SocketError(what, SocketErrorFromErrno(errno));
      return false;
    }
    return true;
  };
  const int on = 1;
  if (tcp) {
    if (!setOption(SOL_SOCKET, SO_REUSEADDR, &on, sizeof on, "setsockopt(SO_REUSEADDR)")) return;
    if ((ComponentOptions & wsoTcpNoDelay) &&
        !setOption(IPPROTO_TCP, TCP_NODELAY, &on, sizeof on, "setsockopt(IPPROTO_TCP, TCP_NODELAY)"))
      return;
    if (LingerOnOff != TSocketLingerOnOff::wsLingerNoSet) {
      linger l{LingerOnOff == TSocketLingerOnOff::wsLingerOn ? 1 : 0, LingerTimeout};
      if (!setOption(SOL_SOCKET, SO_LINGER, &l, sizeof l, "setsockopt(SO_LINGER)")) return;
    }
    if (!setOption(SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on, "setsockopt(SO_KEEPALIVE)")) return;
  }
  if (!tcp || localPort != 0 || localLength != 0) {
    sockaddr_storage local = localAddress;
    socklen_t length = localLength;
    if (length == 0) {
      // The wildcard address of the remote's family.
      local = {};
      local.ss_family = static_cast<sa_family_t>(family);
      length = family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    }
    if (local.ss_family == AF_INET6)
      reinterpret_cast<sockaddr_in6&>(local).sin6_port = htons(localPort);
    else
      reinterpret_cast<sockaddr_in&>(local).sin_port = htons(localPort);
    if (Calls().Bind(fd_, reinterpret_cast<sockaddr*>(&local), length) != 0)
      return RaiseException("winsock.bind failed, error #" + std::to_string(SocketErrorFromErrno(errno)));
    length = sizeof local;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0)
      return RaiseException("winsock.getsockname failed, error #" +
                            std::to_string(SocketErrorFromErrno(errno)));
    localPort_ =
        std::to_string(ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(local).sin6_port
                                                         : reinterpret_cast<sockaddr_in&>(local).sin_port));
  }

  sockaddr_storage remote = remote_;
  if (family == AF_INET6)
    reinterpret_cast<sockaddr_in6&>(remote).sin6_port = htons(sinPort_);
  else
    reinterpret_cast<sockaddr_in&>(remote).sin_port = htons(sinPort_);
  int rc;
  do {
    rc = Calls().Connect(fd_, reinterpret_cast<sockaddr*>(&remote), remoteLength_);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0 && errno != EINPROGRESS && errno != EWOULDBLOCK) {
    lastError_ = SocketErrorFromErrno(errno);
    return SocketError("Connect", lastError_);
  }
  if (!tcp) {
    ChangeState(TSocketState::wsConnected);
    UpdateWatch();
    if (OnSessionConnected) OnSessionConnected(*this, 0);
    return;
  }
  ChangeState(TSocketState::wsConnecting);
  UpdateWatch();
}

int TWSocket::SocketOptionError() {
  int error = 0;
  socklen_t length = sizeof error;
  if (fd_ < 0 || Calls().GetSockOpt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return 0;
  return SocketErrorFromErrno(error);
}

int TWSocket::BytesWaiting() {
  int count = 0;
  if (fd_ < 0 || Calls().BytesWaiting(fd_, &count) != 0) return -1;
  return count;
}

void TWSocket::Guarded(const std::function<void()>& raise) {
  try {
    raise();
  } catch (const std::exception& e) {
    bool canClose = true;
    if (OnBgException) {
      try {
        OnBgException(*this, e, canClose);
      } catch (...) {
      }
    }
    if (canClose) {
      try {
        Abort();
      } catch (...) {
      }
    }
  }
}

void TWSocket::HandleReadiness(unsigned events) {
  if (paused_ || fd_ < 0) return;
  const uint64_t serial = connSerial_;
  auto same = [&] { return fd_ >= 0 && connSerial_ == serial; };
  if (state_ == TSocketState::wsConnecting || state_ == TSocketState::wsOpened) {
    if (events & (TEventLoop::FdWrite | TEventLoop::FdError | TEventLoop::FdHangup))
      HandleConnect(static_cast<uint16_t>(SocketOptionError()));
    return;
  }
  if (state_ != TSocketState::wsConnected) return;
  bool read = false, close = false;
  uint16_t closeError = 0;
  if (events & TEventLoop::FdRead) {
    read = BytesWaiting() > 0;
    if (!read) close = true;  // readable with nothing waiting: end of stream or error
  }
  if (events & (TEventLoop::FdPeerClosed | TEventLoop::FdHangup | TEventLoop::FdError)) close = true;
  if (close) closeError = static_cast<uint16_t>(SocketOptionError());
  if (read) ReceiveLoop(0, false);
  if (same() && (events & TEventLoop::FdWrite) && !allSent_) HandleWrite(0);
  if (same() && close) HandleClose(closeError);
  if (same()) UpdateWatch();
}

void TWSocket::HandleConnect(uint16_t error) {
  if (state_ == TSocketState::wsConnected) return;
  ChangeState(TSocketState::wsConnected);
  UpdateWatch();
  Guarded([&] {
    if (OnSessionConnected) OnSessionConnected(*this, error);
  });
  if (error != 0 && state_ != TSocketState::wsClosed) Guarded([&] { Close(); });
}

void TWSocket::HandleWrite(uint16_t error) {
  TryToSend();
  if (fd_ >= 0 && allSent_)
    Guarded([&] {
      if (OnDataSent) OnDataSent(*this, error);
    });
}

void TWSocket::HandleClose(uint16_t error) {
  if (state_ == TSocketState::wsConnecting) return;
  ReceiveLoop(error, true);
  if (lineMode_ && !collected_.empty()) {
    // An unfinished last line is delivered as a line of its own.
    lineLength_ = static_cast<int>(collected_.size());
    Guarded([&] {
      if (OnDataAvailable) OnDataAvailable(*this, error);
    });
    collected_.clear();
    lineLength_ = 0;
  }
  if (!closeReported_) {
    closeReported_ = true;
    Guarded([&] {
      if (OnSessionClosed) OnSessionClosed(*this, error);
    });
  }
  if (state_ != TSocketState::wsClosed) Guarded([&] { Close(); });
}

void TWSocket::ReceiveLoop(uint16_t error, bool always) {
  // A peer that sends without pause would otherwise keep the loop here for
  // ever: after this many reads the event loop gets its turn (timers, other
  // sockets), and the data still waiting is reported again.
  constexpr int MaxReadsPerEvent = 64;
  for (int reads = 1;; ++reads) {
    lastError_ = 0;
    const int64_t before = readCount_;
    try {
      TriggerDataAvailable(error);
    } catch (...) {
      break;
    }
    if (fd_ < 0) break;
    if (!always && (ComponentOptions & wsoNoReceiveLoop)) break;
    if (lastError_ != 0) break;
    if (BytesWaiting() <= 0) break;
    // A handler that reads nothing would keep this loop going for ever.
    if (readCount_ == before) break;
    if (!always && reads >= MaxReadsPerEvent) break;
  }
}

void TWSocket::TriggerDataAvailable(uint16_t error) {
  if (lineMode_ && !LineEnd.empty()) return LineModeReceive(error);
  if (OnDataAvailable) {
    OnDataAvailable(*this, error);
    return;
  }
  char discard[1024];
  Receive(discard, sizeof discard);
}

void TWSocket::QueueForSend(const void* data, int length) {
  if (length <= 0) return;
  const char* p = static_cast<const char*>(data);
  if (queue_.empty()) queue_.emplace_back(SocketBlockSize);
  for (;;) {
    const int n = queue_.back().Write(p, length);
    p += n;
    length -= n;
    if (length <= 0) break;
    queue_.emplace_back(SocketBlockSize);
  }
}

int TWSocket::Send(const void* data, int length) {
  if (state_ != TSocketState::wsConnected && state_ != TSocketState::wsSocksConnected) {
    SocketError("Send", 10057);
    return -1;
  }
  allSent_ = false;
  QueueForSend(data, length);
  TryToSend();
  if (fd_ < 0) return length;
  if (allSent_) {
    // OnDataSent follows from the queue, after the current handler.
    std::weak_ptr<int> alive = alive_;
    const uint64_t serial = connSerial_;
    loop_.Post([this, alive, serial] {
      if (!alive.lock() || fd_ < 0 || connSerial_ != serial || paused_) return;
      HandleWrite(0);
    });
  }
  UpdateWatch();
  return length;
}

void TWSocket::TryToSend() {
  if (fd_ < 0) return;
  if (queue_.empty()) {
    allSent_ = true;
    return;
  }
  const int flags = MSG_NOSIGNAL | (sendFlags_ == TSocketSendFlags::wsSendUrgent ? MSG_OOB : 0);
  while (fd_ >= 0 && !queue_.empty()) {
    const std::string_view pending = queue_.front().Peek();
    if (pending.empty()) {
      if (queue_.size() > 1) {
        queue_.pop_front();
        continue;
      }
      allSent_ = true;
      break;
    }
    ssize_t n;
    do {
      n = Calls().Send(fd_, pending.data(), pending.size(), flags);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      const int error = SocketErrorFromErrno(errno);
      if (error == 10035) break;
      if (error == 10054 || error == 10038 || error == 10057 || error == 10022 || error == 10053) {
        closeReported_ = true;
        Close();
        if (OnSessionClosed) OnSessionClosed(*this, static_cast<uint16_t>(error));
        return;
      }
      SocketError("TryToSend failed", error);
      return;
    }
    if (n == 0) break;
    queue_.front().Remove(static_cast<int>(n));
    if (OnSendData) OnSendData(*this, static_cast<int>(n));
    if (static_cast<size_t>(n) < pending.size()) break;
  }
  if (fd_ >= 0) UpdateWatch();
}

int TWSocket::Receive(void* buffer, int size) {
  if (size <= 0) return 0;
  if (!collected_.empty()) {
    // Line mode hands out one line at a time; collected bytes left over from
    // line mode are read first once it is off.
    int available = static_cast<int>(collected_.size());
    if (lineMode_ && !LineEnd.empty()) available = lineLength_;
    const int n = std::min(size, available);
    if (n <= 0) return 0;
    std::memcpy(buffer, collected_.data(), n);
    collected_.erase(0, n);
    if (lineMode_) lineLength_ -= n;
    return n;
  }
  if (fd_ < 0) {
    lastError_ = 10057;
    return -1;
  }
  ssize_t n;
  do {
    n = Calls().Recv(fd_, buffer, size, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    lastError_ = SocketErrorFromErrno(errno);
    return -1;
  }
  readCount_ += n;
  return static_cast<int>(n);
}

int TWSocket::RcvdCount() {
  if (lineMode_ && !LineEnd.empty()) return lineLength_;
  if (!collected_.empty()) return static_cast<int>(collected_.size());
  if (fd_ < 0) return 0;
  int count = 0;
  if (Calls().BytesWaiting(fd_, &count) != 0) {
    SocketError("ioctlSocket", SocketErrorFromErrno(errno));
    return -1;
  }
  return count;
}

std::string TWSocket::ReceiveText() {
  int count = RcvdCount();
  if (count <= 0) count = 255;
  std::string text(count, '\0');
  const int n = Receive(text.data(), count);
  text.resize(n > 0 ? n : 0);
  return text;
}

void TWSocket::Close() { InternalClose(true, 0); }

void TWSocket::InternalClose(bool shutdownFirst, uint16_t error) {
  if (fd_ < 0) {
    ChangeState(TSocketState::wsClosed);
    RestoreDefaults();
    return;
  }
  if (state_ != TSocketState::wsClosed && shutdownFirst) Calls().Shutdown(fd_, SHUT_WR);
  loop_.Unwatch(fd_);
  const int rc = Calls().Close(fd_);
  const int closeErrno = errno;
  fd_ = -1;
  ChangeState(TSocketState::wsClosed);
  const bool report = !destroying_ && !closeReported_;
  closeReported_ = true;
  RestoreDefaults();
  collected_.clear();
  lineLength_ = 0;
  if (report && OnSessionClosed) OnSessionClosed(*this, error);
  readCount_ = 0;
  // Linux always releases the descriptor, EINTR included.
  if (rc != 0 && closeErrno != EINTR)
    SocketError("Disconnect (closesocket)", SocketErrorFromErrno(closeErrno));
}

void TWSocket::CloseLater() {
  std::weak_ptr<int> alive = alive_;
  const uint64_t serial = connSerial_;
  loop_.Post([this, alive, serial] {
    // A close posted for one connection never closes the next one.
    if (alive.lock() && connSerial_ == serial) Close();
  });
}

void TWSocket::Abort() {
  CancelDnsLookup();
  queue_.clear();
  allSent_ = true;
  if (fd_ >= 0 && state_ == TSocketState::wsConnected && protoNumber_ == IPPROTO_TCP) {
    linger l{0, 0};
    Calls().SetSockOpt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  }
  InternalClose(false, 0);
}

void TWSocket::Shutdown(int how) {
  if (fd_ >= 0) Calls().Shutdown(fd_, how);
}

void TWSocket::Pause() {
  paused_ = true;
  if (fd_ >= 0) loop_.Unwatch(fd_);
}

void TWSocket::Resume() {
  paused_ = false;
  UpdateWatch();
}

void TWSocket::Flush() {
  while (fd_ >= 0 && !allSent_) {
    TryToSend();
    if (fd_ < 0 || allSent_) break;
    if (!loop_.RunUntil([&] { return fd_ < 0 || allSent_; }, std::chrono::seconds(FlushTimeout))) break;
  }
}

void TWSocket::WaitForClose() {
  loop_.RunUntil([&] { return fd_ < 0 || state_ == TSocketState::wsClosed; }, TEventLoop::NoLimit);
}

void TWSocket::PumpMessages() {
  loop_.ProcessPending();
  if (loop_.Quitting()) terminated_ = true;
}

void TWSocket::StopLookup() {
  if (!lookup_) return;
  {
    std::lock_guard<std::mutex> lock(lookup_->Mutex);
    lookup_->Cancelled = true;
  }
  lookup_.reset();
  lookupId_ = 0;
}

void TWSocket::CancelDnsLookup() {
  if (!lookup_) return;
  StopLookup();
  if (!destroying_ && OnDnsLookupDone) OnDnsLookupDone(*this, 10004);
}

void TWSocket::DnsLookup(const std::string& host) {
  if (host.empty()) {
    RaiseException("DNS lookup: invalid host name.");
    if (OnDnsLookupDone) OnDnsLookupDone(*this, 10022);
    return;
  }
  StopLookup();
  dnsResult_.clear();
  dnsResultList_.clear();
  if (sockaddr_storage literal{}; LiteralAddress(host, literal) != 0) {
    dnsResult_ = AddressText(reinterpret_cast<sockaddr*>(&literal));
    dnsResultList_.push_back(dnsResult_);
    if (OnDnsLookupDone) OnDnsLookupDone(*this, 0);
    return;
  }
  auto job = std::make_shared<TLookupJob>();
  static uint64_t nextId = 0;
  const uint64_t id = ++nextId;
  std::weak_ptr<int> alive = alive_;
  TEventLoop* loop = &loop_;
  const auto getAddrInfo = Calls().GetAddrInfo;
  const std::string name = Trim(host);
  try {
    // Detached: a lookup nobody waits for any more (cancelled, its socket gone,
    // the program ending) must not hold anything up. It touches only its job
    // and, while the job is not cancelled, the loop.
    std::thread([job, id, alive, loop, getAddrInfo, name, this] {
      addrinfo hints{};
      hints.ai_family = AF_UNSPEC;
      hints.ai_socktype = SOCK_STREAM;
      addrinfo* result = nullptr;
      const int rc = getAddrInfo(name.c_str(), nullptr, &hints, &result);
      const int error = SocketErrorFromLookup(rc, errno);
      std::vector<std::string> addresses;
      if (rc == 0)
        for (addrinfo* a = result; a; a = a->ai_next) {
          const std::string text = AddressText(a->ai_addr);
          if (!text.empty()) addresses.push_back(text);
        }
      if (result) ::freeaddrinfo(result);
      std::lock_guard<std::mutex> lock(job->Mutex);
      if (job->Cancelled) return;
      loop->Post([this, alive, id, error, addresses = std::move(addresses)]() mutable {
        if (alive.lock()) LookupDone(id, error, std::move(addresses));
      });
    }).detach();
  } catch (const std::system_error& e) {
    return RaiseException(host + ": can't start DNS lookup, error #" +
                          std::to_string(SocketErrorFromErrno(e.code().value())));
  }
  lookup_ = std::move(job);
  lookupId_ = id;
}

void TWSocket::LookupDone(uint64_t id, int error, std::vector<std::string> addresses) {
  if (id != lookupId_ || !lookup_) return;  // cancelled or replaced meanwhile
  lookup_.reset();
  lookupId_ = 0;
  if (error == 0 && addresses.empty()) error = 11004;
  if (error == 0) {
    dnsResultList_ = std::move(addresses);
    dnsResult_ = dnsResultList_.front();
  }
  Guarded([&] {
    if (OnDnsLookupDone) OnDnsLookupDone(*this, static_cast<uint16_t>(error));
  });
}

std::string TWSocket::PeerAddr() const {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  if (fd_ < 0 || state_ != TSocketState::wsConnected ||
      ::getpeername(fd_, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
    return "error";
  return AddressText(reinterpret_cast<sockaddr*>(&peer));
}

std::string TWSocket::PeerPort() const {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  if (fd_ < 0 || state_ != TSocketState::wsConnected ||
      ::getpeername(fd_, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
    return "error";
  return std::to_string(ntohs(peer.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(peer).sin6_port
                                                         : reinterpret_cast<sockaddr_in&>(peer).sin_port));
}

// Line mode ---------------------------------------------------------------

void TWSocket::SetLineMode(bool value) {
  if (value == lineMode_) return;
  lineMode_ = value;
  lineLength_ = 0;
  if (!collected_.empty()) {
    std::weak_ptr<int> alive = alive_;
    loop_.Post([this, alive] {
      if (alive.lock()) DeliverCollectedAgain();
    });
  }
}

void TWSocket::CollectReceived(const char* data, int length) {
  for (int i = 0; i < length; ++i) {
    const char c = data[i];
    if (LineEdit && c == '\b') {
      if (!collected_.empty()) collected_.pop_back();
    } else if (LineEdit && c == '\t') {
      do collected_ += ' ';
      while (collected_.size() % 8 != 0);
    } else {
      collected_ += c;
    }
  }
  if (LineEcho && length > 0 && state_ == TSocketState::wsConnected) Send(data, length);
}

bool TWSocket::DeliverLines(uint16_t error) {
  bool found = false;
  while (lineMode_ && !LineEnd.empty()) {
    const auto end = collected_.find(LineEnd);
    if (end == std::string::npos) break;
    found = true;
    lineLength_ = static_cast<int>(end + LineEnd.size());
    if (!OnDataAvailable) {
      collected_.erase(0, lineLength_);
      lineLength_ = 0;
      continue;
    }
    while (lineLength_ > 0) {
      const int before = lineLength_;
      OnDataAvailable(*this, error);
      if (lineLength_ == before) {
        // The handler must read the line; one that does not loses it.
        collected_.erase(0, lineLength_);
        lineLength_ = 0;
      }
    }
  }
  if (lineMode_ && static_cast<int>(collected_.size()) > LineLimit &&
      collected_.find(LineEnd) == std::string::npos) {
    bool clearData = true;
    if (OnLineLimitExceeded) OnLineLimitExceeded(*this, static_cast<int>(collected_.size()), clearData);
    if (clearData) collected_.clear();
  }
  return found;
}

void TWSocket::LineModeReceive(uint16_t error) {
  if (fd_ >= 0) {
    char buffer[4096];
    ssize_t n;
    do {
      n = Calls().Recv(fd_, buffer, sizeof buffer, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      lastError_ = SocketErrorFromErrno(errno);
    } else if (n > 0) {
      readCount_ += n;
      CollectReceived(buffer, static_cast<int>(n));
    }
  }
  DeliverLines(error);
}

void TWSocket::DeliverCollectedAgain() {
  for (int pass = 1; !collected_.empty(); ++pass) {
    if (lineMode_ && !LineEnd.empty()) {
      const bool found = DeliverLines(0);
      if (!found && pass > 3) break;
      if (!found) continue;
    } else {
      const size_t before = collected_.size();
      if (OnDataAvailable)
        OnDataAvailable(*this, 0);
      else
        collected_.clear();
      if (collected_.size() == before) break;
    }
  }
}
