// Process entry of the runtime executable: hands over to program main.
#include <windows.h>

namespace image { int program_main(HINSTANCE module, HINSTANCE, char* command_line, int show); }

int WINAPI WinMain(HINSTANCE module, HINSTANCE prev, LPSTR command_line, int show) {
  return image::program_main(module, prev, command_line, show);
}
