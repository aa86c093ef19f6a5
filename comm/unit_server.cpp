// Server unit ("服务器"): listens on its port, accepts TCP clients and names each by its address
// text "a.b.c.d:port"; data, connect and disconnect events; sends to and drops clients.
#include <vector>
#include "comm/commands.h"
#include "comm/socket_unit.h"
#include "comm/unit_types.h"
#include "comm/winsock_api.h"
#include "units/core_units.h"

namespace comm {

namespace {

enum Event : int { kDataArrived = 0, kClientConnected = 1, kClientGone = 2 };

class ServerUnit : public SocketUnit {
 public:
  ServerUnit() : SocketUnit(Kind::kServer) {}

  bool send_to(std::string_view client, std::string_view bytes, int32_t wait_seconds) {
    size_t i = find(client);
    return i < clients_.size() && send_all(clients_[i].socket, bytes, wait_seconds);
  }
  void drop(std::string_view client) {
    if (client.empty()) return;
    size_t i = find(client);
    if (i == clients_.size()) return;
    std::string text = remove(i);
    raise_with(kClientGone, {}, std::move(text));
  }

 protected:
  ~ServerUnit() override {
    for (Client& c : clients_) close_socket(c.socket);
  }
  void open() override {
    close_socket(socket_);
    socket_ = bound_socket(SOCK_STREAM);
    if (socket_ == INVALID_SOCKET) return;
    if (ws().listen(socket_, 0x7FFFFFFF) != 0 ||
        ws().async_select(socket_, handle(), kListenSocketMessage, FD_ACCEPT) != 0)
      close_socket(socket_);
  }
  void on_socket(UINT msg, SOCKET s, WORD event, WORD) override {
    if (msg == kListenSocketMessage) {
      if (s == socket_ && (event & FD_ACCEPT)) accept_one();
      return;
    }
    if (event & FD_READ) {
      if (!pass_on_data(s)) return;
    }
    if (event & FD_CLOSE) {
      // Whatever the client sent before it left comes first.
      if (!pass_on_data(s)) return;
      // A socket no longer listed was closed here already (dropped by the program); its
      // handle value may since belong to a new client, so it is left alone.
      size_t i = index_of(s);
      if (i == clients_.size()) return;
      std::string text = remove(i);
      raise_with(kClientGone, {}, std::move(text));
    }
  }

 private:
  struct Client {
    SOCKET socket;
    std::string address;  // "a.b.c.d:port"
  };

  void accept_one() {
    sockaddr_in peer{};
    int length = sizeof peer;
    SOCKET c = ws().accept(socket_, reinterpret_cast<sockaddr*>(&peer), &length);
    if (c == INVALID_SOCKET) return;
    length = sizeof peer;
    if (ws().async_select(c, handle(), kDataSocketMessage, FD_READ | FD_CLOSE) != 0 ||
        ws().getpeername(c, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
      close_socket(c);
      return;
    }
    std::string text = address_text(peer);
    clients_.push_back({c, text});
    raise_with(kClientConnected, {}, std::move(text));
  }
  // Reads what the client sent and raises the data event; false when the handler destroyed
  // the unit.
  bool pass_on_data(SOCKET s) {
    size_t i = index_of(s);
    if (i == clients_.size()) return true;
    std::string data = read_waiting(s);
    if (data.empty()) return true;
    return raise_with(kDataArrived, std::move(data), clients_[i].address);
  }
  size_t index_of(SOCKET s) const {
    size_t i = 0;
    while (i < clients_.size() && clients_[i].socket != s) ++i;
    return i;
  }
  size_t find(std::string_view address) const {
    size_t i = 0;
    while (i < clients_.size() && clients_[i].address != address) ++i;
    return i;
  }
  // Closes client `i` and takes it out of the list; its address text.
  std::string remove(size_t i) {
    std::string text = std::move(clients_[i].address);
    close_socket(clients_[i].socket);
    clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
    return text;
  }

  std::vector<Client> clients_;
};

void* __cdecl server_interface(int number) {
  return units::standard_interface(number, &create_hidden_unit<ServerUnit>, {});
}

constexpr uint16_t kTypes[] = {units::kPropInt2};
constexpr auto kProperties = units::with_common(kTypes);

}  // namespace

const units::CoreUnitType kServerUnitType{38, kProperties.data(), kProperties.size(),
                                          &server_interface};

bool server_send(uint32_t window, uint32_t unit, std::string_view client, std::string_view bytes,
                 int32_t wait_seconds) {
  ServerUnit* u = find_unit<ServerUnit>(window, unit);
  return u && u->send_to(client, bytes, wait_seconds);
}

void server_disconnect(uint32_t window, uint32_t unit, std::string_view client) {
  if (ServerUnit* u = find_unit<ServerUnit>(window, unit)) u->drop(client);
}

}  // namespace comm
