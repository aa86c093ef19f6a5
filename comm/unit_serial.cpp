// Serial port unit ("端口"): the port's settings as properties, opened on request (or on
// creation), its worker's notifications raised as events on the main thread.
#include <cstdint>
#include "comm/commands.h"
#include "comm/hidden_unit.h"
#include "comm/serial_port.h"
#include "comm/unit_types.h"
#include "units/core_units.h"

namespace comm {

namespace {

// Property indices (property number - 8).
enum Property : int {
  kPort, kBaud, kDataBits, kStopBits, kParityCheck, kEventChar, kTimeout, kOpenOnCreate,
  kParity, kFlow, kRts, kDtr, kPropertyCount
};

constexpr char kClass[] = "OrvelSerialPort";
constexpr uint32_t kVersion = 4;
constexpr int32_t kMin = INT32_MIN, kMax = INT32_MAX;

// Each integer property: its default and the range a written value is clamped to.
struct IntRule {
  int32_t initial, low, high;
};
constexpr IntRule kRules[kPropertyCount] = {
    {1, 1, kMax},         // port number: values <= 0 become 1
    {19200, 0, kMax},     // baud rate: negative values become 0
    {8, kMin, kMax},      // data bits: stored unchanged, the low byte is used
    {1, 1, 3},            // stop bits: 1 one, 2 one and a half, 3 two
    {0, kMin, kMax},      // parity check: bit 0
    {0, 0, 0},            // event character: a text, not in this table
    {1000, 0, kMax},      // timeout in milliseconds
    {0, kMin, kMax},      // open on creation
    {0, 0, 4},            // parity: none, odd, even, mark, space
    {0, 0, 5},            // flow control: none, CTS/RTS, CTS/DTR, DSR/RTS, DSR/DTR, XON/XOFF
    {0, 0, 2},            // RTS line: 1 off
    {0, 0, 2},            // DTR line: 1 off, 2 on, 0 as the driver has it
};

// The template record after its version word, in stored order, with the version that
// brought each field.
struct RecordField {
  int index;
  uint32_t since;
};
constexpr RecordField kRecord[] = {
    {kPort, 1},    {kBaud, 1}, {kDataBits, 1}, {kStopBits, 1}, {kParityCheck, 1}, {kTimeout, 1},
    {kOpenOnCreate, 1}, {kEventChar, 1}, {kParity, 2}, {kFlow, 3}, {kRts, 4}, {kDtr, 4},
};

// Event 0's status code of each notification 1026..1036 (1032, a byte, is event 1).
constexpr int32_t kStatusOf[] = {1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10};

class SerialUnit : public HiddenUnit {
 public:
  SerialUnit() : port_(queue_) {
    for (int i = 0; i < kPropertyCount; ++i) values_[i] = kRules[i].initial;
  }

  bool load(units::DataReader& d) override {
    if (d.empty()) return true;
    uint32_t version = 0;
    if (!d.u32(version) || version > kVersion) return false;
    for (const RecordField& f : kRecord) {
      if (version < f.since) break;
      int32_t v = 0;
      if (f.index == kEventChar) d.bytes(event_char_);
      else if (d.i32(v)) set_int(f.index, v);
    }
    return true;
  }
  std::string save() const override {
    units::DataWriter w;
    w.u32(kVersion);
    for (const RecordField& f : kRecord) {
      if (f.index == kEventChar) w.bytes(event_char_);
      else w.i32(values_[f.index]);
    }
    return w.data();
  }
  bool create_window(const units::CreateArgs& a) override {
    if (!create_hidden(kClass, a)) return false;
    queue_.set_target(handle());
    if (!design() && values_[kOpenOnCreate] != 0) open();  // a failure is not reported
    return true;
  }
  int set_property(int index, const units::PropData& v) override {
    if (index == kEventChar) event_char_ = text_in(v);
    else if (index >= 0 && index < kPropertyCount) set_int(index, int_in(v));
    return 0;
  }
  bool get_property(int index, units::PropData& out) override {
    if (index == kEventChar) out = text_out(event_char_);
    else if (index >= 0 && index < kPropertyCount) out = int_out(values_[index]);
    else return false;
    return true;
  }

  bool open() { return port_.open(settings()); }
  void close() { port_.close(); }
  bool send(std::string_view bytes) { return port_.send(bytes); }
  int set_line(int state, int line) { return port_.set_line(state, line); }

 protected:
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == NotifyQueue::kMessage) {
      deliver();
      return 0;
    }
    if (msg == WM_DESTROY) port_.close();
    return HiddenUnit::on_message(msg, wp, lp);
  }

 private:
  void set_int(int index, int32_t v) {
    const IntRule& r = kRules[index];
    values_[index] = v < r.low ? r.low : v > r.high ? r.high : v;
  }
  SerialSettings settings() const {
    SerialSettings s;
    s.port = values_[kPort];
    s.baud = values_[kBaud];
    s.data_bits = values_[kDataBits];
    s.stop_bits = values_[kStopBits];
    s.parity_check = (values_[kParityCheck] & 1) != 0;
    s.event_char = event_char_;
    s.timeout = values_[kTimeout];
    s.parity = values_[kParity];
    s.flow = values_[kFlow];
    s.rts = values_[kRts];
    s.dtr = values_[kDtr];
    return s;
  }
  // Raises the queued notifications in order; stops when a handler destroyed the unit.
  void deliver() {
    HWND self = handle();
    for (const Notification& n : queue_.take()) {
      if (n.code == kNoteByte) raise(1, {n.param});
      else if (n.code >= kNoteBreak && n.code <= kNoteCarrierOff)
        raise(0, {static_cast<uint32_t>(kStatusOf[n.code - kNoteBreak])});
      if (!still_here(self)) return;
    }
  }

  int32_t values_[kPropertyCount];  // integer properties, clamped (kEventChar unused)
  std::string event_char_;          // only its first byte counts; empty = none
  NotifyQueue queue_;               // before port_: the port's worker queues into it
  SerialPort port_;
};

void* __cdecl serial_interface(int number) {
  return units::standard_interface(number, &create_hidden_unit<SerialUnit>, {});
}

constexpr uint16_t kTypes[] = {units::kPropInt2, units::kPropInt2, units::kPropInt2,
                               units::kPropInt2, units::kPropBool,  units::kPropText,
                               units::kPropInt2, units::kPropBool,  units::kPropPick,
                               units::kPropPick, units::kPropPick,  units::kPropPick};
constexpr auto kProperties = units::with_common(kTypes);

}  // namespace

const units::CoreUnitType kSerialPortUnitType{39, kProperties.data(), kProperties.size(),
                                              &serial_interface};

bool serial_open(uint32_t window, uint32_t unit) {
  SerialUnit* u = find_unit<SerialUnit>(window, unit);
  return u && u->open();
}
void serial_close(uint32_t window, uint32_t unit) {
  if (SerialUnit* u = find_unit<SerialUnit>(window, unit)) u->close();
}
bool serial_send(uint32_t window, uint32_t unit, std::string_view bytes) {
  SerialUnit* u = find_unit<SerialUnit>(window, unit);
  return u && u->send(bytes);
}
int serial_set_line(uint32_t window, uint32_t unit, int state, int line) {
  SerialUnit* u = find_unit<SerialUnit>(window, unit);
  return u ? u->set_line(state, line) : 0;
}

}  // namespace comm
