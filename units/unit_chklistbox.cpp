// Check list box unit: a list of items each with a check box, shown by the system list view
// in a single headerless column. Event 0 is a selection change by the user (argument: the
// current item), event 1 a check change by the user (arguments: the item, 1 checked or 0).
#include <windows.h>
#include <commctrl.h>
#include <cstring>
#include "units/border_styles.h"
#include "units/common_controls.h"
#include "units/core_units.h"
#include "units/list_items.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kBorder = 0, kSorted = 1, kCheckOnClick = 2, kCurrent = 3, kGridLines = 4, kFont = 5,
  kTopIndex = 6, kItems = 7, kChecks = 8
};

constexpr Field kFields[] = {
    {Kind::kPick, 1, 5}, {Kind::kBool}, {Kind::kBool}, {Kind::kInt, -1}, {Kind::kBool},
    {Kind::kFont}, {Kind::kInt, 0}, {Kind::kBytes}, {Kind::kBytes},
};

class ChkListBox : public StoredUnit {
 public:
  ChkListBox() : StoredUnit(kFields, std::size(kFields), 1) {}
  bool create_window(const CreateArgs& a) override {
    init_common_controls(ICC_LISTVIEW_CLASSES);
    DWORD style = base_style(a) | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL |
                  LVS_SHOWSELALWAYS, ex = 0;
    if (flag(kSorted)) style |= LVS_SORTASCENDING;
    border_styles(num(kBorder), style, ex);
    if (!create_control(WC_LISTVIEWA, "", style, ex, a.left, a.top, a.width, a.height, a.parent,
                        a.control_id))
      return false;
    apply_extended();
    LVCOLUMNA column{};
    column.mask = LVCF_WIDTH;
    column.cx = column_width();
    SendMessageA(handle(), LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    apply_font();
    fill();
    select(num(kCurrent));
    scroll_to(num(kTopIndex));
    return true;
  }
  bool on_reflected(UINT msg, WPARAM, LPARAM lp, LRESULT& result) override {
    if (msg != WM_NOTIFY || filling_) return false;
    auto* hdr = reinterpret_cast<NMHDR*>(lp);
    if (hdr->code == LVN_ITEMCHANGED) {
      auto* nm = reinterpret_cast<NMLISTVIEW*>(lp);
      if (!(nm->uChanged & LVIF_STATE) || nm->iItem < 0) return false;
      UINT changed = nm->uNewState ^ nm->uOldState;
      if ((changed & LVIS_STATEIMAGEMASK) && (nm->uOldState & LVIS_STATEIMAGEMASK))
        raise(1, {static_cast<uint32_t>(nm->iItem), checked(nm->iItem) ? 1u : 0u});
      if ((changed & LVIS_SELECTED) && (nm->uNewState & LVIS_SELECTED))
        raise(0, {static_cast<uint32_t>(nm->iItem)});
      return false;
    }
    if (hdr->code == NM_CLICK && flag(kCheckOnClick)) {
      // A click on the text toggles the check as a click on the box does.
      auto* nm = reinterpret_cast<NMITEMACTIVATE*>(lp);
      LVHITTESTINFO hit{};
      hit.pt = nm->ptAction;
      int item = static_cast<int>(SendMessageA(handle(), LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
      if (item >= 0 && (hit.flags & LVHT_ONITEMLABEL)) set_check(item, !checked(item));
      result = 0;
      return true;
    }
    return false;
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
      case kSorted: return 1;
      case kCurrent: select(num(kCurrent)); return 0;
      case kGridLines: apply_extended(); return 0;
      case kFont: apply_font(); return 0;
      case kTopIndex: scroll_to(num(kTopIndex)); return 0;
      case kItems: {
        int32_t keep = current();
        refresh(kChecks);  // the checks stay with the items that keep their place
        fill();
        select(keep);
        return 0;
      }
      case kChecks: {
        std::vector<int32_t> v = decode_values(str(kChecks), static_cast<size_t>(item_count()));
        filling_ = true;
        for (int i = 0; i < item_count(); ++i) set_check(i, v[i] == 1);
        filling_ = false;
        return 0;
      }
      default: return 0;
    }
  }
  void refresh(int index) override {
    if (!handle()) return;
    if (index == kCurrent) set_num(kCurrent, current());
    if (index == kTopIndex)
      set_num(kTopIndex, static_cast<int32_t>(SendMessageA(handle(), LVM_GETTOPINDEX, 0, 0)));
    if (index == kItems) {
      std::vector<std::string> items;
      for (int i = 0; i < item_count(); ++i) items.push_back(item_text(i));
      set_str(kItems, encode_items(items));
    }
    if (index == kChecks) {
      std::vector<int32_t> v;
      for (int i = 0; i < item_count(); ++i) v.push_back(checked(i) ? 1 : 0);
      set_str(kChecks, encode_values(v));
    }
  }

 private:
  int item_count() const { return static_cast<int>(SendMessageA(handle(), LVM_GETITEMCOUNT, 0, 0)); }
  bool checked(int item) const {
    UINT state = static_cast<UINT>(SendMessageA(handle(), LVM_GETITEMSTATE, item, LVIS_STATEIMAGEMASK));
    return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
  }
  void set_check(int item, bool on) {
    LVITEMA it{};
    it.stateMask = LVIS_STATEIMAGEMASK;
    it.state = INDEXTOSTATEIMAGEMASK(on ? 2 : 1);
    SendMessageA(handle(), LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&it));
  }
  // The whole text of an item, however long (the buffer grows until the text fits).
  std::string item_text(int item) const {
    for (size_t size = 256;; size *= 2) {
      std::string buffer(size, '\0');
      LVITEMA it{};
      it.iSubItem = 0;
      it.pszText = buffer.data();
      it.cchTextMax = static_cast<int>(size);
      LRESULT n = SendMessageA(handle(), LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(&it));
      if (n < 0) n = 0;
      if (static_cast<size_t>(n) + 1 < size || size >= (1u << 24)) {
        buffer.resize(std::strlen(buffer.c_str()));
        return buffer;
      }
    }
  }
  int32_t current() const {
    return static_cast<int32_t>(SendMessageA(handle(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  }
  void select(int32_t index) {
    filling_ = true;
    LVITEMA it{};
    it.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    it.state = 0;
    SendMessageA(handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&it));
    if (index >= 0 && index < item_count()) {
      it.state = LVIS_SELECTED | LVIS_FOCUSED;
      SendMessageA(handle(), LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&it));
      SendMessageA(handle(), LVM_ENSUREVISIBLE, index, FALSE);
    }
    filling_ = false;
  }
  void scroll_to(int32_t top) {
    int now = static_cast<int>(SendMessageA(handle(), LVM_GETTOPINDEX, 0, 0));
    RECT r{LVIR_BOUNDS};
    if (top < 0 || !SendMessageA(handle(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r))) return;
    SendMessageA(handle(), LVM_SCROLL, 0, (top - now) * (r.bottom - r.top));
  }
  void apply_extended() {
    DWORD ex = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | (flag(kGridLines) ? LVS_EX_GRIDLINES : 0);
    SendMessageA(handle(), LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES, ex);
  }
  int column_width() const {
    RECT r;
    GetClientRect(handle(), &r);
    return r.right - GetSystemMetrics(SM_CXVSCROLL);
  }
  void fill() {
    std::vector<std::string> items = decode_items(str(kItems));
    std::vector<int32_t> checks = decode_values(str(kChecks), items.size());
    filling_ = true;
    SendMessageA(handle(), LVM_DELETEALLITEMS, 0, 0);
    for (size_t i = 0; i < items.size(); ++i) {
      LVITEMA it{};
      it.mask = LVIF_TEXT;
      it.iItem = static_cast<int>(i);
      it.pszText = const_cast<char*>(items[i].c_str());
      int at = static_cast<int>(SendMessageA(handle(), LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&it)));
      if (at >= 0) set_check(at, checks[i] == 1);
    }
    filling_ = false;
  }
  bool filling_ = false;
};

void* __cdecl chklistbox_interface(int number) { return table_interface<ChkListBox>(number, true); }

constexpr uint16_t kTypes[] = {kPropPick, kPropBool, kPropBool, kPropInt, kPropBool, kPropFont,
                               kPropInt, kPropCustom, kPropCustom};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 17);

}  // namespace

const CoreUnitType kChkListBoxUnitType{16, kProperties.data(), kProperties.size(), &chklistbox_interface};

}  // namespace units
