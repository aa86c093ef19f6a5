// Plain blocking Winsock peers for the socket unit tests (127.0.0.1 only).
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <cstdint>
#include <string>

namespace commtest {

// A TCP or UDP socket of the test itself, closed when it goes.
class Peer {
 public:
  Peer() = default;
  explicit Peer(SOCKET s) : s_(s) {}
  ~Peer() { close(); }
  Peer(Peer&& o) noexcept : s_(o.s_) { o.s_ = INVALID_SOCKET; }
  Peer& operator=(Peer&& o) noexcept {
    if (this != &o) {
      close();
      s_ = o.s_;
      o.s_ = INVALID_SOCKET;
    }
    return *this;
  }
  SOCKET get() const { return s_; }
  bool valid() const { return s_ != INVALID_SOCKET; }
  void close();
  // Closes with a reset instead of the orderly close.
  void reset();

  static Peer connect_to(uint16_t port);      // TCP to 127.0.0.1:port; invalid on failure
  static Peer listen_on(uint16_t port);       // TCP listener on 127.0.0.1
  static Peer datagram(uint16_t port);        // UDP bound to 127.0.0.1:port (0 = any)
  Peer accept_one(int ms = 3000);             // invalid after `ms` without a connection

  bool send_all(const std::string& bytes);
  // Receives until `n` bytes came, the peer closed, or `ms` passed without data.
  std::string receive(size_t n, int ms = 3000);
  // True when the other side closed (receive returns 0) within `ms`.
  bool sees_close(int ms = 3000);
  uint16_t local_port() const;
  bool send_datagram(uint16_t port, const std::string& bytes);
  std::string receive_datagram(int ms = 3000);

 private:
  SOCKET s_ = INVALID_SOCKET;
};

// "127.0.0.1:port" of a peer's local end, as the server unit names it.
std::string address_of(const Peer& p);
void start_winsock();
// A local TCP port nobody listens on right now.
uint16_t free_port();

}  // namespace commtest
