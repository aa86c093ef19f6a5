// The MIDI file as one stream: events of all tracks merged in time order and written as the
// 12-byte events of the platform's MIDI stream buffers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>
#include "media/smf.h"

namespace media {

#pragma pack(push, 1)
// One event of a stream buffer.
struct StreamEvent {
  uint32_t delta;      // ticks since the previous event written
  uint32_t stream;     // always 0
  uint32_t word;       // channel message, or the tempo with 0x01 in the top byte
};
#pragma pack(pop)
static_assert(sizeof(StreamEvent) == 12);

constexpr uint32_t kEventTempo = 0x01000000;     // top byte of a tempo event
constexpr uint32_t kEventCallback = 0x40000000;  // the device reports the event when played
constexpr uint32_t kDefaultTempo = 500000;       // microseconds per quarter note

class MidiMerge {
 public:
  // Copies the file and sets up its tracks; false when it is not a valid file.
  bool load(const uint8_t* data, size_t length);
  // Fills `buffer` with whole events, at most `capacity` bytes, and returns the bytes written.
  // When every track has ended: with `repeat`, every track starts again (after a pass that
  // wrote nothing the file counts as ended even so); otherwise `*ended` is set and the buffer
  // is the last.
  uint32_t fill(uint8_t* buffer, uint32_t capacity, bool repeat, bool* ended);
  // Every track back at its start, the time at 0.
  void rewind();

  void set_speed(uint32_t percent);  // 1..1000; 100 plays at the file's own tempo
  uint32_t speed() const { return speed_; }
  uint16_t division() const { return division_; }
  uint32_t tempo() const { return tempo_; }     // the file's last tempo read
  uint32_t pacing() const { return pacing_; }   // division x 60000 / tempo

 private:
  SmfTrack* earliest();
  bool restart_pass();

  std::vector<uint8_t> file_;
  std::vector<SmfTrack> tracks_;
  uint16_t division_ = 0;
  uint32_t tempo_ = kDefaultTempo, speed_ = 100, pacing_ = 0;
  uint64_t last_time_ = 0;         // time of the last event written
  bool wrote_in_pass_ = false;     // an event was written since the tracks last started
};

}  // namespace media
