// The runtime's one MIDI sequencer: a standard MIDI file played through a MIDI stream, its
// two 1024-byte buffers refilled as they come back, with repeat, speed and volume reports.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <memory>
#include "framework/gdi.h"
#include "media/lock.h"
#include "media/midi_device.h"
#include "media/midi_merge.h"

namespace media {

using framework::KernelHandle;

constexpr UINT kVolumeMessage = 1047;     // posted to the owner window: (sequencer, pct << 16 | channel)
constexpr uint32_t kStreamBufferBytes = 1024;
constexpr DWORD kStopWaitMs = 2000;

class Sequencer {
 public:
  enum class State { kPlaying, kStopping, kDraining, kDone };

  static Sequencer& instance();

  // Stops what plays, copies and loads the file and plays it. False (refused) when the file's
  // header or tracks are wrong; a stream that cannot be opened ends the playback at once but
  // the file counts as accepted.
  bool play(const uint8_t* data, size_t length, bool repeat);
  // Stops the stream, waits up to 2000 ms for the buffers to come back and closes it.
  void stop();

  void set_speed(uint32_t percent);
  void set_owner(HWND window);          // told about volume changes; null: nobody
  State state() const;
  int volume(int channel) const;        // last volume percentage of a channel, -1: none yet
  uint32_t buffers_done() const;        // buffers the device has given back since the last play
  // Waits for the done event (automatic reset: one waiter sees it).
  bool wait_done(DWORD ms);

 private:
  Sequencer();
  static void on_device(void* context, UINT message, MIDIHDR* header);
  static DWORD WINAPI refill_main(void* self);
  void buffer_done(MIDIHDR* header);
  void volume_played(const MIDIHDR* header);
  void refill(int index);
  bool fill_locked(int index);
  void end_playback_locked();
  void queue_or_fail(int index);

  mutable CriticalSection lock_;       // the device callback may take it
  MidiMerge merge_;
  std::unique_ptr<MidiDevice> device_;
  MIDIHDR headers_[2] = {};
  uint8_t buffers_[2][kStreamBufferBytes] = {};
  bool queued_[2] = {};                 // handed to the device and not back yet
  bool refill_wanted_[2] = {};
  State state_ = State::kDone;
  bool repeat_ = false;
  int volume_[16];
  HWND owner_ = nullptr;
  uint32_t buffers_done_ = 0;
  KernelHandle done_, wake_, quit_, thread_;
};

}  // namespace media
