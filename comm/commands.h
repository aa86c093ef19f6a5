// What the core library's commands ask of the communication units. A unit is named by its
// window and unit identifiers (the unit argument); a unit that is not there, or of another
// type, gets the neutral answer (false, 0, empty, nothing done).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace comm {

// Serial port unit.
bool serial_open(uint32_t window, uint32_t unit);
void serial_close(uint32_t window, uint32_t unit);
bool serial_send(uint32_t window, uint32_t unit, std::string_view bytes);
int serial_set_line(uint32_t window, uint32_t unit, int state, int line);

// Datagram unit: an empty target address broadcasts to `port` on the local network.
bool datagram_send(uint32_t window, uint32_t unit, std::string_view address, int32_t port,
                   std::string_view bytes);

// Client unit.
bool client_connect(uint32_t window, uint32_t unit, std::string_view address, int32_t port);
void client_disconnect(uint32_t window, uint32_t unit);
bool client_send(uint32_t window, uint32_t unit, std::string_view bytes);

// Server unit.
bool server_send(uint32_t window, uint32_t unit, std::string_view client, std::string_view bytes,
                 int32_t wait_seconds);
void server_disconnect(uint32_t window, uint32_t unit, std::string_view client);

// The data of the data event whose handler runs: datagram and client units (`server` false) or
// server units (`server` true); empty outside that event. Valid until the unit changes it.
std::string_view received_data(uint32_t window, uint32_t unit, bool server);
// The client address text of the server event whose handler runs; empty outside it.
std::string event_client(uint32_t window, uint32_t unit);

}  // namespace comm
