// Date picker unit: the system date-time picker, with a drop-down calendar or up-down arrows,
// showing a short date, a long date or the time. Its value is a date-time; 0 (as in empty
// data) shows today. Minimum and maximum limit what can be picked (0: no limit). Event 0
// reports each value the user picks (no argument: read the value).
#include <windows.h>
#include <commctrl.h>
#include "units/common_controls.h"
#include "units/core_units.h"
#include "units/data_binding.h"
#include "units/date_values.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kUpDown = 0, kFormat = 1, kValue = 2, kMinimum = 3, kMaximum = 4, kFont = 5, kDropAlign = 6,
  kDataSource = 7, kDataColumn = 8
};

constexpr UINT kWindowUp = 0x8076;  // the loader: the window is up, all its units made

constexpr Field kFields[] = {
    {Kind::kBool}, {Kind::kPick, 0, 2}, {Kind::kDate}, {Kind::kDate}, {Kind::kDate},
    {Kind::kFont}, {Kind::kPick, 0, 1}, {Kind::kText}, {Kind::kText},
};

class DatePicker : public StoredUnit, public DataBound {
 public:
  DatePicker() : StoredUnit(kFields, std::size(kFields), 1) {}
  // Escape and Enter close an open drop-down; they do not reach the window (which would
  // close, or click its default button).
  bool wants_key(const MSG& m) override {
    bool key = (m.message == WM_KEYDOWN || m.message == WM_KEYUP || m.message == WM_CHAR) &&
               (m.wParam == VK_ESCAPE || m.wParam == VK_RETURN);
    return key && SendMessageA(handle(), DTM_GETMONTHCAL, 0, 0) != 0;
  }
  bool create_window(const CreateArgs& a) override {
    init_common_controls(ICC_DATE_CLASSES);
    static const DWORD formats[] = {DTS_SHORTDATEFORMAT, DTS_LONGDATEFORMAT, DTS_TIMEFORMAT};
    DWORD style = base_style(a) | formats[num(kFormat)];
    if (flag(kUpDown) || num(kFormat) == 2) style |= DTS_UPDOWN;
    if (num(kDropAlign) == 1) style |= DTS_RIGHTALIGN;
    if (!create_control(DATETIMEPICK_CLASSA, "", style, 0, a.left, a.top, a.width, a.height,
                        a.parent, a.control_id))
      return false;
    apply_font();
    apply_range();
    apply_value();
    return true;
  }
  std::string data_source() const override { return str(kDataSource); }
  // The source's data or row changed: the date of the bound cell, when it holds one.
  void data_changed() override {
    std::string text;
    double v;
    if (!bound_value(*this, str(kDataSource), str(kDataColumn), text) || !parse_date_text(text, v))
      return;
    set_date(kValue, v);
    apply_value();
  }
  bool on_reflected(UINT msg, WPARAM, LPARAM lp, LRESULT& result) override {
    if (msg != WM_NOTIFY || writing_ || reinterpret_cast<NMHDR*>(lp)->code != DTN_DATETIMECHANGE)
      return false;
    write_bound();
    raise(0);
    result = 0;
    return true;
  }

 protected:
  int apply(int index) override {
    switch (index) {
      case kUpDown: case kFormat: case kDropAlign: return 1;
      case kValue: apply_value(); return 0;
      case kMinimum: case kMaximum: apply_range(); apply_value(); return 0;
      case kFont: apply_font(); return 0;
      case kDataSource: case kDataColumn: data_changed(); return 0;
      default: return 0;
    }
  }
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == kWindowUp) data_changed();  // the data source exists once the window is up
    return StoredUnit::on_message(msg, wp, lp);
  }
  void refresh(int index) override {
    if (index != kValue || !handle()) return;
    SYSTEMTIME t{};
    if (SendMessageA(handle(), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&t)) == GDT_VALID)
      set_date(kValue, from_system_time(t));
  }

 private:
  void apply_range() {
    SYSTEMTIME r[2] = {to_system_time(date(kMinimum)), to_system_time(date(kMaximum))};
    WPARAM limits = (date(kMinimum) != 0 ? GDTR_MIN : 0) | (date(kMaximum) != 0 ? GDTR_MAX : 0);
    SendMessageA(handle(), DTM_SETRANGE, limits, reinterpret_cast<LPARAM>(r));
  }
  // Shows the value (today for 0), kept inside the limits.
  void apply_value() {
    double v = date(kValue) == 0 ? today() : date(kValue);
    if (date(kMinimum) != 0 && v < date(kMinimum)) v = date(kMinimum);
    if (date(kMaximum) != 0 && v > date(kMaximum)) v = date(kMaximum);
    SYSTEMTIME t = to_system_time(v);
    writing_ = true;
    SendMessageA(handle(), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&t));
    writing_ = false;
  }
  // The picked date into the bound cell of the source's current row.
  void write_bound() {
    DataSourceOps* s = str(kDataSource).empty() ? nullptr : find_data_source(*this, str(kDataSource));
    int c = s ? s->column_of(str(kDataColumn)) : -1;
    int r = s ? s->current_row() : -1;
    if (c < 0 || r < 0) return;
    refresh(kValue);
    s->set_cell(r, c, date_text(date(kValue)));  // the provider tells the bound units
  }
  bool writing_ = false;
};

void* __cdecl datepicker_interface(int number) {
  return standard_interface(number, &create_op<DatePicker>, {kConvertTexts, kWantsKey});
}

constexpr uint16_t kTypes[] = {kPropBool, kPropPick, kPropDateTime, kPropDateTime,
                               kPropDateTime, kPropFont, kPropPick, kPropText18, kPropText20};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 17);

}  // namespace

const CoreUnitType kDatePickerUnitType{23, kProperties.data(), kProperties.size(), &datepicker_interface};

}  // namespace units
