// RIFF wave data: recognition and the bounded chunk walk that finds the format record and the
// samples.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace media {

// Where the two chunks of a wave file lie inside the data given.
struct WaveChunks {
  std::vector<uint8_t> format;  // the format record, at least 18 bytes (a 16-byte record gets
                                // a zero extra-size field); its extra size never exceeds the chunk
  const uint8_t* samples;       // body of the "data" chunk
  uint32_t sample_length;       // cut to the bytes that exist inside the RIFF length and the data
};

// "RIFF" at 0, "WAVE" at 8, at least 12 bytes.
bool is_wave(const uint8_t* data, size_t length);
// Walks the chunks from offset 12, bounded by the RIFF length and by `length`. False when
// either chunk is missing, the format record is cut short or there are no samples.
bool find_wave_chunks(const uint8_t* data, size_t length, WaveChunks* out);

// Whether a format record describes something a device can be asked to open: channels, rate
// and block size in range and, for plain PCM and floating-point samples, consistent with each
// other. A device is never opened with anything else (some drivers divide by these fields or
// size their buffers from them).
bool plausible_format(const std::vector<uint8_t>& format);

}  // namespace media
