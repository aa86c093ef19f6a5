// Sound playback figures: the feeding thread's CPU time while 60 s of 44.1 kHz stereo play,
// and the latency from play to the first buffer written to the device. Run it with a wave
// device, e.g. the test file sink: build/tests/media/sink-run build/bench/sound_bench.exe
#include <windows.h>
#include <mmsystem.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>
#include "media/playback.h"
#include "media/wave_player.h"

namespace {

std::vector<uint8_t> wave(uint32_t bytes) {
  std::vector<uint8_t> w(44 + bytes);
  auto put32 = [&](size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) w[at + i] = uint8_t(v >> 8 * i); };
  auto put16 = [&](size_t at, uint16_t v) { w[at] = uint8_t(v); w[at + 1] = uint8_t(v >> 8); };
  std::memcpy(&w[0], "RIFF", 4);
  put32(4, 36 + bytes);
  std::memcpy(&w[8], "WAVEfmt ", 8);
  put32(16, 16);
  put16(20, 1);
  put16(22, 2);
  put32(24, 44100);
  put32(28, 44100 * 4);
  put16(32, 4);
  put16(34, 16);
  std::memcpy(&w[36], "data", 4);
  put32(40, bytes);
  uint32_t x = 1;
  for (size_t i = 44; i < w.size(); ++i) w[i] = uint8_t((x = x * 1664525u + 1013904223u) >> 24);
  return w;
}

double seconds(LONGLONG ticks) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return double(ticks) / double(f.QuadPart);
}

double thread_cpu(HANDLE thread) {
  FILETIME c, e, k, u;
  GetThreadTimes(thread, &c, &e, &k, &u);
  auto v = [](FILETIME t) { return (uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7; };
  return v(k) + v(u);
}

}  // namespace

int main() {
  const UINT devices = waveOutGetNumDevs();
  std::printf("wave output devices: %u%s\n", devices,
              devices ? "" : " (no device: the players run without one; figures are of that path)");

  // CPU time of the feeding thread over 60 s of 44.1 kHz 16-bit stereo.
  const std::vector<uint8_t> minute = wave(60 * 44100 * 4);
  LARGE_INTEGER t0, t1;
  QueryPerformanceCounter(&t0);
  if (!media::play_sound(minute.data(), minute.size(), false)) return std::puts("refused"), 1;
  const auto players = media::wave_players();
  HANDLE thread = OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, players.at(0).thread_id);
  // Sampled while it runs: the times of a thread that has ended may read as zero.
  double cpu = 0;
  for (DWORD start = GetTickCount(); GetTickCount() - start < (devices ? 120000u : 1000u);) {
    cpu = std::max(cpu, thread_cpu(thread));
    if (WaitForSingleObject(thread, 50) == WAIT_OBJECT_0) break;
  }
  if (!devices) media::stop_sounds(true);
  QueryPerformanceCounter(&t1);
  const double wall = seconds(t1.QuadPart - t0.QuadPart);
  CloseHandle(thread);
  std::printf("60 s of 44.1 kHz stereo: played in %.2f s wall, feeding thread CPU %.4f s = %.3f %% of "
              "one core over the wall time, %.4f %% over the 60 s of sound\n",
              wall, cpu, 100 * cpu / wall, 100 * cpu / 60);

  // Latency from play to the first buffer written, over 30 short sounds.
  const std::vector<uint8_t> blip = wave(44100);
  std::vector<double> ms;
  for (int i = 0; i < 30; ++i) {
    if (!media::play_sound(blip.data(), blip.size(), false)) return 1;
    media::WavePlayerInfo info{};
    for (int k = 0; k < 2000; ++k) {
      auto p = media::wave_players();
      if (!p.empty() && p.back().first_write) {
        info = p.back();
        break;
      }
      Sleep(1);
    }
    if (info.first_write) ms.push_back(1000 * seconds(info.first_write - info.started));
    media::stop_sounds(true);
  }
  std::sort(ms.begin(), ms.end());
  if (!ms.empty())
    std::printf("play to first buffer written (%zu sounds): median %.3f ms, max %.3f ms\n", ms.size(),
                ms[ms.size() / 2], ms.back());
  return 0;
}
