// Standard MIDI files: the header, the tracks, and reading one event at a time from a track
// without ever reading past its end.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace media {

// One track's reading state.
struct SmfTrack {
  const uint8_t* begin;    // first byte after the track's length field
  const uint8_t* end;      // the track's length, cut to the data that exists
  const uint8_t* pos;      // next byte to read
  uint64_t time;           // absolute time (ticks) of the next event; after the end, the end time
  uint8_t running;         // running status, 0 = none yet
  bool ended;
};

// What one read produced.
struct SmfEvent {
  enum Kind : uint8_t { kNone, kChannel, kTempo } kind = kNone;  // kNone: dropped or ended
  uint32_t word = 0;       // channel: status | data1 << 8 | data2 << 16; tempo: microseconds
};

// "MThd" and at least 4 bytes.
bool is_midi(const uint8_t* data, size_t length);
// Checks the header (length 6) and sets up one track per "MTrk" chunk, each at its first
// event. False on a wrong mark, header length or track mark; a track longer than the data
// is cut to the data.
bool smf_load(const uint8_t* data, size_t length, uint16_t* division, std::vector<SmfTrack>* tracks);
// Puts a track back at its first event, starting at time `base`.
void smf_rewind(SmfTrack& track, uint64_t base);
// Reads the track's next event and the delta time after it. Malformed or cut events end the
// track; a variable-length quantity longer than 4 groups is malformed.
SmfEvent smf_read_event(SmfTrack& track);
// Reads a variable-length quantity (at most 4 groups); false when it runs past `end` or is
// longer.
bool smf_read_vlq(const uint8_t*& pos, const uint8_t* end, uint32_t* value);

}  // namespace media
