/* Communication units driven by a compiled program: the client connects to the server of the
   same window and says hello; the server answers from its data handler; the client's data
   handler sends a datagram to the second datagram unit, whose handler disconnects the client;
   the server's disconnect handler ends the program. Every step is noted (comm_prog.orv). */
#include "orvel.h"

ORV_DLL_COMMAND(void, __cdecl, probe_note, 0, (const char* key, const char* text));
ORV_DLL_COMMAND(void, __cdecl, probe_note_int, 1, (const char* key, int32_t value));

#define WINDOW 0x52010001
#define SERVER 0x16010002
#define CLIENT 0x16010003
#define DGRAM_A 0x16010004
#define DGRAM_B 0x16010005
#define UNIT(id, type) ((orv_value){ORV_ID(WINDOW), ORV_ID(id), ORV_TYPE(type)})
#define SERVER_UNIT UNIT(SERVER, 0x10026)
#define CLIENT_UNIT UNIT(CLIENT, 0x10025)
#define DGRAM_A_UNIT UNIT(DGRAM_A, 0x10024)
#define DGRAM_B_UNIT UNIT(DGRAM_B, 0x10024)

enum {
  CMD_DATAGRAM_SEND = 436, CMD_RECEIVED = 437, CMD_CONNECT = 438, CMD_DISCONNECT = 439,
  CMD_CLIENT_SEND = 440, CMD_SERVER_RECEIVED = 441, CMD_CLIENT_ADDRESS = 447,
  CMD_SERVER_SEND = 448
};

static char text_buffer[512];

/* A byte set result as a text for the notes (freed). */
static const char* bin_text(orv_value v) {
  const orv_bin* b = orv_as_bin(v);
  uint32_t n = 0;
  if (b)
    for (; n < b->length && n + 1 < sizeof text_buffer; ++n) text_buffer[n] = (char)orv_bin_bytes(b)[n];
  text_buffer[n] = 0;
  orv_free((void*)b);
  return text_buffer;
}

static void note_text_result(const char* key, orv_value v) {
  probe_note(key, orv_as_text(v) ? orv_as_text(v) : "");
  orv_free(orv_as_text(v));
}

ORV_HANDLER(NOTHING, on_server_connect) {
  note_text_result("server_connect", ORV_CORE(CMD_CLIENT_ADDRESS, SERVER_UNIT));
}

ORV_HANDLER(NOTHING, on_server_data) {
  orv_value data = ORV_CORE_AS(ORV_TYPE_BIN, CMD_SERVER_RECEIVED, SERVER_UNIT);
  orv_value client = ORV_CORE(CMD_CLIENT_ADDRESS, SERVER_UNIT);
  /* Echo the bytes back to the client they came from, as a byte set. */
  int sent = (int)ORV_CORE(CMD_SERVER_SEND, SERVER_UNIT, orv_text(orv_as_text(client)), data,
                           orv_int(5)).lo;
  probe_note_int("server_reply", sent);
  probe_note("server_data", bin_text(data));
  orv_free(orv_as_text(client));
}

ORV_HANDLER(NOTHING, on_server_gone) {
  note_text_result("server_gone", ORV_CORE(CMD_CLIENT_ADDRESS, SERVER_UNIT));
  orv_exit(3);
}

ORV_HANDLER(NOTHING, on_client_data) {
  probe_note("client_data", bin_text(ORV_CORE(CMD_RECEIVED, CLIENT_UNIT)));
  probe_note_int("datagram_send",
                 (int32_t)ORV_CORE(CMD_DATAGRAM_SEND, DGRAM_A_UNIT, orv_text("127.0.0.1"),
                                   orv_int(47813), orv_int(0x21434241)).lo);
}

ORV_HANDLER(NOTHING, on_datagram_data) {
  probe_note("datagram_data", bin_text(ORV_CORE(CMD_RECEIVED, DGRAM_B_UNIT)));
  ORV_CORE(CMD_DISCONNECT, CLIENT_UNIT);
}

ORV_STARTUP(start) {
  orv_load_startup(ORV_ID(WINDOW));
  probe_note("outside_event", bin_text(ORV_CORE(CMD_SERVER_RECEIVED, SERVER_UNIT)));
  probe_note_int("server_port", ORV_GET_INT(WINDOW, SERVER, 8));
  probe_note_int("connect", (int32_t)ORV_CORE(CMD_CONNECT, CLIENT_UNIT, orv_text("127.0.0.1"),
                                              orv_int(47811)).lo);
  probe_note_int("client_send", (int32_t)ORV_CORE(CMD_CLIENT_SEND, CLIENT_UNIT, orv_text("hello")).lo);
  orv_message_loop(0);
  return 0;
}
