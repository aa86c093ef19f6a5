// Placeholder unit: stands in for a unit whose library could not be loaded; a bordered white
// box that shows why, in red.
#include "framework/gdi.h"
#include "units/core_units.h"
#include "units/unit_base.h"

namespace units {

namespace {

constexpr char kClass[] = "OrvelErrorControl";
constexpr char kMessage[] = "因所在支持库载入出错而无法创建";

class Placeholder : public Unit {
 public:
  bool load(DataReader&) override { return true; }
  std::string save() const override { return {}; }
  bool create_window(const CreateArgs& a) override {
    framework::Window::register_class(kClass, LoadCursor(nullptr, IDC_ARROW),
                                      static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)),
                                      CS_DBLCLKS);
    return create(kClass, "", a.style | WS_CHILD | WS_CLIPSIBLINGS | WS_BORDER, 0, a.left,
                  a.top, a.width, a.height, a.parent,
                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(a.control_id)));
  }

 protected:
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg != WM_PAINT) return pass(msg, wp, lp);
    framework::PaintDC painting(handle());
    HDC dc = painting.get();
    RECT rc;
    GetClientRect(handle(), &rc);
    framework::SelectScope font(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 0, 0));
    DrawTextA(dc, kMessage, -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
    return 0;
  }
};

void* __cdecl placeholder_interface(int number) {
  if (number == kGetAllData) return nullptr;  // it holds no data of its own
  return standard_interface(number, &create_op<Placeholder>, {});
}

}  // namespace

const CoreUnitType kPlaceholderUnitType{51, nullptr, 0, &placeholder_interface};

}  // namespace units
