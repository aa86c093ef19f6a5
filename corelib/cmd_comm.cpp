// Communication commands: the serial port unit (open, close, send, signal lines), the socket
// units (send, connect, disconnect, the received data and client address of the running
// event) and the two name lookups. The first argument of a unit command is the unit.
#include <string>
#include "comm/commands.h"
#include "comm/sockets.h"
#include "corelib/cmd_support.h"
#include "corelib/commands.h"
#include "runtime/heap.h"

namespace corelib {

namespace {

struct UnitRef {
  uint32_t window, unit;
};
UnitRef unit_arg(int argc, ArgRecord* args) {
  const ArgRecord& a = arg_at(argc, args, 0);
  return {a.lo, a.hi};
}

// The bytes a value is sent as: a text without its zero byte, a byte set's contents, any other
// value as the to-byte-set command gives it.
std::string data_arg(int argc, ArgRecord* args, int i) {
  Arg a(arg_at(argc, args, i));
  const ArgRecord& r = a.record();
  if (r.type == runtime::kTypeText) return text_of(r);
  if (r.type == runtime::kTypeBin) return std::string(bin_of(r));
  ResultRecord bytes{};
  ArgRecord copy = r;
  to_byte_set(&bytes, 1, &copy);
  std::string out(bin_of(ArgRecord{bytes.lo, bytes.hi, runtime::kTypeBin}));
  runtime::free_block(reinterpret_cast<void*>(static_cast<uintptr_t>(bytes.lo)));
  return out;
}

std::string text_arg(int argc, ArgRecord* args, int i) {
  Arg a(arg_at(argc, args, i));
  return text_of(a.record());
}

}  // namespace

// ---- Serial port unit ----

CORELIB_COMMAND(serial_open) {
  UnitRef u = unit_arg(argc, args);
  set_bool(result, comm::serial_open(u.window, u.unit));
}

CORELIB_COMMAND(serial_close) {
  UnitRef u = unit_arg(argc, args);
  comm::serial_close(u.window, u.unit);
}

CORELIB_COMMAND(serial_send) {
  UnitRef u = unit_arg(argc, args);
  set_bool(result, comm::serial_send(u.window, u.unit, data_arg(argc, args, 1)));
}

CORELIB_COMMAND(serial_set_line) {
  UnitRef u = unit_arg(argc, args);
  set_int(result, comm::serial_set_line(u.window, u.unit, int_or(argc, args, 1, 0),
                                        int_or(argc, args, 2, 0)));
}

// ---- Socket units ----

CORELIB_COMMAND(datagram_send) {
  UnitRef u = unit_arg(argc, args);
  set_bool(result, comm::datagram_send(u.window, u.unit, text_arg(argc, args, 1),
                                       int_or(argc, args, 2, 0), data_arg(argc, args, 3)));
}

CORELIB_COMMAND(received_data) {
  UnitRef u = unit_arg(argc, args);
  set_bin(result, comm::received_data(u.window, u.unit, false));
}

CORELIB_COMMAND(client_connect) {
  UnitRef u = unit_arg(argc, args);
  set_bool(result, comm::client_connect(u.window, u.unit, text_arg(argc, args, 1),
                                        int_or(argc, args, 2, 0)));
}

CORELIB_COMMAND(client_disconnect) {
  UnitRef u = unit_arg(argc, args);
  comm::client_disconnect(u.window, u.unit);
}

CORELIB_COMMAND(client_send) {
  UnitRef u = unit_arg(argc, args);
  set_bool(result, comm::client_send(u.window, u.unit, data_arg(argc, args, 1)));
}

CORELIB_COMMAND(server_received_data) {
  UnitRef u = unit_arg(argc, args);
  set_bin(result, comm::received_data(u.window, u.unit, true));
}

CORELIB_COMMAND(server_client_address) {
  UnitRef u = unit_arg(argc, args);
  set_text(result, comm::event_client(u.window, u.unit));
}

CORELIB_COMMAND(server_send) {
  UnitRef u = unit_arg(argc, args);
  set_bool(result, comm::server_send(u.window, u.unit, text_arg(argc, args, 1),
                                     data_arg(argc, args, 2), int_or(argc, args, 3, -1)));
}

CORELIB_COMMAND(server_disconnect) {
  UnitRef u = unit_arg(argc, args);
  comm::server_disconnect(u.window, u.unit, text_arg(argc, args, 1));
}

// ---- Name lookups ----

CORELIB_COMMAND(host_name_of_address) {
  set_text(result, comm::host_name_of(text_arg(argc, args, 0).c_str()));
}

CORELIB_COMMAND(address_of_host_name) {
  set_text(result, comm::address_of(text_arg(argc, args, 0).c_str()));
}

}  // namespace corelib
