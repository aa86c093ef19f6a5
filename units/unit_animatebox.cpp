// Animation box unit: the platform's animation control playing an AVI clip from a file,
// centred or not, with a transparent background or not; with auto play it starts when the
// clip is opened and repeats as often as its repeat count says (-1: until stopped). Event 0
// is the clip starting, event 1 its stopping. Clips with implausible headers are refused.
#include <windows.h>
#include <commctrl.h>
#include "units/avi_check.h"
#include "units/media_units.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int { kFile = 0, kAutoPlay = 1, kCentre = 2, kTransparent = 3, kRepeat = 4 };

constexpr Field kFields[] = {
    {Kind::kText}, {Kind::kBool, 1}, {Kind::kBool, 1}, {Kind::kBool}, {Kind::kInt, -1},
};

class AnimateBox : public StoredUnit, public AnimationOps {
 public:
  AnimateBox() : StoredUnit(kFields, std::size(kFields), 1) {}
  bool create_window(const CreateArgs& a) override {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_ANIMATE_CLASS};
    InitCommonControlsEx(&icc);
    DWORD style = base_style(a) | (flag(kCentre) ? ACS_CENTER : 0) |
                  (flag(kTransparent) ? ACS_TRANSPARENT : 0);
    if (!create_control(ANIMATE_CLASSA, "", style, 0, a.left, a.top, a.width, a.height, a.parent,
                        a.control_id))
      return false;
    open_current();  // a clip that cannot be opened leaves the box empty, not the load failed
    return true;
  }
  bool open_clip(const std::string& file) override {
    set_str(kFile, file);
    return open_current();
  }
  bool play(int from, int to, int repeat) override {
    if (!handle() || str(kFile).empty() || from < 0 || from > 0xFFFF) return false;
    WORD last = to < 0 || to > 0xFFFF ? 0xFFFF : static_cast<WORD>(to);
    playing_ = SendMessageA(handle(), ACM_PLAY, repeat < 0 ? -1 : repeat,
                            MAKELPARAM(static_cast<WORD>(from), last)) != 0;
    return playing_;
  }
  bool stop() override {
    if (!handle()) return false;
    playing_ = false;
    return SendMessageA(handle(), ACM_STOP, 0, 0) != 0;
  }
  bool seek(int frame) override {
    if (!handle() || frame < 0 || frame > 0xFFFF) return false;
    playing_ = false;
    return SendMessageA(handle(), ACM_PLAY, 1, MAKELPARAM(frame, frame)) != 0;
  }
  bool playing() const override { return playing_; }
  void on_command(WORD code) override {
    if (code == ACN_START) {
      playing_ = true;
      raise(0);
    } else if (code == ACN_STOP) {
      playing_ = false;
      raise(1);
    }
  }

 protected:
  int apply(int index) override {
    switch (index) {
      case kFile: open_current(); return 0;
      case kCentre: case kTransparent: return 1;  // styles of the control's creation
      default: return 0;
    }
  }

 private:
  bool open_current() {
    playing_ = false;
    if (str(kFile).empty()) {
      SendMessageA(handle(), ACM_OPENA, 0, 0);  // closes the clip
      return true;
    }
    // The control trusts the sizes in the file: a clip whose headers are out of reason is
    // refused before it gets there (the box shows nothing).
    if (!plausible_avi_file(str(kFile)) ||
        !SendMessageA(handle(), ACM_OPENA, 0, reinterpret_cast<LPARAM>(str(kFile).c_str()))) {
      SendMessageA(handle(), ACM_OPENA, 0, 0);
      return false;
    }
    if (flag(kAutoPlay)) play(0, -1, num(kRepeat));
    return true;
  }
  bool playing_ = false;
};

void* __cdecl animatebox_interface(int number) { return table_interface<AnimateBox>(number, true); }

constexpr uint16_t kTypes[] = {kPropFileName, kPropBool, kPropBool, kPropBool, kPropInt};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 13);

}  // namespace

const CoreUnitType kAnimateBoxUnitType{22, kProperties.data(), kProperties.size(), &animatebox_interface};

}  // namespace units
