// Data source unit: binds the provider named by its property and keeps a current row; reads
// go to the provider, writes too unless it is read-only (adding and removing rows each have
// their own switch). Every change, and every move of the current row, is told to the units
// bound to it. Its window is a navigation bar: first, previous, the row, next, last.
#include "units/data_binding.h"
#include "units/media_units.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int { kProvider = 0, kReadOnly = 1, kAllowAdd = 2, kAllowRemove = 3 };

constexpr Field kFields[] = {{Kind::kText}, {Kind::kBool}, {Kind::kBool, 1}, {Kind::kBool, 1}};

constexpr char kClass[] = "OrvelDataSource";

class DataSrc : public StoredUnit, public DataSourceOps {
 public:
  DataSrc() : StoredUnit(kFields, std::size(kFields), 1) {}
  bool create_window(const CreateArgs& a) override { return create_private(kClass, a); }

  int rows() override { return p() ? p()->rows() : 0; }
  int columns() override { return p() ? p()->columns() : 0; }
  std::string column_name(int c) override { return p() ? p()->column_name(c) : std::string(); }
  bool cell(int r, int c, std::string& out) override { return p() && p()->cell(r, c, out); }
  // The provider tells the change back through `provider_changed`.
  bool set_cell(int r, int c, const std::string& v) override {
    return !flag(kReadOnly) && p() && p()->set_cell(r, c, v);
  }
  int add_row() override {
    if (flag(kReadOnly) || !flag(kAllowAdd) || !p()) return -1;
    int r = p()->add_row();
    if (r >= 0) set_current_row(r);
    return r;
  }
  bool remove_row(int r) override {
    if (flag(kReadOnly) || !flag(kAllowRemove) || !p() || !p()->remove_row(r)) return false;
    if (current_ >= rows()) set_current_row(rows() - 1);
    return true;
  }
  int current_row() override {
    int n = rows();
    if (n == 0) return -1;
    return current_ < 0 ? 0 : current_ >= n ? n - 1 : current_;
  }
  bool set_current_row(int r) override {
    if (r < 0 || r >= rows()) return false;
    if (r != current_) {
      current_ = r;
      if (handle()) InvalidateRect(handle(), nullptr, FALSE);
      notify_bound(*this, unit_name(*this));
    }
    return true;
  }
  std::string provider_name() const override { return str(kProvider); }

 protected:
  int apply(int index) override {
    if (index == kProvider) {
      current_ = 0;
      notify_bound(*this, unit_name(*this));
    }
    InvalidateRect(handle(), nullptr, FALSE);
    return 0;
  }
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    switch (msg) {
      case WM_ERASEBKGND: return 1;
      case WM_PAINT: {
        framework::PaintDC dc(handle());
        paint(dc.get());
        return 0;
      }
      case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: {
        // The four buttons: first, previous (left), next, last (right).
        RECT rc;
        GetClientRect(handle(), &rc);
        int x = static_cast<short>(LOWORD(lp)), b = button_width(rc);
        int last = rows() - 1;
        if (x < b) set_current_row(0);
        else if (x < 2 * b) set_current_row(current_row() - 1);
        else if (x >= rc.right - b) set_current_row(last);
        else if (x >= rc.right - 2 * b) set_current_row(current_row() + 1);
        break;
      }
      default: break;
    }
    return StoredUnit::on_message(msg, wp, lp);
  }

 private:
  static int button_width(const RECT& rc) {
    int b = rc.bottom;
    return b * 4 > rc.right ? rc.right / 4 : b;
  }
  void paint(HDC dc) {
    RECT rc;
    GetClientRect(handle(), &rc);
    FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    int b = button_width(rc);
    static const UINT arrows[] = {DFCS_SCROLLLEFT, DFCS_SCROLLLEFT, DFCS_SCROLLRIGHT, DFCS_SCROLLRIGHT};
    const int lefts[] = {0, b, rc.right - 2 * b, rc.right - b};
    for (int i = 0; i < 4; ++i) {
      RECT r{lefts[i], 0, lefts[i] + b, rc.bottom};
      DrawFrameControl(dc, &r, DFC_SCROLL, arrows[i]);
      if (i == 0 || i == 3) {  // the first and last buttons carry a bar at their end
        int x = i == 0 ? r.left + b / 4 : r.right - b / 4 - 1;
        RECT bar{x, r.top + b / 4, x + 1, r.bottom - b / 4};
        FillRect(dc, &bar, GetSysColorBrush(COLOR_BTNTEXT));
      }
    }
    std::string text = rows() ? std::to_string(current_row() + 1) + "/" + std::to_string(rows()) : "0/0";
    RECT middle{2 * b, 0, rc.right - 2 * b, rc.bottom};
    framework::SelectScope f(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    DrawTextA(dc, text.c_str(), -1, &middle, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  DataProvider* p() { return find_provider(*this, str(kProvider)); }
  int current_ = 0;
};

void* __cdecl datasrc_interface(int number) { return table_interface<DataSrc>(number, true); }

constexpr uint16_t kTypes[] = {kPropText19, kPropBool, kPropBool, kPropBool};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 12);

}  // namespace

const CoreUnitType kDataSrcUnitType{42, kProperties.data(), kProperties.size(), &datasrc_interface};

}  // namespace units
