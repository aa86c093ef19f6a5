// Sound playback into a real wave device: this suite runs with ALSA's default device set to a
// file over the null sink (ALSA_CONFIG_PATH, Wine's PulseAudio driver switched off), so every
// sample the players write lands in a file of ORVEL_SOUND_SINK, one file per opened device.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>
#include <algorithm>
#include <random>
#include <string>
#include <vector>
#include "abi/unit_type.h"
#include "media/playback.h"
#include "media/wave_player.h"
#include "runtime/runtime.h"
#include "units/framework.h"
#include "units/templates.h"
#include "units/window_unit.h"
#include "../kit/kit.h"
#include "call.h"
#include "guarded.h"
#include "sound_data.h"

namespace {

using namespace sound_data;

std::string sink_dir() {
  const char* unix_dir = getenv("ORVEL_SOUND_SINK");
  if (!unix_dir) return {};
  std::string d = std::string("Z:") + unix_dir;
  std::replace(d.begin(), d.end(), '/', '\\');
  return d;
}

// The files the device wrote, oldest name first (out.raw, out.raw.0001, ...), empty ones left out.
std::vector<Bytes> sink_files() {
  std::vector<std::string> names;
  WIN32_FIND_DATAA f;
  HANDLE h = FindFirstFileA((sink_dir() + "\\out.raw*").c_str(), &f);
  if (h != INVALID_HANDLE_VALUE) {
    do names.push_back(f.cFileName);
    while (FindNextFileA(h, &f));
    FindClose(h);
  }
  std::sort(names.begin(), names.end());
  std::vector<Bytes> files;
  for (const std::string& n : names) {
    HANDLE file = CreateFileA((sink_dir() + "\\" + n).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    Bytes b(GetFileSize(file, nullptr));
    DWORD got = 0;
    if (!b.empty()) ReadFile(file, b.data(), static_cast<DWORD>(b.size()), &got, nullptr);
    CloseHandle(file);
    b.resize(got);
    if (!b.empty()) files.push_back(std::move(b));
  }
  return files;
}

void clear_sink() {
  WIN32_FIND_DATAA f;
  HANDLE h = FindFirstFileA((sink_dir() + "\\out.raw*").c_str(), &f);
  if (h == INVALID_HANDLE_VALUE) return;
  do DeleteFileA((sink_dir() + "\\" + f.cFileName).c_str());
  while (FindNextFileA(h, &f));
  FindClose(h);
}

bool starts_with(const Bytes& file, const Bytes& data, size_t n) {
  return file.size() >= n && std::equal(data.begin(), data.begin() + n, file.begin());
}
bool all_zero(const Bytes& b, size_t from, size_t to) {
  return std::all_of(b.begin() + from, b.begin() + to, [](uint8_t v) { return v == 0; });
}
// Where `data` occurs in `file` at or after `from`; npos when it does not.
size_t find(const Bytes& file, const Bytes& data, size_t from) {
  auto it = std::search(file.begin() + std::min(from, file.size()), file.end(), data.begin(), data.end());
  return it == file.end() ? std::string::npos : size_t(it - file.begin());
}

class WaveSink : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(sink_dir().empty()) << "run through ctest: ORVEL_SOUND_SINK names the sink folder";
    ASSERT_GT(waveOutGetNumDevs(), 0u) << "the file sink was not found (ALSA_CONFIG_PATH)";
    clear_sink();
  }
  void TearDown() override {
    media::stop_sounds(true);
    clear_sink();
  }
};

}  // namespace

TEST_F(WaveSink, SamplesArriveWholeAndInOrder) {
  const Bytes samples = pattern(200000, 1);
  const Bytes file = wave(samples, /*data_first=*/true);
  ASSERT_TRUE(media::play_sound(file.data(), file.size(), false));
  auto players = media::wave_players();
  ASSERT_EQ(players.size(), 1u);
  EXPECT_TRUE(players[0].has_device);
  ASSERT_TRUE(media::wait_wave_players(10000));
  const std::vector<Bytes> out = sink_files();
  ASSERT_EQ(out.size(), 1u);
  ASSERT_TRUE(starts_with(out[0], samples, samples.size()));
  EXPECT_TRUE(all_zero(out[0], samples.size(), out[0].size()));  // silence until the close
}

TEST_F(WaveSink, TwoSoundsPlayAtOnce) {
  const Bytes a = pattern(300000, 2), b = pattern(300000, 3);
  const Bytes wa = wave(a), wb = wave(b);
  ASSERT_TRUE(media::play_sound(wa.data(), wa.size(), false));
  ASSERT_TRUE(media::play_sound(wb.data(), wb.size(), false));
  EXPECT_EQ(media::wave_players().size(), 2u);  // the first still plays when the second starts
  ASSERT_TRUE(media::wait_wave_players(10000));
  std::vector<Bytes> out = sink_files();
  ASSERT_EQ(out.size(), 2u);
  if (!starts_with(out[0], a, 16)) std::swap(out[0], out[1]);
  EXPECT_TRUE(starts_with(out[0], a, a.size()));
  EXPECT_TRUE(starts_with(out[1], b, b.size()));
}

TEST_F(WaveSink, RepeatPlaysTheDataAgain) {
  const Bytes a = pattern(50000, 4);
  const Bytes w = wave(a);
  ASSERT_TRUE(media::play_sound(w.data(), w.size(), true));
  for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(10)) {
    auto p = media::wave_players();
    if (p.size() == 1 && p[0].passes >= 2) break;  // the second pass has played whole
  }
  ASSERT_GE(media::wave_players().at(0).passes, 2u);
  media::stop_sounds(true);
  EXPECT_TRUE(media::wave_players().empty());
  const std::vector<Bytes> out = sink_files();
  ASSERT_EQ(out.size(), 1u);
  ASSERT_TRUE(starts_with(out[0], a, a.size()));
  const size_t again = find(out[0], a, a.size());
  ASSERT_NE(again, std::string::npos);
  EXPECT_TRUE(all_zero(out[0], a.size(), again));  // at most the device's silence between passes
}

TEST_F(WaveSink, StopEndsEverySoundAndItsThread) {
  const Bytes warm = wave(pattern(4000, 9));      // the platform's own audio threads start once
  ASSERT_TRUE(media::play_sound(warm.data(), warm.size(), false));
  ASSERT_TRUE(media::wait_wave_players(10000));
  Sleep(200);
  const int threads_before = thread_count();

  const Bytes a = pattern(4000000, 5), b = pattern(60000, 6);  // 22 s and a repeating 0.3 s
  const Bytes wa = wave(a), wb = wave(b);
  ASSERT_TRUE(media::play_sound(wa.data(), wa.size(), false));
  ASSERT_TRUE(media::play_sound(wb.data(), wb.size(), true));
  Sleep(300);
  EXPECT_GE(thread_count(), threads_before + 2);  // a feeding thread per sound, and the devices' own
  const DWORD start = GetTickCount();
  media::stop_sounds(true);
  EXPECT_LT(GetTickCount() - start, 2000u);
  EXPECT_TRUE(media::wave_players().empty());
  std::vector<Bytes> out = sink_files();
  out.erase(out.begin());  // the warm-up sound's file
  ASSERT_EQ(out.size(), 2u);
  if (!starts_with(out[0], a, 16)) std::swap(out[0], out[1]);
  EXPECT_TRUE(starts_with(out[0], a, media::kWaveBufferBytes));
  EXPECT_LT(out[0].size(), a.size());           // stopped part way
  EXPECT_TRUE(starts_with(out[1], b, b.size()));
  for (DWORD t = GetTickCount(); GetTickCount() - t < 2000 && thread_count() > threads_before;) Sleep(20);
  EXPECT_LE(thread_count(), threads_before);
}

// Mutated wave files go to the device as they are (odd formats, cut chunks): each is refused,
// refused by the device (and plays without one), or plays; nothing crashes or stays behind.
TEST_F(WaveSink, MutatedWavesNeverCrash) {
  std::mt19937 rng(7);
  const Bytes seed = wave(pattern(40000, 8));
  int accepted = 0;
  for (int i = 0; i < 60; ++i) {
    Bytes b = seed;
    for (int e = 0; e < 3; ++e) {
      const size_t at = rng() % 48;  // the headers and the format record
      b[at] = uint8_t(rng());
    }
    if (rng() % 4 == 0) b.resize(rng() % b.size());
    accepted += media::play_sound(b.data(), b.size(), rng() % 2 == 0);
    if (i % 10 == 9) media::stop_sounds(true);
  }
  media::stop_sounds(true);
  EXPECT_TRUE(media::wave_players().empty());
  EXPECT_GT(accepted, 5);
}

// The window unit's background music goes through notification 2015 into a player.
TEST_F(WaveSink, WindowBackgroundMusicPlays) {
  units::install();
  media::install();
  constexpr uint32_t kWindow = 0x52017101, kOwn = 0x06017100;
  units::WindowTemplate window;
  window.id = kWindow;
  units::Entry own;
  own.id = kOwn;
  own.type = units::kWindowType;
  own.width = 200;
  own.height = 100;
  window.entries.push_back(own);
  runtime::rt().templates.push_back(&window);
  ASSERT_TRUE(units::load_window(window, false, nullptr));

  const Bytes samples = pattern(100000, 7);
  const Bytes w = wave(samples);
  Bytes block;                                    // a byte set: header words, then the bytes
  le32(block, 1);
  le32(block, static_cast<uint32_t>(w.size()));
  block.insert(block.end(), w.begin(), w.end());
  units::write_property(kWindow, kOwn, 14, -1, 1, 0);  // music mode 1: play once
  units::write_property(kWindow, kOwn, 13, -1, reinterpret_cast<uint32_t>(block.data()), 0);
  EXPECT_EQ(media::wave_players().size(), 1u);
  ASSERT_TRUE(media::wait_wave_players(10000));
  const std::vector<Bytes> out = sink_files();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_TRUE(starts_with(out[0], samples, samples.size()));

  if (units::WindowUnit* u = units::live_window(window)) DestroyWindow(u->handle());
  runtime::rt().templates.clear();
}

Bytes samples_of(const std::string& wave_file) {
  HANDLE h = CreateFileA(wave_file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  Bytes b(GetFileSize(h, nullptr));
  DWORD got = 0;
  ReadFile(h, b.data(), static_cast<DWORD>(b.size()), &got, nullptr);
  CloseHandle(h);
  return Bytes(b.begin() + 44, b.end());  // the plain header make_wave.py writes
}

// A whole program: its window's background music and a sound from the play sound command,
// both repeating when it exits. Shutdown stops them and waits for their threads; the program
// ends at once with code 0, and both sounds reached the device.
TEST_F(WaveSink, ProgramExitsWhileSoundsRepeat) {
  kit::Process p(kit::bin_dir() + "sound_prog.exe", "", kit::bin_dir());
  ASSERT_TRUE(p.started());
  DWORD code = kit::kStillRunning;
  ASSERT_TRUE(p.wait(15000, &code));
  EXPECT_EQ(code, 0u);
  std::vector<Bytes> out = sink_files();
  ASSERT_EQ(out.size(), 2u);
  const Bytes music = samples_of(kit::bin_dir() + "sound_prog_music.wav");
  const Bytes second = samples_of(kit::bin_dir() + "sound_prog_second.wav");
  if (!starts_with(out[0], music, 16)) std::swap(out[0], out[1]);
  EXPECT_TRUE(starts_with(out[0], music, music.size()));
  EXPECT_TRUE(starts_with(out[1], second, second.size()));
}

// The core library's play sound (195) and stop sound (196) commands, end to end: sound data
// as a byte set or a file named by a text, the repeat flag, and stop.
TEST_F(WaveSink, PlayAndStopSoundCommands) {
  media::install();
  const Bytes a = pattern(80000, 10), b = pattern(60000, 11);
  const Bytes wa = wave(a), wb = wave(b, true);
  runtime::ArgRecord r = calls::call(195, {calls::Bin(std::string(wa.begin(), wa.end()))});
  EXPECT_NE(r.lo, 0u);
  ASSERT_TRUE(media::wait_wave_players(10000));

  char path[MAX_PATH];
  GetTempPathA(MAX_PATH, path);
  const std::string file = std::string(path) + "orvel_sound_cmd.wav";
  HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD wrote = 0;
  WriteFile(h, wb.data(), static_cast<DWORD>(wb.size()), &wrote, nullptr);
  CloseHandle(h);
  r = calls::call(195, {calls::Text(file), calls::Int(1)});   // repeats until stopped
  EXPECT_NE(r.lo, 0u);
  for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(10)) {
    auto p = media::wave_players();
    if (p.size() == 1 && p[0].passes >= 2) break;  // the second pass has played whole
  }
  calls::call(196, {});
  EXPECT_TRUE(media::wait_wave_players(2000));
  EXPECT_TRUE(media::wave_players().empty());
  DeleteFileA(file.c_str());

  r = calls::call(195, {calls::Bin("RIFF but not a sound")});
  EXPECT_EQ(r.lo, 0u);
  const std::vector<Bytes> out = sink_files();
  ASSERT_EQ(out.size(), 2u);
  EXPECT_TRUE(starts_with(out[0], a, a.size()));
  EXPECT_TRUE(starts_with(out[1], b, b.size()));
  EXPECT_NE(find(out[1], b, b.size()), std::string::npos);  // played again
}
