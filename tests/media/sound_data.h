// Builders of sound data for the media tests: RIFF wave files and standard MIDI files.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace sound_data {

using Bytes = std::vector<uint8_t>;

inline void le32(Bytes& b, uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i))); }
inline void le16(Bytes& b, uint16_t v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); }
inline void be32(Bytes& b, uint32_t v) { for (int i = 3; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i))); }
inline void be16(Bytes& b, uint16_t v) { b.push_back(uint8_t(v >> 8)); b.push_back(uint8_t(v)); }
inline void text(Bytes& b, const char* s) { b.insert(b.end(), s, s + std::strlen(s)); }

inline Bytes chunk(const char* id, const Bytes& body) {
  Bytes b;
  text(b, id);
  le32(b, static_cast<uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  if (body.size() & 1) b.push_back(0);
  return b;
}

inline Bytes pcm_format(uint16_t channels, uint32_t rate, uint16_t bits) {
  Bytes f;
  le16(f, 1);
  le16(f, channels);
  le32(f, rate);
  le32(f, rate * channels * bits / 8);
  le16(f, static_cast<uint16_t>(channels * bits / 8));
  le16(f, bits);
  return f;
}

// A RIFF file from its chunks, in the order given.
inline Bytes riff(const std::vector<Bytes>& chunks) {
  Bytes body;
  text(body, "WAVE");
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  Bytes b;
  text(b, "RIFF");
  le32(b, static_cast<uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

// 16-bit stereo 44.1 kHz wave data holding `samples`.
inline Bytes wave(const Bytes& samples, bool data_first = false) {
  Bytes fmt = chunk("fmt ", pcm_format(2, 44100, 16)), data = chunk("data", samples);
  return data_first ? riff({data, fmt}) : riff({fmt, data});
}

// Samples that never repeat within a few megabytes and hold no long run of silence.
inline Bytes pattern(size_t n, uint32_t seed) {
  Bytes b(n);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1664525u + 1013904223u;
    b[i] = static_cast<uint8_t>((x >> 24) | 1);
  }
  return b;
}

inline Bytes vlq(uint32_t v) {
  Bytes b;
  b.push_back(uint8_t(v & 0x7F));
  while (v >>= 7) b.insert(b.begin(), uint8_t(0x80 | (v & 0x7F)));
  return b;
}

inline Bytes track(const Bytes& events) {
  Bytes b;
  text(b, "MTrk");
  be32(b, static_cast<uint32_t>(events.size()));
  b.insert(b.end(), events.begin(), events.end());
  return b;
}

inline Bytes smf(const std::vector<Bytes>& events_per_track, uint16_t division = 96,
                 uint32_t header_length = 6) {
  Bytes b;
  text(b, "MThd");
  be32(b, header_length);
  be16(b, 1);
  be16(b, static_cast<uint16_t>(events_per_track.size()));
  be16(b, division);
  for (uint32_t i = 6; i < header_length; ++i) b.push_back(0);
  for (const Bytes& t : events_per_track) {
    Bytes tr = track(t);
    b.insert(b.end(), tr.begin(), tr.end());
  }
  return b;
}

// Concatenates delta-time + event byte groups.
inline Bytes events(std::initializer_list<std::pair<uint32_t, Bytes>> list) {
  Bytes b;
  for (const auto& [delta, bytes] : list) {
    Bytes d = vlq(delta);
    b.insert(b.end(), d.begin(), d.end());
    b.insert(b.end(), bytes.begin(), bytes.end());
  }
  return b;
}

}  // namespace sound_data
