// Standard MIDI files.
//
// Header chunk (all numbers big-endian):
// OFFSET  SIZE  DESCRIPTION
//      0     4  "MThd"
//      4     4  header length: 6 (anything else is refused)
//      8     2  format (0, 1 or 2; not checked)
//     10     2  track count
//     12     2  time division (ticks per quarter note, or SMPTE frames and ticks)
// Then each track: "MTrk", a 4-byte length and its events, each a variable-length delta time
// and a channel message (with running status), a system exclusive event (0xF0 or 0xF7, a
// variable-length length, data) or a meta event (0xFF, type, variable-length length, data).
#include "media/smf.h"
#include <algorithm>
#include <cstring>

namespace media {

namespace {

#pragma pack(push, 1)
struct SmfHeader {
  char mark[4];        // "MThd"
  uint8_t length[4];   // 6
  uint8_t format[2];
  uint8_t tracks[2];
  uint8_t division[2];
};
struct ChunkHeader {
  char mark[4];        // "MTrk"
  uint8_t length[4];
};
#pragma pack(pop)
static_assert(sizeof(SmfHeader) == 14 && offsetof(SmfHeader, length) == 4 &&
              offsetof(SmfHeader, tracks) == 10 && offsetof(SmfHeader, division) == 12);
static_assert(sizeof(ChunkHeader) == 8 && offsetof(ChunkHeader, length) == 4);

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

constexpr uint8_t kMetaEnd = 0x2F, kMetaTempo = 0x51;

void end_track(SmfTrack& t) {
  t.ended = true;
  t.pos = t.end;
}

// Reads the delta time before the next event; a track with no bytes left has ended.
void read_delta(SmfTrack& t) {
  uint32_t delta;
  if (t.pos >= t.end || !smf_read_vlq(t.pos, t.end, &delta)) return end_track(t);
  t.time += delta;
}

// Steps over `n` bytes; false (and the track ended) when they are not all there.
bool skip(SmfTrack& t, uint32_t n) {
  if (n > static_cast<size_t>(t.end - t.pos)) {
    end_track(t);
    return false;
  }
  t.pos += n;
  return true;
}

}  // namespace

bool is_midi(const uint8_t* data, size_t length) {
  return data && length > 4 && std::memcmp(data, "MThd", 4) == 0;
}

bool smf_read_vlq(const uint8_t*& pos, const uint8_t* end, uint32_t* value) {
  uint32_t v = 0;
  for (int group = 0; group < 4; ++group) {
    if (pos >= end) return false;
    const uint8_t b = *pos++;
    v = v << 7 | (b & 0x7F);
    if (!(b & 0x80)) {
      *value = v;
      return true;
    }
  }
  return false;  // a fifth group would follow
}

bool smf_load(const uint8_t* data, size_t length, uint16_t* division, std::vector<SmfTrack>* tracks) {
  SmfHeader h;
  if (!is_midi(data, length) || length < sizeof h) return false;
  std::memcpy(&h, data, sizeof h);
  if (be32(h.length) != 6) return false;
  *division = be16(h.division);
  tracks->clear();
  const uint8_t* const file_end = data + length;
  const uint8_t* p = data + sizeof h;
  for (uint16_t i = 0, n = be16(h.tracks); i < n; ++i) {
    ChunkHeader c;
    if (static_cast<size_t>(file_end - p) < sizeof c) return false;
    std::memcpy(&c, p, sizeof c);
    if (std::memcmp(c.mark, "MTrk", 4) != 0) return false;
    p += sizeof c;
    const size_t body = std::min<size_t>(be32(c.length), file_end - p);  // cut to what exists
    SmfTrack t{p, p + body, p, 0, 0, false};
    smf_rewind(t, 0);
    tracks->push_back(t);
    p += body;
  }
  return true;
}

void smf_rewind(SmfTrack& t, uint64_t base) {
  t.pos = t.begin;
  t.time = base;
  t.running = 0;
  t.ended = false;
  read_delta(t);  // a track of length 0 is ended at once
}

SmfEvent smf_read_event(SmfTrack& t) {
  SmfEvent e;
  if (t.ended) return e;
  if (t.pos >= t.end) {
    end_track(t);
    return e;
  }
  uint8_t status = *t.pos;
  if (status < 0x80) {
    status = t.running;             // running status: the data bytes follow at once
    if (!status) {
      end_track(t);
      return e;
    }
  } else {
    ++t.pos;
  }

  if (status < 0xF0) {
    t.running = status;
    const uint32_t count = (status & 0xE0) == 0xC0 ? 1 : 2;  // program change, channel pressure
    const uint8_t* d = t.pos;
    if (!skip(t, count)) return e;
    e.kind = SmfEvent::kChannel;
    e.word = status | uint32_t(d[0] & 0x7F) << 8 | (count == 2 ? uint32_t(d[1] & 0x7F) << 16 : 0);
  } else if (status == 0xF0 || status == 0xF7) {
    uint32_t n;
    if (!smf_read_vlq(t.pos, t.end, &n)) {
      end_track(t);
      return e;
    }
    if (!skip(t, n)) return e;     // system exclusive data is read and dropped
  } else if (status == 0xFF) {
    uint32_t n;
    if (t.pos >= t.end) return end_track(t), e;
    const uint8_t type = *t.pos++;
    if (!smf_read_vlq(t.pos, t.end, &n)) return end_track(t), e;
    const uint8_t* d = t.pos;
    if (!skip(t, n)) return e;
    if (type == kMetaEnd) {
      t.ended = true;              // the time stays at the end of the track
      return e;
    }
    if (type == kMetaTempo && n >= 3) {
      e.kind = SmfEvent::kTempo;
      e.word = uint32_t(d[0]) << 16 | d[1] << 8 | d[2];
    }
  } else {
    end_track(t);                  // system common and real-time bytes do not belong in a file
    return e;
  }
  read_delta(t);
  return e;
}

}  // namespace media
