// The MIDI file as one stream of 12-byte events, all tracks merged in time order.
#include "media/midi_merge.h"
#include <algorithm>
#include <cstring>

namespace media {

namespace {

constexpr uint32_t kMaxTempoWord = 0x00FFFFFF;

bool is_volume(uint32_t word) { return (word & 0xF0) == 0xB0 && (word >> 8 & 0xFF) == 7; }

}  // namespace

bool MidiMerge::load(const uint8_t* data, size_t length) {
  std::vector<uint8_t> copy(data, data + length);
  uint16_t division;
  std::vector<SmfTrack> tracks;
  if (!smf_load(copy.data(), copy.size(), &division, &tracks)) return false;
  file_.swap(copy);                // the tracks point into the buffer, which moves with the swap
  tracks_.swap(tracks);
  division_ = division;
  tempo_ = kDefaultTempo;
  pacing_ = static_cast<uint32_t>(uint64_t(division_) * 60000 / tempo_);
  last_time_ = 0;
  wrote_in_pass_ = false;
  return true;
}

void MidiMerge::rewind() {
  for (SmfTrack& t : tracks_) smf_rewind(t, 0);
  last_time_ = 0;
  wrote_in_pass_ = false;
}

void MidiMerge::set_speed(uint32_t percent) { speed_ = std::clamp<uint32_t>(percent, 1, 1000); }

// The track whose next event comes first; the first such track on ties.
SmfTrack* MidiMerge::earliest() {
  SmfTrack* best = nullptr;
  for (SmfTrack& t : tracks_)
    if (!t.ended && (!best || t.time < best->time)) best = &t;
  return best;
}

// Every track from its start again, after the end of the longest: false when the pass just
// finished wrote nothing (it would loop for ever without a sound).
bool MidiMerge::restart_pass() {
  if (!wrote_in_pass_) return false;
  uint64_t base = last_time_;
  for (const SmfTrack& t : tracks_) base = std::max(base, t.time);
  for (SmfTrack& t : tracks_) smf_rewind(t, base);
  wrote_in_pass_ = false;
  return true;
}

uint32_t MidiMerge::fill(uint8_t* buffer, uint32_t capacity, bool repeat, bool* ended) {
  *ended = false;
  uint32_t used = 0;
  while (capacity - used >= sizeof(StreamEvent)) {
    SmfTrack* t = earliest();
    if (!t) {
      if (repeat && restart_pass()) continue;
      *ended = true;
      break;
    }
    const uint64_t time = t->time;
    const SmfEvent e = smf_read_event(*t);
    if (e.kind == SmfEvent::kNone) continue;
    StreamEvent out{static_cast<uint32_t>(std::min<uint64_t>(time - last_time_, 0xFFFFFFFF)), 0, 0};
    if (e.kind == SmfEvent::kChannel) {
      out.word = e.word | (is_volume(e.word) ? kEventCallback : 0);
    } else {
      tempo_ = std::max<uint32_t>(e.word, 1);
      pacing_ = static_cast<uint32_t>(uint64_t(division_) * 60000 / tempo_);
      out.word = kEventTempo | std::min<uint64_t>(uint64_t(tempo_) * 100 / speed_, kMaxTempoWord);
    }
    std::memcpy(buffer + used, &out, sizeof out);
    used += sizeof out;
    last_time_ = time;
    wrote_in_pass_ = true;
  }
  return used;
}

}  // namespace media
