// Core command 450, set tray icon: a window's notification-area icon from an icon file (named
// by a text) or icon data (a byte set), with an optional tip.
#include <windows.h>
#include <string>
#include "corelib/cmd_support.h"
#include "corelib/commands.h"
#include "framework/gdi.h"
#include "runtime/errors.h"
#include "units/framework.h"
#include "units/pictures.h"
#include "units/window_unit.h"

namespace corelib {

// Arguments: the window as a unit (window identifier, unit identifier), icon data (a text
// naming an icon file, or a byte set), optional tip text. No result.
void __cdecl set_tray_icon(runtime::ResultRecord*, int argc, runtime::ArgRecord* args) {
  const runtime::ArgRecord& unit = arg_at(argc, args, 0);
  units::WindowTemplate* w = units::find_window(unit.lo);
  units::WindowUnit* window = w ? units::live_window(*w) : nullptr;
  if (!window) runtime::raise_error("指定窗口或窗口组件不存在或尚未载入", 0);
  const runtime::ArgRecord& icon_arg = arg_at(argc, args, 1);
  std::string data;
  if ((icon_arg.type & runtime::kTypeMask) == runtime::kTypeText) {
    const char* name = text_of(icon_arg);
    if (*name) data = file_bytes(name);
  } else if ((icon_arg.type & runtime::kTypeMask) == runtime::kTypeBin) {
    data = std::string(bin_of(icon_arg));
  }
  framework::Icon icon(data.empty() ? nullptr
                                    : units::read_icon(data, GetSystemMetrics(SM_CXSMICON),
                                                       GetSystemMetrics(SM_CYSMICON)));
  const runtime::ArgRecord& tip = arg_at(argc, args, 2);
  bool has_tip = (tip.type & runtime::kTypeMask) == runtime::kTypeText;
  const char* tip_text = has_tip ? text_of(tip) : nullptr;
  window->set_tray_icon(icon.release(), tip_text);  // the window keeps the icon
}

}  // namespace corelib
