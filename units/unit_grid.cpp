// Grid unit: shows the rows and columns of the data source it names in a report list that
// asks for each visible cell as it paints (no copy of the table), follows and moves the
// source's current row, and edits a cell in place on a double click (Enter or leaving the
// cell keeps the text, Escape drops it). Event 0: the current row changed (row); event 1: a
// cell was edited (row, column).
#include <windows.h>
#include <commctrl.h>
#include <memory>
#include "framework/subclass.h"
#include "units/data_binding.h"
#include "units/media_units.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kDataSource = 0, kTextColour = 1, kBackColour = 2, kColumnWidth = 3, kEditable = 4,
  kGridLines = 5, kHeader = 6, kRowSelect = 7, kRowNumbers = 8, kResizableColumns = 9
};

constexpr Field kFields[] = {
    {Kind::kText}, {Kind::kColour, 0}, {Kind::kColour, int32_t(kDefaultColour)},
    {Kind::kInt, 80}, {Kind::kBool, 1}, {Kind::kBool, 1}, {Kind::kBool, 1}, {Kind::kBool, 1},
    {Kind::kBool}, {Kind::kBool, 1},
};

constexpr char kClass[] = "OrvelGrid";
constexpr UINT kEndEdit = WM_APP + 1;  // wParam 1: keep the text
constexpr int kListId = 1;

class Grid;

// The edit field laid over a cell while it is edited.
class CellEditor : public framework::ControlWindow {
 public:
  explicit CellEditor(HWND grid) : grid_(grid) {}
  // Enter and Escape end the edit before the window's own key handling sees them (Escape
  // would close the window, Enter click its default button).
  bool pre_translate(MSG& m) override {
    if (m.message != WM_KEYDOWN || (m.wParam != VK_RETURN && m.wParam != VK_ESCAPE)) return false;
    PostMessageA(grid_, kEndEdit, m.wParam == VK_RETURN, 0);
    return true;
  }

 protected:
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    switch (msg) {
      case WM_GETDLGCODE: return DLGC_WANTALLKEYS;
      case WM_KEYDOWN:
        if (wp == VK_RETURN || wp == VK_ESCAPE) {
          PostMessageA(grid_, kEndEdit, wp == VK_RETURN, 0);
          return 0;
        }
        break;
      case WM_CHAR:
        if (wp == '\r' || wp == 27) return 0;  // no beep
        break;
      case WM_KILLFOCUS: PostMessageA(grid_, kEndEdit, 1, 0); break;
      default: break;
    }
    return pass(msg, wp, lp);
  }

 private:
  HWND grid_;
};

class Grid : public StoredUnit, public DataBound {
 public:
  Grid() : StoredUnit(kFields, std::size(kFields), 1) {}
  bool create_window(const CreateArgs& a) override {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    if (!create_private(kClass, a, WS_CLIPCHILDREN, WS_EX_CLIENTEDGE)) return false;
    RECT rc;
    GetClientRect(handle(), &rc);
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA |
                  LVS_SHOWSELALWAYS | LVS_SINGLESEL | (flag(kHeader) ? 0 : LVS_NOCOLUMNHEADER);
    list_ = CreateWindowExA(0, WC_LISTVIEWA, "", style, 0, 0, rc.right, rc.bottom, handle(),
                            reinterpret_cast<HMENU>(kListId), GetModuleHandleA(nullptr), nullptr);
    if (!list_) return false;
    apply_looks();
    data_changed();
    return true;
  }
  std::string data_source() const override { return str(kDataSource); }
  void data_changed() override {
    if (!list_) return;
    DataSourceOps* s = source();
    build_columns(s);
    int rows = s ? s->rows() : 0;
    SendMessageA(list_, LVM_SETITEMCOUNT, rows, LVSICF_NOSCROLL);
    select(s ? s->current_row() : -1);
    InvalidateRect(list_, nullptr, FALSE);
  }

 protected:
  int apply(int index) override {
    switch (index) {
      case kHeader: return 1;
      case kDataSource: case kRowNumbers: columns_ = -1; data_changed(); return 0;
      case kColumnWidth:
        if (num(kColumnWidth) < 0) set_num(kColumnWidth, 0);
        columns_ = -1;
        data_changed();
        return 0;
      default: apply_looks(); return 0;
    }
  }
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    switch (msg) {
      case WM_SIZE:
        if (list_) MoveWindow(list_, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        break;
      case WM_SETFOCUS:
        if (list_) SetFocus(list_);
        break;
      case WM_NOTIFY: {
        LRESULT answer = 0;
        if (notify(reinterpret_cast<NMHDR*>(lp), answer)) return answer;
        break;
      }
      case kEndEdit: end_edit(wp != 0); return 0;
      case kLoadingComplete: data_changed(); break;
      default: break;
    }
    return StoredUnit::on_message(msg, wp, lp);
  }

 private:
  DataSourceOps* source() { return find_data_source(*this, str(kDataSource)); }
  int first_data_column() const { return flag(kRowNumbers) ? 1 : 0; }

  void apply_looks() {
    COLORREF back = colour(kBackColour, COLOR_WINDOW);
    SendMessageA(list_, LVM_SETBKCOLOR, 0, back);
    SendMessageA(list_, LVM_SETTEXTBKCOLOR, 0, back);
    SendMessageA(list_, LVM_SETTEXTCOLOR, 0, colour(kTextColour, COLOR_WINDOWTEXT));
    DWORD ex = (flag(kGridLines) ? LVS_EX_GRIDLINES : 0) | (flag(kRowSelect) ? LVS_EX_FULLROWSELECT : 0);
    SendMessageA(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT, ex);
    InvalidateRect(list_, nullptr, TRUE);
  }
  // Columns anew when their number or names changed.
  void build_columns(DataSourceOps* s) {
    std::vector<std::string> names;
    if (flag(kRowNumbers)) names.push_back("");
    for (int c = 0, n = s ? s->columns() : 0; c < n; ++c) names.push_back(s->column_name(c));
    if (static_cast<int>(names.size()) == columns_ && names == names_) return;
    while (SendMessageA(list_, LVM_DELETECOLUMN, 0, 0)) {}
    for (size_t i = 0; i < names.size(); ++i) {
      LVCOLUMNA col{};
      col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
      col.cx = flag(kRowNumbers) && i == 0 ? 40 : num(kColumnWidth);
      col.pszText = const_cast<char*>(names[i].c_str());
      col.iSubItem = static_cast<int>(i);
      SendMessageA(list_, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&col));
    }
    columns_ = static_cast<int>(names.size());
    names_ = std::move(names);
  }
  void select(int row) {
    syncing_ = true;
    LVITEMA none{};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    if (row >= 0) {
      LVITEMA item{};
      item.state = item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
      SendMessageA(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
      SendMessageA(list_, LVM_ENSUREVISIBLE, row, FALSE);
    }
    syncing_ = false;
  }
  // The text of a cell of the list (row numbers from 1).
  std::string text_of(int row, int column) {
    if (flag(kRowNumbers) && column == 0) return std::to_string(row + 1);
    std::string v;
    DataSourceOps* s = source();
    if (s) s->cell(row, column - first_data_column(), v);
    return v.substr(0, v.find('\0'));
  }
  bool notify(NMHDR* h, LRESULT& answer) {
    if (!h || h->hwndFrom != list_) {
      // The list's header: column widths stay when they are not to be resized.
      if (h && (h->code == HDN_BEGINTRACKA || h->code == HDN_BEGINTRACKW) && !flag(kResizableColumns)) {
        answer = TRUE;
        return true;
      }
      return false;
    }
    switch (h->code) {
      case LVN_GETDISPINFOA: {
        auto* d = reinterpret_cast<NMLVDISPINFOA*>(h);
        if ((d->item.mask & LVIF_TEXT) && d->item.cchTextMax > 0) {
          scratch_ = text_of(d->item.iItem, d->item.iSubItem);
          lstrcpynA(d->item.pszText, scratch_.c_str(), d->item.cchTextMax);
        }
        return true;
      }
      case LVN_GETDISPINFOW: {
        auto* d = reinterpret_cast<NMLVDISPINFOW*>(h);
        if ((d->item.mask & LVIF_TEXT) && d->item.cchTextMax > 0) {
          std::string t = text_of(d->item.iItem, d->item.iSubItem);
          int n = MultiByteToWideChar(936, 0, t.c_str(), -1, d->item.pszText, d->item.cchTextMax);
          if (n == 0) d->item.pszText[0] = 0;
          d->item.pszText[d->item.cchTextMax - 1] = 0;
        }
        return true;
      }
      case LVN_ITEMCHANGED: {
        auto* v = reinterpret_cast<NMLISTVIEW*>(h);
        if (syncing_ || !(v->uChanged & LVIF_STATE) || !(v->uNewState & LVIS_SELECTED) ||
            (v->uOldState & LVIS_SELECTED) || v->iItem < 0)
          return false;
        if (DataSourceOps* s = source()) s->set_current_row(v->iItem);
        // Answered here: the handler may have unloaded the window, and this object with it.
        raise(0, {static_cast<uint32_t>(v->iItem)});
        answer = 0;
        return true;
      }
      case NM_DBLCLK: {
        auto* a = reinterpret_cast<NMITEMACTIVATE*>(h);
        if (a->iItem >= 0) begin_edit(a->iItem, a->iSubItem);
        return false;
      }
      default: return false;
    }
  }
  void begin_edit(int row, int column) {
    if (!flag(kEditable) || column < first_data_column() || editor_) return;
    RECT r{LVIR_LABEL, column, 0, 0};
    if (!SendMessageA(list_, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&r))) return;
    if (column == 0) {
      // The first column's rectangle spans the whole row: cut it at the column's width.
      int w = static_cast<int>(SendMessageA(list_, LVM_GETCOLUMNWIDTH, 0, 0));
      r.right = r.left + w;
    }
    auto editor = std::make_unique<CellEditor>(handle());
    if (!editor->create_control("EDIT", text_of(row, column).c_str(),
                                WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 0, r.left,
                                r.top, r.right - r.left, r.bottom - r.top, list_, 2))
      return;
    SendMessageA(editor->handle(), WM_SETFONT, SendMessageA(list_, WM_GETFONT, 0, 0), FALSE);
    SendMessageA(editor->handle(), EM_SETSEL, 0, -1);
    edit_row_ = row;
    edit_column_ = column;
    editor_ = std::move(editor);
    SetFocus(editor_->handle());
  }
  void end_edit(bool keep) {
    if (!editor_) return;
    std::unique_ptr<CellEditor> editor = std::move(editor_);  // no second end from its focus loss
    HWND h = editor->handle();
    int n = GetWindowTextLengthA(h);
    std::string text(size_t(n) + 1, '\0');
    text.resize(GetWindowTextA(h, text.data(), n + 1));
    SetFocus(list_);
    DestroyWindow(h);
    int column = edit_column_ - first_data_column();
    DataSourceOps* s = source();
    if (keep && s && s->set_cell(edit_row_, column, text))
      raise(1, {static_cast<uint32_t>(edit_row_), static_cast<uint32_t>(column)});
  }

  HWND list_ = nullptr;  // a child of the unit's window: goes with it
  int columns_ = -1;
  std::vector<std::string> names_;
  std::string scratch_;
  bool syncing_ = false;
  std::unique_ptr<CellEditor> editor_;
  int edit_row_ = -1, edit_column_ = -1;
};

void* __cdecl grid_interface(int number) { return table_interface<Grid>(number, true); }

constexpr uint16_t kTypes[] = {kPropText18, kPropColour, kPropColour, kPropInt, kPropBool,
                               kPropBool, kPropBool, kPropBool, kPropBool, kPropBool};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 18);

}  // namespace

const CoreUnitType kGridUnitType{41, kProperties.data(), kProperties.size(), &grid_interface};

}  // namespace units
