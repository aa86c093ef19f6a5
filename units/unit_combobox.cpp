// Combo box unit: a system combo box (drop-down with an edit field, drop-down list, or simple)
// holding items with 32-bit values. Event 0 is a selection change by the user (argument: the
// current item), event 1 a change of the edit field's text by typing, event 2 the list
// dropping down. Bound to a data source it lists one column of its rows (bound_list.h).
#include "units/bound_list.h"
#include "units/core_units.h"
#include "units/list_control.h"
#include "units/list_items.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kKind = 0, kContent = 1, kMaxLength = 2, kSelStart = 3, kSelLength = 4, kSelText = 5,
  kSorted = 6, kCurrent = 7, kTextColour = 8, kBackColour = 9, kFont = 10, kRows = 11,
  kItems = 12, kValues = 13, kDataSource = 14, kDataColumn = 15, kIntegralHeight = 16
};

constexpr Field kFields[] = {
    {Kind::kPick, 0, 2}, {Kind::kText}, {Kind::kInt, 0}, {Kind::kInt, 0}, {Kind::kInt, 0},
    {Kind::kText}, {Kind::kBool}, {Kind::kInt, -1}, {Kind::kColour, 0},
    {Kind::kColour, int32_t(kDefaultColour)}, {Kind::kFont}, {Kind::kInt, 8}, {Kind::kBytes},
    {Kind::kBytes}, {Kind::kText}, {Kind::kText}, {Kind::kBool, 1},
};

constexpr int kMaxRows = 100;
constexpr UINT kWindowUp = 0x8076;  // the loader: the window is up, all its units made

class ComboBox : public StoredUnit, public DataBound {
 public:
  ComboBox() : StoredUnit(kFields, std::size(kFields), 1) {
    use_colours(kTextColour, kBackColour, COLOR_WINDOW);
  }
  // Escape and Enter close an open drop-down; they do not reach the window (which would
  // close, or click its default button).
  bool wants_key(const MSG& m) override {
    bool key = (m.message == WM_KEYDOWN || m.message == WM_KEYUP || m.message == WM_CHAR) &&
               (m.wParam == VK_ESCAPE || m.wParam == VK_RETURN);
    return key && SendMessageA(handle(), CB_GETDROPPEDSTATE, 0, 0) != 0;
  }
  bool create_window(const CreateArgs& a) override {
    static const DWORD kinds[] = {CBS_DROPDOWN, CBS_DROPDOWNLIST, CBS_SIMPLE};
    DWORD style = base_style(a) | WS_VSCROLL | CBS_AUTOHSCROLL | kinds[num(kKind)];
    if (flag(kSorted)) style |= CBS_SORT;
    if (!flag(kIntegralHeight)) style |= CBS_NOINTEGRALHEIGHT;
    clamp_numbers();
    // A drop-down's window height includes its list: the rows asked for, at the font's height.
    int height = a.height;
    if (num(kKind) != 2) height += num(kRows) * row_height() + 2;
    if (!create_control("COMBOBOX", "", style, 0, a.left, a.top, a.width, height, a.parent,
                        a.control_id))
      return false;
    apply_font();
    std::vector<std::string> items = decode_items(str(kItems));
    fill_list(handle(), kComboBoxMessages, items, decode_values(str(kValues), items.size()));
    SendMessageA(handle(), CB_LIMITTEXT, num(kMaxLength), 0);
    if (num(kCurrent) >= 0) set_list_current(handle(), kComboBoxMessages, num(kCurrent));
    else write_content();
    apply_selection();
    return true;
  }
  void on_command(WORD code) override {
    switch (code) {
      case CBN_SELCHANGE: {
        int32_t at = list_current(handle(), kComboBoxMessages);
        if (bound_) move_bound_row(*this, str(kDataSource), at);
        raise(0, {static_cast<uint32_t>(at)});
        break;
      }
      case CBN_EDITCHANGE: raise(1); break;
      case CBN_DROPDOWN: raise(2); break;
      default: break;
    }
  }
  std::string data_source() const override { return str(kDataSource); }
  // The source's rows or current row changed: the column's values and the current row.
  void data_changed() override {
    BoundColumn column;
    bound_ = read_bound_column(*this, str(kDataSource), str(kDataColumn), column);
    if (!bound_) return;
    if (list_items(handle(), kComboBoxMessages) != column.values)  // a move of the row alone keeps them
      fill_list(handle(), kComboBoxMessages, column.values, {});
    set_list_current(handle(), kComboBoxMessages, column.current);
  }
  void convert_texts(TextRoutine routine, void* user) override {
    refresh(kContent);  // what was typed is converted, not the content last written
    StoredUnit::convert_texts(routine, user);
    if (handle() && num(kKind) != 1) SetWindowTextA(handle(), str(kContent).c_str());
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
    clamp_numbers();
    switch (index) {
      case kKind: case kSorted: case kIntegralHeight: case kRows: return 1;
      case kContent: write_content(); return 0;
      case kMaxLength: SendMessageA(handle(), CB_LIMITTEXT, num(kMaxLength), 0); return 0;
      case kSelStart: case kSelLength: apply_selection(); return 0;
      case kSelText: {
        // Replaces the selection of the edit field; a drop-down list has none.
        if (HWND edit = edit_field())
          SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(str(kSelText).c_str()));
        return 0;
      }
      case kCurrent: set_list_current(handle(), kComboBoxMessages, num(kCurrent)); return 0;
      case kFont: apply_font(); return 0;
      case kDataSource: case kDataColumn: data_changed(); return 0;
      case kItems: case kValues: {
        int32_t keep = list_current(handle(), kComboBoxMessages);
        std::string text = window_text();
        std::vector<std::string> items = decode_items(str(kItems));
        fill_list(handle(), kComboBoxMessages, items, decode_values(str(kValues), items.size()));
        if (keep >= 0) set_list_current(handle(), kComboBoxMessages, keep);
        else SetWindowTextA(handle(), text.c_str());
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
    switch (index) {
      case kContent: set_str(kContent, window_text()); break;
      case kCurrent: set_num(kCurrent, list_current(handle(), kComboBoxMessages)); break;
      case kItems: set_str(kItems, encode_items(list_items(handle(), kComboBoxMessages))); break;
      case kValues: set_str(kValues, encode_values(list_values(handle(), kComboBoxMessages))); break;
      case kSelStart: case kSelLength: case kSelText: {
        DWORD s = 0, e = 0;
        SendMessageA(handle(), CB_GETEDITSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
        if (e < s) e = s;
        if (index == kSelStart) set_num(kSelStart, static_cast<int32_t>(s));
        if (index == kSelLength) set_num(kSelLength, static_cast<int32_t>(e - s));
        if (index == kSelText) {
          std::string t = window_text();
          set_str(kSelText, e <= t.size() ? t.substr(s, e - s) : std::string());
        }
        break;
      }
      default: break;
    }
  }

 private:
  bool bound_ = false;  // the items are a data source's column
  void clamp_numbers() {
    if (num(kMaxLength) < 0) set_num(kMaxLength, 0);
    if (num(kRows) < 1) set_num(kRows, 1);
    if (num(kRows) > kMaxRows) set_num(kRows, kMaxRows);
  }
  int row_height() {
    framework::ClientDC dc(nullptr);
    framework::SelectScope f(dc.get(), font());
    TEXTMETRICA tm{};
    GetTextMetricsA(dc.get(), &tm);
    return tm.tmHeight + 2;
  }
  HWND edit_field() const {
    COMBOBOXINFO info{sizeof info};
    return GetComboBoxInfo(handle(), &info) ? info.hwndItem : nullptr;
  }
  // The content: the edit field's text, or for a drop-down list the item of that text.
  void write_content() {
    if (num(kKind) == 1) {
      LRESULT at = SendMessageA(handle(), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                reinterpret_cast<LPARAM>(str(kContent).c_str()));
      SendMessageA(handle(), CB_SETCURSEL, at >= 0 ? at : -1, 0);
      return;
    }
    SetWindowTextA(handle(), str(kContent).c_str());
  }
  void apply_selection() {
    int32_t start = num(kSelStart) < 0 ? 0 : num(kSelStart);
    int32_t end = num(kSelLength) < 0 ? -1 : start + num(kSelLength);
    SendMessageA(handle(), CB_SETEDITSEL, 0, MAKELPARAM(start, end));
  }
};

void* __cdecl combobox_interface(int number) {
  return standard_interface(number, &create_op<ComboBox>, {kConvertTexts, kWantsKey});
}

constexpr uint16_t kTypes[] = {kPropPick, kPropText, kPropInt, kPropInt, kPropInt, kPropText,
                               kPropBool, kPropInt, kPropColour, kPropBackColour, kPropFont,
                               kPropInt, kPropCustom, kPropCustom, kPropText18, kPropText20,
                               kPropBool};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 25);

}  // namespace

const CoreUnitType kComboBoxUnitType{14, kProperties.data(), kProperties.size(), &combobox_interface};

}  // namespace units
