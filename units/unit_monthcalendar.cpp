// Month calendar unit: the system month calendar, one date or a range of dates selected,
// with its colours, first day of the week, week numbers and today mark. Its value is the
// selected date (the first of a range); 0 (as in empty data) selects today. Minimum and
// maximum limit the dates shown (0: no limit). Event 0 reports each selection the user makes.
#include <algorithm>
#include <windows.h>
#include <commctrl.h>
#include "units/border_styles.h"
#include "units/common_controls.h"
#include "units/core_units.h"
#include "units/date_values.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kShowToday = 0, kWeekNumbers = 1, kFirstDay = 2, kMultiSelect = 3, kMaxSelection = 4,
  kValue = 5, kMinimum = 6, kMaximum = 7, kCircleToday = 8, kScrollRate = 9, kSelStart = 10,
  kSelEnd = 11, kFont = 12, kTextColour = 13, kBackColour = 14, kMonthBackColour = 15,
  kTitleTextColour = 16, kTitleBackColour = 17, kTrailingTextColour = 18, kBorder = 19
};

constexpr int32_t kDefault = int32_t(kDefaultColour);
constexpr Field kFields[] = {
    {Kind::kBool, 1}, {Kind::kBool}, {Kind::kPick, 6, 6}, {Kind::kBool}, {Kind::kInt, 7},
    {Kind::kDate}, {Kind::kDate}, {Kind::kDate}, {Kind::kBool, 1}, {Kind::kInt, 1},
    {Kind::kDate}, {Kind::kDate}, {Kind::kFont}, {Kind::kColour, kDefault},
    {Kind::kColour, kDefault}, {Kind::kColour, kDefault}, {Kind::kColour, kDefault},
    {Kind::kColour, kDefault}, {Kind::kColour, kDefault}, {Kind::kPick, 0, 5},
};

// Colour properties and the calendar part each paints.
constexpr std::pair<int, int> kColourParts[] = {
    {kTextColour, MCSC_TEXT}, {kBackColour, MCSC_BACKGROUND}, {kMonthBackColour, MCSC_MONTHBK},
    {kTitleTextColour, MCSC_TITLETEXT}, {kTitleBackColour, MCSC_TITLEBK},
    {kTrailingTextColour, MCSC_TRAILINGTEXT},
};

class MonthCalendar : public StoredUnit {
 public:
  MonthCalendar() : StoredUnit(kFields, std::size(kFields), 1) {}
  bool create_window(const CreateArgs& a) override {
    init_common_controls(ICC_DATE_CLASSES);
    DWORD style = base_style(a), ex = 0;
    if (!flag(kShowToday)) style |= MCS_NOTODAY;
    if (!flag(kCircleToday)) style |= MCS_NOTODAYCIRCLE;
    if (flag(kWeekNumbers)) style |= MCS_WEEKNUMBERS;
    if (flag(kMultiSelect)) style |= MCS_MULTISELECT;
    border_styles(num(kBorder), style, ex);
    if (!create_control(MONTHCAL_CLASSA, "", style, ex, a.left, a.top, a.width, a.height,
                        a.parent, a.control_id))
      return false;
    apply_font();
    for (auto [index, part] : kColourParts) apply_colour(index, part);
    SendMessageA(handle(), MCM_SETFIRSTDAYOFWEEK, 0, num(kFirstDay));
    SendMessageA(handle(), MCM_SETMONTHDELTA, std::max(0, num(kScrollRate)), 0);
    if (flag(kMultiSelect)) SendMessageA(handle(), MCM_SETMAXSELCOUNT, std::max(1, num(kMaxSelection)), 0);
    apply_range();
    apply_selection(kValue);
    return true;
  }
  bool on_reflected(UINT msg, WPARAM, LPARAM lp, LRESULT& result) override {
    if (msg != WM_NOTIFY || writing_ || reinterpret_cast<NMHDR*>(lp)->code != MCN_SELCHANGE)
      return false;
    raise(0);
    result = 0;
    return true;
  }

 protected:
  int apply(int index) override {
    switch (index) {
      case kShowToday: case kWeekNumbers: case kMultiSelect: case kCircleToday: case kBorder:
        return 1;
      case kFirstDay: SendMessageA(handle(), MCM_SETFIRSTDAYOFWEEK, 0, num(kFirstDay)); return 0;
      case kMaxSelection:
        if (flag(kMultiSelect)) SendMessageA(handle(), MCM_SETMAXSELCOUNT, std::max(1, num(kMaxSelection)), 0);
        return 0;
      case kScrollRate: SendMessageA(handle(), MCM_SETMONTHDELTA, std::max(0, num(kScrollRate)), 0); return 0;
      case kValue: case kSelStart: case kSelEnd: apply_selection(index); return 0;
      case kMinimum: case kMaximum: apply_range(); return 0;
      case kFont: apply_font(); return 0;
      default:
        for (auto [colour_index, part] : kColourParts)
          if (colour_index == index) apply_colour(index, part);
        return 0;
    }
  }
  void refresh(int index) override {
    if (!handle() || (index != kValue && index != kSelStart && index != kSelEnd)) return;
    SYSTEMTIME r[2] = {};
    if (flag(kMultiSelect)) {
      if (!SendMessageA(handle(), MCM_GETSELRANGE, 0, reinterpret_cast<LPARAM>(r))) return;
    } else {
      if (!SendMessageA(handle(), MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&r[0]))) return;
      r[1] = r[0];
    }
    // The calendar selects whole days: the time of day written stays with the value.
    auto with_time = [](const SYSTEMTIME& day, double stored) {
      double whole = from_system_time({day.wYear, day.wMonth, 0, day.wDay, 0, 0, 0, 0});
      double time = stored - static_cast<double>(static_cast<int64_t>(stored));
      return whole + (time > 0 ? time : 0);
    };
    if (index == kValue || index == kSelStart) set_date(index, with_time(r[0], date(index)));
    if (index == kSelEnd) set_date(kSelEnd, with_time(r[1], date(kSelEnd)));
  }

 private:
  void apply_colour(int index, int part) {
    if (uint32_t(num(index)) != kDefaultColour)
      SendMessageA(handle(), MCM_SETCOLOR, part, uint32_t(num(index)) & 0xFFFFFF);
  }
  void apply_range() {
    SYSTEMTIME r[2] = {to_system_time(date(kMinimum)), to_system_time(date(kMaximum))};
    WPARAM limits = (date(kMinimum) != 0 ? GDTR_MIN : 0) | (date(kMaximum) != 0 ? GDTR_MAX : 0);
    SendMessageA(handle(), MCM_SETRANGE, limits, reinterpret_cast<LPARAM>(r));
  }
  // Selects the value (today for 0), or the range start..end of a multiple selection; the
  // value and the range start are one date.
  void apply_selection(int written) {
    if (written == kValue) set_date(kSelStart, date(kValue));
    if (written == kSelStart) set_date(kValue, date(kSelStart));
    double start = date(kValue) == 0 ? today() : date(kValue);
    writing_ = true;
    if (flag(kMultiSelect)) {
      // A range the calendar cannot hold (ending before it starts, longer than the most days
      // selectable) becomes the start day alone.
      double end = date(kSelEnd);
      if (end < start || end - start >= std::max(1, num(kMaxSelection))) end = start;
      set_date(kSelEnd, end);
      SYSTEMTIME r[2] = {to_system_time(start), to_system_time(end)};
      SendMessageA(handle(), MCM_SETSELRANGE, 0, reinterpret_cast<LPARAM>(r));
    } else {
      SYSTEMTIME t = to_system_time(start);
      SendMessageA(handle(), MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&t));
    }
    writing_ = false;
  }
  bool writing_ = false;
};

void* __cdecl monthcalendar_interface(int number) {
  return table_interface<MonthCalendar>(number, true);
}

constexpr uint16_t kTypes[] = {
    kPropBool, kPropBool, kPropPick, kPropBool, kPropInt, kPropDateTime, kPropDateTime,
    kPropDateTime, kPropBool, kPropInt, kPropDateTime, kPropDateTime, kPropFont, kPropColour,
    kPropBackColour, kPropBackColour, kPropColour, kPropBackColour, kPropColour, kPropPick};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 28);

}  // namespace

const CoreUnitType kMonthCalendarUnitType{24, kProperties.data(), kProperties.size(), &monthcalendar_interface};

}  // namespace units
