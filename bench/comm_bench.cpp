// Communication units: TCP throughput from a local peer into a server unit's data events next
// to a plain Winsock receive loop in the same run; round-trip latency of a client unit's send
// against an echo peer; serial bytes per second through a pseudo-terminal pair when run by
// tests/comm/serial_run.sh (which sets ORVEL_COMM_PORT and ORVEL_COMM_PEER).
//   build/wine-run build/bench/comm_bench.exe
//   sh tests/comm/serial_run.sh build/wine-run build/bench/comm_bench.exe build/wineprefix
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>
#include "comm_fixture.h"
#include "peer.h"

using namespace commtest;

namespace {

constexpr uint32_t kServer = 0x16018002, kClient = 0x16018003, kSerial = 0x16018010;
constexpr size_t kTotal = 32u << 20;  // bytes per throughput run

double seconds_since(LARGE_INTEGER start) {
  LARGE_INTEGER now, f;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&f);
  return static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(f.QuadPart);
}
LARGE_INTEGER now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t;
}

// A peer thread that connects to `port` and sends kTotal bytes in 64 KiB pieces.
std::thread sender(uint16_t port) {
  return std::thread([port] {
    Peer p = Peer::connect_to(port);
    std::string piece(65536, 'x');
    for (size_t sent = 0; sent < kTotal; sent += piece.size()) p.send_all(piece);
    p.sees_close(30000);
  });
}

double plain_loop_mbs() {
  uint16_t port = free_port();
  Peer listener = Peer::listen_on(port);
  std::thread t = sender(port);
  Peer c = listener.accept_one();
  LARGE_INTEGER start = now();
  size_t got = 0;
  char buffer[65536];
  while (got < kTotal) {
    int n = recv(c.get(), buffer, sizeof buffer, 0);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  double s = seconds_since(start);
  c.close();
  t.join();
  return got / s / 1e6;
}

double server_unit_mbs(size_t* event_count) {
  uint16_t port = free_port();
  TestWindow w({{kServer, kServerType, words({1, port})}});
  size_t got = 0, events_seen = 0;
  set_lean_recording(true);
  set_during_event([&](const Event& e) {
    if (e.event == 0) {
      got += e.arg;
      ++events_seen;
    }
  });
  std::thread t = sender(port);
  LARGE_INTEGER start = now();
  pump_until([&] { return got >= kTotal; }, 60000);
  double s = seconds_since(start);
  w.destroy_unit(kServer);
  set_lean_recording(false);
  t.join();
  *event_count = events_seen;
  return got / s / 1e6;
}

void round_trips() {
  uint16_t port = free_port();
  Peer listener = Peer::listen_on(port);
  std::thread echo([&] {
    Peer c = listener.accept_one(5000);
    char buffer[4096];
    for (;;) {
      int n = recv(c.get(), buffer, sizeof buffer, 0);
      if (n <= 0 || send(c.get(), buffer, n, 0) != n) break;
    }
  });
  TestWindow w({{kClient, kClientType, {}}});
  runtime::ArgRecord client = unit_arg(kClient, kClientType);
  if (!call_bool(438, {client, text("127.0.0.1"), integer(port)})) {
    std::printf("client unit: connect failed\n");
    echo.join();
    return;
  }
  constexpr int kRounds = 2000;
  LARGE_INTEGER start = now();
  int done = 0;
  for (; done < kRounds; ++done) {
    events().clear();
    call(440, {client, text("ping-32-bytes-of-payload-here..")});
    if (!pump_until([] { return events().size() == 1; }, 5000)) break;
  }
  double s = seconds_since(start);
  call(439, {client});
  echo.join();
  std::printf("client unit round trip (32 bytes, echo peer): %.1f us mean over %d\n",
              s / done * 1e6, done);
}

void serial_rate() {
  const char* unit_port = std::getenv("ORVEL_COMM_PORT");
  const char* peer_port = std::getenv("ORVEL_COMM_PEER");
  if (!unit_port || !peer_port) {
    std::printf("serial: skipped (run through tests/comm/serial_run.sh for a pty pair)\n");
    return;
  }
  std::string name = std::string("\\\\.\\COM") + peer_port;
  HANDLE peer = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  TestWindow w({{kSerial, kSerialType,
                 words({4, static_cast<uint32_t>(std::atoi(unit_port)), 115200, 8, 1, 0, 1000, 1, 0, 0, 0, 0, 0})}});
  constexpr size_t kBytes = 256 * 1024;
  size_t got = 0;
  set_during_event([&](const Event& e) {
    got += e.event == 1;
    events().clear();
  });
  std::string data(kBytes, 'u');
  LARGE_INTEGER start = now();
  std::thread writer([&] {
    DWORD n = 0;
    WriteFile(peer, data.data(), static_cast<DWORD>(data.size()), &n, nullptr);
  });
  pump_until([&] { return got >= kBytes; }, 60000);
  double s = seconds_since(start);
  writer.join();
  std::printf("serial, peer -> unit events: %.0f bytes/s (%zu of %zu bytes, one event each)\n",
              got / s, got, kBytes);
  // Unit -> peer: one send of the block, read by the peer.
  std::string back;
  std::thread reader([&] {
    char buffer[65536];
    COMMTIMEOUTS t{0, 0, 2000, 0, 0};
    SetCommTimeouts(peer, &t);
    while (back.size() < kBytes) {
      DWORD n = 0;
      if (!ReadFile(peer, buffer, sizeof buffer, &n, nullptr) || n == 0) break;
      back.append(buffer, n);
    }
  });
  start = now();
  bool sent = call_bool(444, {unit_arg(kSerial, kSerialType), bytes(data)});
  reader.join();
  s = seconds_since(start);
  std::printf("serial, unit send -> peer: %.0f bytes/s (%s, %zu bytes read)\n", back.size() / s,
              sent ? "sent" : "send failed", back.size());
  CloseHandle(peer);
}

}  // namespace

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int main() {
  install_once();
  start_winsock();
  // Alternating runs, medians: the machine's other load shifts single runs a lot.
  constexpr int kRuns = 5;
  std::vector<double> plain, unit;
  size_t events = 0;
  for (int i = 0; i < kRuns; ++i) {
    plain.push_back(plain_loop_mbs());
    unit.push_back(server_unit_mbs(&events));
  }
  std::printf("TCP into 127.0.0.1, %zu MiB per run, median of %d alternating runs:\n",
              kTotal >> 20, kRuns);
  std::printf("  plain Winsock recv loop (64 KiB buffer): %8.1f MB/s\n", median(plain));
  std::printf("  server unit data events + received data: %8.1f MB/s (%zu events in the last run)\n",
              median(unit), events);
  std::printf("  ratio unit / plain: %.2f\n", median(unit) / median(plain));
  round_trips();
  serial_rate();
  return 0;
}
