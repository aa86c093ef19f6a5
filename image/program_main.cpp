// Program main: finds the application image this executable carries and starts it.
#include <windows.h>
#include "image/carrier.h"

namespace image {

int program_main(HINSTANCE module, HINSTANCE, char*, int) {
  Carrier carrier = find_carrier(module);
  if (!carrier.working_place) {
    MessageBoxA(nullptr, "此程序中没有应用程序映像。", "Orvel", MB_OK | MB_ICONINFORMATION);
    return 1;
  }
  return 0;
}

}  // namespace image
