// Wave players: one per playing wave sound, each with its own copy of the samples, 20 buffers
// and a feeding thread; all of them in one process-wide list.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace media {

constexpr int kWaveBuffers = 20;
constexpr uint32_t kWaveBufferBytes = 15360;
constexpr DWORD kFeedTimeoutMs = 8888;  // a player whose device gives nothing back this long ends

// What a playing sound has done so far (for tests and figures).
struct WavePlayerInfo {
  DWORD thread_id;            // the feeding thread
  bool has_device;            // false: playing without a device (nothing sounds)
  LONGLONG started;           // performance counter when play was asked
  LONGLONG first_write;       // performance counter when the first buffer went out, 0: none yet
  uint32_t buffers_written;
  uint32_t passes;            // times the data started from the beginning again
};

// Starts a player for RIFF wave data; false (refused) when the chunks are not there.
bool start_wave_player(const uint8_t* data, size_t length, bool repeat);
// Signals every player's stop event.
void signal_wave_players();
// Waits until every player's thread has ended, at most `ms` in all; true when they have.
bool wait_wave_players(DWORD ms);
std::vector<WavePlayerInfo> wave_players();

}  // namespace media
