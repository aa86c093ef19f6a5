// Windows and units at run time: load window, the unit of the current event, find a unit by
// its tag, whether a unit exists, and window messages to a unit. The lookups go through the
// runtime notification routine, as they would from any support library.
#include <windows.h>
#include <string>
#include "corelib/cmd_support.h"
#include "corelib/commands.h"
#include "framework/window.h"
#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/notify.h"
#include "runtime/runtime.h"
#include "units/framework.h"

namespace corelib {

using namespace runtime;

namespace {

template <class T> uint32_t word_of(T* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// The live object of a unit argument {window, unit, type}: a window type is looked up as the
// window itself. Null when it does not exist as a system window.
framework::Window* unit_object(const ArgRecord& unit) {
  int64_t kind = runtime::notify(2029, unit.type, 0);
  if (kind == 0) return nullptr;
  int64_t object = runtime::notify(2006, unit.lo, kind == 2 ? 0 : unit.hi);
  return reinterpret_cast<framework::Window*>(static_cast<uintptr_t>(object));
}

HWND unit_handle(const ArgRecord& unit) {
  framework::Window* w = unit_object(unit);
  return w ? w->handle() : nullptr;
}

void set_unit(ResultRecord* r, uint32_t window, uint32_t unit, uint32_t type) {
  r->lo = window;
  r->hi = unit;
  r->type = type;
}

}  // namespace

// Arguments: the window identifier, an optional parent unit, the display flag (non-zero: the
// window is modal, every other window disabled until it closes). Result: true when loaded.
CORELIB_COMMAND(load_window) {
  const ArgRecord& window = arg_at(argc, args, 0);
  const ArgRecord& parent = arg_at(argc, args, 1);
  framework::Window* parent_object = nullptr;
  if (parent.type != kTypeNone) {
    parent_object = unit_object(parent);
    if (!parent_object) return set_bool(result, false);
  }
  uint32_t request[3] = {window.lo, word_of(parent_object),
                         static_cast<uint32_t>(int_or(argc, args, 2, 0) != 0)};
  set_bool(result, runtime::notify(2005, word_of(request), 0) == 0);
}

// No arguments. Result: the unit whose event handler is running.
CORELIB_COMMAND(event_source_unit) {
  uint32_t source[2] = {};
  uint32_t type = 0;
  if (runtime::notify(2017, word_of(source), 0) == 1)
    type = static_cast<uint32_t>(runtime::notify(2022, source[0], source[1]));
  if (type == 0) runtime::raise_error("“取事件组件”命令只能在事件处理子程序中使用", 0);
  set_unit(result, source[0], source[1], type);
}

// Arguments: the window identifier, the tag. Result: the first unit, in template order, whose
// tag read as a decimal integer equals it (a tag that is empty or no number reads as 0).
CORELIB_COMMAND(find_unit_by_tag) {
  const ArgRecord& window_arg = arg_at(argc, args, 0);
  int32_t tag = num_int(arg_at(argc, args, 1));
  units::WindowTemplate* w = units::find_window(window_arg.lo);
  if (w && units::live_window(*w)) {
    for (size_t i = 1; i < w->entries.size(); ++i) {
      const units::Entry& e = w->entries[i];
      if (e.menu_item || !units::live_object(e)) continue;
      char* text = reinterpret_cast<char*>(
          static_cast<uintptr_t>(units::read_property(w->id, e.id, 4, -1)));
      int32_t value = text ? static_cast<int32_t>(read_decimal(text)) : 0;
      runtime::free_block(text);
      if (value == tag) return set_unit(result, w->id, e.id, e.type);
    }
  }
  runtime::raise_error("未找到指定标记的组件", 0);
}

// Argument: a unit. Result: true when it exists as a system window.
CORELIB_COMMAND(unit_exists) { set_bool(result, unit_object(arg_at(argc, args, 0)) != nullptr); }

// Arguments: a unit, the message, its two parameters. Result: the reply (0 without a window).
CORELIB_COMMAND(send_window_message) {
  HWND h = unit_handle(arg_at(argc, args, 0));
  LRESULT reply = 0;
  if (h)
    reply = SendMessageA(h, static_cast<UINT>(num_int(arg_at(argc, args, 1))),
                         static_cast<WPARAM>(num_int(arg_at(argc, args, 2))),
                         static_cast<LPARAM>(num_int(arg_at(argc, args, 3))));
  set_int(result, static_cast<int32_t>(reply));
}

CORELIB_COMMAND(post_window_message) {
  if (HWND h = unit_handle(arg_at(argc, args, 0)))
    PostMessageA(h, static_cast<UINT>(num_int(arg_at(argc, args, 1))),
                 static_cast<WPARAM>(num_int(arg_at(argc, args, 2))),
                 static_cast<LPARAM>(num_int(arg_at(argc, args, 3))));
}

}  // namespace corelib
