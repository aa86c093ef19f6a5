// Blocking Winsock peers for the socket unit tests.
#include "peer.h"

namespace commtest {

namespace {

sockaddr_in loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  return a;
}

bool readable(SOCKET s, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval t{ms / 1000, (ms % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &t) == 1;
}

}  // namespace

void start_winsock() {
  static bool started = false;
  if (started) return;
  WSADATA d;
  started = WSAStartup(MAKEWORD(2, 2), &d) == 0;
}

void Peer::close() {
  if (s_ != INVALID_SOCKET) closesocket(s_);
  s_ = INVALID_SOCKET;
}

void Peer::reset() {
  linger l{1, 0};
  setsockopt(s_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
  close();
}

Peer Peer::connect_to(uint16_t port) {
  start_winsock();
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = loopback(port);
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    closesocket(s);
    return Peer();
  }
  return Peer(s);
}

Peer Peer::listen_on(uint16_t port) {
  start_winsock();
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = loopback(port);
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 8) != 0) {
    closesocket(s);
    return Peer();
  }
  return Peer(s);
}

Peer Peer::datagram(uint16_t port) {
  start_winsock();
  SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a = loopback(port);
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    closesocket(s);
    return Peer();
  }
  return Peer(s);
}

Peer Peer::accept_one(int ms) {
  if (!readable(s_, ms)) return Peer();
  return Peer(accept(s_, nullptr, nullptr));
}

bool Peer::send_all(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    int n = send(s_, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

std::string Peer::receive(size_t n, int ms) {
  std::string out;
  char buffer[65536];
  while (out.size() < n && readable(s_, ms)) {
    int got = recv(s_, buffer, static_cast<int>(std::min(sizeof buffer, n - out.size())), 0);
    if (got <= 0) break;
    out.append(buffer, static_cast<size_t>(got));
  }
  return out;
}

bool Peer::sees_close(int ms) {
  char c;
  return readable(s_, ms) && recv(s_, &c, 1, 0) <= 0;
}

uint16_t Peer::local_port() const {
  sockaddr_in a{};
  int n = sizeof a;
  getsockname(s_, reinterpret_cast<sockaddr*>(&a), &n);
  return ntohs(a.sin_port);
}

bool Peer::send_datagram(uint16_t port, const std::string& bytes) {
  sockaddr_in a = loopback(port);
  return sendto(s_, bytes.data(), static_cast<int>(bytes.size()), 0,
                reinterpret_cast<sockaddr*>(&a), sizeof a) == static_cast<int>(bytes.size());
}

std::string Peer::receive_datagram(int ms) {
  if (!readable(s_, ms)) return {};
  char buffer[65536];
  int n = recv(s_, buffer, sizeof buffer, 0);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::string address_of(const Peer& p) { return "127.0.0.1:" + std::to_string(p.local_port()); }

uint16_t free_port() {
  Peer p = Peer::listen_on(0);
  return p.local_port();
}

}  // namespace commtest
