// The socket units' shared part: template data, the port property, events with current data.
#include "comm/socket_unit.h"
#include <utility>
#include "comm/commands.h"
#include "comm/winsock_api.h"

namespace comm {

namespace {

constexpr char kClass[] = "OrvelSocketUnit";
constexpr uint32_t kVersion = 1;

}  // namespace

bool SocketUnit::load(units::DataReader& d) {
  if (d.empty()) return true;
  uint32_t version = 0;
  if (!d.u32(version) || version > kVersion) return false;
  int32_t port = 0;
  if (has_port() && d.i32(port)) port_ = port < 1 ? 1 : port;
  return true;
}

std::string SocketUnit::save() const {
  units::DataWriter w;
  w.u32(kVersion);
  if (has_port()) w.i32(port_);
  return w.data();
}

bool SocketUnit::create_window(const units::CreateArgs& a) {
  if (!create_hidden(kClass, a)) return false;
  if (!design()) open();
  return true;
}

int SocketUnit::set_property(int index, const units::PropData& v) {
  if (index != 0 || !has_port()) return 0;
  int32_t port = int_in(v) < 1 ? 1 : int_in(v);
  if (port == port_) return 0;
  port_ = port;
  if (!design()) open();
  return 0;
}

bool SocketUnit::get_property(int index, units::PropData& out) {
  if (index != 0 || !has_port()) return false;
  out = int_out(port_);
  return true;
}

LRESULT SocketUnit::on_message(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kDataSocketMessage || msg == kListenSocketMessage) {
    on_socket(msg, static_cast<SOCKET>(wp), WSAGETSELECTEVENT(lp), WSAGETSELECTERROR(lp));
    return 0;
  }
  return HiddenUnit::on_message(msg, wp, lp);
}

bool SocketUnit::raise_with(int event, std::string data, std::string client) {
  HWND self = handle();
  std::string outer_data = std::exchange(data_, std::move(data));
  std::string outer_client = std::exchange(client_, std::move(client));
  raise(event);
  if (!still_here(self)) return false;
  data_ = std::move(outer_data);
  client_ = std::move(outer_client);
  return true;
}

SOCKET SocketUnit::bound_socket(int type) {
  if (!winsock_.started() || port_ > 65535) return INVALID_SOCKET;
  SOCKET s = ws().socket(AF_INET, type, 0);
  if (s == INVALID_SOCKET) return s;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = ws().htonl(INADDR_ANY);
  a.sin_port = ws().htons(static_cast<u_short>(port_));
  if (ws().bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) close_socket(s);
  return s;
}

std::string_view received_data(uint32_t window, uint32_t unit, bool server) {
  SocketUnit* u = find_unit<SocketUnit>(window, unit);
  if (!u || (u->kind() == SocketUnit::Kind::kServer) != server) return {};
  return u->event_data();
}

std::string event_client(uint32_t window, uint32_t unit) {
  SocketUnit* u = find_unit<SocketUnit>(window, unit);
  return u && u->kind() == SocketUnit::Kind::kServer ? u->event_client() : std::string{};
}

}  // namespace comm
