// The record browse and edit dialog. Its frame comes from an in-memory template; the field
// rows (a label and a control each) are laid out at run time in a panel that scrolls when
// they do not fit. The dialog runs its own modal loop so that every key reaches one handler,
// whichever control (or none, while no record is loaded) has the focus.
#include <windows.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include "database/browse_dialog.h"
#include "database/errors.h"
#include "framework/dialog_template.h"
#include "runtime/crt.h"

namespace database {

namespace {

enum Command : int {
  kFirstRecord = 1001, kLastRecord, kPreviousRecord, kNextRecord, kPageBack, kPageForward, kGoTo,
  kFirstField = 1011, kLastField, kPreviousField, kNextField, kUpRow, kDownRow,
  kAddBlank = 1021, kToggleDeleted, kPack, kClear,
};
constexpr int kFirstControlId = 2000;  // field i: control 2000 + i, its label 3000 + i
constexpr int kRowHeight = 26, kLabelWidth = 110, kControlWidth = 260, kVisibleRows = 12;
constexpr char kPanelClass[] = "OrvelBrowsePanel";

struct MenuItem {
  int command;  // 0: a separator
  const char* text;
};
constexpr MenuItem kRecordMenu[] = {
    {kFirstRecord, "&F.到首记录\tCtrl+PageUp"}, {kLastRecord, "&L.到尾记录\tCtrl+PageDown"},
    {kPreviousRecord, "&P.上一记录\tCtrl+↑"}, {kNextRecord, "&N.下一记录\tCtrl+↓"},
    {kPageBack, "&U.上一页\tPageUp"}, {kPageForward, "&D.下一页\tPageDown"},
    {kGoTo, "&G.到指定记录\tCtrl+G"},
};
constexpr MenuItem kFieldMenu[] = {
    {kFirstField, "&F.到首字段\tCtrl+Home"}, {kLastField, "&L.到尾字段\tCtrl+End"},
    {kPreviousField, "&P.上一字段\tShift+Tab"}, {kNextField, "&N.下一字段\tTab/Enter"},
    {kUpRow, "&U.上一行\t↑"}, {kDownRow, "&D.下一行\t↓"},
};
constexpr MenuItem kChangeMenu[] = {
    {kAddBlank, "&A.添加空记录\tCtrl+N"}, {0, nullptr}, {kToggleDeleted, "&D.改变删除状态\tCtrl+D"},
    {kPack, "&K.清除所有被删除记录"}, {kClear, "&Z.清空数据库"},
};

class Browser {
 public:
  Browser(Database& db, std::string title, int32_t flags, std::vector<int32_t> fields, const BrowseHooks& hooks)
      : db_(db), title_(std::move(title)), flags_(flags), fields_(std::move(fields)), hooks_(hooks) {
    if (db_.read_only()) flags_ |= kBrowseViewOnly;  // nothing could be written anyway
    if (flags_ & kBrowseViewOnly) flags_ |= kBrowseNoAdding | kBrowseNoDeleting;
  }

  void run();

 private:
  static INT_PTR CALLBACK procedure(HWND dialog, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK panel_procedure(HWND panel, UINT msg, WPARAM wp, LPARAM lp);

  void create_controls();
  HMENU build_menu() const;
  bool handle_key(const MSG& m);
  void command(int id);

  // Records.
  bool save();
  void load(int32_t n);
  void move_to(int32_t n) { load(n); }
  void add_blank();
  void pack_or_clear(bool pack);
  void go_to_asked();
  int32_t count() {
    int32_t c = 0;
    return db_.record_count(&c) ? 0 : c;
  }

  // Fields and controls.
  int focused_field() const;
  void focus_field(int i);
  void next_field(bool wrap_to_next_record, bool enter);
  void previous_field(bool wrap_to_previous_record);
  void display();
  void on_edit(int i);
  void open_editor(int i);
  void update_caption();
  std::string value_text(int i) const;
  const FieldDescriptor& descriptor(int i) const { return db_.field(fields_[static_cast<size_t>(i)]); }
  int field_count() const { return static_cast<int>(fields_.size()); }

  Database& db_;
  std::string title_;
  int32_t flags_;
  std::vector<int32_t> fields_;
  const BrowseHooks& hooks_;
  HWND dialog_ = nullptr, panel_ = nullptr;
  std::vector<HWND> controls_;
  bool done_ = false;
  int scroll_ = 0, panel_height_ = 0;

  bool loaded_ = false;
  int32_t record_ = -1;
  std::string bytes_, original_;         // the loaded record, status word first
  std::vector<std::string> values_;      // byte-set and memo values by shown field
  std::vector<bool> value_changed_;
  bool bytes_changed_ = false;
  bool updating_ = false;                // controls are being filled: no edits
  bool ask_before_adding_ = true;
  std::string status_, shown_caption_;
};

// ---- Values as the controls show them ---------------------------------------------------------

template <class T> T read_as(const std::string& bytes, int32_t offset) {
  T v;
  std::memcpy(&v, bytes.data() + offset, sizeof v);
  return v;
}

std::string Browser::value_text(int i) const {
  const FieldDescriptor& d = descriptor(i);
  const std::string& b = bytes_;
  std::string text;
  switch (d.type) {
    case kByte: text = std::to_string(read_as<uint8_t>(b, d.offset)); break;
    case kShort: text = std::to_string(read_as<int16_t>(b, d.offset)); break;
    case kInt: case kSubPtr: text = std::to_string(read_as<int32_t>(b, d.offset)); break;
    case kLong: text = std::to_string(read_as<int64_t>(b, d.offset)); break;
    case kFloat: text = runtime::crt_format("%g", static_cast<double>(read_as<float>(b, d.offset))); break;
    case kDouble: text = runtime::crt_format("%.15g", read_as<double>(b, d.offset)); break;
    case kDateTime: {
      double v = read_as<double>(b, d.offset);
      if (v != 0) text = hooks_.date_text ? hooks_.date_text(v) : runtime::crt_format("%g", v);
      return text;
    }
    case kText: {
      const char* p = b.data() + d.offset;
      return std::string(p, strnlen(p, static_cast<size_t>(d.text_size)));
    }
    default: return text;
  }
  return text == "0" ? std::string() : text;
}

// The text of an edit box into the record's bytes, converted to the field's type.
void Browser::on_edit(int i) {
  if (updating_ || !loaded_) return;
  const FieldDescriptor& d = descriptor(i);
  HWND c = controls_[static_cast<size_t>(i)];
  char* at = bytes_.data() + d.offset;
  if (d.type == kBool) {
    at[0] = SendMessageA(c, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
  } else {
    std::string t(static_cast<size_t>(GetWindowTextLengthA(c)) + 1, '\0');
    t.resize(static_cast<size_t>(GetWindowTextA(c, t.data(), static_cast<int>(t.size()))));
    int64_t whole = _strtoi64(t.c_str(), nullptr, 10);
    double number = strtod(t.c_str(), nullptr);
    switch (d.type) {
      case kByte: at[0] = static_cast<char>(whole); break;
      case kShort: { int16_t v = static_cast<int16_t>(whole); std::memcpy(at, &v, 2); break; }
      case kInt: case kSubPtr: { int32_t v = static_cast<int32_t>(whole); std::memcpy(at, &v, 4); break; }
      case kLong: std::memcpy(at, &whole, 8); break;
      case kFloat: { float v = static_cast<float>(number); std::memcpy(at, &v, 4); break; }
      case kDouble: std::memcpy(at, &number, 8); break;
      case kDateTime: {
        double v = 0;
        if (!t.empty() && !(hooks_.read_date && hooks_.read_date(t, &v))) v = 0;
        std::memcpy(at, &v, 8);
        break;
      }
      case kText:
        std::memset(at, 0, static_cast<size_t>(d.text_size));
        std::memcpy(at, t.data(), std::min(t.size(), static_cast<size_t>(d.text_size)));
        break;
    }
  }
  bytes_changed_ = true;
}

// ---- Loading and saving -----------------------------------------------------------------------

bool Browser::save() {
  if (!loaded_ || (flags_ & kBrowseViewOnly)) return true;
  int32_t rc = 0;
  if (bytes_changed_) {
    for (int i = 0; i < field_count() && rc == 0; ++i) {
      const FieldDescriptor& d = descriptor(i);
      if (chained_type(d.type)) continue;
      size_t size = static_cast<size_t>(field_size(d.type, d.text_size));
      if (std::memcmp(bytes_.data() + d.offset, original_.data() + d.offset, size) != 0)
        rc = db_.write_stored(fields_[static_cast<size_t>(i)], bytes_.data() + d.offset, static_cast<uint32_t>(size));
    }
    if (rc == 0 && std::memcmp(bytes_.data(), original_.data(), 4) != 0)
      rc = db_.set_deleted(read_as<int32_t>(bytes_, 0) < 0);
  }
  for (int i = 0; i < field_count() && rc == 0; ++i)
    if (value_changed_[static_cast<size_t>(i)]) {
      const std::string& v = values_[static_cast<size_t>(i)];
      rc = db_.write_stored(fields_[static_cast<size_t>(i)], v.data(), static_cast<uint32_t>(v.size()));
    }
  if (rc) {
    const char* text = error_text(rc);
    MessageBoxA(dialog_, *text ? text : "保存现行记录失败", "错误", MB_OK | MB_ICONERROR);
    return false;
  }
  original_ = bytes_;
  bytes_changed_ = false;
  std::fill(value_changed_.begin(), value_changed_.end(), false);
  return true;
}

void Browser::load(int32_t n) {
  if (!save()) return;
  int32_t c = 0;
  if (int32_t rc = db_.record_count(&c)) {
    status_ = error_text(rc);
  } else if (n < 0 || n >= c) {
    status_ = runtime::crt_format("记录 %d 不存在", n + 1);
  } else {
    int32_t before = db_.current();
    db_.set_current(n);
    std::string bytes;
    std::vector<std::string> values(static_cast<size_t>(field_count()));
    int32_t rc = db_.read_record(bytes);
    for (int i = 0; i < field_count() && rc == 0; ++i)
      if (chained_type(descriptor(i).type)) rc = db_.read_stored(fields_[static_cast<size_t>(i)], values[static_cast<size_t>(i)]);
    if (rc) {
      db_.set_current(before);
      status_ = error_text(rc);
    } else {
      bytes_ = original_ = bytes;
      values_ = std::move(values);
      value_changed_.assign(static_cast<size_t>(field_count()), false);
      bytes_changed_ = false;
      loaded_ = true;
      record_ = n;
      status_.clear();
      display();
    }
  }
  update_caption();
}

void Browser::display() {
  updating_ = true;
  for (int i = 0; i < field_count(); ++i) {
    HWND c = controls_[static_cast<size_t>(i)];
    EnableWindow(c, loaded_);
    if (!loaded_) continue;
    const FieldDescriptor& d = descriptor(i);
    if (d.type == kBool) SendMessageA(c, BM_SETCHECK, bytes_[static_cast<size_t>(d.offset)] ? BST_CHECKED : BST_UNCHECKED, 0);
    else if (!chained_type(d.type)) SetWindowTextA(c, value_text(i).c_str());
  }
  updating_ = false;
}

void Browser::update_caption() {
  std::string caption = title_ + " - [";
  if (loaded_ && read_as<int32_t>(bytes_, 0) < 0) caption += "*被删除 ";
  caption += loaded_ ? runtime::crt_format("%d / %d]", record_ + 1, count())
                     : runtime::crt_format("?? / %d]", count());
  if (!status_.empty()) caption += " - " + status_;
  if (caption != shown_caption_) {
    SetWindowTextA(dialog_, caption.c_str());
    shown_caption_ = caption;
  }
}

void Browser::add_blank() {
  if (flags_ & kBrowseNoAdding) return;
  if (!save()) return;
  if (int32_t rc = db_.append_blank()) {
    status_ = error_text(rc);
    update_caption();
    return;
  }
  load(count() - 1);
  focus_field(0);
}

void Browser::pack_or_clear(bool pack) {
  if (flags_ & kBrowseNoDeleting) return;
  if (MessageBoxA(dialog_, "请问确定要进行此项操作吗？", "询问", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  if (pack && !save()) return;
  int32_t rc = pack ? db_.pack() : db_.clear();
  loaded_ = false;
  bytes_changed_ = false;
  display();
  load(0);
  if (rc) {
    status_ = error_text(rc);
    update_caption();
  }
}

// ---- The go-to dialog -------------------------------------------------------------------------

struct GoToState {
  std::string prompt, initial, entered;
};

INT_PTR CALLBACK go_to_procedure(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  auto* s = reinterpret_cast<GoToState*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (msg == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lp);
    s = reinterpret_cast<GoToState*>(lp);
    SetDlgItemTextA(dialog, 100, s->initial.c_str());
    SendDlgItemMessageA(dialog, 100, EM_SETSEL, 0, -1);
    SetFocus(GetDlgItem(dialog, 100));
    return FALSE;
  }
  if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
    char text[32] = {};
    GetDlgItemTextA(dialog, 100, text, sizeof text);
    s->entered = text;
    EndDialog(dialog, LOWORD(wp));
    return TRUE;
  }
  return FALSE;
}

void Browser::go_to_asked() {
  GoToState s{runtime::crt_format("请指定欲跳转到的记录号（1 - %d）：", count()),
              std::to_string(loaded_ ? record_ + 1 : 1), {}};
  framework::DialogTemplate t("跳到指定记录", 0, 0, 200, 62);
  t.add(framework::DialogTemplate::kStatic, s.prompt, 101, 7, 7, 186, 12);
  t.add(framework::DialogTemplate::kEdit, "", 100, 7, 22, 186, 13, WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL | ES_NUMBER);
  t.add(framework::DialogTemplate::kButton, "确认(&O)", IDOK, 88, 42, 50, 14, WS_TABSTOP | BS_DEFPUSHBUTTON);
  t.add(framework::DialogTemplate::kButton, "取消(&C)", IDCANCEL, 143, 42, 50, 14, WS_TABSTOP);
  if (t.run(dialog_, go_to_procedure, reinterpret_cast<LPARAM>(&s)) != IDOK) return;
  int n = std::atoi(s.entered.c_str());
  move_to((n < 1 ? 1 : n) - 1);
}

// ---- Fields and focus -------------------------------------------------------------------------

int Browser::focused_field() const {
  HWND f = GetFocus();
  for (int i = 0; i < field_count(); ++i)
    if (controls_[static_cast<size_t>(i)] == f) return i;
  return -1;
}

void Browser::focus_field(int i) {
  if (i < 0 || i >= field_count() || !loaded_) return;
  HWND c = controls_[static_cast<size_t>(i)];
  // Scroll the panel so that the row shows.
  int top = i * kRowHeight - scroll_;
  int delta = top < 0 ? top : top + kRowHeight > panel_height_ ? top + kRowHeight - panel_height_ : 0;
  if (delta) SendMessageA(panel_, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, scroll_ + delta), 0);
  SetFocus(c);
  if (GetWindowLongA(c, GWL_STYLE) & ES_AUTOHSCROLL) SendMessageA(c, EM_SETSEL, 0, -1);
}

void Browser::next_field(bool wrap_to_next_record, bool enter) {
  int i = focused_field();
  if (i < field_count() - 1) return focus_field(i + 1);
  if (!wrap_to_next_record) return focus_field(0);
  if (loaded_ && record_ + 1 < count()) {
    load(record_ + 1);
    return focus_field(0);
  }
  if (!enter || (flags_ & kBrowseNoAdding)) return;
  if (ask_before_adding_) {
    if (MessageBoxA(dialog_, "请问是否要增加新的空记录？", "询问", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
      return;
    ask_before_adding_ = false;
  }
  add_blank();
}

void Browser::previous_field(bool wrap_to_previous_record) {
  int i = focused_field();
  if (i > 0) return focus_field(i - 1);
  if (!wrap_to_previous_record) return focus_field(field_count() - 1);
  if (loaded_ && record_ > 0) {
    load(record_ - 1);
    focus_field(field_count() - 1);
  }
}

void Browser::open_editor(int i) {
  if (!loaded_) return;
  bool memo = descriptor(i).type == kMemo;
  bool view = (flags_ & (kBrowseViewOnly | kBrowseEditorViews)) != 0;
  std::string& value = values_[static_cast<size_t>(i)];
  std::string edited = value;
  if (edit_field_value(dialog_, memo, view, edited, hooks_) && edited != value) {
    value = edited;
    value_changed_[static_cast<size_t>(i)] = true;
  }
}

// ---- Commands and keys ------------------------------------------------------------------------

void Browser::command(int id) {
  const int32_t c = count();
  switch (id) {
    case kFirstRecord: return move_to(0);
    case kLastRecord: return move_to(c - 1);
    case kPreviousRecord: return move_to(record_ - 1);
    case kNextRecord: return move_to(record_ + 1);
    case kPageBack:
      if (record_ <= 0) return focus_field(0);
      return move_to(std::max(record_ - 10, 0));
    case kPageForward:
      if (record_ >= c - 1) return focus_field(field_count() - 1);
      return move_to(std::min(record_ + 10, c - 1));
    case kGoTo: return go_to_asked();
    case kFirstField: return focus_field(0);
    case kLastField: return focus_field(field_count() - 1);
    case kPreviousField: return previous_field(false);
    case kNextField: return next_field(false, false);
    case kUpRow: return previous_field(true);
    case kDownRow: return next_field(true, false);
    case kAddBlank: return add_blank();
    case kToggleDeleted:
      if ((flags_ & kBrowseNoDeleting) || !loaded_) return;
      {
        int32_t status = -read_as<int32_t>(bytes_, 0);
        std::memcpy(bytes_.data(), &status, 4);
        bytes_changed_ = true;
      }
      return update_caption();
    case kPack: return pack_or_clear(true);
    case kClear: return pack_or_clear(false);
  }
}

// Keys anywhere in the dialog; true when one was an action.
bool Browser::handle_key(const MSG& m) {
  if (m.message != WM_KEYDOWN) return false;
  const bool ctrl = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0;
  const int field = focused_field();
  switch (m.wParam) {
    case VK_TAB: command(shift ? kPreviousField : kNextField); return true;
    case VK_RETURN:
      if (field >= 0 && chained_type(descriptor(field).type)) open_editor(field);  // its button
      else next_field(true, true);
      return true;
    case VK_DOWN: command(ctrl ? kNextRecord : kDownRow); return true;
    case VK_UP: command(ctrl ? kPreviousRecord : kUpRow); return true;
    case VK_PRIOR: command(ctrl ? kFirstRecord : kPageBack); return true;
    case VK_NEXT: command(ctrl ? kLastRecord : kPageForward); return true;
    case VK_HOME: if (!ctrl) return false; command(kFirstField); return true;
    case VK_END: if (!ctrl) return false; command(kLastField); return true;
    case VK_LEFT: case VK_RIGHT: {
      if (field < 0 || descriptor(field).type == kBool || chained_type(descriptor(field).type)) return false;
      DWORD start = 0, end = 0;
      HWND c = controls_[static_cast<size_t>(field)];
      SendMessageA(c, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
      if (start != end) return false;
      if (m.wParam == VK_LEFT && start == 0) command(kUpRow);
      else if (m.wParam == VK_RIGHT && static_cast<int>(end) == GetWindowTextLengthA(c)) command(kDownRow);
      else return false;
      return true;
    }
    case 'N': if (!ctrl) return false; command(kAddBlank); return true;
    case 'D': if (!ctrl) return false; command(kToggleDeleted); return true;
    case 'G': if (!ctrl) return false; command(kGoTo); return true;
  }
  return false;
}

// ---- Window ---------------------------------------------------------------------------------

HMENU Browser::build_menu() const {
  HMENU bar = CreateMenu();
  auto add = [&](const char* title, const MenuItem* items, size_t n) {
    HMENU pop = CreatePopupMenu();
    for (size_t k = 0; k < n; ++k) {
      if (!items[k].command) {
        AppendMenuA(pop, MF_SEPARATOR, 0, nullptr);
        continue;
      }
      UINT state = MF_STRING;
      int id = items[k].command;
      if (id == kAddBlank && (flags_ & kBrowseNoAdding)) state |= MF_GRAYED;
      if ((id == kToggleDeleted || id == kPack || id == kClear) && (flags_ & kBrowseNoDeleting)) state |= MF_GRAYED;
      AppendMenuA(pop, state, static_cast<UINT_PTR>(id), items[k].text);
    }
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(pop), title);
  };
  add("&R.记录", kRecordMenu, std::size(kRecordMenu));
  add("&F.字段", kFieldMenu, std::size(kFieldMenu));
  add("&D.增删", kChangeMenu, std::size(kChangeMenu));
  return bar;
}

LRESULT CALLBACK Browser::panel_procedure(HWND panel, UINT msg, WPARAM wp, LPARAM lp) {
  auto* b = reinterpret_cast<Browser*>(GetWindowLongPtrA(panel, GWLP_USERDATA));
  switch (msg) {
    case WM_COMMAND:  // the controls' notifications go on to the dialog
      return SendMessageA(GetParent(panel), msg, wp, lp);
    case WM_VSCROLL: {
      if (!b) break;
      int total = b->field_count() * kRowHeight, page = b->panel_height_;
      int pos = b->scroll_;
      switch (LOWORD(wp)) {
        case SB_LINEUP: pos -= kRowHeight; break;
        case SB_LINEDOWN: pos += kRowHeight; break;
        case SB_PAGEUP: pos -= page; break;
        case SB_PAGEDOWN: pos += page; break;
        case SB_THUMBTRACK: case SB_THUMBPOSITION: pos = static_cast<short>(HIWORD(wp)); break;
      }
      pos = std::clamp(pos, 0, std::max(0, total - page));
      if (pos != b->scroll_) {
        ScrollWindowEx(panel, 0, b->scroll_ - pos, nullptr, nullptr, nullptr, nullptr, SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
        b->scroll_ = pos;
        SetScrollPos(panel, SB_VERT, pos, TRUE);
      }
      return 0;
    }
  }
  return DefWindowProcA(panel, msg, wp, lp);
}

void Browser::create_controls() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = panel_procedure;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kPanelClass;
  RegisterClassA(&wc);  // a second registration fails harmlessly

  const int rows = std::max(1, std::min(field_count(), kVisibleRows));
  const bool scrolls = field_count() > kVisibleRows;
  const int width = kLabelWidth + kControlWidth + 24 + (scrolls ? GetSystemMetrics(SM_CXVSCROLL) : 0);
  panel_height_ = rows * kRowHeight + 8;
  panel_ = CreateWindowExA(0, kPanelClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | (scrolls ? WS_VSCROLL : 0),
                           0, 0, width, panel_height_, dialog_, nullptr, GetModuleHandleA(nullptr), nullptr);
  SetWindowLongPtrA(panel_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  if (scrolls) {
    SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, field_count() * kRowHeight - 1,
                  static_cast<UINT>(panel_height_), 0, 0};
    SetScrollInfo(panel_, SB_VERT, &si, TRUE);
  }
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog_, WM_GETFONT, 0, 0));
  for (int i = 0; i < field_count(); ++i) {
    const FieldDescriptor& d = descriptor(i);
    int y = 4 + i * kRowHeight;
    HWND label = CreateWindowExA(0, "STATIC", db_.field_name(fields_[static_cast<size_t>(i)]).c_str(),
                                 WS_CHILD | WS_VISIBLE | SS_RIGHT | SS_CENTERIMAGE, 8, y, kLabelWidth - 8,
                                 kRowHeight - 4, panel_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(3000 + i)), nullptr, nullptr);
    HWND c;
    HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + i));
    if (d.type == kBool) {
      c = CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
                          kLabelWidth + 8, y, kControlWidth, kRowHeight - 4, panel_, id, nullptr, nullptr);
    } else if (chained_type(d.type)) {
      c = CreateWindowExA(0, "BUTTON", d.type == kMemo ? "编辑备注..." : "编辑字节集...",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kLabelWidth + 8, y, 120,
                          kRowHeight - 4, panel_, id, nullptr, nullptr);
    } else {
      DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | (flags_ & kBrowseViewOnly ? ES_READONLY : 0);
      c = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", style, kLabelWidth + 8, y, kControlWidth,
                          kRowHeight - 4, panel_, id, nullptr, nullptr);
      if (d.type == kText) SendMessageA(c, EM_LIMITTEXT, static_cast<WPARAM>(d.text_size), 0);
    }
    for (HWND w : {label, c}) SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    controls_.push_back(c);
  }
  // The dialog's client area takes the panel's size.
  RECT r{0, 0, width, panel_height_};
  AdjustWindowRectEx(&r, GetWindowLongA(dialog_, GWL_STYLE), TRUE, GetWindowLongA(dialog_, GWL_EXSTYLE));
  SetWindowPos(dialog_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
}

INT_PTR CALLBACK Browser::procedure(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  auto* b = reinterpret_cast<Browser*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lp);
      b = reinterpret_cast<Browser*>(lp);
      b->dialog_ = dialog;
      SetMenu(dialog, b->build_menu());
      b->create_controls();
      b->display();
      b->load(0);
      b->focus_field(0);
      return FALSE;
    case WM_COMMAND: {
      int id = LOWORD(wp);
      if (id >= kFirstControlId && id < kFirstControlId + b->field_count()) {
        int i = id - kFirstControlId;
        if (HIWORD(wp) == EN_CHANGE) b->on_edit(i);
        else if (HIWORD(wp) == BN_CLICKED && chained_type(b->descriptor(i).type)) b->open_editor(i);
        else if (HIWORD(wp) == BN_CLICKED) b->on_edit(i);
        return TRUE;
      }
      if (id == IDCANCEL) {
        if (!b->save()) { /* shown; the dialog still closes */ }
        b->done_ = true;
        return TRUE;
      }
      b->command(id);
      return TRUE;
    }
    case WM_CLOSE:
      b->save();
      b->done_ = true;
      return TRUE;
  }
  return FALSE;
}

void Browser::run() {
  HWND owner = GetActiveWindow();
  framework::DialogTemplate t(title_, 0, 0, 240, 120, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER);
  HWND dialog = t.create(owner, procedure, reinterpret_cast<LPARAM>(this));
  if (!dialog) return;
  if (owner) EnableWindow(owner, FALSE);
  ShowWindow(dialog, SW_SHOW);
  SetForegroundWindow(dialog);
  MSG m;
  while (!done_) {
    BOOL got = GetMessageA(&m, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(m.wParam));  // for the loop outside
      break;
    }
    bool ours = m.hwnd == dialog || IsChild(dialog, m.hwnd);
    if (ours && handle_key(m)) continue;
    if (ours && (m.message == WM_KEYDOWN || m.message == WM_CHAR) &&
        (m.wParam == VK_TAB || m.wParam == VK_RETURN || m.wParam == '\t' || m.wParam == '\r'))
      continue;  // handled above or not for the dialog manager
    if (!IsDialogMessageA(dialog, &m)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
  }
  if (owner) EnableWindow(owner, TRUE);
  DestroyWindow(dialog);
  if (owner) SetActiveWindow(owner);
}

}  // namespace

void browse_records(Database& db, const std::string& title, int32_t flags,
                    const std::vector<int32_t>& fields, const BrowseHooks& hooks) {
  Browser(db, title, flags, fields, hooks).run();
  db.set_current(0);
}

}  // namespace database
