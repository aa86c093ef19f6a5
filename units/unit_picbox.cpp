// Picture box unit: a static box that shows a picture of any decodable format on its
// background colour, placed by its picture mode; with auto size it takes the picture's size.
// An animated GIF plays its frames, each for its own delay, over and over.
// Bound to a data source, it shows the picture held in a column of the current row.
#include "units/border_styles.h"
#include "units/data_binding.h"
#include "units/picture_codec.h"
#include "units/media_units.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kBorder = 0, kBackColour = 1, kPicture = 2, kPictureMode = 3, kAutoSize = 4,
  kDataSource = 5, kDataColumn = 6
};

constexpr Field kFields[] = {
    {Kind::kPick, 0, 5}, {Kind::kColour, int32_t(kDefaultColour)}, {Kind::kBytes},
    {Kind::kPick, 0, 4}, {Kind::kBool}, {Kind::kText}, {Kind::kText},
};

constexpr char kClass[] = "OrvelPicBox";
constexpr UINT_PTR kFrameTimer = 1;

class PicBox : public StoredUnit, public DataBound {
 public:
  PicBox() : StoredUnit(kFields, std::size(kFields), 1) {}
  bool create_window(const CreateArgs& a) override {
    DWORD style = 0, ex = 0;
    border_styles(num(kBorder), style, ex);
    if (!create_private(kClass, a, style, ex)) return false;
    load_picture();
    return true;
  }
  // The bound column's value of the current row becomes the picture.
  void data_changed() override {
    std::string value;
    if (bound_value(*this, str(kDataSource), str(kDataColumn), value)) {
      set_str(kPicture, value);
      load_picture();
    }
  }
  std::string data_source() const override { return str(kDataSource); }

 protected:
  int apply(int index) override {
    switch (index) {
      case kBorder: apply_border(handle(), num(kBorder)); break;
      case kPicture: case kAutoSize: load_picture(); break;
      case kDataSource: case kDataColumn: data_changed(); break;
      default: break;
    }
    InvalidateRect(handle(), nullptr, TRUE);
    return 0;
  }
  LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_TIMER && wp == kFrameTimer) {
      next_frame();
      return 0;
    }
    if (msg == kLoadingComplete && !str(kDataSource).empty()) data_changed();
    if (msg == WM_ERASEBKGND) return 1;
    if (msg == WM_PAINT) {
      framework::PaintDC dc(handle());
      paint(dc.get());
      return 0;
    }
    return StoredUnit::on_message(msg, wp, lp);
  }

 private:
  void load_picture() {
    picture_.decode(str(kPicture));
    animation_.decode(str(kPicture));
    frame_ = 0;
    if (handle()) {
      KillTimer(handle(), kFrameTimer);
      if (animation_.frames() > 1) SetTimer(handle(), kFrameTimer, animation_.delay_ms(0), nullptr);
    }
    if (flag(kAutoSize) && picture_ && handle()) {
      RECT frame{0, 0, picture_.width(), picture_.height()};
      AdjustWindowRectEx(&frame, GetWindowLongA(handle(), GWL_STYLE), FALSE,
                         GetWindowLongA(handle(), GWL_EXSTYLE));
      SetWindowPos(handle(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (handle()) InvalidateRect(handle(), nullptr, TRUE);
  }
  void paint(HDC dc) {
    RECT rc;
    GetClientRect(handle(), &rc);
    // Drawn off screen first: a tiled or transparent picture does not flicker.
    framework::MemoryDC mem(dc);
    framework::Bitmap canvas(CreateCompatibleBitmap(dc, rc.right, rc.bottom));
    framework::SelectScope selected(mem.get(), canvas.get());
    SetBkColor(mem.get(), colour(kBackColour, COLOR_BTNFACE));
    ExtTextOutA(mem.get(), 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
    const Picture& shown = animation_.frames() > 1 ? animation_.frame(frame_) : picture_;
    shown.place(mem.get(), rc, num(kPictureMode));
    BitBlt(dc, 0, 0, rc.right, rc.bottom, mem.get(), 0, 0, SRCCOPY);
  }
  void next_frame() {
    if (animation_.frames() < 2) {
      KillTimer(handle(), kFrameTimer);
      return;
    }
    frame_ = (frame_ + 1) % animation_.frames();
    SetTimer(handle(), kFrameTimer, animation_.delay_ms(frame_), nullptr);
    InvalidateRect(handle(), nullptr, FALSE);
  }
  Picture picture_;
  Animation animation_;
  int frame_ = 0;
};

void* __cdecl picbox_interface(int number) { return table_interface<PicBox>(number, true); }

constexpr uint16_t kTypes[] = {kPropPick, kPropBackColour, kPropPicture, kPropPick, kPropBool,
                               kPropText18, kPropText20};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 15);

}  // namespace

const CoreUnitType kPicBoxUnitType{6, kProperties.data(), kProperties.size(), &picbox_interface};

}  // namespace units
