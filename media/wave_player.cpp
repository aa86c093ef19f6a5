// Wave players. The feeding thread fills the next free buffer and writes it to the wave output
// device; the device's callback gives a buffer back by counting it free and releasing the
// semaphore once. The thread ends when the data has played (without repeat), on the stop
// event, or when 8888 ms pass without a buffer coming back; it then takes the player out of
// the list and frees everything it holds.
#include "media/wave_player.h"
#include <mmsystem.h>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include "framework/gdi.h"
#include "media/lock.h"
#include "media/wave_data.h"

namespace media {

using framework::KernelHandle;

namespace {

class WavePlayer {
 public:
  WavePlayer(const WaveChunks& chunks, bool repeat);
  ~WavePlayer();
  bool ready() const { return semaphore_ && stop_ && buffers_; }
  bool open_device();
  bool start();                       // thread created suspended, listed, resumed
  void signal_stop() { SetEvent(stop_.get()); }
  HANDLE thread() const { return thread_.get(); }
  WavePlayerInfo info() const;

 private:
  static void CALLBACK on_device(HWAVEOUT, UINT message, DWORD_PTR self, DWORD_PTR, DWORD_PTR);
  static DWORD WINAPI feed_main(void* self);
  void feed();
  bool write_next();                  // false: the device refused the buffer
  void release_all_buffers();
  void unprepare(WAVEHDR& h);
  LONG free_buffers();

  std::vector<uint8_t> samples_, format_;
  size_t position_ = 0;               // next unsent byte
  std::unique_ptr<uint8_t[]> buffers_;
  WAVEHDR headers_[kWaveBuffers] = {};
  LONG free_ = kWaveBuffers;
  CriticalSection free_lock_;
  int next_ = 0;                      // next buffer to fill, 0..19
  KernelHandle semaphore_, stop_, thread_;
  HWAVEOUT device_ = nullptr;
  bool repeat_;
  LONGLONG started_ = 0;
  std::atomic<LONGLONG> first_write_{0};
  std::atomic<uint32_t> written_{0}, passes_{0};
};

// The process-wide list of players.
struct PlayerList {
  CriticalSection lock;
  std::vector<WavePlayer*> players;
};
PlayerList& list() {
  static PlayerList* l = new PlayerList;  // never destroyed: feeding threads may outlive statics
  return *l;
}

LONGLONG now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

WavePlayer::WavePlayer(const WaveChunks& chunks, bool repeat)
    : samples_(chunks.samples, chunks.samples + chunks.sample_length),
      format_(chunks.format),
      buffers_(new (std::nothrow) uint8_t[size_t(kWaveBuffers) * kWaveBufferBytes]()),
      semaphore_(CreateSemaphoreA(nullptr, 0, kWaveBuffers, nullptr)),
      stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      repeat_(repeat),
      started_(now()) {
  for (int i = 0; buffers_ && i < kWaveBuffers; ++i)
    headers_[i].lpData = reinterpret_cast<LPSTR>(&buffers_[size_t(i) * kWaveBufferBytes]);
}

WavePlayer::~WavePlayer() {
  if (device_) waveOutClose(device_);
}

bool WavePlayer::open_device() {
  if (!plausible_format(format_) || waveOutGetNumDevs() == 0) return false;
  if (waveOutOpen(&device_, WAVE_MAPPER, reinterpret_cast<WAVEFORMATEX*>(format_.data()),
                  reinterpret_cast<DWORD_PTR>(&on_device), reinterpret_cast<DWORD_PTR>(this),
                  CALLBACK_FUNCTION) == MMSYSERR_NOERROR)
    return true;
  device_ = nullptr;
  return false;
}

bool WavePlayer::start() {
  thread_.reset(CreateThread(nullptr, 0, &feed_main, this, CREATE_SUSPENDED, nullptr));
  if (!thread_) return false;
  {
    Locked hold(list().lock);
    list().players.push_back(this);
  }
  ResumeThread(thread_.get());
  ReleaseSemaphore(semaphore_.get(), kWaveBuffers, nullptr);  // every buffer is free
  return true;
}

WavePlayerInfo WavePlayer::info() const {
  return {GetThreadId(thread_.get()), device_ != nullptr, started_, first_write_.load(),
          written_.load(), passes_.load()};
}

// Runs on the device's thread: only counts and releases.
void CALLBACK WavePlayer::on_device(HWAVEOUT, UINT message, DWORD_PTR self, DWORD_PTR, DWORD_PTR) {
  if (message != WOM_DONE) return;
  auto* p = reinterpret_cast<WavePlayer*>(self);
  {
    Locked hold(p->free_lock_);
    ++p->free_;
  }
  ReleaseSemaphore(p->semaphore_.get(), 1, nullptr);
}

LONG WavePlayer::free_buffers() {
  Locked hold(free_lock_);
  return free_;
}

void WavePlayer::unprepare(WAVEHDR& h) {
  if (device_ && (h.dwFlags & WHDR_PREPARED)) waveOutUnprepareHeader(device_, &h, sizeof h);
}

void WavePlayer::release_all_buffers() {
  for (WAVEHDR& h : headers_) unprepare(h);
}

bool WavePlayer::write_next() {
  WAVEHDR& h = headers_[next_];
  const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(samples_.size() - position_, kWaveBufferBytes));
  std::memcpy(h.lpData, samples_.data() + position_, piece);
  h.dwBufferLength = piece;
  h.dwFlags = 0;
  position_ += piece;
  if (device_) {
    if (waveOutPrepareHeader(device_, &h, sizeof h) != MMSYSERR_NOERROR) return false;
    {
      Locked hold(free_lock_);
      --free_;  // before the write: the buffer may come back at once
    }
    if (waveOutWrite(device_, &h, sizeof h) != MMSYSERR_NOERROR) return false;
  } else {
    Locked hold(free_lock_);
    --free_;    // without a device nothing comes back: the time-out ends the player
  }
  LONGLONG zero = 0;
  first_write_.compare_exchange_strong(zero, now());
  ++written_;
  next_ = (next_ + 1) % kWaveBuffers;
  return true;
}

void WavePlayer::feed() {
  const HANDLE waits[2] = {stop_.get(), semaphore_.get()};
  for (;;) {
    if (WaitForMultipleObjects(2, waits, FALSE, kFeedTimeoutMs) != WAIT_OBJECT_0 + 1) break;
    const LONG free = free_buffers();
    if (free < 1) continue;
    unprepare(headers_[next_]);
    if (position_ < samples_.size()) {
      if (!write_next()) break;
      continue;
    }
    if (free < kWaveBuffers) continue;  // the last buffers are still playing
    if (!repeat_) {
      release_all_buffers();
      return;
    }
    position_ = 0;                      // from the start again
    next_ = 0;
    {
      Locked hold(free_lock_);
      free_ = kWaveBuffers;
    }
    for (int i = 0; i < kWaveBuffers; ++i)
      if (!ReleaseSemaphore(semaphore_.get(), 1, nullptr)) break;  // already full
    ++passes_;
  }
  // Stopped, timed out or refused by the device.
  if (device_) {
    waveOutPause(device_);
    waveOutReset(device_);
  }
  release_all_buffers();
}

DWORD WINAPI WavePlayer::feed_main(void* param) {
  auto* p = static_cast<WavePlayer*>(param);
  try {
    p->feed();
  } catch (...) {
  }
  {
    Locked hold(list().lock);
    auto& players = list().players;
    players.erase(std::remove(players.begin(), players.end(), p), players.end());
  }
  delete p;  // closes the device, frees samples and buffers, closes the handles
  return 0;
}

}  // namespace

bool start_wave_player(const uint8_t* data, size_t length, bool repeat) {
  WaveChunks chunks;
  if (!find_wave_chunks(data, length, &chunks)) return false;
  auto player = std::make_unique<WavePlayer>(chunks, repeat);
  if (!player->ready()) return false;
  player->open_device();  // without one the player goes on and plays nothing
  if (!player->start()) return false;
  player.release();       // the feeding thread owns it now
  return true;
}

void signal_wave_players() {
  Locked hold(list().lock);
  for (WavePlayer* p : list().players) p->signal_stop();
}

bool wait_wave_players(DWORD ms) {
  std::vector<KernelHandle> threads;
  {
    Locked hold(list().lock);
    for (WavePlayer* p : list().players) {
      HANDLE copy = nullptr;
      if (DuplicateHandle(GetCurrentProcess(), p->thread(), GetCurrentProcess(), &copy, SYNCHRONIZE,
                          FALSE, 0))
        threads.emplace_back(copy);
    }
  }
  const DWORD deadline = GetTickCount() + ms;
  for (KernelHandle& t : threads) {
    const DWORD now_ms = GetTickCount();
    const DWORD left = static_cast<LONG>(deadline - now_ms) > 0 ? deadline - now_ms : 0;
    if (WaitForSingleObject(t.get(), left) != WAIT_OBJECT_0) return false;
  }
  return true;
}

std::vector<WavePlayerInfo> wave_players() {
  std::vector<WavePlayerInfo> out;
  Locked hold(list().lock);
  for (const WavePlayer* p : list().players) out.push_back(p->info());
  return out;
}

}  // namespace media
