// The one table of subsystems: each installs its notification answers, service hooks, unit
// types and clean-up, in layer order. The only place that names other folders' installers.
#include "runtime/registry.h"
#include "com/ole.h"
#include "comm/install.h"
#include "corelib/install.h"
#include "database/install.h"
#include "media/playback.h"
#include "extdata/extdata.h"
#include "units/framework.h"
#include "image/winsock.h"

namespace runtime {

namespace {

// The lazily bound Winsock functions, in the communication units' table order.
constexpr comm::WinsockApi kWinsock{
    image::ws_getpeername, image::ws_listen,        image::ws_recv,          image::ws_connect,
    image::ws_ioctlsocket, image::ws_recvfrom,      image::ws_sendto,        image::ws_setsockopt,
    image::ws_socket,      image::ws_htonl,         image::ws_bind,          image::ws_htons,
    image::ws_WSAAsyncSelect, image::ws_closesocket, image::ws_send,         image::ws_select,
    image::ws_gethostbyname, image::ws_inet_ntoa,   image::ws_inet_addr,     image::ws_accept,
    image::ws_gethostbyaddr, image::ws_gethostname, image::ws_WSACleanup,    image::ws_WSAStartup,
};

}  // namespace

void install_subsystems() {
  units::install();
  media::install();
  com::install();
  comm::install(kWinsock);
  extdata::install();
  database::install();
  corelib::install();
}

}  // namespace runtime
