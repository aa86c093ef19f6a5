// Socket helpers shared by the server, client and datagram units and the name lookups: the
// per-object Winsock start, closing, address resolution and texts, reading what is waiting and
// sending everything. Everything runs on the main thread.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <cstdint>
#include <string>
#include <string_view>

namespace comm {

// Window messages Winsock posts to a unit's hidden window.
inline constexpr UINT kDataSocketMessage = 0x8078;    // read and close events
inline constexpr UINT kListenSocketMessage = 0x8079;  // accept events
inline constexpr int32_t kDefaultPort = 19730;

// Winsock started by one object (version 1.1) and cleaned up when the object goes.
class WinsockSession {
 public:
  WinsockSession();
  ~WinsockSession();
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
  bool started() const { return started_; }

 private:
  bool started_ = false;
};

// Whether `s` is in a set that select() returned (the set's own macro would bind a Winsock
// function directly).
inline bool in_set(SOCKET s, const fd_set& set) {
  for (u_int i = 0; i < set.fd_count; ++i)
    if (set.fd_array[i] == s) return true;
  return false;
}

// Cancels the socket's window notifications and closes it; `s` becomes invalid.
void close_socket(SOCKET& s);

// The IPv4 socket address of an address text (dotted, else a host name looked up) and a port;
// false for an empty text or a failed lookup.
bool resolve(std::string_view address, int32_t port, sockaddr_in& out);
// "a.b.c.d:port".
std::string address_text(const sockaddr_in& a);

// Receives what is waiting on a stream socket, up to 1 MiB (empty when nothing came).
std::string read_waiting(SOCKET s);
// Receives one waiting datagram (empty when none came).
std::string read_datagram(SOCKET s);
// Sends all bytes; with `wait_seconds` >= 0 first waits that long for the socket to become
// writable. False for an invalid socket, a time-out or a failed send.
bool send_all(SOCKET s, std::string_view bytes, int32_t wait_seconds);

// Name lookups for the core commands: Winsock is started once for the process (and cleaned
// up at shutdown). Empty when not found.
std::string host_name_of(const char* dotted);
std::string address_of(const char* host);
// Cleans up the lookups' Winsock start (shutdown).
void stop_lookups();

}  // namespace comm
