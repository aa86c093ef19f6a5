// The serial port's notification queue: (code, parameter) pairs appended by the port's worker
// thread and taken, in order, by the main thread when the hidden window's message arrives.
#pragma once
#include <windows.h>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace comm {

struct Notification {
  uint32_t code;   // 1026..1036
  uint32_t param;  // the byte of 1032, else 0
};

class NotifyQueue {
 public:
  static constexpr UINT kMessage = WM_USER + 1;  // 1025

  void set_target(HWND window) { target_ = window; }
  // Worker side: appends and makes sure a message is on its way. One message stands for all
  // pairs queued until the main thread takes them, so a fast stream of bytes cannot fill the
  // window's message queue; a post that fails is tried again with the next pair.
  void push(uint32_t code, uint32_t param);
  // Main thread: everything queued so far, in order.
  std::vector<Notification> take();
  void clear();

 private:
  std::mutex lock_;
  std::vector<Notification> items_;
  bool posted_ = false;  // a message is on its way for the items queued
  HWND target_ = nullptr;
};

}  // namespace comm
