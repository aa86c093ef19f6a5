// The MIDI sequencer. The device's callback only counts buffers and records volumes: the
// platform allows no multimedia call from inside it, so buffers are refilled and queued again
// by the sequencer's own thread, which lives while a file plays.
#include "media/sequencer.h"
#include <cstring>
#include "media/lock.h"

namespace media {

Sequencer& Sequencer::instance() {
  static Sequencer* s = new Sequencer;  // never destroyed: device threads may outlive statics
  return *s;
}

Sequencer::Sequencer()
    : done_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      wake_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      quit_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  for (int& v : volume_) v = -1;
  for (int i = 0; i < 2; ++i) {
    headers_[i].lpData = reinterpret_cast<LPSTR>(buffers_[i]);
    headers_[i].dwBufferLength = kStreamBufferBytes;
    headers_[i].dwUser = static_cast<DWORD_PTR>(i);
  }
}

void Sequencer::on_device(void* context, UINT message, MIDIHDR* header) {
  auto* self = static_cast<Sequencer*>(context);
  if (message == MOM_DONE) self->buffer_done(header);
  else if (message == MOM_POSITIONCB) self->volume_played(header);
}

void Sequencer::buffer_done(MIDIHDR* header) {
  const int i = header == &headers_[1] ? 1 : 0;
  Locked hold(lock_);
  queued_[i] = false;
  ++buffers_done_;
  if (state_ == State::kPlaying) {
    refill_wanted_[i] = true;
    SetEvent(wake_.get());
  } else if (!queued_[0] && !queued_[1] && state_ != State::kDone) {
    end_playback_locked();   // draining or stopping, and both buffers are back
  }
}

void Sequencer::volume_played(const MIDIHDR* header) {
  if (header->dwOffset > header->dwBytesRecorded ||
      header->dwBytesRecorded - header->dwOffset < sizeof(StreamEvent))
    return;
  StreamEvent e;
  std::memcpy(&e, header->lpData + header->dwOffset, sizeof e);
  const int channel = e.word & 0x0F;
  const int percent = static_cast<int>(((e.word >> 16 & 0x7F) * 100 + 63) / 127);
  HWND owner;
  {
    Locked hold(lock_);
    volume_[channel] = percent;
    owner = owner_;
  }
  if (owner)  // a window that is gone just refuses the message
    PostMessageA(owner, kVolumeMessage, reinterpret_cast<WPARAM>(this),
                 static_cast<LPARAM>(percent << 16 | channel));
}

// Fills buffer `index` with the next events; false when there is nothing to queue.
bool Sequencer::fill_locked(int index) {
  bool ended = false;
  const uint32_t bytes = merge_.fill(buffers_[index], kStreamBufferBytes, repeat_, &ended);
  if (ended) state_ = State::kDraining;
  headers_[index].dwBytesRecorded = bytes;
  headers_[index].dwOffset = 0;
  if (bytes == 0) {
    if (!queued_[0] && !queued_[1]) end_playback_locked();
    return false;
  }
  queued_[index] = true;
  return true;
}

void Sequencer::end_playback_locked() {
  state_ = State::kDone;
  SetEvent(done_.get());
  SetEvent(wake_.get());     // the refill thread has nothing more to do and ends
}

// Hands a filled buffer to the device; a device error ends the playback.
void Sequencer::queue_or_fail(int index) {
  if (device_->queue(&headers_[index])) return;
  Locked hold(lock_);
  queued_[index] = false;
  end_playback_locked();
}

void Sequencer::refill(int index) {
  {
    Locked hold(lock_);
    const bool wanted = refill_wanted_[index];
    refill_wanted_[index] = false;
    if (!wanted || state_ != State::kPlaying || !fill_locked(index)) return;
  }
  queue_or_fail(index);  // outside the lock: the device may call back while it queues
}

DWORD WINAPI Sequencer::refill_main(void* param) {
  auto* self = static_cast<Sequencer*>(param);
  const HANDLE waits[2] = {self->quit_.get(), self->wake_.get()};
  while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    self->refill(0);
    self->refill(1);
    if (self->state() == State::kDone) break;  // played out or failed: no buffer will need it
  }
  return 0;
}

bool Sequencer::play(const uint8_t* data, size_t length, bool repeat) {
  stop();
  if (!merge_.load(data, length)) return false;
  repeat_ = repeat;
  buffers_done_ = 0;
  ResetEvent(done_.get());
  ResetEvent(quit_.get());
  std::unique_ptr<MidiDevice> device;
  try {
    device = midi_device_factory()();
  } catch (...) {
  }
  if (!device || !device->open(&on_device, this)) return true;  // accepted; nothing sounds
  device_ = std::move(device);
  for (MIDIHDR& h : headers_) h.dwFlags = 0;  // prepare wants clear flags
  if (!device_->set_division(merge_.division()) || !device_->prepare(&headers_[0]) ||
      !device_->prepare(&headers_[1])) {
    Locked hold(lock_);
    end_playback_locked();
    return true;  // the next stop closes the stream
  }
  bool filled[2] = {};
  {
    Locked hold(lock_);
    state_ = State::kPlaying;
    filled[0] = fill_locked(0);
    if (state_ == State::kPlaying) filled[1] = fill_locked(1);
  }
  for (int i = 0; i < 2; ++i)
    if (filled[i]) queue_or_fail(i);
  thread_.reset(CreateThread(nullptr, 0, &refill_main, this, 0, nullptr));
  if (!device_->restart() || !thread_) {
    Locked hold(lock_);
    end_playback_locked();
  }
  return true;
}

void Sequencer::stop() {
  if (!device_) {
    if (!repeat_) merge_.rewind();
    return;
  }
  {
    Locked hold(lock_);
    if (state_ != State::kDone) state_ = State::kStopping;
  }
  if (thread_) {
    SetEvent(quit_.get());
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
  }
  device_->stop();  // every queued buffer comes back through the callback
  bool back;
  {
    Locked hold(lock_);
    back = !queued_[0] && !queued_[1];
    if (back) state_ = State::kDone;
  }
  if (!back) WaitForSingleObject(done_.get(), kStopWaitMs);
  for (MIDIHDR& h : headers_) device_->unprepare(&h);
  device_->close();
  device_.reset();
  {
    Locked hold(lock_);
    state_ = State::kDone;
    queued_[0] = queued_[1] = refill_wanted_[0] = refill_wanted_[1] = false;
  }
  if (!repeat_) merge_.rewind();
}

void Sequencer::set_speed(uint32_t percent) {
  Locked hold(lock_);
  merge_.set_speed(percent);
}

void Sequencer::set_owner(HWND window) {
  Locked hold(lock_);
  owner_ = window;
}

Sequencer::State Sequencer::state() const {
  Locked hold(lock_);
  return state_;
}

int Sequencer::volume(int channel) const {
  Locked hold(lock_);
  return channel >= 0 && channel < 16 ? volume_[channel] : -1;
}

uint32_t Sequencer::buffers_done() const {
  Locked hold(lock_);
  return buffers_done_;
}

bool Sequencer::wait_done(DWORD ms) { return WaitForSingleObject(done_.get(), ms) == WAIT_OBJECT_0; }

}  // namespace media
