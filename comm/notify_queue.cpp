// The serial port's notification queue.
#include "comm/notify_queue.h"

namespace comm {

void NotifyQueue::push(uint32_t code, uint32_t param) {
  std::lock_guard<std::mutex> hold(lock_);
  items_.push_back({code, param});
  if (!posted_) posted_ = PostMessageA(target_, kMessage, 0, 0) != 0;
}

std::vector<Notification> NotifyQueue::take() {
  std::lock_guard<std::mutex> hold(lock_);
  posted_ = false;
  return std::exchange(items_, {});
}

void NotifyQueue::clear() {
  std::lock_guard<std::mutex> hold(lock_);
  items_.clear();
  posted_ = false;
}

}  // namespace comm
