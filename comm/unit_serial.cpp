// Serial port unit ("端口"): the port's settings as properties, opened on request (or on
// creation), its worker's notifications raised as events on the main thread.
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

// The stored value of a written integer, by property.
int32_t clamped(int index, int32_t v) {
  switch (index) {
    case kPort: return v <= 0 ? 1 : v;
    case kBaud: case kTimeout: return v < 0 ? 0 : v;
    case kStopBits: return v <= 0 ? 1 : v > 3 ? 3 : v;
    case kParity: return v < 0 ? 0 : v > 4 ? 4 : v;
    case kFlow: return v < 0 ? 0 : v > 5 ? 5 : v;
    case kRts: case kDtr: return v < 0 ? 0 : v > 2 ? 2 : v;
    default: return v;
  }
}

// Event 0's status code of each notification 1026..1036 (1032, a byte, is event 1).
constexpr int32_t kStatusOf[] = {1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10};

class SerialUnit : public HiddenUnit {
 public:
  SerialUnit() : port_(queue_) {}

  bool load(units::DataReader& d) override {
    if (d.empty()) return true;
    uint32_t version = 0;
    if (!d.u32(version) || version > kVersion) return false;
    int32_t v[kPropertyCount] = {};
    for (int i : {kPort, kBaud, kDataBits, kStopBits, kParityCheck, kTimeout, kOpenOnCreate})
      if (d.i32(v[i])) set_int(i, v[i]);
    std::string event_char;
    if (d.bytes(event_char)) s_.event_char = event_char;
    if (version >= 2 && d.i32(v[kParity])) set_int(kParity, v[kParity]);
    if (version >= 3 && d.i32(v[kFlow])) set_int(kFlow, v[kFlow]);
    if (version >= 4) {
      if (d.i32(v[kRts])) set_int(kRts, v[kRts]);
      if (d.i32(v[kDtr])) set_int(kDtr, v[kDtr]);
    }
    return true;
  }
  std::string save() const override {
    units::DataWriter w;
    w.u32(kVersion);
    for (int i : {kPort, kBaud, kDataBits, kStopBits, kParityCheck, kTimeout, kOpenOnCreate})
      w.i32(get_int(i));
    w.bytes(s_.event_char);
    for (int i : {kParity, kFlow, kRts, kDtr}) w.i32(get_int(i));
    return w.data();
  }
  bool create_window(const units::CreateArgs& a) override {
    if (!create_hidden(kClass, a)) return false;
    queue_.set_target(handle());
    if (!design() && open_on_create_) port_.open(s_);  // a failure is not reported
    return true;
  }
  int set_property(int index, const units::PropData& v) override {
    if (index == kEventChar) s_.event_char = text_in(v);
    else if (index >= 0 && index < kPropertyCount) set_int(index, int_in(v));
    return 0;
  }
  bool get_property(int index, units::PropData& out) override {
    if (index == kEventChar) out = text_out(s_.event_char);
    else if (index >= 0 && index < kPropertyCount) out = int_out(get_int(index));
    else return false;
    return true;
  }

  bool open() { return port_.open(s_); }
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
  void set_int(int index, int32_t value) {
    int32_t v = clamped(index, value);
    switch (index) {
      case kPort: s_.port = v; break;
      case kBaud: s_.baud = v; break;
      case kDataBits: s_.data_bits = v; break;
      case kStopBits: s_.stop_bits = v; break;
      case kParityCheck: s_.parity_check = (v & 1) != 0; break;
      case kTimeout: s_.timeout = v; break;
      case kOpenOnCreate: open_on_create_ = v != 0; break;
      case kParity: s_.parity = v; break;
      case kFlow: s_.flow = v; break;
      case kRts: s_.rts = v; break;
      case kDtr: s_.dtr = v; break;
      default: break;
    }
  }
  int32_t get_int(int index) const {
    switch (index) {
      case kPort: return s_.port;
      case kBaud: return s_.baud;
      case kDataBits: return s_.data_bits;
      case kStopBits: return s_.stop_bits;
      case kParityCheck: return s_.parity_check ? 1 : 0;
      case kTimeout: return s_.timeout;
      case kOpenOnCreate: return open_on_create_ ? 1 : 0;
      case kParity: return s_.parity;
      case kFlow: return s_.flow;
      case kRts: return s_.rts;
      case kDtr: return s_.dtr;
      default: return 0;
    }
  }
  // Raises the queued notifications in order; stops when a handler destroyed the unit.
  void deliver() {
    HWND self = handle();
    for (const Notification& n : queue_.take()) {
      if (n.code == kNoteByte) raise(1, {n.param});
      else if (n.code >= kNoteBreak && n.code <= kNoteCarrierOff) raise(0, {static_cast<uint32_t>(kStatusOf[n.code - kNoteBreak])});
      if (!still_here(self)) return;
    }
  }

  SerialSettings s_;
  bool open_on_create_ = false;
  NotifyQueue queue_;  // before port_: the port's worker queues into it
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
