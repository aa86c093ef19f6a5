// Timer unit: a never-shown window that raises event 0 each time its system timer fires.
#include "units/core_units.h"
#include "units/unit_base.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int { kInterval = 0 };

constexpr UINT_PTR kTimerNumber = 1000;
constexpr char kClass[] = "OrvelTimer";

class Timer : public Unit {
 public:
  bool load(DataReader& d) override {
    if (d.empty()) return true;
    uint32_t version = 0;
    if (!d.u32(version) || version > 1) return false;
    int32_t interval = 0;
    d.i32(interval);
    interval_ = interval < 0 ? 0 : interval;
    return true;
  }
  std::string save() const override {
    DataWriter w;
    w.u32(1);
    w.i32(interval_);
    return w.data();
  }
  bool create_window(const CreateArgs& a) override {
    framework::Window::register_class(kClass, LoadCursor(nullptr, IDC_ARROW), nullptr, CS_DBLCLKS);
    if (!create(kClass, "", a.style | WS_CHILD | WS_CLIPSIBLINGS, 0, a.left, a.top, a.width,
                a.height, a.parent,
                reinterpret_cast<HMENU>(static_cast<UINT_PTR>(a.control_id))))
      return false;
    if (interval_ > 0) start();
    return true;
  }
  int set_property(int index, const PropData& v) override {
    if (index != kInterval) return 0;
    int32_t interval = int_in(v) < 0 ? 0 : int_in(v);
    if (interval == interval_) return 0;
    interval_ = interval;
    stop();
    if (interval_ > 0) start();
    return 0;
  }
  bool get_property(int index, PropData& out) override {
    if (index != kInterval) return false;
    out = int_out(interval_);
    return true;
  }

 protected:
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_TIMER) {
      LRESULT r = pass(msg, wp, lp);
      raise(0);
      return r;
    }
    if (msg == WM_DESTROY) stop();
    return pass(msg, wp, lp);
  }

 private:
  void start() { running_ = SetTimer(handle(), kTimerNumber, interval_, nullptr) != 0; }
  void stop() {
    if (running_ && handle()) KillTimer(handle(), kTimerNumber);
    running_ = false;
  }
  int32_t interval_ = 0;  // never negative
  bool running_ = false;
};

void* __cdecl timer_interface(int number) {
  return standard_interface(number, &create_op<Timer>, {});
}

constexpr uint16_t kTypes[] = {kPropInt2};
constexpr auto kProperties = with_common(kTypes);

}  // namespace

const CoreUnitType kTimerUnitType{32, kProperties.data(), kProperties.size(), &timer_interface};

}  // namespace units
