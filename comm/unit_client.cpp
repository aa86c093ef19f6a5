// Client unit ("客户"): one TCP connection made on request; data and server-closed events.
#include <array>
#include "comm/commands.h"
#include "comm/socket_unit.h"
#include "comm/unit_types.h"
#include "comm/winsock_api.h"
#include "units/core_units.h"

namespace comm {

namespace {

enum Event : int { kDataArrived = 0, kServerClosed = 1 };

// How long a connect may keep the window waiting for an address that does not answer.
constexpr DWORD kConnectWaitMs = 20000;

class ClientUnit : public SocketUnit {
 public:
  ClientUnit() : SocketUnit(Kind::kClient) {}

  bool connect_to(std::string_view address, int32_t port) {
    disconnect();
    if (!winsock_.started()) return false;
    sockaddr_in target;
    if (!resolve(address, port, target)) return false;
    socket_ = ws().socket(AF_INET, SOCK_STREAM, 0);
    if (socket_ == INVALID_SOCKET) return false;
    if (!connect_bounded(target) ||
        ws().async_select(socket_, handle(), kDataSocketMessage, FD_READ | FD_CLOSE) != 0) {
      close_socket(socket_);
      return false;
    }
    connected_ = true;
    return true;
  }
  void disconnect() {
    close_socket(socket_);
    connected_ = false;
  }
  bool send(std::string_view bytes) {
    return socket_ != INVALID_SOCKET && connected_ && send_all(socket_, bytes, -1);
  }

 protected:
  void on_socket(UINT, SOCKET s, WORD event, WORD) override {
    if (s != socket_) return;  // a notification of a socket closed since
    if (event & (FD_READ | FD_CLOSE)) {
      std::string data = read_waiting(s);
      if (!data.empty() && !raise_with(kDataArrived, std::move(data), {})) return;
    }
    if ((event & FD_CLOSE) && s == socket_) {  // the data handler may have replaced it
      connected_ = false;  // the socket stays until disconnect or the next connect
      raise_with(kServerClosed, {}, {});
    }
  }

 private:
  // Connects, waiting for the result as a blocking connect would, but bounded: the attempt's
  // end comes as a connect notification carrying its error code, even for an attempt that
  // failed at once.
  bool connect_bounded(const sockaddr_in& target) {
    if (ws().async_select(socket_, handle(), kDataSocketMessage, FD_CONNECT) != 0) return false;
    if (ws().connect(socket_, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0)
      return true;
    DWORD start = GetTickCount();
    for (;;) {
      MSG m;
      while (PeekMessageA(&m, handle(), kDataSocketMessage, kDataSocketMessage, PM_REMOVE))
        if (static_cast<SOCKET>(m.wParam) == socket_ && (WSAGETSELECTEVENT(m.lParam) & FD_CONNECT))
          return WSAGETSELECTERROR(m.lParam) == 0;
      DWORD waited = GetTickCount() - start;
      if (waited >= kConnectWaitMs) return false;
      DWORD slice = kConnectWaitMs - waited < 50 ? kConnectWaitMs - waited : 50;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_POSTMESSAGE);
    }
  }

  bool connected_ = false;
};

void* __cdecl client_interface(int number) {
  return units::standard_interface(number, &create_hidden_unit<ClientUnit>, {});
}

// The common properties alone.
constexpr auto kProperties = [] {
  std::array<units::PropertyDescriptor, 8> t{};
  for (size_t i = 0; i < t.size(); ++i) t[i] = units::property(units::kCommonTypes[i], 0xE000);
  return t;
}();

}  // namespace

const units::CoreUnitType kClientUnitType{37, kProperties.data(), kProperties.size(),
                                          &client_interface};

bool client_connect(uint32_t window, uint32_t unit, std::string_view address, int32_t port) {
  ClientUnit* u = find_unit<ClientUnit>(window, unit);
  return u && u->connect_to(address, port < 1 ? 1 : port);
}
void client_disconnect(uint32_t window, uint32_t unit) {
  if (ClientUnit* u = find_unit<ClientUnit>(window, unit)) u->disconnect();
}
bool client_send(uint32_t window, uint32_t unit, std::string_view bytes) {
  ClientUnit* u = find_unit<ClientUnit>(window, unit);
  return u && u->send(bytes);
}

}  // namespace comm
