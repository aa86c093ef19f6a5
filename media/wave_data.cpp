// RIFF wave data: recognition and the bounded chunk walk.
//
// OFFSET  SIZE  DESCRIPTION
//      0     4  "RIFF"
//      4     4  RIFF length: bytes from offset 8 to the end of the last chunk (little-endian)
//      8     4  "WAVE"
//     12     -  chunks: 4-byte identifier, 4-byte little-endian body length, body, and a pad
//               byte after a body of odd length. "fmt " holds the wave format record,
//               "data" the samples; they may come in either order, other chunks are skipped.
#include "media/wave_data.h"
#include <windows.h>
#include <mmsystem.h>
#include <algorithm>
#include <cstddef>
#include <cstring>

namespace media {

namespace {

#pragma pack(push, 1)
struct RiffHeader {
  char riff[4];        // "RIFF"
  uint32_t length;     // bytes after this field
  char wave[4];        // "WAVE"
};
struct ChunkHeader {
  char id[4];
  uint32_t length;     // body bytes, without the pad byte
};
#pragma pack(pop)
static_assert(sizeof(RiffHeader) == 12 && offsetof(RiffHeader, length) == 4 &&
              offsetof(RiffHeader, wave) == 8);
static_assert(sizeof(ChunkHeader) == 8 && offsetof(ChunkHeader, length) == 4);

constexpr size_t kMinFormat = 16;  // the PCM record without its extra-size field

}  // namespace

bool is_wave(const uint8_t* data, size_t length) {
  return data && length >= sizeof(RiffHeader) && std::memcmp(data, "RIFF", 4) == 0 &&
         std::memcmp(data + 8, "WAVE", 4) == 0;
}

bool find_wave_chunks(const uint8_t* data, size_t length, WaveChunks* out) {
  if (!is_wave(data, length)) return false;
  RiffHeader riff;
  std::memcpy(&riff, data, sizeof riff);
  // The walk ends at the RIFF length or at the end of the data, whichever comes first.
  const uint64_t end = std::min<uint64_t>(8ull + riff.length, length);
  const uint8_t* format = nullptr;
  uint32_t format_length = 0;
  const uint8_t* samples = nullptr;
  uint32_t sample_length = 0;
  uint64_t pos = sizeof(RiffHeader);
  while (pos + sizeof(ChunkHeader) <= end && (!format || !samples)) {
    ChunkHeader chunk;
    std::memcpy(&chunk, data + pos, sizeof chunk);
    const uint64_t body = pos + sizeof chunk;
    const uint64_t cut = std::min<uint64_t>(chunk.length, end - body);  // what really exists
    if (!format && std::memcmp(chunk.id, "fmt ", 4) == 0) {
      if (cut < chunk.length || cut < kMinFormat) return false;  // a cut format is no format
      format = data + body;
      format_length = chunk.length;
    } else if (!samples && std::memcmp(chunk.id, "data", 4) == 0) {
      samples = data + body;
      sample_length = static_cast<uint32_t>(cut);
    }
    pos = body + chunk.length + (chunk.length & 1);
  }
  if (!format || !samples || sample_length == 0) return false;

  out->format.assign(std::max<size_t>(format_length, sizeof(WAVEFORMATEX)), 0);
  std::memcpy(out->format.data(), format, format_length);
  auto* record = reinterpret_cast<WAVEFORMATEX*>(out->format.data());
  const size_t extra_room = out->format.size() - sizeof(WAVEFORMATEX);
  if (format_length < sizeof(WAVEFORMATEX) || record->cbSize > extra_room)
    record->cbSize = static_cast<WORD>(extra_room);
  out->samples = samples;
  out->sample_length = sample_length;
  return true;
}

bool plausible_format(const std::vector<uint8_t>& format) {
  if (format.size() < sizeof(WAVEFORMATEX)) return false;
  WAVEFORMATEX f;
  std::memcpy(&f, format.data(), sizeof f);
  if (f.nChannels < 1 || f.nChannels > 8 || f.nSamplesPerSec < 1000 || f.nSamplesPerSec > 384000 ||
      f.nBlockAlign < 1 || f.nAvgBytesPerSec < 1 || f.wBitsPerSample > 64)
    return false;
  switch (f.wFormatTag) {
    case WAVE_FORMAT_PCM:
    case 3: {  // IEEE floating point
      const bool float_bits = f.wFormatTag == 3 && (f.wBitsPerSample == 32 || f.wBitsPerSample == 64);
      const bool pcm_bits = f.wFormatTag == WAVE_FORMAT_PCM &&
                            (f.wBitsPerSample == 8 || f.wBitsPerSample == 16 ||
                             f.wBitsPerSample == 24 || f.wBitsPerSample == 32);
      return (float_bits || pcm_bits) && f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8 &&
             f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
    }
    default:   // compressed and extensible formats: their driver checks the rest
      return f.nBlockAlign <= 8192;
  }
}

}  // namespace media
