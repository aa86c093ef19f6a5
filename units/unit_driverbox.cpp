// Drive box unit: a drop-down list of the machine's drives (letter and volume label, or the
// letter alone). Its drive is a text such as "c:"; writing a text selects the drive of its
// first letter when that drive exists. Event 0 reports each drive the user picks; a program
// links a directory box by writing the new drive into the directory box's directory.
#include <cctype>
#include <cstring>
#include "units/core_units.h"
#include "units/list_control.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int { kDrive = 0, kLetterOnly = 1, kTextColour = 2, kBackColour = 3, kFont = 4 };

constexpr Field kFields[] = {
    {Kind::kText}, {Kind::kPick, 0, 1}, {Kind::kColour, 0},
    {Kind::kColour, int32_t(kDefaultColour)}, {Kind::kFont},
};

// "c:" from any text whose first character is a drive letter, else empty.
std::string drive_of(const std::string& text) {
  if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return {};
  return std::string(1, static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])))) + ":";
}

std::string current_drive() {
  char dir[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, dir);
  return drive_of(dir);
}

class DriverBox : public StoredUnit {
 public:
  DriverBox() : StoredUnit(kFields, std::size(kFields), 1) {
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
    DWORD style = base_style(a) | CBS_DROPDOWNLIST | WS_VSCROLL;
    if (!create_control("COMBOBOX", "", style, 0, a.left, a.top, a.width, a.height + 200,
                        a.parent, a.control_id))
      return false;
    apply_font();
    fill();
    return true;
  }
  void on_command(WORD code) override {
    if (code == CBN_SELCHANGE) raise(0);
  }

 protected:
  int apply(int index) override {
    switch (index) {
      case kDrive: case kLetterOnly: fill(); return 0;
      case kFont: apply_font(); return 0;
      default: InvalidateRect(handle(), nullptr, TRUE); return 0;
    }
  }
  void refresh(int index) override {
    if (index != kDrive || !handle()) return;
    int32_t at = list_current(handle(), kComboBoxMessages);
    if (at >= 0 && static_cast<size_t>(at) < drives_.size()) set_str(kDrive, drives_[at]);
  }

 private:
  // Lists the drives and selects the one asked for (the current directory's drive when it is
  // missing or not there).
  void fill() {
    std::string wanted = drive_of(str(kDrive));
    drives_.clear();
    std::vector<std::string> shown;
    char roots[512] = {};
    DWORD n = GetLogicalDriveStringsA(sizeof roots - 1, roots);
    for (const char* p = roots; n && n < sizeof roots && *p; p += std::strlen(p) + 1) {
      std::string drive = drive_of(p);
      if (drive.empty()) continue;
      std::string text = drive;
      // Volume labels of removable and remote drives are not asked for: that can wait on media.
      UINT kind = GetDriveTypeA(p);
      char label[MAX_PATH] = {};
      if (num(kLetterOnly) == 0 && (kind == DRIVE_FIXED || kind == DRIVE_RAMDISK) &&
          GetVolumeInformationA(p, label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0) &&
          label[0])
        text += std::string(" [") + label + "]";
      drives_.push_back(drive);
      shown.push_back(text);
    }
    fill_list(handle(), kComboBoxMessages, shown, {});
    int32_t at = -1;
    for (size_t i = 0; i < drives_.size(); ++i)
      if (drives_[i] == wanted) at = static_cast<int32_t>(i);
    if (at < 0)
      for (size_t i = 0; i < drives_.size(); ++i)
        if (drives_[i] == current_drive()) at = static_cast<int32_t>(i);
    set_list_current(handle(), kComboBoxMessages, at);
    set_str(kDrive, at >= 0 ? drives_[at] : std::string());
  }
  std::vector<std::string> drives_;
};

void* __cdecl driverbox_interface(int number) {
  return standard_interface(number, &create_op<DriverBox>, {kConvertTexts, kWantsKey});
}

constexpr uint16_t kTypes[] = {kPropText, kPropPick, kPropColour, kPropBackColour, kPropFont};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 13);

}  // namespace

const CoreUnitType kDriverBoxUnitType{25, kProperties.data(), kProperties.size(), &driverbox_interface};

}  // namespace units
