// The runtime notification routine: codes registered by subsystems first, then the runtime's
// own table, each code answered by a small function. Without the unit framework the runtime
// answers the window codes as it must when no window is loaded.
#include "runtime/notify.h"
#include <new>
#include <windows.h>
#include <algorithm>
#include <cstring>
#include "abi/descriptor.h"
#include "framework/window.h"
#include "runtime/registry.h"
#include "runtime/runtime.h"
#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/value_ops.h"

namespace runtime {

namespace {

using runtime::rt;
using Answer = int64_t (*)(uint32_t v1, uint32_t v2);

template <class T> T* ptr(uint32_t v) { return reinterpret_cast<T*>(static_cast<uintptr_t>(v)); }
int64_t word(const void* p) { return static_cast<int64_t>(reinterpret_cast<uintptr_t>(p)); }

// A window object wrapped around a foreign handle (code 1007).
class WrappedWindow : public framework::Window {};

int64_t program_icons(uint32_t v1, uint32_t) {
  runtime::Runtime& r = rt();
  if (!r.icons[0]) {
    HINSTANCE inst = r.main_module ? r.main_module : GetModuleHandleA(nullptr);
    r.icons[0] = static_cast<HICON>(LoadImageA(inst, MAKEINTRESOURCEA(0x81), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON),
                                               GetSystemMetrics(SM_CYICON), 0));
    r.icons[1] = static_cast<HICON>(LoadImageA(inst, MAKEINTRESOURCEA(0x81), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
  }
  if (uint32_t* out = ptr<uint32_t>(v1)) {
    out[0] = static_cast<uint32_t>(word(r.icons[0]));
    out[1] = static_cast<uint32_t>(word(r.icons[1]));
  }
  return 0;
}

int64_t unit_type_entry(uint32_t type, uint32_t) { return word(library_type_entry(type)); }

int64_t copy_directory(uint32_t selector, uint32_t buffer) {
  char* out = ptr<char>(buffer);
  if (!out) return 0;
  runtime::Runtime& r = rt();
  std::string text;
  if (selector == 1) text = r.module_dir;
  else if (selector == 2001) text = r.program_dir + "\\";
  else if (selector == 2002) text = r.program_file;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return 0;
}

int64_t wrap_window(uint32_t v1, uint32_t) {
  HWND h = ptr<HWND__>(v1);
  if (!IsWindow(h) || framework::Window::from_handle(h)) return 0;
  auto* w = new WrappedWindow;
  w->attach(h);
  return word(w);
}
framework::Window* live(uint32_t v) {
  return framework::Window::live_object(ptr<framework::Window>(v));
}
int64_t destroy_window_object(uint32_t v1, uint32_t) {
  if (framework::Window* w = live(v1)) {
    w->detach();  // the system window is not the object's to destroy here
    delete w;
  }
  return 0;
}
int64_t detach_window(uint32_t v1, uint32_t) {
  framework::Window* w = live(v1);
  return w ? word(w->detach()) : 0;
}
int64_t window_handle(uint32_t v1, uint32_t) {
  framework::Window* w = live(v1);
  return w ? word(w->handle()) : 0;
}
int64_t attach_window(uint32_t v1, uint32_t v2) {
  framework::Window* w = live(v2);
  HWND h = ptr<HWND__>(v1);
  return w && !w->handle() && !framework::Window::from_handle(h) && w->attach(h) ? 1 : 0;
}

int64_t add_idle_routine(uint32_t v1, uint32_t) {
  const IdleRequest* req = ptr<IdleRequest>(v1);
  if (!req) return 0;
  runtime::Runtime& r = rt();
  for (const runtime::IdleRoutine& i : r.idle_routines)
    if (i.window == req->window) return 0;
  r.idle_routines.push_back({req->window, req->routine, req->argument});
  return 0;
}
int64_t remove_idle_routine(uint32_t v1, uint32_t) {
  auto& list = rt().idle_routines;
  HWND h = ptr<HWND__>(v1);
  list.erase(std::remove_if(list.begin(), list.end(),
                            [h](const runtime::IdleRoutine& i) { return i.window == h; }),
             list.end());
  return 0;
}

int64_t read_integer(uint32_t v1, uint32_t) {
  const ArgRecord* rec = ptr<ArgRecord>(v1);
  return rec ? read_int(*rec) : 0;
}
int64_t program_dir_text(uint32_t, uint32_t) { return word(rt().program_dir.c_str()); }
int64_t program_file_text(uint32_t, uint32_t) { return word(rt().program_file.c_str()); }

int64_t hold_events(uint32_t, uint32_t) {
  process_pending_messages();
  ++rt().event_hold;
  return 0;
}
int64_t release_events(uint32_t, uint32_t) {
  process_pending_messages();
  if (rt().event_hold > 0) --rt().event_hold;
  return 0;
}
int64_t pending_messages(uint32_t, uint32_t) {
  process_pending_messages();
  return 0;
}

auto find_object(uint32_t v) {
  auto& list = rt().registered_objects;
  auto* object = ptr<runtime::RegisteredObject>(v);
  return std::find_if(list.begin(), list.end(), [object](auto& e) { return e.first == object; });
}
int64_t object_flag(uint32_t v1, uint32_t) {
  auto it = find_object(v1);
  return it == rt().registered_objects.end() ? -1 : it->second;
}
int64_t register_object(uint32_t v1, uint32_t v2) {
  if (v1 && find_object(v1) == rt().registered_objects.end())
    rt().registered_objects.push_back({ptr<runtime::RegisteredObject>(v1), uint8_t(v2)});
  return 0;
}
int64_t unregister_object(uint32_t v1, uint32_t) {
  auto it = find_object(v1);
  if (it == rt().registered_objects.end()) return 0;
  rt().registered_objects.erase(it);
  return 1;
}
int64_t close_objects(uint32_t, uint32_t) {
  auto objects = std::move(rt().registered_objects);
  rt().registered_objects.clear();
  for (auto& [object, flag] : objects) {
    try { object->close(); } catch (...) {}
    try { delete object; } catch (...) {}
  }
  return 0;
}

int64_t event_source(uint32_t v1, uint32_t) {
  runtime::Runtime& r = rt();
  uint32_t* out = ptr<uint32_t>(v1);
  if (!r.event_window || !out) return 0;
  out[0] = r.event_window;
  out[1] = r.event_unit;
  return 1;
}

auto find_icon_entry(uint32_t v) {
  auto& list = rt().icon_entries;
  return std::find(list.begin(), list.end(), ptr<runtime::IconEntry>(v));
}
int64_t add_icon_entry(uint32_t v1, uint32_t) {
  if (v1 && find_icon_entry(v1) == rt().icon_entries.end())
    rt().icon_entries.push_back(ptr<runtime::IconEntry>(v1));
  return 0;
}
int64_t remove_icon_entry(uint32_t v1, uint32_t) {
  auto it = find_icon_entry(v1);
  if (it == rt().icon_entries.end()) return 0;
  runtime::IconEntry* e = *it;
  rt().icon_entries.erase(it);
  if (e->icon) DestroyIcon(e->icon);
  free_block(e->data);
  free_block(e);
  return 0;
}
int64_t has_icon_entry(uint32_t v1, uint32_t) {
  return find_icon_entry(v1) != rt().icon_entries.end();
}

int64_t free_array(uint32_t type, uint32_t block) {
  uint32_t* a = ptr<uint32_t>(block);
  if (!a) return 0;
  uint32_t element = type & kTypeMask;
  if ((element == kTypeText || element == kTypeBin) && !constant_end(a)) {
    uint64_t count = 1;
    for (uint32_t d = 0; d < a[0]; ++d) count *= a[1 + d];
    void** items = reinterpret_cast<void**>(a + 1 + a[0]);
    for (uint64_t i = 0; i < count; ++i) free_block(items[i]);
  }
  free_block(a);
  return 0;
}
int64_t allocate_block(uint32_t size, uint32_t flag) {
  return word(flag ? allocate_or_null(size) : allocate(size));
}
int64_t free_memory(uint32_t v1, uint32_t) {
  free_block(ptr<void>(v1));
  return 0;
}
int64_t resize_block(uint32_t v1, uint32_t v2) { return word(resize(ptr<void>(v1), v2)); }
int64_t raise_message(uint32_t v1, uint32_t) { raise_error(ptr<const char>(v1), 0); }
int64_t exit_request(uint32_t v1, uint32_t) { exit_program(static_cast<int32_t>(v1)); }

int64_t type_flags_class(uint32_t type, uint32_t) {
  const units::UnitTypeEntry* entry = library_type_entry(type);
  if (!entry) return 0;
  if (entry->flags & 0x4) return 2;
  return (entry->flags & 0x40) ? 1 : 0;
}
int64_t run_mode(uint32_t, uint32_t) { return rt().run_mode; }
int64_t template_count(uint32_t, uint32_t) { return int64_t(rt().templates.size()); }

int64_t interface_identifier(uint32_t type, uint32_t record) {
  uint32_t* out = ptr<uint32_t>(record);
  if (!out) return 0;
  type &= kTypeMask;
  if (type == 0x00010030) {
    out[0] = 0; out[1] = 0; out[2] = 0xC0; out[3] = 0x46000000;
    return 1;
  }
  if (type_class(type) != TypeClass::kLibrary) return 0;
  corelib::LibDescriptor* d = library_descriptor(library_of(type));
  if (!d || !d->notify) return 0;
  return d->notify(8, type_number_of(type) - 1, record);
}

// Answers without the unit framework: no window is loaded.
int64_t no_window_raises(uint32_t, uint32_t) {
  raise_error("指定窗口或窗口组件不存在或尚未载入", 0);
}
int64_t no_event_window(uint32_t, uint32_t) {
  if (rt().event_hold > 0) return 0;  // events held back: nothing runs, no result
  raise_error("未找到引发事件的窗口", 0);
}
int64_t not_loaded(uint32_t, uint32_t) { return -1; }
int64_t returns_one(uint32_t, uint32_t) { return 1; }
int64_t returns_five(uint32_t, uint32_t) { return 5; }

constexpr CodeAnswer kAnswers[] = {
    {1000, program_icons},
    {1002, unit_type_entry},
    {1004, returns_one},
    {1005, returns_five},
    {1006, copy_directory},
    {1007, wrap_window},
    {1008, destroy_window_object},
    {1009, detach_window},
    {1010, window_handle},
    {1011, attach_window},
    {1012, add_idle_routine},
    {1013, remove_idle_routine},
    {2001, read_integer},
    {2003, program_dir_text},
    {2004, program_file_text},
    {2005, not_loaded},
    {2007, no_window_raises},
    {2008, no_event_window},
    {2009, hold_events},
    {2010, release_events},
    {2011, object_flag},
    {2012, register_object},
    {2013, unregister_object},
    {2014, close_objects},
    {2017, event_source},
    {2018, pending_messages},
    {2019, add_icon_entry},
    {2020, remove_icon_entry},
    {2021, has_icon_entry},
    {2023, free_array},
    {2024, allocate_block},
    {2025, free_memory},
    {2026, resize_block},
    {2027, raise_message},
    {2028, exit_request},
    {2029, type_flags_class},
    {2030, run_mode},
    {2031, no_event_window},
    {2032, template_count},
    {2036, interface_identifier},
};

}  // namespace

void process_pending_messages() { rt().pump_pending(); }

namespace {

int64_t dispatch(int32_t code, uint32_t v1, uint32_t v2) {
  if (Answer answer = find_answer(code)) return answer(v1, v2);
  for (const CodeAnswer& a : kAnswers)
    if (a.code == code) return a.answer(v1, v2);
  return 0;
}

}  // namespace

// Called from other modules: no C++ exception may leave it. A failure becomes a run-time
// error, raised once the handler has finished.
int64_t __cdecl notify(int32_t code, uint32_t v1, uint32_t v2) {
  const char* failure;
  try {
    return dispatch(code, v1, v2);
  } catch (const std::bad_alloc&) {
    failure = "内存不足，无法完成支持库的运行时请求!";
  } catch (...) {
    failure = "支持库的运行时请求未能完成!";
  }
  raise_error(failure, 0);
}

}  // namespace runtime
