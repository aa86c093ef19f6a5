// Common dialog unit: a never-shown unit that opens the platform's file open, file save,
// colour, font or print dialog (its kind), modal to its window, with the properties as the
// dialog's starting values; a confirmed dialog's answers go back into the same properties.
#include <windows.h>
#include <commdlg.h>
#include <vector>
#include "units/media_units.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kKind = 0, kTitle = 1, kFilter = 2, kFileName = 3, kFilterIndex = 4, kInitialDir = 5,
  kDefaultExt = 6, kOverwritePrompt = 7, kFileMustExist = 8, kPathMustExist = 9,
  kNoChangeDir = 10, kHideReadOnly = 11, kColour = 12, kFullColourOpen = 13, kFontEffects = 14,
  kFixedPitchOnly = 15, kPrintToFile = 16, kFontName = 17, kFontSize = 18, kPrinterName = 19,
  kPrintRange = 20, kCopies = 21
};

// Dialog kinds.
enum : int { kOpenFile = 0, kSaveFile = 1, kColourDialog = 2, kFontDialog = 3, kPrintDialog = 4 };

constexpr Field kFields[] = {
    {Kind::kPick, 0, 4}, {Kind::kText}, {Kind::kText}, {Kind::kText}, {Kind::kInt, 1},
    {Kind::kText}, {Kind::kText}, {Kind::kBool, 1}, {Kind::kBool, 1}, {Kind::kBool, 1},
    {Kind::kBool, 1}, {Kind::kBool, 1}, {Kind::kColour, 0}, {Kind::kBool}, {Kind::kBool, 1},
    {Kind::kBool}, {Kind::kBool}, {Kind::kText}, {Kind::kInt, 9}, {Kind::kText},
    {Kind::kPick, 0, 2}, {Kind::kInt, 1},
};

constexpr char kClass[] = "OrvelCommonDialog";
constexpr DWORD kFileBuffer = 32768;  // room for many names of a multiple selection

// "Texts|*.txt|All|*.*" as the dialog wants it: NUL-separated, two NULs at the end.
std::string filter_list(const std::string& filter) {
  if (filter.empty()) return {};
  std::string out = filter;
  for (char& c : out)
    if (c == '|') c = '\0';
  out.append(2, '\0');
  return out;
}

class CommonDlg : public StoredUnit, public DialogOps {
 public:
  CommonDlg() : StoredUnit(kFields, std::size(kFields), 1) {}
  bool create_window(const CreateArgs& a) override { return create_private(kClass, a); }
  bool open() override {
    if (!handle()) return false;
    HWND owner = GetAncestor(handle(), GA_ROOT);
    switch (num(kKind)) {
      case kColourDialog: return choose_colour(owner);
      case kFontDialog: return choose_font(owner);
      case kPrintDialog: return choose_printer(owner);
      default: return choose_file(owner, num(kKind) == kSaveFile);
    }
  }

 private:
  bool choose_file(HWND owner, bool save) {
    std::vector<char> name(kFileBuffer, '\0');
    str(kFileName).copy(name.data(), kFileBuffer - 1);
    std::string filter = filter_list(str(kFilter));
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = num(kFilterIndex) < 1 ? 1 : num(kFilterIndex);
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = kFileBuffer;
    ofn.lpstrInitialDir = str(kInitialDir).empty() ? nullptr : str(kInitialDir).c_str();
    ofn.lpstrTitle = str(kTitle).empty() ? nullptr : str(kTitle).c_str();
    ofn.lpstrDefExt = str(kDefaultExt).empty() ? nullptr : str(kDefaultExt).c_str();
    ofn.Flags = OFN_EXPLORER | (flag(kHideReadOnly) ? OFN_HIDEREADONLY : 0) |
                (flag(kNoChangeDir) ? OFN_NOCHANGEDIR : 0) |
                (flag(kPathMustExist) ? OFN_PATHMUSTEXIST : 0);
    if (save) ofn.Flags |= flag(kOverwritePrompt) ? OFN_OVERWRITEPROMPT : 0;
    else ofn.Flags |= flag(kFileMustExist) ? OFN_FILEMUSTEXIST : 0;
    BOOL ok = save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    if (!ok) return false;
    set_str(kFileName, name.data());
    set_num(kFilterIndex, static_cast<int32_t>(ofn.nFilterIndex));
    return true;
  }
  bool choose_colour(HWND owner) {
    CHOOSECOLORA cc{};
    cc.lStructSize = sizeof cc;
    cc.hwndOwner = owner;
    cc.rgbResult = static_cast<uint32_t>(num(kColour)) & 0xFFFFFF;
    cc.lpCustColors = custom_colours_;
    cc.Flags = CC_RGBINIT | CC_ANYCOLOR | (flag(kFullColourOpen) ? CC_FULLOPEN : 0);
    if (!ChooseColorA(&cc)) return false;
    set_num(kColour, static_cast<int32_t>(cc.rgbResult & 0xFFFFFF));
    return true;
  }
  bool choose_font(HWND owner) {
    LOGFONTA lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfHeight = framework::font_height(num(kFontSize) > 0 ? num(kFontSize) : 9, framework::screen_dpi());
    str(kFontName).copy(lf.lfFaceName, LF_FACESIZE - 1);
    CHOOSEFONTA cf{};
    cf.lStructSize = sizeof cf;
    cf.hwndOwner = owner;
    cf.lpLogFont = &lf;
    cf.rgbColors = static_cast<uint32_t>(num(kColour)) & 0xFFFFFF;
    cf.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | (flag(kFontEffects) ? CF_EFFECTS : 0) |
               (flag(kFixedPitchOnly) ? CF_FIXEDPITCHONLY : 0);
    if (!ChooseFontA(&cf)) return false;
    set_str(kFontName, lf.lfFaceName);
    set_num(kFontSize, cf.iPointSize / 10);
    if (flag(kFontEffects)) set_num(kColour, static_cast<int32_t>(cf.rgbColors & 0xFFFFFF));
    return true;
  }
  bool choose_printer(HWND owner) {
    PRINTDLGA pd{};
    pd.lStructSize = sizeof pd;
    pd.hwndOwner = owner;
    pd.nCopies = static_cast<WORD>(num(kCopies) < 1 ? 1 : num(kCopies) > 9999 ? 9999 : num(kCopies));
    pd.nFromPage = pd.nToPage = 1;
    pd.nMinPage = 1;
    pd.nMaxPage = 0xFFFF;
    pd.Flags = PD_USEDEVMODECOPIESANDCOLLATE | (flag(kPrintToFile) ? PD_PRINTTOFILE : 0);
    BOOL ok = PrintDlgA(&pd);
    framework::GlobalMemory mode(pd.hDevMode), names(pd.hDevNames);  // freed at the end
    if (!ok) return false;
    if (names) {
      framework::GlobalLockScope lock(names.get());
      if (const auto* dn = static_cast<const DEVNAMES*>(lock.get()))
        set_str(kPrinterName, reinterpret_cast<const char*>(dn) + dn->wDeviceOffset);
    }
    set_num(kPrintRange, pd.Flags & PD_SELECTION ? 1 : pd.Flags & PD_PAGENUMS ? 2 : 0);
    set_num(kCopies, pd.nCopies);
    set_num(kPrintToFile, pd.Flags & PD_PRINTTOFILE ? 1 : 0);
    return true;
  }
  COLORREF custom_colours_[16] = {};
};

void* __cdecl commondlg_interface(int number) { return table_interface<CommonDlg>(number, true); }

constexpr uint16_t kTypes[] = {kPropPick, kPropText, kPropText, kPropText, kPropInt, kPropText,
                               kPropText, kPropBool, kPropBool, kPropBool, kPropBool, kPropBool,
                               kPropColour, kPropBool, kPropBool, kPropBool, kPropBool, kPropText,
                               kPropInt, kPropText, kPropPick, kPropInt};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 30);

}  // namespace

const CoreUnitType kCommonDlgUnitType{31, kProperties.data(), kProperties.size(), &commondlg_interface};

}  // namespace units
