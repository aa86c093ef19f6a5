// The application object role: the message pump with idle processing and message
// pre-translation that walks from a message's window up through its parents.
#pragma once
#include <windows.h>
#include "framework/window.h"

namespace framework {

class App {
 public:
  virtual ~App() = default;

  // Loop modes: the main loop runs until the quit message; a modal loop also ends as soon
  // as `modal_active` turns false (the quit message is then put back for the outer loop).
  enum LoopMode { kMainLoop = 0, kModalLoop = 1 };
  // Runs the loop; returns the quit message's code (0 when a modal loop ends otherwise).
  int run_loop(int mode);
  // Fetches and dispatches one message (waiting for it); false on the quit message.
  bool pump_message();
  // Dispatches every message already waiting; a quit message is put back and stops it.
  void pump_pending();
  // Pre-translation: true when some window object consumed the message.
  bool pre_translate(MSG& msg);
  // Whether this message restarts idle processing (paint, system timer and mouse moves
  // that did not move do not).
  bool resets_idle(const MSG& msg);

  HWND main_window = nullptr;  // pre-translation walks up to this window
  int quit_code = 0;           // wParam of the last quit message seen

 protected:
  // The idle handler, called with counts 0, 1, 2, ... while no message waits; false ends
  // idle processing until a message resets it. The base is the framework's own idle work.
  virtual bool on_idle(long count);
  // Work run at the start of every idle pass, before `on_idle`.
  virtual void run_idle_routines() {}
  // Modal loops run while this is true.
  virtual bool modal_active() { return false; }
  // Messages without a window; true consumes.
  virtual bool thread_message(MSG&) { return false; }

 private:
  MSG current_{};               // the message being dispatched
  POINT last_mouse_{-1, -1};
  UINT last_mouse_msg_ = 0;
};

}  // namespace framework
