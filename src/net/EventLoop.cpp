#include "net/EventLoop.h"

#include <poll.h>

short PollMask(unsigned events) {
  short mask = 0;
  if (events & TEventLoop::FdRead) mask |= POLLIN | POLLRDHUP;
  if (events & TEventLoop::FdWrite) mask |= POLLOUT;
  return mask;
}

unsigned EventBits(short revents) {
  unsigned bits = 0;
  if (revents & POLLIN) bits |= TEventLoop::FdRead;
  if (revents & POLLOUT) bits |= TEventLoop::FdWrite;
  if (revents & (POLLERR | POLLNVAL)) bits |= TEventLoop::FdError;
  if (revents & POLLHUP) bits |= TEventLoop::FdHangup;
  if (revents & POLLRDHUP) bits |= TEventLoop::FdPeerClosed;
  return bits;
}

unsigned ReadinessNow(int fd, unsigned events) {
  pollfd pfd{fd, PollMask(events), 0};
  if (::poll(&pfd, 1, 0) <= 0) return 0;
  return EventBits(pfd.revents);
}
