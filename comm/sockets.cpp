// Socket helpers: Winsock sessions, closing, resolution, address texts, receive and send loops.
#include "comm/sockets.h"
#include <cstdio>
#include <vector>
#include "comm/winsock_api.h"
#include "runtime/registry.h"
#include "runtime/runtime.h"

namespace comm {

namespace {

// Further receives after the announced count. Each receive is a system call (a costly one
// under some platforms), so pieces are large; and one event takes at most kMostPerEvent, so a
// peer that keeps sending cannot hold the message loop: Winsock announces the rest again.
constexpr int kPiece = 65536;
constexpr size_t kMostPerEvent = 256u << 10;
// How long a send waits for room when the socket's buffer is full and the caller gave no wait
// time: a peer that stops reading must not hang the window for ever.
constexpr int kFullBufferWaitMs = 5000;

// Waits up to `ms` for `s` to become writable.
bool wait_writable(SOCKET s, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval t{ms / 1000, (ms % 1000) * 1000};
  return ws().select(0, nullptr, &set, nullptr, &t) == 1;
}

}  // namespace

WinsockSession::WinsockSession() {
  WSADATA data;
  started_ = ws().startup && ws().startup(MAKEWORD(1, 1), &data) == 0;
}

WinsockSession::~WinsockSession() {
  if (started_) ws().cleanup();
}

void close_socket(SOCKET& s) {
  if (s == INVALID_SOCKET) return;
  ws().async_select(s, nullptr, 0, 0);
  ws().closesocket(s);
  s = INVALID_SOCKET;
}

bool resolve(std::string_view address, int32_t port, sockaddr_in& out) {
  if (address.empty() || port < 0 || port > 65535) return false;
  std::string text(address);
  out = {};
  out.sin_port = ws().htons(static_cast<u_short>(port));
  unsigned long a = ws().inet_addr(text.c_str());
  if (a != INADDR_NONE || text == "255.255.255.255") {
    out.sin_family = AF_INET;
    out.sin_addr.s_addr = a;
    return true;
  }
  hostent* h = ws().gethostbyname(text.c_str());
  if (!h || !h->h_addr_list || !h->h_addr_list[0] || h->h_length != 4) return false;
  out.sin_family = static_cast<short>(h->h_addrtype);
  memcpy(&out.sin_addr, h->h_addr_list[0], 4);
  return true;
}

std::string address_text(const sockaddr_in& a) {
  const char* dotted = ws().inet_ntoa(a.sin_addr);
  char text[64];
  std::snprintf(text, sizeof text, "%s:%d", dotted ? dotted : "", ws().htons(a.sin_port));
  return text;
}

std::string read_waiting(SOCKET s) {
  std::string data;
  if (s == INVALID_SOCKET) return data;
  u_long waiting = 0;
  if (ws().ioctlsocket(s, FIONREAD, &waiting) != 0 || static_cast<long>(waiting) <= 0) waiting = 1;
  if (waiting > kMostPerEvent) waiting = kMostPerEvent;
  data.resize(waiting);
  int n = ws().recv(s, data.data(), static_cast<int>(waiting), 0);
  data.resize(n > 0 ? static_cast<size_t>(n) : 0);
  if (n <= 0) return data;
  while (data.size() < kMostPerEvent) {
    size_t at = data.size();
    data.resize(at + kPiece);
    n = ws().recv(s, data.data() + at, kPiece, 0);
    data.resize(at + (n > 0 ? static_cast<size_t>(n) : 0));
    if (n <= 0) break;
  }
  return data;
}

std::string read_datagram(SOCKET s) {
  std::string data;
  if (s == INVALID_SOCKET) return data;
  u_long waiting = 0;
  if (ws().ioctlsocket(s, FIONREAD, &waiting) != 0 || static_cast<long>(waiting) <= 0) waiting = 1;
  // Never smaller than the largest datagram: a short buffer would cut the datagram off.
  data.resize(waiting < 65536 ? 65536 : waiting);
  sockaddr_in from{};
  int from_length = sizeof from;
  int n = ws().recvfrom(s, data.data(), static_cast<int>(data.size()), 0,
                        reinterpret_cast<sockaddr*>(&from), &from_length);
  data.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return data;
}

bool send_all(SOCKET s, std::string_view bytes, int32_t wait_seconds) {
  if (s == INVALID_SOCKET) return false;
  if (bytes.empty()) return true;
  int given_ms = wait_seconds > 2000000 ? 2000000000 : wait_seconds * 1000;
  if (wait_seconds >= 0 && !wait_writable(s, given_ms)) return false;
  size_t sent = 0;
  bool waited = false;
  while (sent < bytes.size()) {
    int n = ws().send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      waited = false;
      continue;
    }
    // The unit's sockets are non-blocking (window notifications): a full buffer means waiting
    // for room, or a large send would stop part way through. A send that fails again right
    // after the socket was reported writable is a real failure (a reset connection).
    if (waited || !wait_writable(s, wait_seconds >= 0 ? given_ms : kFullBufferWaitMs)) return false;
    waited = true;
  }
  return true;
}

namespace {

// The process-wide start of the name lookups, cleaned up at shutdown.
bool lookups_started() {
  runtime::Runtime& r = runtime::rt();
  if (!r.sockets_started && ws().startup) {
    WSADATA data;
    r.sockets_started = ws().startup(MAKEWORD(1, 1), &data) == 0;
  }
  return r.sockets_started;
}

}  // namespace

std::string host_name_of(const char* dotted) {
  if (!lookups_started() || !dotted || !*dotted) return {};
  unsigned long a = ws().inet_addr(dotted);
  if (a == INADDR_NONE && std::string_view(dotted) != "255.255.255.255") return {};
  hostent* h = ws().gethostbyaddr(reinterpret_cast<const char*>(&a), 4, AF_INET);
  return h && h->h_name ? h->h_name : std::string{};
}

std::string address_of(const char* host) {
  if (!lookups_started() || !host || !*host) return {};
  hostent* h = ws().gethostbyname(host);
  if (!h || !h->h_addr_list || !h->h_addr_list[0] || h->h_length != 4) return {};
  in_addr a;
  memcpy(&a, h->h_addr_list[0], 4);
  const char* text = ws().inet_ntoa(a);
  return text ? text : std::string{};
}

void stop_lookups() {
  runtime::Runtime& r = runtime::rt();
  if (r.sockets_started && ws().cleanup) ws().cleanup();
  r.sockets_started = false;
}

}  // namespace comm
