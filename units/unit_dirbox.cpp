// Directory box unit: the folders of one drive as a system tree view, rooted at the drive,
// read from the file system as branches open. Its directory is a full path; writing one opens
// the tree down to it and selects it (a path that does not exist selects its nearest existing
// parent; another drive's path rebuilds the tree on that drive; an empty path is the current
// directory). Event 0 reports each directory the user selects; a program links a file box by
// writing the new directory into the file box's directory.
#include <windows.h>
#include <commctrl.h>
#include <algorithm>
#include <cctype>
#include "units/border_styles.h"
#include "units/common_controls.h"
#include "units/core_units.h"
#include "units/stored_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int { kDirectory = 0, kBorder = 1, kBackColour = 2, kFont = 3 };

constexpr Field kFields[] = {
    {Kind::kText}, {Kind::kPick, 1, 5}, {Kind::kColour, int32_t(kDefaultColour)}, {Kind::kFont},
};

constexpr LPARAM kFilled = 1;  // item data: the item's subfolders are in the tree

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The parts of a full path: "c:\" then each folder name; empty when it is not a drive path.
std::vector<std::string> split_path(const std::string& path) {
  std::vector<std::string> parts;
  if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0]))) return parts;
  parts.push_back(lower(path.substr(0, 2)) + "\\");
  size_t at = 2;
  while (at < path.size()) {
    size_t end = path.find_first_of("\\/", at);
    if (end == std::string::npos) end = path.size();
    if (end > at) parts.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  return parts;
}

// The subfolder names of a directory, sorted without regard to case.
std::vector<std::string> subfolders(const std::string& dir) {
  std::vector<std::string> names;
  std::string pattern = dir + (dir.back() == '\\' ? "*" : "\\*");
  WIN32_FIND_DATAA fd;
  HANDLE find = FindFirstFileA(pattern.c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = fd.cFileName;
    if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..")
      names.push_back(name);
  } while (FindNextFileA(find, &fd));
  FindClose(find);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) < 0;
  });
  return names;
}

class DirBox : public StoredUnit {
 public:
  DirBox() : StoredUnit(kFields, std::size(kFields), 1) {}
  bool create_window(const CreateArgs& a) override {
    init_common_controls(ICC_TREEVIEW_CLASSES);
    DWORD style = base_style(a) | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT |
                  TVS_SHOWSELALWAYS, ex = 0;
    border_styles(num(kBorder), style, ex);
    if (!create_control(WC_TREEVIEWA, "", style, ex, a.left, a.top, a.width, a.height, a.parent,
                        a.control_id))
      return false;
    apply_font();
    apply_colour();
    open_path();
    return true;
  }
  bool on_reflected(UINT msg, WPARAM, LPARAM lp, LRESULT& result) override {
    if (msg != WM_NOTIFY) return false;
    auto* nm = reinterpret_cast<NMTREEVIEWA*>(lp);
    if (nm->hdr.code == TVN_ITEMEXPANDINGA && nm->action == TVE_EXPAND) {
      fill_children(nm->itemNew.hItem);
      result = FALSE;
      return true;
    }
    if (nm->hdr.code == TVN_SELCHANGEDA && !opening_) {
      set_str(kDirectory, path_of(nm->itemNew.hItem));
      raise(0);
      result = 0;
      return true;
    }
    return false;
  }

 protected:
  int apply(int index) override {
    switch (index) {
      case kDirectory: open_path(); return 0;
      case kBorder: apply_border(handle(), num(kBorder)); return 0;
      case kBackColour: apply_colour(); return 0;
      case kFont: apply_font(); return 0;
      default: return 0;
    }
  }

 private:
  HTREEITEM add(HTREEITEM parent, const std::string& text, bool has_children) {
    TVINSERTSTRUCTA ins{};
    ins.hParent = parent;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_CHILDREN | TVIF_PARAM;
    ins.item.pszText = const_cast<char*>(text.c_str());
    ins.item.cChildren = has_children ? 1 : 0;
    ins.item.lParam = 0;
    return reinterpret_cast<HTREEITEM>(SendMessageA(handle(), TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&ins)));
  }
  std::string text_of(HTREEITEM item) const {
    char buffer[MAX_PATH] = {};
    TVITEMA it{};
    it.mask = TVIF_TEXT;
    it.hItem = item;
    it.pszText = buffer;
    it.cchTextMax = sizeof buffer;
    SendMessageA(handle(), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it));
    return buffer;
  }
  std::string path_of(HTREEITEM item) const {
    std::vector<std::string> parts;
    for (HTREEITEM i = item; i; i = TreeView_GetParent(handle(), i)) parts.push_back(text_of(i));
    std::string path;
    for (auto p = parts.rbegin(); p != parts.rend(); ++p) {
      if (!path.empty() && path.back() != '\\') path += '\\';
      path += *p;
    }
    return path;
  }
  // Reads an item's subfolders into the tree once.
  void fill_children(HTREEITEM item) {
    TVITEMA it{};
    it.mask = TVIF_PARAM;
    it.hItem = item;
    SendMessageA(handle(), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it));
    if (it.lParam == kFilled) return;
    std::string dir = path_of(item);
    std::vector<std::string> names = subfolders(dir);
    for (const std::string& name : names) add(item, name, true);
    it.mask = TVIF_PARAM | TVIF_CHILDREN;
    it.lParam = kFilled;
    it.cChildren = names.empty() ? 0 : 1;
    SendMessageA(handle(), TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&it));
  }
  HTREEITEM child_named(HTREEITEM parent, const std::string& name) const {
    for (HTREEITEM c = TreeView_GetChild(handle(), parent); c; c = TreeView_GetNextSibling(handle(), c))
      if (lstrcmpiA(text_of(c).c_str(), name.c_str()) == 0) return c;
    return nullptr;
  }
  // Opens the tree down to the directory property and selects the deepest folder found.
  void open_path() {
    std::string path = str(kDirectory);
    if (path.empty()) {
      char dir[MAX_PATH] = {};
      GetCurrentDirectoryA(MAX_PATH, dir);
      path = dir;
    }
    std::vector<std::string> parts = split_path(path);
    opening_ = true;
    HTREEITEM root = TreeView_GetRoot(handle());
    if (!parts.empty() && (!root || lower(text_of(root)) != parts[0])) {
      SendMessageA(handle(), TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
      root = add(TVI_ROOT, parts[0], true);
    }
    HTREEITEM at = root;
    for (size_t i = 1; at && i < parts.size(); ++i) {
      fill_children(at);
      HTREEITEM next = child_named(at, parts[i]);
      if (!next) break;
      SendMessageA(handle(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(at));
      at = next;
    }
    if (at) {
      SendMessageA(handle(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(at));
      SendMessageA(handle(), TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(at));
    }
    opening_ = false;
    set_str(kDirectory, at ? path_of(at) : std::string());
  }
  void apply_colour() {
    SendMessageA(handle(), TVM_SETBKCOLOR, 0,
                 uint32_t(num(kBackColour)) == kDefaultColour ? static_cast<LPARAM>(-1) : uint32_t(num(kBackColour)) & 0xFFFFFF);
  }
  bool opening_ = false;
};

void* __cdecl dirbox_interface(int number) { return table_interface<DirBox>(number, true); }

constexpr uint16_t kTypes[] = {kPropText, kPropPick, kPropBackColour, kPropFont};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 12);

}  // namespace

const CoreUnitType kDirBoxUnitType{26, kProperties.data(), kProperties.size(), &dirbox_interface};

}  // namespace units
