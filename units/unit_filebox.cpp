// File box unit: the files of one directory as a system list box, sorted by name, chosen by
// name patterns ("*.txt;*.ini"), attributes and last-write times. Writing the directory,
// patterns or any filter reads the directory again; an empty directory is the current one.
// Event 0 is a selection change by the user (argument: the current item), event 1 a double
// click (argument: the item).
#include <algorithm>
#include "units/border_styles.h"
#include "units/core_units.h"
#include "units/date_values.h"
#include "units/list_control.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kDirectory = 0, kPatterns = 1, kMultiSelect = 2, kFileName = 3, kArchive = 4, kHidden = 5,
  kReadOnly = 6, kSystem = 7, kNormal = 8, kEarliest = 9, kLatest = 10, kBorder = 11,
  kTextColour = 12, kBackColour = 13, kFont = 14
};

constexpr Field kFields[] = {
    {Kind::kText}, {Kind::kText}, {Kind::kBool}, {Kind::kText}, {Kind::kBool, 1},
    {Kind::kBool, 0}, {Kind::kBool, 1}, {Kind::kBool, 0}, {Kind::kBool, 1}, {Kind::kDate},
    {Kind::kDate}, {Kind::kPick, 1, 5}, {Kind::kColour, 0},
    {Kind::kColour, int32_t(kDefaultColour)}, {Kind::kFont},
};

constexpr size_t kMaxPatterns = 64;  // each pattern is one pass over the directory

// The patterns of a pattern text ("*.*" when there is none; those past kMaxPatterns are left
// out).
std::vector<std::string> patterns_of(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at <= text.size() && out.size() < kMaxPatterns) {
    size_t end = text.find(';', at);
    if (end == std::string::npos) end = text.size();
    std::string p = text.substr(at, end - at);
    p.erase(0, p.find_first_not_of(' '));
    p.erase(p.find_last_not_of(' ') + 1);
    if (!p.empty()) out.push_back(p);
    at = end + 1;
  }
  if (out.empty()) out.push_back("*.*");
  return out;
}

double write_time(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME t;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &t)) return 0;
  return from_system_time(t);
}

class FileBox : public StoredUnit {
 public:
  FileBox() : StoredUnit(kFields, std::size(kFields), 1) {
    set_str(kPatterns, "*.*");
    use_colours(kTextColour, kBackColour, COLOR_WINDOW);
  }
  bool create_window(const CreateArgs& a) override {
    DWORD style = base_style(a) | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_SORT | WS_VSCROLL, ex = 0;
    if (flag(kMultiSelect)) style |= LBS_EXTENDEDSEL;
    border_styles(num(kBorder), style, ex);
    if (!create_control("LISTBOX", "", style, ex, a.left, a.top, a.width, a.height, a.parent,
                        a.control_id))
      return false;
    apply_font();
    list_files();
    select_name(str(kFileName));
    return true;
  }
  void on_command(WORD code) override {
    if (code != LBN_SELCHANGE && code != LBN_DBLCLK) return;
    int32_t at = current();
    raise(code == LBN_SELCHANGE ? 0 : 1, {static_cast<uint32_t>(at)});
  }

 protected:
  int apply(int index) override {
    switch (index) {
      case kMultiSelect: return 1;
      case kFileName: select_name(str(kFileName)); return 0;
      case kBorder: apply_border(handle(), num(kBorder)); return 0;
      case kFont: apply_font(); return 0;
      case kTextColour: case kBackColour: InvalidateRect(handle(), nullptr, TRUE); return 0;
      default: {
        std::string keep = selected_name();
        list_files();
        select_name(keep);
        return 0;
      }
    }
  }
  void refresh(int index) override {
    if (index == kFileName && handle()) set_str(kFileName, selected_name());
  }

 private:
  std::string directory() const {
    if (!str(kDirectory).empty()) return str(kDirectory);
    char dir[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, dir);
    return dir;
  }
  bool wanted(const WIN32_FIND_DATAA& fd) const {
    DWORD attr = fd.dwFileAttributes;
    if (attr & FILE_ATTRIBUTE_DIRECTORY) return false;
    if ((attr & FILE_ATTRIBUTE_HIDDEN) && !flag(kHidden)) return false;
    if ((attr & FILE_ATTRIBUTE_SYSTEM) && !flag(kSystem)) return false;
    if ((attr & FILE_ATTRIBUTE_READONLY) && !flag(kReadOnly)) return false;
    if ((attr & FILE_ATTRIBUTE_ARCHIVE) && !flag(kArchive)) return false;
    constexpr DWORD kMarked = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
    if (!(attr & kMarked) && !flag(kNormal)) return false;
    double written = write_time(fd.ftLastWriteTime);
    if (date(kEarliest) != 0 && written < date(kEarliest)) return false;
    if (date(kLatest) != 0 && written > date(kLatest)) return false;
    return true;
  }
  // Reads the directory: each file that one of the patterns names and the filters let
  // through, once.
  void list_files() {
    std::string dir = directory();
    if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') dir += '\\';
    std::vector<std::string> names;
    for (const std::string& p : patterns_of(str(kPatterns))) {
      WIN32_FIND_DATAA fd;
      HANDLE find = FindFirstFileA((dir + p).c_str(), &fd);
      if (find == INVALID_HANDLE_VALUE) continue;
      do {
        if (wanted(fd)) names.push_back(fd.cFileName);
      } while (FindNextFileA(find, &fd));
      FindClose(find);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    fill_list(handle(), kListBoxMessages, names, {});
  }
  int32_t current() const {
    if (!flag(kMultiSelect)) return list_current(handle(), kListBoxMessages);
    LRESULT caret = SendMessageA(handle(), LB_GETCARETINDEX, 0, 0);
    return caret >= 0 && SendMessageA(handle(), LB_GETSEL, caret, 0) > 0 ? static_cast<int32_t>(caret) : -1;
  }
  std::string selected_name() const {
    int32_t at = current();
    if (at < 0) return {};
    std::vector<std::string> items = list_items(handle(), kListBoxMessages);
    return static_cast<size_t>(at) < items.size() ? items[at] : std::string();
  }
  void select_name(const std::string& name) {
    LRESULT at = name.empty() ? -1
                              : SendMessageA(handle(), LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                             reinterpret_cast<LPARAM>(name.c_str()));
    if (flag(kMultiSelect)) {
      SendMessageA(handle(), LB_SETSEL, FALSE, -1);
      if (at >= 0) {
        SendMessageA(handle(), LB_SETSEL, TRUE, at);
        SendMessageA(handle(), LB_SETCARETINDEX, at, FALSE);
      }
    } else {
      SendMessageA(handle(), LB_SETCURSEL, at >= 0 ? at : -1, 0);
    }
    set_str(kFileName, at >= 0 ? name : std::string());
  }
};

void* __cdecl filebox_interface(int number) { return table_interface<FileBox>(number, true); }

constexpr uint16_t kTypes[] = {kPropText, kPropText, kPropBool, kPropText, kPropBool,
                               kPropBool, kPropBool, kPropBool, kPropBool, kPropDateTime,
                               kPropDateTime, kPropPick, kPropColour, kPropBackColour, kPropFont};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 23);

}  // namespace

const CoreUnitType kFileBoxUnitType{27, kProperties.data(), kProperties.size(), &filebox_interface};

}  // namespace units
