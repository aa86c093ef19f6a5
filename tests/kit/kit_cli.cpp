// kit_cli: the driver from a shell, for looking into a running program by hand.
//   kit_cli text CLASS ID            prints the text of control ID in the first window of CLASS
//   kit_cli set CLASS ID TEXT        sets it
//   kit_cli click CLASS ID           clicks it
//   kit_cli dialogs                  prints the caption and text of every visible dialog
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "kit.h"

namespace {
BOOL CALLBACK print_dialog(HWND w, LPARAM) {
  char cls[16] = {};
  GetClassNameA(w, cls, sizeof cls);
  if (std::strcmp(cls, "#32770") == 0 && IsWindowVisible(w)) {
    HWND msg = GetDlgItem(w, 0xFFFF);
    std::printf("[%s] %s\n", kit::drive::text(w).c_str(), msg ? kit::drive::text(msg).c_str() : "");
  }
  return TRUE;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "dialogs") == 0) {
    EnumWindows(print_dialog, 0);
    return 0;
  }
  if (argc < 4) return 2;
  HWND top = kit::drive::find_window(0, "", argv[2], 3000);
  HWND c = top ? GetDlgItem(top, std::atoi(argv[3])) : nullptr;
  if (!c) return 1;
  if (std::strcmp(argv[1], "text") == 0) std::printf("%s\n", kit::drive::text(c).c_str());
  else if (std::strcmp(argv[1], "set") == 0 && argc > 4) kit::drive::set_text(c, argv[4]);
  else if (std::strcmp(argv[1], "click") == 0) kit::drive::send(c, BM_CLICK);
  return 0;
}
