// Registers the system's common control classes a unit needs before it creates one.
#pragma once
#include <windows.h>
#include <commctrl.h>

namespace units {

// `classes`: ICC_* bits; registering a class twice is harmless.
inline void init_common_controls(DWORD classes) {
  INITCOMMONCONTROLSEX icc{sizeof icc, classes};
  InitCommonControlsEx(&icc);
}

}  // namespace units
