// Server, client and datagram units against peers of the test on 127.0.0.1: events with their
// data and client texts, sends, disconnects, failures reported through results, no framing,
// and nothing left open afterwards.
#include <gtest/gtest.h>
#include <cstdlib>
#include <thread>
#include "comm_fixture.h"
#include "framework/window.h"
#include "units/framework.h"
#include "peer.h"

namespace {

using namespace commtest;

constexpr uint32_t kServer = 0x16018002, kClient = 0x16018003, kClient2 = 0x16018004,
                   kDatagram = 0x16018005, kDatagram2 = 0x16018006;

constexpr int kAddressOf = 446, kHostNameOf = 445;
constexpr int kDatagramSend = 436, kReceived = 437, kConnect = 438, kDisconnect = 439,
              kClientSend = 440, kServerReceived = 441, kClientAddress = 447, kServerSend = 448,
              kDropClient = 452;

std::string port_data(uint16_t port) { return words({1, port}); }
runtime::ArgRecord server() { return unit_arg(kServer, kServerType); }
runtime::ArgRecord client(uint32_t id = kClient) { return unit_arg(id, kClientType); }
runtime::ArgRecord datagram(uint32_t id = kDatagram) { return unit_arg(id, kDatagramType); }

size_t count_of(uint32_t unit, int event) {
  size_t n = 0;
  for (const Event& e : events()) n += e.unit == unit && e.event == event;
  return n;
}
std::string data_of(uint32_t unit) {
  std::string all;
  for (const Event& e : events())
    if (e.unit == unit && e.event == 0) all += e.data;
  return all;
}

TEST(ServerUnit, PeerConnectsSendsReceivesAndLeaves) {
  uint16_t port = free_port();
  TestWindow w({{kServer, kServerType, port_data(port)}});
  ASSERT_TRUE(w.loaded());
  Peer peer = Peer::connect_to(port);
  ASSERT_TRUE(peer.valid());
  std::string address = address_of(peer);
  ASSERT_TRUE(pump_until([&] { return count_of(kServer, 1) == 1; }));
  EXPECT_EQ(events()[0].client, address);
  EXPECT_EQ(events()[0].data, "");  // a connect event carries no data

  ASSERT_TRUE(peer.send_all("hello"));
  ASSERT_TRUE(pump_until([&] { return data_of(kServer) == "hello"; }));
  EXPECT_EQ(events().back().client, address);
  // Outside an event there is no current data or client.
  EXPECT_EQ(call_bin(kServerReceived, {server()}), "");
  EXPECT_EQ(call_text(kClientAddress, {server()}), "");

  EXPECT_TRUE(call_bool(kServerSend, {server(), text(address), text("abc")}));
  EXPECT_TRUE(call_bool(kServerSend, {server(), text(address), bytes(std::string("\x01\x00\x02", 3)), integer(2)}));
  EXPECT_TRUE(call_bool(kServerSend, {server(), text(address), integer(0x64636261)}));
  EXPECT_EQ(peer.receive(10), std::string("abc\x01\x00\x02" "abcd", 10));
  EXPECT_TRUE(call_bool(kServerSend, {server(), text(address), bytes("")}));  // nothing to send
  EXPECT_FALSE(call_bool(kServerSend, {server(), text("127.0.0.1:1"), text("x")}));
  EXPECT_FALSE(call_bool(kServerSend, {server(), text(address + " "), text("x")}));

  // A reply sent from inside the data event reaches the peer.
  set_during_event([&](const Event& e) {
    if (e.unit == kServer && e.event == 0)
      call_bool(kServerSend, {server(), text(e.client), text("re:" + e.data)});
  });
  ASSERT_TRUE(peer.send_all("ping"));
  ASSERT_TRUE(pump_until([&] { return data_of(kServer) == "helloping"; }));
  EXPECT_EQ(peer.receive(7), "re:ping");
  set_during_event(nullptr);

  peer.close();
  ASSERT_TRUE(pump_until([&] { return count_of(kServer, 2) == 1; }));
  EXPECT_EQ(events().back().client, address);
  EXPECT_FALSE(call_bool(kServerSend, {server(), text(address), text("x")}));
}

TEST(ServerUnit, TwoClientsKeepTheirOwnAddressTexts) {
  uint16_t port = free_port();
  TestWindow w({{kServer, kServerType, port_data(port)}});
  Peer a = Peer::connect_to(port), b = Peer::connect_to(port);
  ASSERT_TRUE(a.valid() && b.valid());
  ASSERT_TRUE(pump_until([&] { return count_of(kServer, 1) == 2; }));
  std::string ta = address_of(a), tb = address_of(b);
  EXPECT_NE(ta, tb);
  ASSERT_TRUE(a.send_all("from a"));
  ASSERT_TRUE(pump_until([&] { return count_of(kServer, 0) == 1; }));
  ASSERT_TRUE(b.send_all("from b"));
  ASSERT_TRUE(pump_until([&] { return count_of(kServer, 0) == 2; }));
  for (const Event& e : events())
    if (e.event == 0) EXPECT_EQ(e.client, e.data == "from a" ? ta : tb) << e.data;

  EXPECT_TRUE(call_bool(kServerSend, {server(), text(tb), text("to b")}));
  EXPECT_TRUE(call_bool(kServerSend, {server(), text(ta), text("to a")}));
  EXPECT_EQ(a.receive(4), "to a");
  EXPECT_EQ(b.receive(4), "to b");

  // The program drops b: event 2 at once with b's text, b sees the close, a stays.
  call(kDropClient, {server(), text(tb)});
  EXPECT_EQ(count_of(kServer, 2), 1u);
  EXPECT_EQ(events().back().client, tb);
  EXPECT_TRUE(b.sees_close());
  call(kDropClient, {server(), text("")});      // empty: nothing
  call(kDropClient, {server(), text(tb)});      // gone already: nothing
  EXPECT_EQ(count_of(kServer, 2), 1u);
  EXPECT_TRUE(call_bool(kServerSend, {server(), text(ta), text("still")}));
  EXPECT_EQ(a.receive(5), "still");

  // Destroying the unit closes its clients and stops listening.
  w.destroy_unit(kServer);
  EXPECT_TRUE(a.sees_close());
  EXPECT_FALSE(Peer::connect_to(port).valid());
}

TEST(ServerUnit, DropFromInsideTheDataEventThenServeTheNextClient) {
  uint16_t port = free_port();
  TestWindow w({{kServer, kServerType, port_data(port)}});
  set_during_event([](const Event& e) {
    if (e.unit == kServer && e.event == 0 && e.data == "bye") call(kDropClient, {server(), text(e.client)});
  });
  for (int round = 0; round < 5; ++round) {
    Peer peer = Peer::connect_to(port);
    ASSERT_TRUE(peer.valid());
    ASSERT_TRUE(pump_until([&] { return count_of(kServer, 1) == static_cast<size_t>(round + 1); }));
    ASSERT_TRUE(peer.send_all("bye"));
    ASSERT_TRUE(pump_until([&] { return count_of(kServer, 2) == static_cast<size_t>(round + 1); }));
    EXPECT_TRUE(peer.sees_close());
  }
  // A client that connects after the drops is served as any other.
  Peer last = Peer::connect_to(port);
  ASSERT_TRUE(pump_until([&] { return count_of(kServer, 1) == 6; }));
  pump_for(100);
  EXPECT_TRUE(call_bool(kServerSend, {server(), text(address_of(last)), text("fine")}));
  EXPECT_EQ(last.receive(4), "fine");
  EXPECT_EQ(count_of(kServer, 2), 5u);
}

TEST(ServerUnit, NoFramingEitherWay) {
  uint16_t port = free_port();
  TestWindow w({{kServer, kServerType, port_data(port)}});
  Peer peer = Peer::connect_to(port);
  ASSERT_TRUE(pump_until([&] { return count_of(kServer, 1) == 1; }));
  std::string address = address_of(peer);
  // Many small pieces sent quickly, and one large one: every byte arrives once, in order,
  // whatever the events' cut.
  std::string expected;
  for (int i = 0; i < 200; ++i) {
    std::string piece = "<" + std::to_string(i) + ">";
    expected += piece;
    ASSERT_TRUE(peer.send_all(piece));
  }
  std::string large(300000, '\0');
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 + i / 251);
  expected += large;
  ASSERT_TRUE(peer.send_all(large));
  ASSERT_TRUE(pump_until([&] { return data_of(kServer).size() >= expected.size(); }, 10000));
  EXPECT_TRUE(data_of(kServer) == expected);
  EXPECT_LT(count_of(kServer, 0), 200u + 300u);  // pieces merge: no event per send

  // A send larger than the socket buffer goes out whole (the buffer fills on the way).
  std::string big(4 << 20, 'x');
  for (size_t i = 0; i < big.size(); i += 4096) big[i] = static_cast<char>(i >> 12);
  std::string got;
  std::thread reader([&] { got = peer.receive(big.size(), 5000); });
  EXPECT_TRUE(call_bool(kServerSend, {server(), text(address), bytes(big)}));
  reader.join();
  EXPECT_TRUE(got == big) << got.size();
}

TEST(ServerUnit, PeerResetMidSendFailsWithoutHanging) {
  uint16_t port = free_port();
  TestWindow w({{kServer, kServerType, port_data(port)}});
  Peer peer = Peer::connect_to(port);
  ASSERT_TRUE(pump_until([&] { return count_of(kServer, 1) == 1; }));
  std::string address = address_of(peer);
  // The peer reads a little, then resets the connection while the unit is still sending.
  std::thread quitter([&] {
    peer.receive(100000);
    peer.reset();
  });
  DWORD start = GetTickCount();
  bool sent = call_bool(kServerSend, {server(), text(address), bytes(std::string(64 << 20, 'z'))});
  DWORD took = GetTickCount() - start;
  quitter.join();
  EXPECT_FALSE(sent);
  EXPECT_LT(took, 8000u);
  // The close event follows; the unit keeps serving.
  ASSERT_TRUE(pump_until([&] { return count_of(kServer, 2) == 1; }));
  Peer again = Peer::connect_to(port);
  EXPECT_TRUE(pump_until([&] { return count_of(kServer, 1) == 2; }));
}

TEST(ServerUnit, PortProperty) {
  uint16_t port = free_port();
  TestWindow w({{kServer, kServerType, {}}, {kDatagram, kDatagramType, {}}});
  // No stored data: port 19730, listening.
  EXPECT_EQ(read_int(kServer, 8), 19730);
  EXPECT_EQ(read_int(kDatagram, 8), 19730);
  EXPECT_TRUE(Peer::connect_to(19730).valid());
  struct Case { int32_t written, stored; };
  for (Case c : {Case{0, 1}, Case{-3, 1}, Case{port, port}}) {
    write_int(kServer, 8, c.written);
    EXPECT_EQ(read_int(kServer, 8), c.stored) << c.written;
    write_int(kDatagram, 8, c.written);
    EXPECT_EQ(read_int(kDatagram, 8), c.stored) << c.written;
  }
  // A new port listens anew, the datagram unit is bound anew; the old ports are closed.
  EXPECT_TRUE(Peer::connect_to(port).valid());
  EXPECT_FALSE(Peer::connect_to(19730).valid());
  Peer sender = Peer::datagram(0);
  ASSERT_TRUE(sender.send_datagram(static_cast<uint16_t>(port), "rebound"));
  ASSERT_TRUE(pump_until([&] { return count_of(kDatagram, 0) == 1; }));
  EXPECT_EQ(data_of(kDatagram), "rebound");
  EXPECT_TRUE(Peer::datagram(19730).valid());
  EXPECT_EQ(saved_data(kServer), words({1, port}));
  EXPECT_EQ(saved_data(kDatagram), words({1, port}));
}

TEST(ClientUnit, AgainstAPeerServer) {
  uint16_t port = free_port();
  Peer listener = Peer::listen_on(port);
  ASSERT_TRUE(listener.valid());
  TestWindow w({{kClient, kClientType, {}}});
  EXPECT_FALSE(call_bool(kClientSend, {client(), text("x")}));  // not connected
  ASSERT_TRUE(call_bool(kConnect, {client(), text("127.0.0.1"), integer(port)}));
  Peer server_side = listener.accept_one();
  ASSERT_TRUE(server_side.valid());
  EXPECT_TRUE(call_bool(kClientSend, {client(), text("hi there")}));
  EXPECT_TRUE(call_bool(kClientSend, {client(), bytes("")}));
  EXPECT_EQ(server_side.receive(8), "hi there");
  ASSERT_TRUE(server_side.send_all("answer"));
  ASSERT_TRUE(pump_until([&] { return data_of(kClient) == "answer"; }));
  EXPECT_EQ(call_bin(kReceived, {client()}), "");  // outside the event
  // The server closes: event 1, and sends fail from then on.
  server_side.close();
  ASSERT_TRUE(pump_until([&] { return count_of(kClient, 1) == 1; }));
  EXPECT_FALSE(call_bool(kClientSend, {client(), text("late")}));
  call(kDisconnect, {client()});
  // Connect again (a name this time), then disconnect by the program: no event.
  ASSERT_TRUE(call_bool(kConnect, {client(), text("localhost"), integer(port)}));
  Peer second = listener.accept_one();
  ASSERT_TRUE(second.valid());
  call(kDisconnect, {client()});
  EXPECT_TRUE(second.sees_close());
  pump_for(100);
  EXPECT_EQ(count_of(kClient, 1), 1u);
  EXPECT_FALSE(call_bool(kClientSend, {client(), text("x")}));
}

TEST(ClientUnit, ConnectFailuresAnswerFalse) {
  TestWindow w({{kClient, kClientType, {}}});
  uint16_t closed = free_port();
  DWORD start = GetTickCount();
  EXPECT_FALSE(call_bool(kConnect, {client(), text("127.0.0.1"), integer(closed)}));
  EXPECT_LT(GetTickCount() - start, 3000u);
  EXPECT_FALSE(call_bool(kConnect, {client(), text(""), integer(closed)}));
  EXPECT_FALSE(call_bool(kConnect, {client(), text("127.0.0.1"), integer(70000)}));
  EXPECT_FALSE(call_bool(kClientSend, {client(), text("x")}));
  // A unit of another type, or none, gets the neutral answer.
  EXPECT_FALSE(call_bool(kConnect, {unit_arg(0x16018999, kClientType), text("127.0.0.1"), integer(closed)}));
}

TEST(ClientUnit, ServerAndClientUnitsInOneWindow) {
  uint16_t port = free_port();
  TestWindow w({{kServer, kServerType, port_data(port)},
                {kClient, kClientType, {}},
                {kClient2, kClientType, {}}});
  ASSERT_TRUE(call_bool(kConnect, {client(kClient), text("127.0.0.1"), integer(port)}));
  ASSERT_TRUE(call_bool(kConnect, {client(kClient2), text("127.0.0.1"), integer(port)}));
  ASSERT_TRUE(pump_until([&] { return count_of(kServer, 1) == 2; }));
  // The server echoes every piece back to its sender.
  set_during_event([](const Event& e) {
    if (e.unit == kServer && e.event == 0)
      call(kServerSend, {server(), text(e.client), bytes(e.data)});
  });
  EXPECT_TRUE(call_bool(kClientSend, {client(kClient), text("one")}));
  EXPECT_TRUE(call_bool(kClientSend, {client(kClient2), text("two")}));
  ASSERT_TRUE(pump_until([&] { return data_of(kClient) == "one" && data_of(kClient2) == "two"; }));
  set_during_event(nullptr);
  call(kDisconnect, {client(kClient)});
  ASSERT_TRUE(pump_until([&] { return count_of(kServer, 2) == 1; }));
}

TEST(DatagramUnit, DatagramsBetweenTwoUnits) {
  uint16_t pa = free_port(), pb = free_port();
  TestWindow w({{kDatagram, kDatagramType, port_data(pa)},
                {kDatagram2, kOldDatagramType, port_data(pb)}});
  EXPECT_TRUE(call_bool(kDatagramSend, {datagram(), text("127.0.0.1"), integer(pb), text("to b")}));
  EXPECT_TRUE(call_bool(kDatagramSend, {datagram(kDatagram2), text("127.0.0.1"), integer(pa), bytes(std::string("\0to a", 5))}));
  ASSERT_TRUE(pump_until([&] { return count_of(kDatagram, 0) == 1 && count_of(kDatagram2, 0) == 1; }));
  EXPECT_EQ(data_of(kDatagram2), "to b");
  EXPECT_EQ(data_of(kDatagram), std::string("\0to a", 5));
  EXPECT_EQ(call_bin(kReceived, {datagram()}), "");
  // Each datagram is its own event, even when they queue up.
  for (int i = 0; i < 5; ++i)
    call(kDatagramSend, {datagram(), text("127.0.0.1"), integer(pb), text(std::to_string(i))});
  ASSERT_TRUE(pump_until([&] { return count_of(kDatagram2, 0) == 6; }));
  EXPECT_EQ(data_of(kDatagram2), "to b01234");
  // A peer socket of the test sees what the unit sends, and the unit what it sends.
  Peer peer = Peer::datagram(0);
  EXPECT_TRUE(call_bool(kDatagramSend, {datagram(), text("127.0.0.1"), integer(peer.local_port()), integer(7)}));
  EXPECT_EQ(peer.receive_datagram(), std::string("\x07\0\0\0", 4));
  ASSERT_TRUE(peer.send_datagram(pa, std::string(2000, 'q')));
  ASSERT_TRUE(pump_until([&] { return count_of(kDatagram, 0) == 2; }));
  EXPECT_EQ(events().back().data, std::string(2000, 'q'));
}

TEST(DatagramUnit, FailuresAreResults) {
  uint16_t pa = free_port();
  TestWindow w({{kDatagram, kDatagramType, port_data(pa)}});
  EXPECT_TRUE(call_bool(kDatagramSend, {datagram(), text("127.0.0.1"), integer(pa), bytes("")}));
  EXPECT_FALSE(call_bool(kDatagramSend, {datagram(), text("127.0.0.1"), integer(70000), text("x")}));
  // Nobody listens there: the send itself succeeds; the unit keeps receiving afterwards.
  uint16_t closed = free_port();
  EXPECT_TRUE(call_bool(kDatagramSend, {datagram(), text("127.0.0.1"), integer(closed), text("x")}));
  pump_for(100);
  EXPECT_TRUE(call_bool(kDatagramSend, {datagram(), text("127.0.0.1"), integer(pa), text("self")}));
  ASSERT_TRUE(pump_until([&] { return count_of(kDatagram, 0) == 1; }));
  EXPECT_EQ(data_of(kDatagram), "self");
  // A unit whose port cannot be bound (taken) answers false and raises nothing.
  Peer taken = Peer::datagram(0);
  TestWindow w2({{kDatagram2, kDatagramType, port_data(taken.local_port())}});
  EXPECT_FALSE(call_bool(kDatagramSend, {datagram(kDatagram2), text("127.0.0.1"), integer(pa), text("x")}));
}

TEST(SocketUnits, TemplateVersions) {
  struct Case { uint32_t type; std::string data; bool created; std::string saved; };
  const Case cases[] = {
      {kServerType, words({0, 1234}), true, words({1, 1234})},
      {kServerType, words({2, 1234}), false, ""},
      {kDatagramType, words({1, 0}), true, words({1, 1})},  // a stored 0 is port 1
      {kDatagramType, words({3}), false, ""},
      {kClientType, words({1}), true, words({1})},
      {kClientType, words({2}), false, ""},
      {kClientType, {}, true, words({1})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.data.size()));
    TestWindow w({{kClient, c.type, c.data}});
    EXPECT_EQ(w.loaded(), c.created);
    if (w.loaded()) EXPECT_EQ(saved_data(kClient), c.saved);
  }
}

TEST(NameLookups, HostNamesAndAddresses) {
  install_once();
  EXPECT_EQ(call_text(kAddressOf, {text("localhost")}), "127.0.0.1");
  EXPECT_NE(call_text(kHostNameOf, {text("127.0.0.1")}), "");
  EXPECT_EQ(call_text(kHostNameOf, {text("not an address")}), "");
  EXPECT_EQ(call_text(kHostNameOf, {text("")}), "");
  EXPECT_EQ(call_text(kAddressOf, {text("")}), "");
}

TEST(SocketUnits, DesignModeOpensNothing) {
  install_once();
  uint16_t port = free_port();
  HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  auto create = reinterpret_cast<units::CreateOp>(
      units::type_operation(units::core_type_entry(38), units::kCreate));
  ASSERT_TRUE(create);
  std::string data = port_data(port);
  for (uint32_t design : {1u, 0u}) {
    void* u = create(reinterpret_cast<const uint8_t*>(data.data()), static_cast<uint32_t>(data.size()),
                     0, parent, 100, nullptr, 0, 0, 20, 20, kWindow, 0x16018100, 0, design);
    ASSERT_TRUE(u);
    HWND h = static_cast<framework::Window*>(u)->handle();
    EXPECT_EQ((GetWindowLongA(h, GWL_STYLE) & WS_BORDER) != 0, design == 1);
    EXPECT_FALSE(IsWindowVisible(h));
    // In design mode the server does not listen; at run time it does.
    EXPECT_EQ(Peer::connect_to(port).valid(), design == 0) << design;
    DestroyWindow(h);
  }
  DestroyWindow(parent);
}

TEST(SocketUnits, NothingLeftOpen) {
  uint16_t port = free_port(), udp = free_port();
  auto round = [&] {
    TestWindow w({{kServer, kServerType, port_data(port)},
                  {kClient, kClientType, {}},
                  {kDatagram, kDatagramType, port_data(udp)}});
    ASSERT_TRUE(call_bool(kConnect, {client(), text("127.0.0.1"), integer(port)}));
    ASSERT_TRUE(pump_until([&] { return count_of(kServer, 1) == 1; }));
    ASSERT_TRUE(call_bool(kDatagramSend, {datagram(), text("127.0.0.1"), integer(udp), text("x")}));
    ASSERT_TRUE(pump_until([&] { return count_of(kDatagram, 0) == 1; }));
  };
  round();  // the first round loads and starts what stays for the process
  pump_for(50);
  int threads = thread_count();
  DWORD handles = 0, handles_after = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles);
  for (int i = 0; i < 3; ++i) round();
  pump_for(50);
  GetProcessHandleCount(GetCurrentProcess(), &handles_after);
  // Every socket (listening, accepted, client, datagram) and handle is closed again.
  EXPECT_EQ(handles_after, handles);
  EXPECT_EQ(thread_count(), threads);
  // Nothing listens any more, and the datagram port can be bound by the test.
  EXPECT_FALSE(Peer::connect_to(port).valid());
  EXPECT_TRUE(Peer::datagram(udp).valid());
}

}  // namespace

namespace {

// A broadcast never goes onto the machine's network: this test runs only inside a private
// network namespace holding nothing but its own loopback (private_net_run.sh), where an
// address outside it has no route at all.
TEST(DatagramUnit, BroadcastAndNoRouteInAPrivateNetwork) {
  const char* private_net = std::getenv("ORVEL_PRIVATE_NET");
  if (!private_net || std::string(private_net) != "1")
    GTEST_SKIP() << "runs through private_net_run.sh only";
  uint16_t pa = free_port(), pb = free_port();
  TestWindow w({{kDatagram, kDatagramType, port_data(pa)},
                {kDatagram2, kDatagramType, port_data(pb)},
                {kClient, kClientType, {}}});
  // Empty target: a broadcast to the port given. A datagram that reached the sender just
  // before, not yet read, is still delivered afterwards.
  Peer peer = Peer::datagram(0);
  ASSERT_TRUE(peer.send_datagram(pa, "waiting"));
  Sleep(50);
  EXPECT_TRUE(call_bool(kDatagramSend, {datagram(), text(""), integer(pb), text("to all")}));
  ASSERT_TRUE(pump_until([&] { return count_of(kDatagram2, 0) == 1 && count_of(kDatagram, 0) == 1; }));
  EXPECT_EQ(data_of(kDatagram2), "to all");
  EXPECT_EQ(data_of(kDatagram), "waiting");
  // The omitted target is the same as the empty one.
  EXPECT_TRUE(call_bool(kDatagramSend, {datagram(), omitted(), integer(pb), text("again")}));
  ASSERT_TRUE(pump_until([&] { return count_of(kDatagram2, 0) == 2; }));
  // A connect to an address with no route, and to a name that cannot be looked up (no name
  // server is reachable from here, so the lookup fails at once), answer false at once; a
  // datagram to an address with no route returns at once too (whether the platform reports
  // its loss is its own affair) and the unit goes on working.
  DWORD start = GetTickCount();
  EXPECT_FALSE(call_bool(kConnect, {client(), text("192.0.2.1"), integer(pb)}));
  EXPECT_FALSE(call_bool(kConnect, {client(), text("no-such-host.invalid"), integer(pb)}));
  EXPECT_FALSE(call_bool(kDatagramSend, {datagram(), text("no-such-host.invalid"), integer(pb), text("x")}));
  call(kDatagramSend, {datagram(), text("192.0.2.1"), integer(pb), text("lost")});
  EXPECT_LT(GetTickCount() - start, 5000u);
  // The sender still receives on its own port.
  EXPECT_TRUE(call_bool(kDatagramSend, {datagram(kDatagram2), text("127.0.0.1"), integer(pa), text("back")}));
  ASSERT_TRUE(pump_until([&] { return count_of(kDatagram, 0) == 2; }));
  EXPECT_EQ(data_of(kDatagram), "waitingback");
}

}  // namespace
