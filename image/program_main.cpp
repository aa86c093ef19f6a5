// Program main: makes the image header's working copy, installs the module interceptions,
// attaches the runtime and runs the image through the run entry inside the start-up frame.
#include <windows.h>
#include "image/carrier.h"
#include "image/intercept.h"
#include "runtime/errors.h"
#include "runtime/runtime.h"
#include "image/startup.h"
#include "image/winsock.h"
#include "image/working_copy.h"

namespace image {

int program_main(HINSTANCE module, HINSTANCE, char*, int) {
  Carrier carrier = find_carrier(module);
  uint8_t* working_copy = carrier.working_place ? make_working_copy(carrier) : nullptr;
  if (!working_copy)  // fatal at start-up, like every other: the run-time error, exit -1
    runtime::raise_error(carrier.present ? "应用程序映像已损坏!" : "此程序中没有应用程序映像。", 0);
  install_interceptions(module);
  install_lifecycle();
  runtime::Runtime& r = runtime::rt();
  r.main_module = module;
  r.init_instance();
  auto run = reinterpret_cast<RunEntry>(get_new_sock(1000));
  int code = enter_frame(reinterpret_cast<void*>(run), working_copy);
  r.exit_instance();
  release_winsock();
  return code;
}

}  // namespace image
