// The window unit: creation from its data, frame kinds and start states, its 32 properties,
// events 0-11, the keyboard behaviour and common events of all units, close, idle and the
// notification-area icon.
#include <windows.h>
#include <shellapi.h>
#include <algorithm>
#include <cstring>
#include <vector>
#include "runtime/runtime.h"
#include "units/core_units.h"
#include "units/events.h"
#include "units/framework.h"
#include "units/menus.h"
#include "units/window_shapes.h"
#include "units/window_state.h"
#include "runtime/notify.h"
#include "units/window_unit.h"

namespace units {

namespace {

// Property indices of this unit type (property number - 8).
enum Property : int {
  kTitle = 0, kBorder = 1, kBackColour = 2, kPicture = 3, kPictureMode = 4, kMusic = 5,
  kMusicMode = 6, kControlBox = 7, kMaxBox = 8, kMinBox = 9, kState = 10, kCloseButton = 11,
  kIcon = 12, kEnterMoves = 13, kEscapeCloses = 14, kF1Help = 15, kHelpFile = 16,
  kHelpContext = 17, kOwnTaskbar = 18, kDragMove = 19, kShape = 20, kTopmost = 21, kSetting = 22,
  kClassName = 23
};

constexpr char kDefaultClass[] = "KelWindow";
constexpr uint32_t kDefaultColour = 0xFF000000;
constexpr int32_t kMaxVersion = 6;

uint32_t key_state() {
  return (GetKeyState(VK_CONTROL) < 0 ? 1u : 0u) | (GetKeyState(VK_SHIFT) < 0 ? 2u : 0u) |
         (GetKeyState(VK_MENU) < 0 ? 4u : 0u);
}

// Virtual-key code with the numeric keypad folded onto the main keys.
uint32_t fold_key(uint32_t vk) {
  if (vk >= 0x60 && vk <= 0x69) return vk - 0x60 + 0x30;
  if (vk == 0x6D) return 189;
  if (vk == 0x6E) return 190;
  if (vk == 0x6F) return 191;
  return vk;
}

bool is_key(UINT m) { return m >= WM_KEYFIRST && m <= WM_KEYLAST; }

uint32_t type_flags_of(const Entry& e) {
  const UnitTypeEntry* t = find_type(e.type);
  return t ? t->flags : 0;
}

}  // namespace

// ---- data ----

bool WindowUnit::load(DataReader& d) {
  if (d.empty()) return true;
  uint32_t version = 0;
  if (!d.u32(version) || version > kMaxVersion) return false;
  uint32_t v;
  auto flag = [&](bool& b) { if (d.u32(v)) b = v != 0; };
  d.i32(border_);
  d.i32(picture_mode_);
  d.u32(back_colour_);
  flag(max_box_);
  flag(min_box_);
  flag(control_box_);
  d.i32(state_);
  flag(close_button_);
  d.i32(music_mode_);
  flag(enter_moves_);
  flag(escape_closes_);
  flag(f1_help_);
  d.i32(help_context_);
  if (version >= 2) flag(own_taskbar_);
  if (version >= 3) {
    flag(drag_move_);
    d.i32(shape_);
  }
  if (version >= 4) flag(topmost_);
  if (version >= 5) d.i32(setting_);
  if (version >= 6) d.bytes(class_name_);
  d.bytes(picture_);
  d.bytes(icon_);
  d.bytes(music_);
  d.bytes(title_);
  d.bytes(help_file_);
  border_ = std::clamp(border_, 0, 6);
  picture_mode_ = std::clamp(picture_mode_, 0, 3);
  state_ = std::clamp(state_, 0, 3);
  music_mode_ = std::clamp(music_mode_, 0, 2);
  shape_ = std::clamp(shape_, 0, 29);
  return true;
}

std::string WindowUnit::save() const {
  DataWriter w;
  w.u32(kMaxVersion);
  for (int32_t v : {border_, picture_mode_, static_cast<int32_t>(back_colour_),
                    int32_t(max_box_), int32_t(min_box_), int32_t(control_box_), state_,
                    int32_t(close_button_), music_mode_, int32_t(enter_moves_),
                    int32_t(escape_closes_), int32_t(f1_help_), help_context_,
                    int32_t(own_taskbar_), int32_t(drag_move_), shape_, int32_t(topmost_),
                    setting_})
    w.i32(v);
  w.bytes(class_name_);
  w.bytes(picture_);
  w.bytes(icon_);
  w.bytes(music_);
  w.bytes(title_);
  w.bytes(help_file_);
  return w.data();
}

std::string WindowUnit::icon_of(const uint8_t* data, uint32_t length) {
  WindowUnit probe;
  DataReader d(data, length);
  if (!probe.load(d) || !d.ok()) return {};
  return probe.icon_;
}

// ---- creation ----

DWORD WindowUnit::frame_style(DWORD& ex) const {
  bool caption = border_ != 0 && (!title_.empty() || control_box_);
  bool sizable = border_ == 1 || border_ == 3 || border_ == 5;
  DWORD style = 0;
  if (border_ == 3 || border_ == 4) ex |= WS_EX_TOOLWINDOW;
  if (border_ == 5 || border_ == 6) ex |= WS_EX_CLIENTEDGE;
  if (border_ != 0) {
    style |= sizable ? WS_THICKFRAME : WS_BORDER;
    if (caption) style |= WS_CAPTION;
    if (top_level_ && !sizable) ex |= WS_EX_DLGMODALFRAME;
  }
  if (caption && control_box_) style |= WS_SYSMENU;
  if (max_box_) style |= WS_MAXIMIZEBOX;
  if (min_box_) style |= WS_MINIMIZEBOX;
  return style;
}

bool WindowUnit::create_window(const CreateArgs& a) {
  runtime::Runtime& r = runtime::rt();
  top_level_ = true;
  modal_ = loading_modal();
  HWND owner = a.parent;
  if (!owner && r.hidden_window && (modal_ || !own_taskbar_)) owner = r.hidden_window;
  DWORD ex = 0;
  DWORD style = (a.style & ~WS_VISIBLE) | WS_CLIPCHILDREN | WS_POPUP | frame_style(ex);
  int x = a.left, y = a.top, w = a.width, h = a.height;
  if (state_ == 1) {
    x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  }
  const char* cls = class_name_.empty() ? kDefaultClass : class_name_.c_str();
  framework::Window::register_class(cls, LoadCursor(nullptr, IDC_ARROW), nullptr,
                                    CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS);
  if (!create(cls, title_.c_str(), style, ex, x, y, w, h, owner, a.menu)) return false;
  RECT rc;
  GetWindowRect(handle(), &rc);
  if (rc.right - rc.left != w || rc.bottom - rc.top != h)
    SetWindowPos(handle(), nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  apply_icons();
  apply_shape();
  SendMessageA(handle(), WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  if (topmost_)
    SetWindowPos(handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (!close_button_) DeleteMenu(GetSystemMenu(handle(), FALSE), SC_CLOSE, MF_BYCOMMAND);
  if (music_mode_ != 2) play_music();
  return true;
}

void WindowUnit::apply_shape() {
  RECT r;
  GetWindowRect(handle(), &r);
  framework::Region region(shape_region(shape_, r.right - r.left, r.bottom - r.top));
  SetWindowRgn(handle(), region.release(), TRUE);  // the window owns the region from here on
}

// Background music through the runtime's sound playback (mode 0 repeats, 1 plays once).
void WindowUnit::play_music() {
  if (music_.empty()) return;
  runtime::SoundRequest request{reinterpret_cast<const uint8_t*>(music_.data()),
                                static_cast<uint32_t>(music_.size()), music_mode_ == 0 ? 1u : 0u};
  runtime::notify(2015, reinterpret_cast<uint32_t>(&request), 0);
}

void WindowUnit::refresh_frame() {
  DWORD ex = GetWindowLongA(handle(), GWL_EXSTYLE) &
             ~(WS_EX_TOOLWINDOW | WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME);
  DWORD style = GetWindowLongA(handle(), GWL_STYLE) &
                ~(WS_THICKFRAME | WS_BORDER | WS_CAPTION | WS_SYSMENU | WS_MAXIMIZEBOX |
                  WS_MINIMIZEBOX);
  style |= frame_style(ex);
  SetWindowLongA(handle(), GWL_STYLE, style);
  SetWindowLongA(handle(), GWL_EXSTYLE, ex);
  SetWindowPos(handle(), nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void WindowUnit::apply_icons() {
  if (!icon_.empty()) {
    large_icon_.reset(read_icon(icon_, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)));
    small_icon_.reset(read_icon(icon_, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)));
  } else {
    large_icon_.reset();
    small_icon_.reset();
  }
  runtime::Runtime& r = runtime::rt();
  HICON big = large_icon_.icon ? large_icon_.icon : r.icons[0];
  HICON small = small_icon_.icon ? small_icon_.icon : r.icons[1];
  SendMessageA(handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  SendMessageA(handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

// ---- showing and state ----

void WindowUnit::centre() {
  RECT rc;
  GetWindowRect(handle(), &rc);
  int w = rc.right - rc.left, h = rc.bottom - rc.top;
  SetWindowPos(handle(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void WindowUnit::show_window() {
  int how = SW_SHOW;
  if (first_show_) {
    first_show_ = false;
    if (state_ == 2) how = SW_SHOWMINIMIZED;
    else if (state_ == 3 && (GetWindowLongA(handle(), GWL_STYLE) & WS_THICKFRAME)) how = SW_SHOWMAXIMIZED;
  }
  ShowWindow(handle(), how);
}

void WindowUnit::apply_state(int state) {
  state_ = state;
  if (!IsWindowVisible(handle())) return;  // only stored while hidden
  switch (state) {
    case 0: ShowWindow(handle(), SW_RESTORE); break;
    case 1: ShowWindow(handle(), SW_RESTORE); centre(); break;
    case 2: ShowWindow(handle(), SW_MINIMIZE); break;
    case 3: ShowWindow(handle(), SW_MAXIMIZE); break;
  }
}

// ---- properties (index = number - 8) ----

int WindowUnit::set_property(int index, const PropData& v) {
  auto on = [&] { return v.word != 0; };
  switch (index) {
    case kTitle: title_ = text_in(v); SetWindowTextA(handle(), title_.c_str()); refresh_frame(); break;
    case kBorder: border_ = clamp_pick(v, 6); refresh_frame(); break;
    case kBackColour: back_colour_ = v.word; InvalidateRect(handle(), nullptr, TRUE); break;
    case kPicture:
      picture_ = text_in(v);
      picture_view_.reset();
      picture_loaded_ = false;
      InvalidateRect(handle(), nullptr, TRUE);
      break;
    case kPictureMode: picture_mode_ = clamp_pick(v, 3); if (!picture_.empty()) InvalidateRect(handle(), nullptr, TRUE); break;
    case kMusic:
      runtime::notify(2016, 0, 0);
      music_ = text_in(v);
      if (music_mode_ != 2) play_music();
      break;
    case kMusicMode: music_mode_ = clamp_pick(v, 2); break;
    case kControlBox: control_box_ = on(); refresh_frame(); break;
    case kMaxBox: max_box_ = on(); refresh_frame(); break;
    case kMinBox: min_box_ = on(); refresh_frame(); break;
    case kState: apply_state(clamp_pick(v, 3)); break;
    case kCloseButton:
      close_button_ = on();
      if (close_button_) GetSystemMenu(handle(), TRUE);
      else DeleteMenu(GetSystemMenu(handle(), FALSE), SC_CLOSE, MF_BYCOMMAND);
      break;
    case kIcon: icon_ = text_in(v); apply_icons(); break;
    case kEnterMoves: enter_moves_ = on(); break;
    case kEscapeCloses: escape_closes_ = on(); break;
    case kF1Help: f1_help_ = on(); break;
    case kHelpFile: help_file_ = text_in(v); break;
    case kHelpContext: help_context_ = int_in(v); break;
    case kOwnTaskbar: own_taskbar_ = on(); break;
    case kDragMove: drag_move_ = on(); break;
    case kShape: shape_ = clamp_pick(v, kShapeCount - 1); apply_shape(); break;
    case kTopmost:
      topmost_ = on();
      SetWindowPos(handle(), topmost_ ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      if (!topmost_) {
        // Windows owned by the hidden window may lose their own topmost state with it.
        for (WindowTemplate* t : runtime::rt().templates) {
          WindowUnit* other = t ? live_window(*t) : nullptr;
          if (other && other != this && other->topmost_ && !other->own_taskbar_)
            SetWindowPos(other->handle(), HWND_TOPMOST, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
      }
      break;
    case kSetting: setting_ = static_cast<int32_t>(v.word); break;
    case kClassName: class_name_ = text_in(v); break;
    default: break;
  }
  return 0;
}

bool WindowUnit::get_property(int index, PropData& out) {
  switch (index) {
    case kTitle: out = text_out(title_); return true;
    case kBorder: out = int_out(border_); return true;
    case kBackColour: out = int_out(static_cast<int32_t>(back_colour_)); return true;
    case kPicture: out = bytes_out(picture_); return true;
    case kPictureMode: out = int_out(picture_mode_); return true;
    case kMusic: out = bytes_out(music_); return true;
    case kMusicMode: out = int_out(music_mode_); return true;
    case kControlBox: out = int_out(control_box_); return true;
    case kMaxBox: out = int_out(max_box_); return true;
    case kMinBox: out = int_out(min_box_); return true;
    case kState: out = int_out(IsIconic(handle()) ? 2 : IsZoomed(handle()) ? 3 : 0); return true;
    case kCloseButton: out = int_out(close_button_); return true;
    case kIcon: out = bytes_out(icon_); return true;
    case kEnterMoves: out = int_out(enter_moves_); return true;
    case kEscapeCloses: out = int_out(escape_closes_); return true;
    case kF1Help: out = int_out(f1_help_); return true;
    case kHelpFile: out = text_out(help_file_); return true;
    case kHelpContext: out = int_out(help_context_); return true;
    case kOwnTaskbar: out = int_out(own_taskbar_); return true;
    case kDragMove: out = int_out(drag_move_); return true;
    case kShape: out = int_out(shape_); return true;
    case kTopmost: out = int_out(topmost_); return true;
    case kSetting: out = int_out(setting_); return true;
    case kClassName: out = text_out(class_name_); return true;
    default: return false;
  }
}

void WindowUnit::convert_texts(TextRoutine routine, void* user) {
  convert_one(routine, user, title_, false);
  convert_one(routine, user, help_file_, false);
  convert_one(routine, user, class_name_, false);
}

// ---- close, idle, tray ----

std::string tray_tip(const char* tip) {
  size_t n = strnlen(tip, kTrayTipBytes);
  for (size_t i = 0; i < n;) {
    if (static_cast<unsigned char>(tip[i]) < 0x81) {
      ++i;
    } else if (i + 1 >= n) {
      n = i;  // the cut would split this character
    } else {
      i += 2;
    }
  }
  return std::string(tip, n);
}

void WindowUnit::close() {
  HWND self = handle();
  EventRecord r = raise(1);
  if (IsWindow(self) && top_level_ && r.has_result && r.result == 0) return;
  if (!IsWindow(self)) return;
  DestroyWindow(self);
}

bool WindowUnit::idle(DWORD elapsed_ms) {
  EventRecord r = raise(7, {elapsed_ms});
  return r.has_result && r.result != 0;
}

void WindowUnit::set_tray_icon(HICON icon, const char* tip) {
  NOTIFYICONDATAA nid{};
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = handle();
  nid.uID = kTrayIconNumber;
  nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  nid.uCallbackMessage = kTrayMessage;
  nid.hIcon = icon;
  if (tip) {
    std::string t = tray_tip(tip);
    std::memcpy(nid.szTip, t.c_str(), t.size() + 1);
  }
  if (!tray_added_) {
    if (!icon) return;
    tray_added_ = Shell_NotifyIconA(NIM_ADD, &nid) != 0;
  } else if (icon) {
    Shell_NotifyIconA(NIM_MODIFY, &nid);
  } else {
    Shell_NotifyIconA(NIM_DELETE, &nid);
    tray_added_ = false;
  }
  tray_icon_.reset(icon);
}

// ---- keyboard and common events ----

// Interface operations of an entry's type on its live object.
static bool entry_wants_key(const Entry& e, MSG& m) {
  auto op = reinterpret_cast<WantsKeyOp>(type_operation(find_type(e.type), kWantsKey));
  return op && units::live_object(e) && op(e.live_object, &m) == 1;
}

static bool entry_acts_on_enter(const Entry& e) {
  auto op = reinterpret_cast<OnEnterOp>(type_operation(find_type(e.type), kActsOnEnter));
  return op && units::live_object(e) && op(e.live_object) != 0;
}

void WindowUnit::raise_for(uint32_t unit_id, int event) {
  EventRecord r{};
  r.window_id = window_id();
  r.unit_id = unit_id;
  r.event = event;
  raise_event(r);
}

void WindowUnit::focus_next(HWND from, bool backwards) {
  WindowTemplate* w = find_window(window_id());
  if (!w) return;
  struct Stop { uint32_t order; size_t index; HWND h; };
  std::vector<Stop> stops;
  for (size_t i = 1; i < w->entries.size(); ++i) {
    const Entry& e = w->entries[i];
    HWND h = live_handle(e);
    if (!h || (type_flags_of(e) & (kFunctionUnit | kNoFocus))) continue;
    if (!IsWindowVisible(h) || !IsWindowEnabled(h)) continue;
    if (h != from && !(GetWindowLongA(h, GWL_STYLE) & WS_TABSTOP)) continue;
    stops.push_back({e.tab_order, i, h});
  }
  if (stops.empty()) return;
  std::stable_sort(stops.begin(), stops.end(), [](const Stop& a, const Stop& b) {
    return a.order != b.order ? a.order < b.order : a.index < b.index;
  });
  size_t n = stops.size(), at = n;
  for (size_t i = 0; i < n; ++i)
    if (from && stops[i].h == from) at = i;
  size_t next = at == n ? (backwards ? n - 1 : 0) : (backwards ? (at + n - 1) % n : (at + 1) % n);
  for (size_t k = 0; k < n; ++k) {
    HWND h = stops[(next + (backwards ? n - k : k)) % n].h;
    if (GetWindowLongA(h, GWL_STYLE) & WS_TABSTOP) {
      SetFocus(h);
      return;
    }
  }
}

bool WindowUnit::handle_key(MSG& m) {
  if (m.message != WM_KEYDOWN && m.message != WM_SYSKEYDOWN && m.message != WM_SYSCHAR)
    return false;
  WindowTemplate* w = find_window(window_id());
  if (!w) return false;
  Entry* focused = entry_for_handle(*w, GetFocus());
  if (focused == &w->entries[0]) focused = nullptr;
  if (focused && entry_wants_key(*focused, m)) return false;
  HWND focused_handle = focused ? live_handle(*focused) : nullptr;
  if (m.message == WM_KEYDOWN) {
    switch (m.wParam) {
      case VK_TAB:
        if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
        focus_next(focused_handle, GetKeyState(VK_SHIFT) < 0);
        return true;
      case VK_RETURN: {
        if (focused && entry_acts_on_enter(*focused)) {
          raise_for(focused->id, 0);
          return true;
        }
        if (enter_moves_) {
          focus_next(focused_handle, false);
          return true;
        }
        for (size_t i = 1; i < w->entries.size(); ++i) {
          const Entry& e = w->entries[i];
          HWND h = live_handle(e);
          if (h && IsWindowEnabled(h) && entry_acts_on_enter(e)) {
            raise_for(e.id, 0);
            return true;
          }
        }
        return false;
      }
      case VK_ESCAPE:
        if (!escape_closes_) return false;
        SendMessageA(handle(), WM_CLOSE, 0, 0);
        return true;
      case VK_F1: {
        if (!f1_help_) return false;
        std::string file = help_file_;
        if (file.empty()) {
          std::string name = runtime::rt().program_file;
          file = runtime::rt().program_dir + "\\" + name.substr(0, name.rfind('.')) + ".hlp";
        }
        help_open_ = WinHelpA(handle(), file.c_str(), help_context_ ? HELP_CONTEXT : HELP_CONTENTS,
                              static_cast<ULONG_PTR>(help_context_)) != 0;
        return true;
      }
      case VK_LEFT: case VK_UP: case VK_RIGHT: case VK_DOWN: {
        if (!focused || !(type_flags_of(*focused) & kRadioBehaviour)) return false;
        bool back = m.wParam == VK_LEFT || m.wParam == VK_UP;
        std::vector<std::pair<uint32_t, HWND>> radios;
        for (size_t i = 1; i < w->entries.size(); ++i) {
          HWND h = live_handle(w->entries[i]);
          if (h && (type_flags_of(w->entries[i]) & kRadioBehaviour) && IsWindowVisible(h) &&
              IsWindowEnabled(h))
            radios.push_back({w->entries[i].tab_order, h});
        }
        std::stable_sort(radios.begin(), radios.end(),
                         [](auto& a, auto& b) { return a.first < b.first; });
        for (size_t i = 0; i < radios.size(); ++i)
          if (radios[i].second == focused_handle) {
            size_t j = back ? (i + radios.size() - 1) % radios.size() : (i + 1) % radios.size();
            SetFocus(radios[j].second);
            return true;
          }
        return false;
      }
      default:
        return false;
    }
  }
  // Alt + letter or digit: the first visible, enabled unit whose caption holds "&" + key.
  if (m.message == WM_SYSKEYDOWN && GetKeyState(VK_MENU) >= 0) return false;
  UINT ch = m.message == WM_SYSCHAR ? static_cast<UINT>(m.wParam)
                                    : MapVirtualKeyA(static_cast<UINT>(m.wParam), MAPVK_VK_TO_CHAR);
  ch = static_cast<UINT>(toupper(static_cast<int>(ch & 0xFF)));
  if (!((ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9'))) return false;
  constexpr uint32_t kMnemonic = kRadioBehaviour | kPushBehaviour | kCheckBehaviour |
                                 kLabelBehaviour | kGroupBehaviour;
  for (size_t i = 1; i < w->entries.size(); ++i) {
    const Entry& e = w->entries[i];
    uint32_t flags = type_flags_of(e);
    HWND h = live_handle(e);
    if (!h || !(flags & kMnemonic) || !IsWindowVisible(h) || !IsWindowEnabled(h)) continue;
    char caption[512];
    GetWindowTextA(h, caption, sizeof caption);
    bool match = false;
    for (const char* p = caption; *p && p[1]; ++p) {
      if (*p == '&' && static_cast<UINT>(toupper(static_cast<unsigned char>(p[1]))) == ch) {
        match = true;
        break;
      }
      if (static_cast<unsigned char>(*p) >= 0x81) ++p;  // the trail byte of a GBK character
    }
    if (!match) continue;
    // Acted on at the key press (consumed, it makes no character message); a character
    // message that still comes is swallowed.
    if (m.message == WM_SYSCHAR) return true;
    if (flags & (kPushBehaviour | kCheckBehaviour | kRadioBehaviour)) {
      SetFocus(h);
      SendMessageA(h, BM_CLICK, 0, 0);
    } else if (flags & kGroupBehaviour) {
      focus_next(nullptr, false);
    } else {
      focus_next(h, false);
    }
    return true;
  }
  return false;
}

bool WindowUnit::common_event(MSG& m, uint32_t unit_id) {
  int event = 0;
  EventRecord r{};
  r.window_id = window_id();
  r.unit_id = unit_id;
  auto args = [&](std::initializer_list<uint32_t> a) {
    for (uint32_t x : a) r.args[r.argc++] = x;
  };
  uint32_t ks = key_state();
  switch (m.message) {
    case WM_LBUTTONDOWN: event = -1; break;
    case WM_LBUTTONUP: event = -2; break;
    case WM_LBUTTONDBLCLK: event = -3; break;
    case WM_RBUTTONDOWN: event = -4; break;
    case WM_RBUTTONUP: event = -5; break;
    case WM_MOUSEMOVE: event = -6; break;
    case WM_KEYDOWN: case WM_SYSKEYDOWN: event = -9; break;
    case WM_KEYUP: case WM_SYSKEYUP: event = -10; break;
    case WM_CHAR: event = -11; break;
    case WM_MOUSEWHEEL: event = -12; break;
    default: return false;
  }
  if (event >= -6) {
    args({static_cast<uint32_t>(static_cast<int16_t>(LOWORD(m.lParam))),
          static_cast<uint32_t>(static_cast<int16_t>(HIWORD(m.lParam))), ks});
  } else if (event == -9 || event == -10) {
    uint32_t vk = static_cast<uint32_t>(m.wParam);
    if (vk == VK_CONTROL) ks &= ~1u;
    if (vk == VK_SHIFT) ks &= ~2u;
    if (vk == VK_MENU) ks &= ~4u;
    args({fold_key(vk), ks});
  } else if (event == -11) {
    args({static_cast<uint32_t>(m.wParam)});
  } else {
    args({static_cast<uint32_t>(static_cast<int32_t>(GET_WHEEL_DELTA_WPARAM(m.wParam)) / 120), ks});
  }
  r.event = event;
  raise_event(r);
  if (!r.has_result) return false;
  if (event == -11) {
    if (r.result == 0) return true;
    m.wParam = r.result;
    return false;
  }
  return r.result == 0;
}

bool WindowUnit::pre_translate(MSG& m) {
  if (!handle() || !IsWindow(handle())) return false;
  bool keyboard = is_key(m.message);
  bool mouse = m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST;
  if (!keyboard && !mouse) return false;
  WindowTemplate* w = find_window(window_id());
  Entry* e = w ? entry_for_handle(*w, m.hwnd) : nullptr;
  if (!e) return false;
  bool own = e == &w->entries[0];
  uint32_t id = e->id, flags = type_flags_of(*e);
  if (!own && (flags & kMessageFilter)) {
    auto filter = reinterpret_cast<FilterOp>(type_operation(find_type(e->type), kFilterMessage));
    if (filter && units::live_object(*e) && filter(e->live_object, &m)) return true;
  }
  if (keyboard && accelerators_ && TranslateAcceleratorA(handle(), accelerators_, &m)) return true;
  if (keyboard && handle_key(m)) return true;
  if (drag_move_ && m.message == WM_LBUTTONDOWN && (own || (flags & kStaticUnit))) {
    ReleaseCapture();
    SendMessageA(handle(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
    return true;
  }
  return common_event(m, own ? 0 : id);
}

// ---- messages ----

void WindowUnit::paint_background(HDC dc) {
  RECT rc;
  GetClientRect(handle(), &rc);
  COLORREF c = back_colour_ == kDefaultColour ? GetSysColor(COLOR_BTNFACE) : (back_colour_ & 0xFFFFFF);
  SetBkColor(dc, c);
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
  if (picture_.empty()) return;
  if (!picture_loaded_) {
    picture_view_.decode(picture_);  // bad data: no picture, and not decoded again
    picture_loaded_ = true;
  }
  // Picture modes: 0 top left, 1 tiled, 2 stretched, 3 centred; transparent parts show the
  // background colour.
  static const int kPlacement[] = {0, 2, 1, 3};
  picture_view_.place(dc, rc, kPlacement[std::clamp(picture_mode_, 0, 3)]);
}

LRESULT WindowUnit::on_message(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND:
      paint_background(reinterpret_cast<HDC>(wp));
      return 1;
    case WM_SETCURSOR: {
      // A unit with cursor data shows its own cursor over its client area.
      WindowTemplate* w = find_window(window_id());
      Entry* e = w ? entry_for_handle(*w, reinterpret_cast<HWND>(wp)) : nullptr;
      if (e && e->live_cursor && LOWORD(lp) == HTCLIENT) {
        SetCursor(static_cast<HCURSOR>(e->live_cursor));
        return TRUE;
      }
      break;
    }
    case WM_COMMAND:
      if (lp == 0 && LOWORD(wp) >= kFirstMenuCommand) {  // a menu item or its shortcut
        WindowTemplate* w = find_window(window_id());
        if (Entry* item = w ? menu_item_of(*w, LOWORD(wp)) : nullptr) raise_for(item->id, 0);
        return 0;
      }
      break;
    case WM_CLOSE:
      close();
      return 0;
    case WM_QUERYENDSESSION: {
      EventRecord r = raise(1);
      return r.has_result && r.result == 0 ? FALSE : TRUE;
    }
    case WM_DESTROY: {
      raise(2);
      if (help_open_) WinHelpA(handle(), nullptr, HELP_QUIT, 0);
      if (tray_added_) set_tray_icon(nullptr, nullptr);
      framework::Menu menu(GetMenu(handle()));  // destroyed at the end of this block
      if (menu) SetMenu(handle(), nullptr);
      break;
    }
    case WM_MOVE: {
      LRESULT r = pass(msg, wp, lp);
      if (loaded_) raise(3);
      return r;
    }
    case WM_SIZE: {
      LRESULT r = pass(msg, wp, lp);
      if (shape_ && wp != SIZE_MINIMIZED) apply_shape();
      if (loaded_) raise(4);
      return r;
    }
    case WM_SHOWWINDOW:
      if (loaded_) raise(wp ? 10 : 11);
      break;
    case WM_ACTIVATE: {
      bool active = LOWORD(wp) != WA_INACTIVE;
      if (active && !IsWindowEnabled(handle())) {
        // Disabled for a modal window: that window takes the activation instead.
        HWND modal = modal_window_handle();
        if (modal && IsWindowVisible(modal) && IsWindowEnabled(modal)) {
          SetActiveWindow(modal);
          return 0;
        }
      }
      if (!active) last_focus_ = GetFocus();
      LRESULT r = pass(msg, wp, lp);
      InvalidateRect(handle(), nullptr, FALSE);
      if (active && last_focus_ && IsWindow(last_focus_) && IsChild(handle(), last_focus_))
        SetFocus(last_focus_);
      if (!raising_activation_ && loaded_) {
        raising_activation_ = true;
        if (active && !activated_once_) {
          activated_once_ = true;
          raise(8);
        }
        if (IsWindow(handle())) raise(active ? 5 : 6);
        raising_activation_ = false;
      }
      return r;
    }
    case kTrayMessage: {
      uint32_t op = 0;
      switch (static_cast<UINT>(lp)) {
        case WM_LBUTTONUP: op = 1; break;
        case WM_LBUTTONDBLCLK: op = 2; break;
        case WM_RBUTTONUP: case WM_CONTEXTMENU: op = 3; break;
        default: break;
      }
      if (op) raise(9, {op});
      return 0;
    }
    default:
      break;
  }
  return Unit::on_message(msg, wp, lp);
}

// ---- interface ----

namespace {

HGLOBAL __cdecl window_icon_op(const uint8_t* data, uint32_t length) {
  std::string icon = WindowUnit::icon_of(data, length);
  if (icon.empty()) return nullptr;
  framework::GlobalMemory block(GlobalAlloc(GMEM_MOVEABLE, icon.size()));
  if (!block) return nullptr;
  {
    framework::GlobalLockScope locked(block.get());
    std::memcpy(locked.get(), icon.data(), icon.size());
  }
  return block.release();  // the caller frees the block
}

void* __cdecl window_interface(int number) {
  if (number == kGetIcon) return reinterpret_cast<void*>(&window_icon_op);
  return standard_interface(number, &create_op<WindowUnit>, {kConvertTexts});
}

constexpr uint16_t kTypes[] = {
    kPropText, kPropPick, kPropBackColour, kPropPicture, kPropPick, kPropSound, kPropPick,
    kPropBool, kPropBool, kPropBool, kPropPick, kPropBool, kPropIcon, kPropBool, kPropBool,
    kPropBool, kPropFileName, kPropInt, kPropBool, kPropBool, kPropPick, kPropBool, kPropBool,
    kPropText};
constexpr auto kProperties = with_common(kTypes);
static_assert(kProperties.size() == 32);

}  // namespace

const CoreUnitType kWindowUnitType{1, kProperties.data(), kProperties.size(), &window_interface};

}  // namespace units
