// The scroll bar units (horizontal and vertical): a system scroll bar control with a range, a
// position and line and page steps. The unit moves its own thumb: arrows, the track and the
// keyboard change the position by a step, dragging the thumb follows it (events while
// dragging only when "track" is on, else at the drop); event 0 reports each new position.
#pragma once
#include <algorithm>
#include "units/core_units.h"
#include "units/stored_unit.h"

namespace units {

class ScrollBarUnit : public StoredUnit {
 public:
  // Property indices of both scroll bar types (property number - 8).
  enum Property : int {
    kPosition = 0, kMinimum = 1, kMaximum = 2, kPageStep = 3, kLineStep = 4, kTrack = 5
  };
  static constexpr Field kFields[] = {
      {Kind::kInt, 0}, {Kind::kInt, 0}, {Kind::kInt, 100}, {Kind::kInt, 10}, {Kind::kInt, 1},
      {Kind::kBool, 1},
  };
  static constexpr uint16_t kTypes[] = {kPropInt, kPropInt, kPropInt, kPropInt, kPropInt,
                                        kPropBool};

  explicit ScrollBarUnit(bool vertical)
      : StoredUnit(kFields, std::size(kFields), 1), vertical_(vertical) {}

  bool create_window(const CreateArgs& a) override {
    DWORD style = base_style(a) | (vertical_ ? SBS_VERT : SBS_HORZ);
    if (!create_control("SCROLLBAR", "", style, 0, a.left, a.top, a.width, a.height, a.parent,
                        a.control_id))
      return false;
    apply_range();
    return true;
  }
  bool on_reflected(UINT msg, WPARAM wp, LPARAM, LRESULT& result) override {
    if (msg != (vertical_ ? WM_VSCROLL : WM_HSCROLL)) return false;
    int32_t lo = low(), hi = high(), pos = num(kPosition);
    int64_t next = pos;
    switch (LOWORD(wp)) {
      case SB_LINEUP: next -= num(kLineStep); break;
      case SB_LINEDOWN: next += num(kLineStep); break;
      case SB_PAGEUP: next -= num(kPageStep); break;
      case SB_PAGEDOWN: next += num(kPageStep); break;
      case SB_TOP: next = lo; break;
      case SB_BOTTOM: next = hi; break;
      case SB_THUMBTRACK: case SB_THUMBPOSITION: {
        if (LOWORD(wp) == SB_THUMBTRACK && !flag(kTrack)) break;
        SCROLLINFO si{sizeof si, SIF_TRACKPOS};
        GetScrollInfo(handle(), SB_CTL, &si);
        next = si.nTrackPos;
        break;
      }
      default: break;
    }
    next = std::clamp<int64_t>(next, lo, hi);
    result = 0;
    if (next == pos) return true;
    set_num(kPosition, static_cast<int32_t>(next));
    SetScrollPos(handle(), SB_CTL, static_cast<int>(next), TRUE);
    raise(0, {static_cast<uint32_t>(next)});
    return true;
  }

 protected:
  int apply(int) override {
    apply_range();
    return 0;
  }

 private:
  int32_t low() const { return std::min(num(kMinimum), num(kMaximum)); }
  int32_t high() const { return std::max(num(kMinimum), num(kMaximum)); }
  // The range is the minimum and maximum taken in either order; the position stays in it.
  void apply_range() {
    set_num(kPosition, std::clamp(num(kPosition), low(), high()));
    SCROLLINFO si{sizeof si, SIF_RANGE | SIF_POS | SIF_DISABLENOSCROLL};
    si.nMin = low();
    si.nMax = high();
    si.nPos = num(kPosition);
    SetScrollInfo(handle(), SB_CTL, &si, TRUE);
  }
  bool vertical_;
};

}  // namespace units
