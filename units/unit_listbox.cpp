// List box unit: a system list box holding items (texts with 32-bit values), sorted or in
// columns, with one or many selected; event 0 is a selection change by the user (argument:
// the current item), event 1 a double click (argument: the item). Bound to a data source it
// shows one column of its rows (bound_list.h).
#include <algorithm>
#include "units/border_styles.h"
#include "units/bound_list.h"
#include "units/core_units.h"
#include "units/list_control.h"
#include "units/list_items.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kBorder = 0, kSorted = 1, kMultiColumn = 2, kCurrent = 3, kTextColour = 4, kBackColour = 5,
  kFont = 6, kMultiSelect = 7, kColumnWidth = 8, kItems = 9, kValues = 10, kDataSource = 11,
  kDataColumn = 12, kHScroll = 13
};

constexpr UINT kWindowUp = 0x8076;  // the loader: the window is up, all its units made

constexpr Field kFields[] = {
    {Kind::kPick, 1, 5}, {Kind::kBool}, {Kind::kBool}, {Kind::kInt, -1}, {Kind::kColour, 0},
    {Kind::kColour, int32_t(kDefaultColour)}, {Kind::kFont}, {Kind::kBool}, {Kind::kInt, 0},
    {Kind::kBytes}, {Kind::kBytes}, {Kind::kText}, {Kind::kText}, {Kind::kBool},
};

class ListBox : public StoredUnit, public DataBound {
 public:
  ListBox() : StoredUnit(kFields, std::size(kFields), 1) {
    use_colours(kTextColour, kBackColour, COLOR_WINDOW);
  }
  bool create_window(const CreateArgs& a) override {
    DWORD style = base_style(a) | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL, ex = 0;
    if (flag(kSorted)) style |= LBS_SORT;
    if (flag(kMultiColumn)) style |= LBS_MULTICOLUMN;
    if (flag(kMultiSelect)) style |= LBS_EXTENDEDSEL;
    if (flag(kHScroll)) style |= WS_HSCROLL;
    border_styles(num(kBorder), style, ex);
    if (!create_control("LISTBOX", "", style, ex, a.left, a.top, a.width, a.height, a.parent,
                        a.control_id))
      return false;
    apply_font();
    fill();
    apply_column_width();
    set_current(num(kCurrent));
    return true;
  }
  void on_command(WORD code) override {
    if (code == LBN_SELCHANGE && bound_) move_bound_row(*this, str(kDataSource), current());
    if (code == LBN_SELCHANGE) raise(0, {static_cast<uint32_t>(current())});
    if (code == LBN_DBLCLK) raise(1, {static_cast<uint32_t>(current())});
  }
  std::string data_source() const override { return str(kDataSource); }
  // The source's rows or current row changed: the column's values and the current row.
  void data_changed() override {
    BoundColumn column;
    bound_ = read_bound_column(*this, str(kDataSource), str(kDataColumn), column);
    if (!bound_) return;
    if (list_items(handle(), kListBoxMessages) != column.values)  // a move of the row alone keeps them
      fill_list(handle(), kListBoxMessages, column.values, {});
    set_current(column.current);
  }
  void convert_items(TextRoutine routine, void* user) override {
    refresh(kItems);
    std::vector<std::string> items = decode_items(str(kItems));
    for (std::string& s : items) convert_one(routine, user, s, false);
    set_str(kItems, encode_items(items));
    if (handle()) apply(kItems);  // the control shows the converted items
  }

 protected:
  int apply(int index) override {
    switch (index) {
      case kBorder: apply_border(handle(), num(kBorder)); return 0;
      case kSorted: case kMultiColumn: case kMultiSelect: case kHScroll: return 1;
      case kCurrent: set_current(num(kCurrent)); return 0;
      case kFont: apply_font(); return 0;
      case kColumnWidth: apply_column_width(); return 0;
      case kDataSource: case kDataColumn: data_changed(); return 0;
      case kItems: case kValues: {
        int32_t keep = current();
        fill();
        set_current(keep);
        return 0;
      }
      default: InvalidateRect(handle(), nullptr, TRUE); return 0;
    }
  }
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == kWindowUp) data_changed();  // the data source exists once the window is up
    return StoredUnit::on_message(msg, wp, lp);
  }
  void refresh(int index) override {
    if (!handle()) return;
    if (index == kCurrent) set_num(kCurrent, current());
    if (index == kItems) set_str(kItems, encode_items(list_items(handle(), kListBoxMessages)));
    if (index == kValues) set_str(kValues, encode_values(list_values(handle(), kListBoxMessages)));
  }

 private:
  void fill() {
    std::vector<std::string> items = decode_items(str(kItems));
    fill_list(handle(), kListBoxMessages, items, decode_values(str(kValues), items.size()));
    if (flag(kHScroll)) {
      // The scroll range follows the widest item.
      framework::ClientDC dc(handle());
      framework::SelectScope f(dc.get(), font());
      int widest = 0;
      for (const std::string& s : items) {
        SIZE sz{};
        GetTextExtentPoint32A(dc.get(), s.c_str(), static_cast<int>(s.size()), &sz);
        widest = std::max<int>(widest, sz.cx + 6);
      }
      SendMessageA(handle(), LB_SETHORIZONTALEXTENT, widest, 0);
    }
  }
  void apply_column_width() {
    if (flag(kMultiColumn) && num(kColumnWidth) > 0)
      SendMessageA(handle(), LB_SETCOLUMNWIDTH, num(kColumnWidth), 0);
  }
  // The current item: the selected one, or the one with the focus rectangle when several
  // can be selected.
  int32_t current() const {
    if (!flag(kMultiSelect)) return list_current(handle(), kListBoxMessages);
    LRESULT caret = SendMessageA(handle(), LB_GETCARETINDEX, 0, 0);
    return caret >= 0 && SendMessageA(handle(), LB_GETSEL, caret, 0) > 0 ? static_cast<int32_t>(caret) : -1;
  }
  bool bound_ = false;  // the items are a data source's column
  void set_current(int32_t index) {
    if (!flag(kMultiSelect)) {
      set_list_current(handle(), kListBoxMessages, index);
      return;
    }
    SendMessageA(handle(), LB_SETSEL, FALSE, -1);
    if (index >= 0 && SendMessageA(handle(), LB_SETSEL, TRUE, index) != LB_ERR)
      SendMessageA(handle(), LB_SETCARETINDEX, index, FALSE);
  }
};

void* __cdecl listbox_interface(int number) { return table_interface<ListBox>(number, true); }

constexpr uint16_t kTypes[] = {kPropPick, kPropBool, kPropBool, kPropInt, kPropColour,
                               kPropBackColour, kPropFont, kPropBool, kPropInt, kPropCustom,
                               kPropCustom, kPropText18, kPropText20, kPropBool};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 22);

}  // namespace

const CoreUnitType kListBoxUnitType{15, kProperties.data(), kProperties.size(), &listbox_interface};

}  // namespace units
