// Program control: colour values, waiting, processing waiting messages, the busy cursor, and
// playing sounds (the runtime plays them; these commands hand the data over).
#include <windows.h>
#include <string>
#include "corelib/cmd_support.h"
#include "corelib/commands.h"
#include "runtime/notify.h"

namespace corelib {

using namespace runtime;

namespace {

// The cursor from before the busy cursor; null when none is remembered.
HCURSOR g_cursor_before_busy = nullptr;
bool g_busy = false;


}  // namespace

// Red, green and blue as one integer; only green is masked, as compiled programs expect.
CORELIB_COMMAND(colour_value) {
  uint32_t red = static_cast<uint32_t>(num_int(arg_at(argc, args, 0)));
  uint32_t green = static_cast<uint32_t>(num_int(arg_at(argc, args, 1)));
  uint32_t blue = static_cast<uint32_t>(num_int(arg_at(argc, args, 2)));
  set_int(result, static_cast<int32_t>(red | (green & 0xFF) << 8 | blue << 16));
}

// Waits without processing messages; a negative time counts as 0.
CORELIB_COMMAND(delay) {
  int32_t ms = num_int(arg_at(argc, args, 0));
  Sleep(ms > 0 ? static_cast<DWORD>(ms) : 0);
}

CORELIB_COMMAND(process_events) { runtime::notify(2018, 0, 0); }

CORELIB_COMMAND(set_busy_cursor) {
  HCURSOR before = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  if (!g_busy) {
    g_cursor_before_busy = before;
    g_busy = true;
  }
}

CORELIB_COMMAND(restore_cursor) {
  if (!g_busy) return;
  SetCursor(g_cursor_before_busy);
  g_cursor_before_busy = nullptr;
  g_busy = false;
  POINT p;
  if (GetCursorPos(&p)) SetCursorPos(p.x, p.y);  // the platform sets the cursor again
}

// Arguments: a file name or sound data, optional repeat flag. Result: true when the runtime
// took the sound.
CORELIB_COMMAND(play_sound) {
  Arg sound(arg_at(argc, args, 0));
  std::string data;
  if (sound.type() == kTypeText) data = file_bytes(text_of(sound.record()));
  else if (sound.type() == kTypeBin) data = std::string(bin_of(sound.record()));
  if (data.empty()) return set_bool(result, false);
  uint32_t request[3] = {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data.data())),
                         static_cast<uint32_t>(data.size()),
                         static_cast<uint32_t>(int_or(argc, args, 1, 0) != 0)};
  set_bool(result, runtime::notify(2015, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(request)), 0) == 1);
}

CORELIB_COMMAND(stop_sound) { runtime::notify(2016, 0, 0); }

}  // namespace corelib
