// Datagram unit ("数据报", and its older hidden twin): a UDP socket bound to the unit's port;
// one event per datagram received; sends to an address or, with no address, broadcasts.
#include "comm/commands.h"
#include "comm/socket_unit.h"
#include "comm/unit_types.h"
#include "comm/winsock_api.h"
#include "units/core_units.h"

namespace comm {

namespace {

enum Event : int { kDatagramArrived = 0 };

class DatagramUnit : public SocketUnit {
 public:
  DatagramUnit() : SocketUnit(Kind::kDatagram) {}

  bool send_to(std::string_view address, int32_t port, std::string_view bytes) {
    if (socket_ == INVALID_SOCKET) return false;
    if (bytes.empty()) return true;
    if (!address.empty()) {
      sockaddr_in target;
      return resolve(address, port, target) && send_datagram(target, bytes);
    }
    // A broadcast goes out to the port given, with the broadcast option on just for it. The
    // option is switched off again on the same socket rather than by opening a fresh one:
    // datagrams received but not yet read would go with the old socket, and the port could
    // be taken by someone else in between.
    if (port > 65535) return false;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = INADDR_BROADCAST;
    target.sin_port = ws().htons(static_cast<u_short>(port));
    bool sent = set_broadcast(true) && send_datagram(target, bytes);
    if (!set_broadcast(false)) open();  // never left able to broadcast
    return sent;
  }

 protected:
  void open() override {
    close_socket(socket_);
    socket_ = bound_socket(SOCK_DGRAM);
    if (socket_ != INVALID_SOCKET &&
        ws().async_select(socket_, handle(), kDataSocketMessage, FD_READ) != 0)
      close_socket(socket_);
  }
  void on_socket(UINT, SOCKET s, WORD event, WORD) override {
    if (s != socket_ || !(event & FD_READ)) return;
    std::string data = read_datagram(s);
    if (!data.empty()) raise_with(kDatagramArrived, std::move(data), {});
  }

 private:
  bool set_broadcast(bool on) {
    BOOL value = on ? TRUE : FALSE;
    return ws().setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&value),
                           sizeof value) == 0;
  }
  bool send_datagram(const sockaddr_in& target, std::string_view bytes) {
    int n = ws().sendto(socket_, bytes.data(), static_cast<int>(bytes.size()), 0,
                        reinterpret_cast<const sockaddr*>(&target), sizeof target);
    return n == static_cast<int>(bytes.size());
  }
};

void* __cdecl datagram_interface(int number) {
  return units::standard_interface(number, &create_hidden_unit<DatagramUnit>, {});
}

constexpr uint16_t kTypes[] = {units::kPropInt2};
constexpr auto kProperties = units::with_common(kTypes);

}  // namespace

// The older type 35 shares the implementation.
const units::CoreUnitType kDatagramUnitType{36, kProperties.data(), kProperties.size(),
                                            &datagram_interface};
const units::CoreUnitType kOldDatagramUnitType{35, kProperties.data(), kProperties.size(),
                                               &datagram_interface};

bool datagram_send(uint32_t window, uint32_t unit, std::string_view address, int32_t port,
                   std::string_view bytes) {
  DatagramUnit* u = find_unit<DatagramUnit>(window, unit);
  return u && u->send_to(address, port < 1 ? 1 : port, bytes);
}

}  // namespace comm
