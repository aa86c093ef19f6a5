// Serial port unit on a real port: one end of a pseudo-terminal pair mapped to a COM port of
// the Wine prefix (ORVEL_COMM_PORT), the test's peer on the other end's port
// (ORVEL_COMM_PEER). A pseudo-terminal has no modem lines, so the port cannot wait for
// modem-signal events there: the unit falls back to waiting for received bytes.
#include <gtest/gtest.h>
#include <cstdlib>
#include <string>
#include <vector>
#include "comm_fixture.h"

namespace {

using namespace commtest;

constexpr uint32_t kSerial = 0x16018010;
constexpr int kOpen = 442, kClose = 443, kSend = 444, kToByteSet = 102, kSetLine = 571;

runtime::ArgRecord serial() { return unit_arg(kSerial, kSerialType); }

int env_int(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::atoi(v) : 0;
}
int unit_port() { return env_int("ORVEL_COMM_PORT"); }

std::string serial_data(int port, bool open_on_create = false, const std::string& event_char = "") {
  return words({4, static_cast<uint32_t>(port), 9600, 8, 1, 0, 200, open_on_create ? 1u : 0u,
                static_cast<uint32_t>(event_char.size())}) +
         event_char + words({0, 0, 0, 0});
}

// The peer's end: a plain synchronous handle on the other COM port.
class PortPeer {
 public:
  PortPeer() {
    std::string name = "\\\\.\\COM" + std::to_string(env_int("ORVEL_COMM_PEER"));
    h_ = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h_ == INVALID_HANDLE_VALUE) return;
    DCB d{};
    d.DCBlength = sizeof d;
    GetCommState(h_, &d);
    d.BaudRate = 9600;
    d.ByteSize = 8;
    d.fBinary = 1;
    d.Parity = NOPARITY;
    d.StopBits = ONESTOPBIT;
    SetCommState(h_, &d);
    COMMTIMEOUTS t{0, 0, 100, 0, 1000};
    SetCommTimeouts(h_, &t);
    PurgeComm(h_, PURGE_RXCLEAR | PURGE_TXCLEAR);
  }
  ~PortPeer() {
    if (valid()) CloseHandle(h_);
  }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  bool write(const std::string& bytes) {
    DWORD n = 0;
    return WriteFile(h_, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) && n == bytes.size();
  }
  // Reads until `n` bytes came or `ms` passed.
  std::string read(size_t n, int ms = 3000) {
    std::string out;
    DWORD start = GetTickCount();
    while (out.size() < n && static_cast<int>(GetTickCount() - start) < ms) {
      char buffer[4096];
      DWORD got = 0;
      DWORD want = static_cast<DWORD>(std::min(sizeof buffer, n - out.size()));
      if (!ReadFile(h_, buffer, want, &got, nullptr)) break;
      out.append(buffer, got);
    }
    return out;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

std::string received_bytes() {
  std::string out;
  for (const Event& e : events())
    if (e.event == 1) out += static_cast<char>(e.arg);
  return out;
}

// Whether the thread count comes back to `n` within a second. The worker has ended when close
// returns; Wine's own helper thread for a pending port wait ends a moment after it.
bool back_to(int n) {
  DWORD start = GetTickCount();
  while (thread_count() != n) {
    if (GetTickCount() - start > 1000) return false;
    Sleep(10);
  }
  return true;
}

class SerialPty : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!unit_port()) GTEST_SKIP() << "run through serial_run.sh: it maps a pseudo-terminal pair";
  }
};

TEST_F(SerialPty, PeerBytesArriveOneEventPerByteInOrder) {
  PortPeer peer;
  ASSERT_TRUE(peer.valid());
  TestWindow w({{kSerial, kSerialType, serial_data(unit_port())}});
  ASSERT_TRUE(call_bool(kOpen, {serial()}));
  ASSERT_TRUE(peer.write("abc"));  // one burst: three events, in order
  ASSERT_TRUE(pump_until([] { return events().size() >= 3; }));
  EXPECT_EQ(received_bytes(), "abc");
  std::string all;
  for (int i = 0; i < 512; ++i) all += static_cast<char>(i * 37 + 11);
  events().clear();
  ASSERT_TRUE(peer.write(all));
  ASSERT_TRUE(pump_until([&] { return events().size() >= all.size(); }));
  pump_for(100);
  EXPECT_EQ(events().size(), all.size());
  EXPECT_TRUE(received_bytes() == all);
  for (const Event& e : events()) EXPECT_EQ(e.event, 1) << "no status event on a port without modem lines";
  // A burst far beyond what a window's message queue holds in messages: still one event per
  // byte, none lost, in order.
  std::string burst(64 * 1024, '\0');
  for (size_t i = 0; i < burst.size(); ++i) burst[i] = static_cast<char>(i * 131 + i / 256);
  events().clear();
  ASSERT_TRUE(peer.write(burst));
  ASSERT_TRUE(pump_until([&] { return events().size() >= burst.size(); }, 20000)) << events().size();
  EXPECT_TRUE(received_bytes() == burst);
}

TEST_F(SerialPty, ProgramSendsTextsBytesAndNumbers) {
  PortPeer peer;
  ASSERT_TRUE(peer.valid());
  TestWindow w({{kSerial, kSerialType, serial_data(unit_port(), true)}});  // opened on creation
  ASSERT_TRUE(w.loaded());
  struct Case { runtime::ArgRecord value; std::string expected; };
  const Case cases[] = {
      {text("abc中文"), "abc\xD6\xD0\xCE\xC4"},     // GBK bytes, no terminating zero
      {bytes(std::string("\0\x01\xFF", 3)), std::string("\0\x01\xFF", 3)},
      {integer(0x01020304), "\x04\x03\x02\x01"},
      {real(1.5), ""},                      // as the to-byte-set command gives it
      {short_int(-2), ""},
  };
  for (const Case& c : cases) {
    std::string expected = c.expected.empty() ? call_bin(kToByteSet, {c.value}) : c.expected;
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(call_bool(kSend, {serial(), c.value}));
    EXPECT_EQ(peer.read(expected.size()), expected);
  }
  EXPECT_TRUE(call_bool(kSend, {serial(), text("")}));  // nothing to send: success
  EXPECT_EQ(peer.read(1, 300), "");
  // A larger block goes out whole.
  std::string block(20000, '\0');
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i % 251);
  EXPECT_TRUE(call_bool(kSend, {serial(), bytes(block)}));
  EXPECT_TRUE(peer.read(block.size(), 10000) == block);
  // Signal lines: out-of-range arguments answer 0; real ones reach the port.
  EXPECT_EQ(call(kSetLine, {serial(), integer(3), integer(1)}).lo, 0u);
  EXPECT_EQ(call(kSetLine, {serial(), integer(1), integer(4)}).lo, 0u);
  call(kSetLine, {serial(), integer(2), integer(1)});
  call(kClose, {serial()});
  EXPECT_FALSE(call_bool(kSend, {serial(), text("x")}));
}

TEST_F(SerialPty, CloseWhileTheWorkerWaitsIsPromptAndLeavesNoThread) {
  PortPeer peer;
  ASSERT_TRUE(peer.valid());
  int threads = thread_count();
  {
    TestWindow w({{kSerial, kSerialType, serial_data(unit_port())}});
    DWORD handles = 0, handles_after = 0;
    for (int round = 0; round < 4; ++round) {
      if (round == 1) GetProcessHandleCount(GetCurrentProcess(), &handles);
      ASSERT_TRUE(call_bool(kOpen, {serial()}));
      EXPECT_GT(thread_count(), threads);
      pump_for(100);  // the worker is blocked in its wait now
      DWORD start = GetTickCount();
      call(kClose, {serial()});
      EXPECT_LT(GetTickCount() - start, 1000u);
      EXPECT_TRUE(back_to(threads)) << thread_count() << " threads, " << threads << " before";
    }
    // The port, the worker and its events are closed each time.
    GetProcessHandleCount(GetCurrentProcess(), &handles_after);
    EXPECT_EQ(handles_after, handles);
    // Opening twice closes the first worker; destroying the unit closes the port.
    ASSERT_TRUE(call_bool(kOpen, {serial()}));
    ASSERT_TRUE(call_bool(kOpen, {serial()}));
    EXPECT_GT(thread_count(), threads);
    pump_for(100);
    DWORD start = GetTickCount();
    w.destroy_unit(kSerial);
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_TRUE(back_to(threads)) << thread_count() << " threads, " << threads << " before";
  }
  // The port is free again: another unit opens it and receives.
  TestWindow again({{kSerial, kSerialType, serial_data(unit_port())}});
  EXPECT_TRUE(call_bool(kOpen, {serial()}));
  ASSERT_TRUE(peer.write("q"));
  EXPECT_TRUE(pump_until([] { return received_bytes() == "q"; }));
}

TEST_F(SerialPty, AnIdlePortCostsNoBusyLoop) {
  PortPeer peer;
  ASSERT_TRUE(peer.valid());
  TestWindow w({{kSerial, kSerialType, serial_data(unit_port())}});
  ASSERT_TRUE(call_bool(kOpen, {serial()}));
  pump_for(100);
  FILETIME c, e, k0, u0, k1, u1;
  GetProcessTimes(GetCurrentProcess(), &c, &e, &k0, &u0);
  Sleep(1000);
  GetProcessTimes(GetCurrentProcess(), &c, &e, &k1, &u1);
  auto ticks = [](FILETIME f) { return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
  uint64_t cpu_ms = (ticks(k1) - ticks(k0) + ticks(u1) - ticks(u0)) / 10000;
  std::printf("CPU while idle for 1 s with the port open: %llu ms\n",
              static_cast<unsigned long long>(cpu_ms));
  EXPECT_LT(cpu_ms, 300u);
  // Still receiving after the idle time.
  ASSERT_TRUE(peer.write("z"));
  EXPECT_TRUE(pump_until([] { return received_bytes() == "z"; }));
}

// With the modem-line shim preloaded (serial_run.sh with the shim), the pseudo-terminal has
// modem lines the test sets by writing their bits to a file: each change is a status event.
TEST_F(SerialPty, ModemLineChangesRaiseStatusEvents) {
  const char* file = std::getenv("ORVEL_MODEM_LINES_FILE");
  if (!file) GTEST_SKIP() << "runs with the modem-line shim only (serial_run.sh with the shim)";
  // The shim reads a value only when it ends with a new line (never a half-written one).
  auto set_lines = [&](int bits) {
    HANDLE h = CreateFileA(file, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    std::string text = std::to_string(bits) + "\n";
    text.resize(8, ' ');
    DWORD n = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
    CloseHandle(h);
  };
  constexpr int kCts = 0x20, kCarrier = 0x40, kDsr = 0x100;
  set_lines(kCts | kCarrier | kDsr);
  PortPeer peer;
  ASSERT_TRUE(peer.valid());
  TestWindow w({{kSerial, kSerialType, serial_data(unit_port())}});
  ASSERT_TRUE(call_bool(kOpen, {serial()}));
  pump_for(200);
  EXPECT_TRUE(events().empty());
  struct Step { int lines; std::vector<uint32_t> statuses; };
  const Step steps[] = {
      {kCarrier | kDsr, {8}},            // CTS off
      {kCarrier, {9}},                   // DSR off
      {0, {10}},                         // carrier off
      {kCts | kCarrier | kDsr, {2, 3, 6}},  // all on: CTS, DSR, carrier, in that order
  };
  for (const Step& s : steps) {
    events().clear();
    set_lines(s.lines);
    pump_until([&] { return events().size() >= s.statuses.size(); }, 3000);
    pump_for(100);
    std::vector<uint32_t> got;
    for (const Event& e : events()) {
      EXPECT_EQ(e.event, 0);
      got.push_back(e.arg);
    }
    EXPECT_EQ(got, s.statuses) << "lines " << s.lines;
  }
  // Bytes still arrive one event each.
  events().clear();
  ASSERT_TRUE(peer.write("ok"));
  EXPECT_TRUE(pump_until([] { return received_bytes() == "ok"; }));
}

}  // namespace
