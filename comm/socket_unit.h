// The part every socket unit shares: Winsock started by the object, the port property and the
// versioned template data, the socket, the hidden window Winsock posts to, and the data and
// client text that are current only while an event's handler runs.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <string>
#include "comm/hidden_unit.h"
#include "comm/sockets.h"

namespace comm {

class SocketUnit : public HiddenUnit {
 public:
  enum class Kind { kServer, kClient, kDatagram };
  explicit SocketUnit(Kind kind) : kind_(kind) {}
  Kind kind() const { return kind_; }

  // The data and client address of the event whose handler runs (empty otherwise).
  const std::string& event_data() const { return data_; }
  const std::string& event_client() const { return client_; }

  bool load(units::DataReader& d) override;
  std::string save() const override;
  bool create_window(const units::CreateArgs& a) override;
  int set_property(int index, const units::PropData& v) override;
  bool get_property(int index, units::PropData& out) override;

 protected:
  ~SocketUnit() override { close_socket(socket_); }
  bool has_port() const { return kind_ != Kind::kClient; }
  // Server: listen; datagram: bind (at creation and when the port changes).
  virtual void open() {}
  // A Winsock notification posted to the hidden window.
  virtual void on_socket(UINT msg, SOCKET s, WORD event, WORD error) = 0;
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override;
  // Raises `event` with `data` and `client` current while its handler runs (the previous
  // ones come back after it, for events raised from inside another handler). False when the
  // handler destroyed the unit: nothing of it may be touched then.
  bool raise_with(int event, std::string data, std::string client);
  // A new socket bound to any local address at the port; invalid on failure.
  SOCKET bound_socket(int type);

  WinsockSession winsock_;  // first: the sockets below are closed before it cleans up
  int32_t port_ = kDefaultPort;
  SOCKET socket_ = INVALID_SOCKET;

 private:
  Kind kind_;
  std::string data_, client_;
};

}  // namespace comm
