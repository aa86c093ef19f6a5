// The unit object: identity checks, event raising, disposal and the generic operation thunks.
#include "units/unit_base.h"
#include <cstring>
#include "runtime/heap.h"
#include "units/events.h"
#include "units/framework.h"

namespace units {

Unit* Unit::from(void* object) {
  auto* w = framework::Window::live_object(static_cast<framework::Window*>(object));
  return w ? dynamic_cast<Unit*>(w) : nullptr;
}

Unit* Unit::from_window(HWND hwnd) {
  return hwnd ? dynamic_cast<Unit*>(framework::Window::from_handle(hwnd)) : nullptr;
}

EventRecord Unit::raise(int event, std::initializer_list<uint32_t> args) {
  EventRecord r{};
  r.window_id = window_id_;
  r.unit_id = unit_id_;
  r.event = event;
  for (uint32_t a : args) {
    if (r.argc == 5) break;
    r.args[r.argc++] = a;
  }
  raise_event(r);
  return r;
}

void Unit::dispose() {
  if (HWND h = handle(); h && IsWindow(h)) {
    DestroyWindow(h);  // the final message deletes the object: nothing of it is touched after
    return;
  }
  delete this;
}

LRESULT Unit::on_message(UINT msg, WPARAM wp, LPARAM lp) {
  // Notifications of a contained unit go back to it (the window, or a container unit).
  switch (msg) {
    case WM_COMMAND:
      if (Unit* u = lp ? from_window(reinterpret_cast<HWND>(lp)) : nullptr) {
        u->on_command(HIWORD(wp));
        return 0;
      }
      break;
    case WM_CTLCOLOREDIT: case WM_CTLCOLORSTATIC: case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX: case WM_CTLCOLORSCROLLBAR:
      if (Unit* u = reflection_target(handle(), msg, wp, lp))
        if (HBRUSH b = u->on_ctl_color(reinterpret_cast<HDC>(wp))) return reinterpret_cast<LRESULT>(b);
      break;
    case WM_NOTIFY: case WM_HSCROLL: case WM_VSCROLL: case WM_DRAWITEM: case WM_MEASUREITEM:
      if (Unit* u = reflection_target(handle(), msg, wp, lp)) {
        LRESULT answer = 0;
        if (u != this && u->on_reflected(msg, wp, lp, answer)) return answer;
      }
      break;
    default:
      break;
  }
  LRESULT r = pass(msg, wp, lp);
  if (msg == WM_SETFOCUS) raise(-7);
  if (msg == WM_KILLFOCUS) raise(-8);
  return r;
}

Unit* Unit::reflection_target(HWND container, UINT msg, WPARAM wp, LPARAM lp) {
  HWND child = nullptr;
  switch (msg) {
    case WM_NOTIFY: child = lp ? reinterpret_cast<NMHDR*>(lp)->hwndFrom : nullptr; break;
    case WM_DRAWITEM: child = lp ? reinterpret_cast<DRAWITEMSTRUCT*>(lp)->hwndItem : nullptr; break;
    case WM_MEASUREITEM:
      child = lp ? GetDlgItem(container, static_cast<int>(reinterpret_cast<MEASUREITEMSTRUCT*>(lp)->CtlID)) : nullptr;
      break;
    default: child = reinterpret_cast<HWND>(lp); break;  // scroll and colour messages
  }
  if (!child) return nullptr;
  if (Unit* u = from_window(child)) return u;
  // A window a unit made inside its own (a combo box's edit field, a list's header).
  HWND parent = GetParent(child);
  return parent && parent != container ? from_window(parent) : nullptr;
}

void Unit::on_final_destroy() {
  unit_destroyed(window_id_, unit_id_);
  delete this;
}

PropData Unit::text_out(const std::string& s) {
  scratch_ = s;
  return {reinterpret_cast<uint32_t>(scratch_.c_str()), static_cast<uint32_t>(scratch_.size())};
}

std::string Unit::text_in(const PropData& v) {
  if (!v.word) return {};
  return std::string(reinterpret_cast<const char*>(v.word), v.length);
}

bool Unit::convert_one(TextRoutine routine, void* user, std::string& text, bool font_name) {
  char buffer[256] = {};
  routine(text.c_str(), buffer, font_name ? 1 : 0, user);
  buffer[255] = 0;
  if (!buffer[0]) return false;
  text = buffer;
  return true;
}

// ---- fonts ----

void FontHolder::set(const std::string& record) {
  record_ = record.size() == sizeof(LOGFONTA) ? record : std::string();
  font_.reset();
}

HFONT FontHolder::get() {
  if (record_.empty()) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  if (!font_) {
    LOGFONTA lf;
    std::memcpy(&lf, record_.data(), sizeof lf);
    lf.lfFaceName[LF_FACESIZE - 1] = 0;
    font_.reset(CreateFontIndirectA(&lf));
  }
  return font_ ? font_.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

std::string FontHolder::face() const {
  if (record_.size() != sizeof(LOGFONTA)) return {};
  const char* f = record_.data() + offsetof(LOGFONTA, lfFaceName);
  return std::string(f, strnlen(f, LF_FACESIZE));
}

void FontHolder::set_face(const std::string& face) {
  if (record_.size() != sizeof(LOGFONTA)) return;
  std::string r = record_;
  char* f = r.data() + offsetof(LOGFONTA, lfFaceName);
  std::memset(f, 0, LF_FACESIZE);
  std::memcpy(f, face.data(), face.size() < LF_FACESIZE ? face.size() : LF_FACESIZE - 1);
  set(r);
}

// ---- operation thunks ----

int __cdecl set_op(void* unit, int index, PropData* value, int) {
  Unit* u = Unit::from(unit);
  if (!u || !value) return 0;
  return u->set_property(index, *value);
}

void* __cdecl get_all_op(void* unit, uint32_t* length) {
  Unit* u = Unit::from(unit);
  if (length) *length = 0;
  if (!u) return nullptr;
  std::string data = u->save();
  void* block = runtime::allocate(static_cast<uint32_t>(data.size() + 1));
  std::memcpy(block, data.data(), data.size());
  if (length) *length = static_cast<uint32_t>(data.size());
  return block;
}

int __cdecl get_op(void* unit, int index, PropData* out) {
  Unit* u = Unit::from(unit);
  if (!u || !out) return 0;
  return u->get_property(index, *out) ? 1 : 0;
}

int __cdecl wants_key_op(void* unit, MSG* msg) {
  Unit* u = Unit::from(unit);
  return u && msg && u->wants_key(*msg) ? 1 : 0;
}

void* __cdecl texts_op(void* unit, TextRoutine routine, void* user, uint32_t* length) {
  Unit* u = Unit::from(unit);
  if (u && routine) u->convert_texts(routine, user);
  return get_all_op(unit, length);
}

int __cdecl on_enter_op(void* unit) {
  Unit* u = Unit::from(unit);
  return u && u->acts_on_enter() ? 1 : 0;
}

void* standard_interface(int number, CreateOp create, std::initializer_list<int> offers) {
  switch (number) {
    case kCreate: return reinterpret_cast<void*>(create);
    case kSetProperty: return reinterpret_cast<void*>(&set_op);
    case kGetAllData: return reinterpret_cast<void*>(&get_all_op);
    case kGetProperty: return reinterpret_cast<void*>(&get_op);
    default: break;
  }
  for (int n : offers) {
    if (n != number) continue;
    switch (n) {
      case kWantsKey: return reinterpret_cast<void*>(&wants_key_op);
      case kConvertTexts: return reinterpret_cast<void*>(&texts_op);
      case kActsOnEnter: return reinterpret_cast<void*>(&on_enter_op);
      default: return nullptr;
    }
  }
  return nullptr;
}

}  // namespace units
