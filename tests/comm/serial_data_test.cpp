// Serial port unit without a port: property clamping, template versions, an absent port.
#include <gtest/gtest.h>
#include "comm_fixture.h"

namespace {

using namespace commtest;

constexpr uint32_t kSerial = 0x16018010;
constexpr int kOpen = 442, kClose = 443, kSend = 444, kSetLine = 571;

runtime::ArgRecord serial() { return unit_arg(kSerial, kSerialType); }

// Template data: version, port, baud, data bits, stop bits, parity check, timeout, open on
// creation, event character (counted text), then parity (v2), flow control (v3), RTS and DTR
// (v4).
std::string serial_data(uint32_t version, std::initializer_list<uint32_t> head,
                        const std::string& event_char, std::initializer_list<uint32_t> tail) {
  std::string d = words({version}) + words(head) + words({static_cast<uint32_t>(event_char.size())}) +
                  event_char + words(tail);
  return d;
}

TEST(SerialUnit, PropertyClamping) {
  TestWindow w({{kSerial, kSerialType, {}}});
  ASSERT_TRUE(w.loaded());
  struct Case { int prop; int32_t written, stored; };
  const Case cases[] = {
      {8, 0, 1},     {8, -4, 1},    {8, 12, 12},          // port number
      {9, -1, 0},    {9, 115200, 115200},                   // baud rate
      {10, 300, 300},                                        // data bits: stored unchanged
      {11, 7, 3},    {11, 0, 1},    {11, -2, 1},  {11, 2, 2},  // stop bits
      {14, -5, 0},   {14, 250, 250},                         // timeout
      {16, 9, 4},    {16, -1, 0},   {16, 3, 3},              // parity
      {17, 6, 5},    {17, -1, 0},   {17, 5, 5},              // flow control
      {18, 3, 2},    {18, -1, 0},   {19, 7, 2},   {19, 1, 1},  // RTS, DTR
  };
  for (const Case& c : cases) {
    write_int(kSerial, c.prop, c.written);
    EXPECT_EQ(read_int(kSerial, c.prop), c.stored) << c.prop << " " << c.written;
  }
}

TEST(SerialUnit, DefaultsAndTemplateVersions) {
  {
    TestWindow w({{kSerial, kSerialType, {}}});
    const int32_t defaults[][2] = {{8, 1}, {9, 19200}, {10, 8}, {11, 1}, {12, 0}, {14, 1000},
                                   {15, 0}, {16, 0},   {17, 0}, {18, 0}, {19, 0}};
    for (auto [prop, v] : defaults) EXPECT_EQ(read_int(kSerial, prop), v) << prop;
    EXPECT_EQ(saved_data(kSerial), serial_data(4, {1, 19200, 8, 1, 0, 1000, 0}, "", {0, 0, 0, 0}));
  }
  {
    // Version 1: parity, flow control, RTS and DTR stay 0 even when more words follow.
    TestWindow w({{kSerial, kSerialType,
                   serial_data(1, {250, 9600, 7, 9, 1, 30, 0}, "#", {4, 5, 2, 2})}});
    ASSERT_TRUE(w.loaded());
    const int32_t expected[][2] = {{8, 250}, {9, 9600}, {10, 7}, {11, 3}, {12, 1}, {14, 30},
                                   {15, 0},  {16, 0},   {17, 0}, {18, 0}, {19, 0}};
    for (auto [prop, v] : expected) EXPECT_EQ(read_int(kSerial, prop), v) << prop;
    EXPECT_EQ(saved_data(kSerial), serial_data(4, {250, 9600, 7, 3, 1, 30, 0}, "#", {0, 0, 0, 0}));
  }
  {
    TestWindow w({{kSerial, kSerialType, serial_data(3, {2, 4800, 8, 1, 0, 10, 0}, "", {2, 5, 1})}});
    EXPECT_EQ(read_int(kSerial, 16), 2);
    EXPECT_EQ(read_int(kSerial, 17), 5);
    EXPECT_EQ(read_int(kSerial, 18), 0);  // a version 3 record has no RTS and DTR
  }
  {
    TestWindow w({{kSerial, kSerialType, serial_data(5, {1, 1, 8, 1, 0, 0, 0}, "", {0, 0, 0, 0})}});
    EXPECT_FALSE(w.loaded());  // a version above 4 is refused
  }
  {
    // A counted text running past the end is corrupt data: refused, not read beyond.
    TestWindow w({{kSerial, kSerialType, words({4, 1, 1, 8, 1, 0, 0, 0, 1000})}});
    EXPECT_FALSE(w.loaded());
  }
}

TEST(SerialUnit, AbsentPortAnswersZeroAndLeavesNoWorker) {
  int threads = thread_count();
  // Open on creation with an absent port: created, not open.
  TestWindow w({{kSerial, kSerialType, serial_data(4, {231, 9600, 8, 1, 0, 100, 1}, "", {0, 0, 0, 0})}});
  ASSERT_TRUE(w.loaded());
  EXPECT_FALSE(call_bool(kOpen, {serial()}));
  EXPECT_EQ(thread_count(), threads);
  EXPECT_FALSE(call_bool(kSend, {serial(), text("x")}));   // closed
  EXPECT_FALSE(call_bool(kSend, {serial(), text("")}));    // closed, even with nothing to send
  EXPECT_EQ(call(kSetLine, {serial(), integer(2), integer(1)}).lo, 0u);
  call(kClose, {serial()});                                // closing a closed port is harmless
  write_int(kSerial, 8, 232);
  EXPECT_FALSE(call_bool(kOpen, {serial()}));
  EXPECT_EQ(thread_count(), threads);
}

}  // namespace
