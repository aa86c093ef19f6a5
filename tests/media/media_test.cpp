// Sound playback without a sound device (as this machine has none unless a test gives it one):
// recognition of wave and MIDI data, fuzzed readers, the sequencer's merged stream, its
// buffer protocol against a stand-in MIDI device, players without a device, notification
// codes 2015 and 2016, the audio add-on module and the clean-up at shutdown.
#include <gtest/gtest.h>
#include <windows.h>
#include <deque>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include "abi/notify.h"
#include "media/addon.h"
#include "media/midi_device.h"
#include "media/midi_merge.h"
#include "media/playback.h"
#include "media/sequencer.h"
#include "media/smf.h"
#include "media/wave_data.h"
#include "media/wave_player.h"
#include "runtime/notify.h"
#include "runtime/registry.h"
#include "runtime/runtime.h"
#include "guarded.h"
#include "sound_data.h"

namespace {

using namespace sound_data;
using media::StreamEvent;

// Every event of a file, as the sequencer writes them into buffers of `capacity` bytes.
std::vector<StreamEvent> stream_of(const Bytes& file, uint32_t capacity = media::kStreamBufferBytes,
                                   bool repeat = false, uint32_t speed = 100, int max_buffers = 1000) {
  media::MidiMerge m;
  EXPECT_TRUE(m.load(file.data(), file.size()));
  m.set_speed(speed);
  std::vector<StreamEvent> out;
  std::vector<uint8_t> buffer(capacity);
  bool ended = false;
  for (int i = 0; i < max_buffers && !ended; ++i) {
    const uint32_t n = m.fill(buffer.data(), capacity, repeat, &ended);
    EXPECT_EQ(n % sizeof(StreamEvent), 0u);
    EXPECT_LE(n, capacity);
    for (uint32_t off = 0; off < n; off += sizeof(StreamEvent)) {
      StreamEvent e;
      std::memcpy(&e, buffer.data() + off, sizeof e);
      out.push_back(e);
    }
  }
  return out;
}

// Two tracks: tempo 500000 at 0 and 1000000 at 96; a program change, a volume controller
// (100), notes with running status, a system exclusive event and a trailing rest to 240.
Bytes two_tracks() {
  return smf({events({{0, {0xFF, 0x51, 3, 0x07, 0xA1, 0x20}},
                      {96, {0xFF, 0x51, 3, 0x0F, 0x42, 0x40}},
                      {0, {0xFF, 0x2F, 0}}}),
              events({{0, {0xC0, 0x05}},
                      {0, {0xB0, 0x07, 0x64}},
                      {48, {0x90, 0x3C, 0x40}},
                      {48, {0x3C, 0x00}},
                      {0, {0xF0, 0x03, 0x01, 0x02, 0xF7}},
                      {96, {0x80, 0x3C, 0x40}},
                      {48, {0xFF, 0x2F, 0}}})});
}

const std::vector<StreamEvent> kTwoTracks = {
    {0, 0, 0x0107A120},   // tempo 500000
    {0, 0, 0x000005C0},   // program change
    {0, 0, 0x406407B0},   // volume 100, with the callback flag
    {48, 0, 0x00403C90},  // note on
    {48, 0, 0x010F4240},  // tempo 1000000 (track 0 first on the tie at 96)
    {0, 0, 0x00003C90},   // running status
    {96, 0, 0x00403C80},  // note off; the system exclusive event was dropped
};

bool same(const std::vector<StreamEvent>& a, const std::vector<StreamEvent>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].delta != b[i].delta || a[i].stream != b[i].stream || a[i].word != b[i].word) return false;
  return true;
}

// A file of `notes` note-on events 10 ticks apart, in one track.
Bytes many_notes(int notes) {
  Bytes ev;
  for (int i = 0; i < notes; ++i) {
    Bytes one = events({{10, {0x90, uint8_t(i & 0x7F), 0x40}}});
    ev.insert(ev.end(), one.begin(), one.end());
  }
  Bytes end = events({{0, {0xFF, 0x2F, 0}}});
  ev.insert(ev.end(), end.begin(), end.end());
  return smf({ev});
}

}  // namespace

TEST(MediaRecognition, WaveAndMidiTable) {
  const Bytes samples = pattern(1000, 1);
  Bytes eleven = wave(samples);
  eleven.resize(11);
  Bytes riff_short = wave(samples);                  // RIFF length ends inside the data chunk
  riff_short[4] = 40;
  riff_short[5] = riff_short[6] = riff_short[7] = 0;
  Bytes data_long = wave(samples);                   // data chunk claims more than exists
  data_long[40] = 0xFF, data_long[41] = 0xFF;
  Bytes huge_riff = wave(samples);                   // RIFF length far past the data given
  huge_riff[4] = huge_riff[5] = huge_riff[6] = huge_riff[7] = 0xFF;
  Bytes odd = riff({chunk("LIST", pattern(3, 2)), chunk("fmt ", pcm_format(1, 8000, 8)),
                    chunk("data", samples)});
  Bytes cut_fmt = riff({chunk("fmt ", Bytes(12, 1)), chunk("data", samples)});
  struct Case { const char* name; Bytes data; bool plays; uint32_t sample_length; };
  const Case cases[] = {
      {"plain", wave(samples), true, 1000},
      {"data before fmt", wave(samples, true), true, 1000},
      {"11 bytes", eleven, false, 0},
      {"no data chunk", riff({chunk("fmt ", pcm_format(2, 44100, 16))}), false, 0},
      {"no fmt chunk", riff({chunk("data", samples)}), false, 0},
      {"empty data", riff({chunk("fmt ", pcm_format(2, 44100, 16)), chunk("data", {})}), false, 0},
      {"RIFF length cuts the samples", riff_short, true, 48 - 44},
      {"data length past the end", data_long, true, 1000},
      {"RIFF length past the end", huge_riff, true, 1000},
      {"odd chunk padded", odd, true, 1000},
      {"format record cut short", cut_fmt, false, 0},
      {"not RIFF", Bytes{'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 0}, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Guarded g(c.data);
    media::WaveChunks chunks;
    ASSERT_EQ(media::find_wave_chunks(g.data(), g.size(), &chunks), c.plays);
    if (!c.plays) continue;
    EXPECT_EQ(chunks.sample_length, c.sample_length);
    EXPECT_GE(chunks.format.size(), sizeof(WAVEFORMATEX));
    EXPECT_EQ(std::memcmp(chunks.samples, samples.data(), chunks.sample_length), 0);
  }

  // Format records a device may be asked to open; anything else plays without a device.
  struct Format { const char* name; Bytes record; bool plausible; };
  auto edited = [](Bytes f, size_t at, uint16_t v) { f[at] = uint8_t(v); f[at + 1] = uint8_t(v >> 8); return f; };
  const Bytes pcm = pcm_format(2, 44100, 16);
  const Format formats[] = {
      {"pcm", pcm, true},
      {"pcm 8-bit mono", pcm_format(1, 8000, 8), true},
      {"no channels", edited(pcm, 2, 0), false},
      {"23554 channels", edited(pcm, 2, 23554), false},
      {"block size not channels x bits", edited(pcm, 12, 3), false},
      {"12-bit pcm", edited(pcm, 14, 12), false},
      {"rate 0", edited(edited(pcm, 4, 0), 6, 0), false},
      {"compressed, block size 0", edited(edited(pcm, 0, 2), 12, 0), false},
      {"compressed", edited(pcm, 0, 2), true},
  };
  for (const Format& f : formats) {
    SCOPED_TRACE(f.name);
    media::WaveChunks chunks;
    const Bytes w = riff({chunk("fmt ", f.record), chunk("data", samples)});
    ASSERT_TRUE(media::find_wave_chunks(w.data(), w.size(), &chunks));
    EXPECT_EQ(media::plausible_format(chunks.format), f.plausible);
  }

  // MIDI: the header length must be 6, tracks must be marked; an empty track is ended.
  uint16_t division;
  std::vector<media::SmfTrack> tracks;
  const Bytes good = two_tracks();
  EXPECT_TRUE(media::smf_load(good.data(), good.size(), &division, &tracks));
  EXPECT_EQ(division, 96);
  EXPECT_EQ(tracks.size(), 2u);
  const Bytes seven = smf({events({{0, {0xFF, 0x2F, 0}}})}, 96, 7);
  EXPECT_FALSE(media::smf_load(seven.data(), seven.size(), &division, &tracks));
  Bytes bad_mark = good;
  bad_mark[14 + 3] = 'X';
  EXPECT_FALSE(media::smf_load(bad_mark.data(), bad_mark.size(), &division, &tracks));
  const Bytes empty = smf({{}, events({{5, {0x90, 1, 2}}})});
  ASSERT_TRUE(media::smf_load(empty.data(), empty.size(), &division, &tracks));
  EXPECT_TRUE(tracks[0].ended);
  EXPECT_FALSE(tracks[1].ended);
  EXPECT_EQ(tracks[1].time, 5u);

  // Variable-length quantities: at most 4 groups.
  struct Vlq { Bytes bytes; bool ok; uint32_t value; };
  const Vlq vlqs[] = {{{0x00}, true, 0}, {{0x7F}, true, 127}, {{0x81, 0x00}, true, 128},
                      {{0xFF, 0xFF, 0xFF, 0x7F}, true, 0x0FFFFFFF},
                      {{0x80, 0x80, 0x80, 0x80, 0x00}, false, 0}, {{0x81}, false, 0}};
  for (const Vlq& v : vlqs) {
    Guarded g(v.bytes);
    const uint8_t* p = g.data();
    uint32_t value = 0;
    EXPECT_EQ(media::smf_read_vlq(p, g.data() + g.size(), &value), v.ok);
    if (v.ok) {
      EXPECT_EQ(value, v.value);
    }
  }
  // A five-group delta time ends its track; the play request refuses non-sound data.
  const Bytes five = smf({Bytes{0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 1, 2}});
  ASSERT_TRUE(media::smf_load(five.data(), five.size(), &division, &tracks));
  EXPECT_TRUE(tracks[0].ended);
  const Bytes junk = {'M', 'T', 'h', 'x', 0, 0, 0, 6, 0, 0};
  EXPECT_FALSE(media::play_sound(junk.data(), junk.size(), false));
  EXPECT_FALSE(media::play_sound(seven.data(), seven.size(), false));
  EXPECT_FALSE(media::play_sound(eleven.data(), eleven.size(), false));
}

TEST(MediaSequencer, MergedTimedStream) {
  EXPECT_TRUE(same(stream_of(two_tracks()), kTwoTracks));

  // Speed 50 %: every tempo doubled.
  std::vector<StreamEvent> slow = kTwoTracks;
  slow[0].word = 0x01000000 | 1000000;
  slow[4].word = 0x01000000 | 2000000;
  EXPECT_TRUE(same(stream_of(two_tracks(), 1024, false, 50), slow));

  // Small buffers hold whole events only; the stream is the same.
  EXPECT_TRUE(same(stream_of(two_tracks(), 30), kTwoTracks));

  // Repeat: the second pass starts after the trailing rest (240 - 192 = 48 ticks).
  const std::vector<StreamEvent> looped = stream_of(two_tracks(), 1024, true, 100, 1);
  ASSERT_EQ(looped.size(), 85u);  // one full buffer: 85 events of 12 bytes
  for (size_t i = 0; i < looped.size(); ++i) {
    StreamEvent want = kTwoTracks[i % kTwoTracks.size()];
    if (i >= kTwoTracks.size() && i % kTwoTracks.size() == 0) want.delta = 48;
    EXPECT_TRUE(same({looped[i]}, {want})) << "event " << i;
  }

  // Files that would loop without a sound, or with nothing at all, end.
  EXPECT_TRUE(stream_of(smf({events({{5, {0xFF, 0x01, 1, 'x'}}})}), 1024, true).empty());
  EXPECT_TRUE(stream_of(smf({{}, {}}), 1024, true).empty());
  // A track whose event runs past its length ends there.
  const Bytes cut = smf({Bytes{0x00, 0x90, 0x3C, 0x40, 0x00, 0x90, 0x3C}});
  EXPECT_EQ(stream_of(cut).size(), 1u);
  // Running status without a status before it ends the track.
  EXPECT_TRUE(stream_of(smf({Bytes{0x00, 0x3C, 0x40}})).empty());
}

TEST(MediaReaders, FuzzedDataNeverReadsOutOfBounds) {
  std::mt19937 rng(20261211);
  const Bytes wave_seed = wave(pattern(3000, 3));
  const Bytes midi_seed = two_tracks();
  auto mutate = [&](Bytes b) {
    const int edits = 1 + rng() % 6;
    for (int e = 0; e < edits && !b.empty(); ++e) {
      switch (rng() % 5) {
        case 0: b[rng() % b.size()] = uint8_t(rng()); break;                     // any byte
        case 1: b.resize(rng() % (b.size() + 1)); break;                         // cut
        case 2: {                                                                // a length field
          const size_t at = rng() % b.size();
          for (size_t i = at; i < std::min(b.size(), at + 4); ++i) b[i] = 0xFF;
          break;
        }
        case 3: b[rng() % b.size()] |= 0x80; break;                              // status-like
        case 4: b.insert(b.begin() + rng() % b.size(), uint8_t(rng())); break;   // shift
      }
    }
    return b;
  };
  int waves = 0, midis = 0;
  for (int i = 0; i < 3000; ++i) {
    Guarded w(mutate(wave_seed));
    media::WaveChunks c;
    if (media::find_wave_chunks(w.data(), w.size(), &c)) {
      ++waves;
      ASSERT_GE(c.samples, w.data());
      ASSERT_LE(c.samples + c.sample_length, w.data() + w.size());
      uint32_t sum = 0;  // touches every sample byte: a byte past the data faults
      for (uint32_t k = 0; k < c.sample_length; ++k) sum += c.samples[k];
      RecordProperty("sum", static_cast<int>(sum & 1));
    }

    Guarded m(mutate(midi_seed));
    uint16_t division;
    std::vector<media::SmfTrack> tracks;
    if (!media::smf_load(m.data(), m.size(), &division, &tracks)) continue;
    ++midis;
    for (media::SmfTrack& t : tracks) {
      ASSERT_LE(t.end, m.data() + m.size());
      for (int guard = 0; !t.ended; ++guard) {
        ASSERT_LT(guard, 100000);
        media::smf_read_event(t);
        ASSERT_LE(t.pos, t.end);
      }
    }
    for (bool repeat : {false, true}) {
      media::MidiMerge merge;
      ASSERT_TRUE(merge.load(m.data(), m.size()));
      uint8_t buffer[media::kStreamBufferBytes];
      bool ended = false;
      for (int b = 0; b < 50 && !ended; ++b) merge.fill(buffer, sizeof buffer, repeat, &ended);
    }
  }
  RecordProperty("accepted_waves", waves);
  RecordProperty("accepted_midis", midis);
  EXPECT_GT(waves, 100);
  EXPECT_GT(midis, 100);
}

namespace {

// A MIDI stream the test plays by hand: queued buffers wait until play_next().
class FakeMidi final : public media::MidiDevice {
 public:
  static inline FakeMidi* current = nullptr;
  static inline bool return_on_stop = true;
  static inline DWORD division = 0;
  static inline std::vector<StreamEvent> played;
  static std::unique_ptr<media::MidiDevice> make() { return std::make_unique<FakeMidi>(); }

  ~FakeMidi() override { current = nullptr; }
  bool open(Callback cb, void* ctx) override {
    cb_ = cb;
    ctx_ = ctx;
    current = this;
    return true;
  }
  bool set_division(DWORD d) override { division = d; return true; }
  bool prepare(MIDIHDR* h) override { h->dwFlags |= MHDR_PREPARED; return true; }
  void unprepare(MIDIHDR* h) override { h->dwFlags &= ~MHDR_PREPARED; }
  bool queue(MIDIHDR* h) override {
    std::lock_guard<std::mutex> hold(m_);
    queued_.push_back(h);
    return true;
  }
  bool restart() override { return true; }
  void stop() override {
    if (!return_on_stop) return;
    for (MIDIHDR* h; (h = pop());) cb_(ctx_, MOM_DONE, h);
  }
  void close() override {}

  size_t queued() {
    std::lock_guard<std::mutex> hold(m_);
    return queued_.size();
  }
  // Plays the oldest queued buffer: its events, the callbacks of flagged ones, then done.
  bool play_next() {
    MIDIHDR* h = pop();
    if (!h) return false;
    for (DWORD off = 0; off + sizeof(StreamEvent) <= h->dwBytesRecorded; off += sizeof(StreamEvent)) {
      StreamEvent e;
      std::memcpy(&e, h->lpData + off, sizeof e);
      played.push_back(e);
      if (e.word & media::kEventCallback) {
        h->dwOffset = off;
        cb_(ctx_, MOM_POSITIONCB, h);
      }
    }
    cb_(ctx_, MOM_DONE, h);
    return true;
  }

 private:
  MIDIHDR* pop() {
    std::lock_guard<std::mutex> hold(m_);
    if (queued_.empty()) return nullptr;
    MIDIHDR* h = queued_.front();
    queued_.pop_front();
    return h;
  }
  Callback cb_ = nullptr;
  void* ctx_ = nullptr;
  std::mutex m_;
  std::deque<MIDIHDR*> queued_;
};

bool wait_for(const std::function<bool()>& condition, DWORD ms = 3000) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(2))
    if (condition()) return true;
  return condition();
}

}  // namespace

TEST(MediaSequencer, BufferProtocolVolumeRepeatAndStop) {
  using State = media::Sequencer::State;
  media::Sequencer& seq = media::Sequencer::instance();
  const int threads_before = thread_count();

  // Without a MIDI device (this machine has none) the file is accepted and nothing plays.
  media::set_midi_device_factory(nullptr);
  const Bytes file = two_tracks();
  EXPECT_TRUE(seq.play(file.data(), file.size(), false));
  EXPECT_EQ(seq.state(), State::kDone);
  seq.stop();

  media::set_midi_device_factory(&FakeMidi::make);
  HWND owner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  seq.set_owner(owner);

  // A file that fits one buffer: it is the last, draining, and done when it comes back.
  FakeMidi::played.clear();
  ASSERT_TRUE(seq.play(file.data(), file.size(), false));
  ASSERT_TRUE(FakeMidi::current);
  EXPECT_EQ(FakeMidi::division, 96u);
  EXPECT_EQ(FakeMidi::current->queued(), 1u);
  EXPECT_EQ(seq.state(), State::kDraining);
  ASSERT_TRUE(FakeMidi::current->play_next());
  EXPECT_EQ(seq.state(), State::kDone);
  EXPECT_TRUE(seq.wait_done(0));
  EXPECT_TRUE(same(FakeMidi::played, kTwoTracks));
  EXPECT_EQ(seq.volume(0), 79);  // 100 x 100 / 127, rounded
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, owner, media::kVolumeMessage, media::kVolumeMessage, PM_REMOVE));
  EXPECT_EQ(msg.wParam, reinterpret_cast<WPARAM>(&seq));
  EXPECT_EQ(msg.lParam, 79 << 16 | 0);

  // 200 events: two full buffers queued, refilled by the sequencer's thread as they return.
  FakeMidi::played.clear();
  const Bytes notes = many_notes(200);
  ASSERT_TRUE(seq.play(notes.data(), notes.size(), false));
  EXPECT_EQ(FakeMidi::current->queued(), 2u);
  EXPECT_EQ(seq.state(), State::kPlaying);
  ASSERT_TRUE(FakeMidi::current->play_next());
  ASSERT_TRUE(wait_for([] { return FakeMidi::current->queued() == 2; }));  // refilled: the rest
  EXPECT_TRUE(wait_for([&] { return seq.state() == State::kDraining; }));
  ASSERT_TRUE(FakeMidi::current->play_next());
  EXPECT_EQ(seq.state(), State::kDraining);   // one buffer still out
  ASSERT_TRUE(FakeMidi::current->play_next());
  EXPECT_EQ(seq.state(), State::kDone);
  EXPECT_EQ(seq.buffers_done(), 3u);
  EXPECT_TRUE(same(FakeMidi::played, stream_of(notes)));
  EXPECT_TRUE(wait_for([&] { return thread_count() <= threads_before; }));  // played out: no thread

  // Repeat keeps refilling; stop brings every buffer back and ends the thread.
  FakeMidi::played.clear();
  ASSERT_TRUE(seq.play(file.data(), file.size(), true));
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(wait_for([] { return FakeMidi::current->queued() == 2; }));
    ASSERT_TRUE(FakeMidi::current->play_next());
  }
  EXPECT_EQ(seq.state(), State::kPlaying);
  EXPECT_EQ(FakeMidi::played.size(), 6u * 85u);
  seq.stop();
  EXPECT_EQ(seq.state(), State::kDone);
  EXPECT_FALSE(FakeMidi::current);  // closed and released

  // A device that keeps its buffers: stop gives up after its 2000 ms wait.
  FakeMidi::return_on_stop = false;
  ASSERT_TRUE(seq.play(notes.data(), notes.size(), true));
  const DWORD start = GetTickCount();
  seq.stop();
  const DWORD waited = GetTickCount() - start;
  EXPECT_GE(waited, 1900u);
  EXPECT_LT(waited, 3500u);
  FakeMidi::return_on_stop = true;

  // Mutated files through the whole protocol: every one plays out or stops, nothing hangs.
  std::mt19937 rng(99);
  for (int i = 0; i < 120; ++i) {
    Bytes f = i % 2 ? notes : file;
    for (int e = 0; e < 4; ++e) f[rng() % f.size()] = uint8_t(rng());
    if (rng() % 3 == 0) f.resize(14 + rng() % (f.size() - 14));
    if (!seq.play(f.data(), f.size(), rng() % 2 == 0)) continue;
    for (int k = 0; k < 4 && FakeMidi::current && FakeMidi::current->play_next(); ++k)
      wait_for([&] { return FakeMidi::current->queued() > 0 || seq.state() != State::kPlaying; }, 500);
    seq.stop();
    ASSERT_EQ(seq.state(), State::kDone);
  }

  seq.set_owner(nullptr);
  DestroyWindow(owner);
  media::set_midi_device_factory(nullptr);
  EXPECT_TRUE(wait_for([&] { return thread_count() <= threads_before; }));
}

TEST(MediaPlayback, WithoutADeviceCodesAddonAndShutdown) {
  ASSERT_EQ(waveOutGetNumDevs(), 0u) << "this suite expects no wave device (see tests/media/README.md)";
  media::install();
  const Bytes sound = wave(pattern(100000, 4));
  const int threads_before = thread_count();

  // Code 2015 starts a player without a device; code 2016 stops it.
  runtime::SoundRequest request{sound.data(), static_cast<uint32_t>(sound.size()), 0};
  EXPECT_EQ(runtime::notify(2015, reinterpret_cast<uint32_t>(&request), 0), 1);
  EXPECT_EQ(runtime::notify(2015, reinterpret_cast<uint32_t>(&request), 0), 1);
  std::vector<media::WavePlayerInfo> players = media::wave_players();
  ASSERT_EQ(players.size(), 2u);
  EXPECT_FALSE(players[0].has_device);
  EXPECT_TRUE(wait_for([] {
    auto p = media::wave_players();
    return p.size() == 2 && p[0].buffers_written == 7 && p[1].buffers_written == 7;  // 100000 / 15360
  }));
  runtime::SoundRequest garbage{reinterpret_cast<const uint8_t*>("not a sound"), 11, 0};
  EXPECT_EQ(runtime::notify(2015, reinterpret_cast<uint32_t>(&garbage), 0), 0);
  EXPECT_EQ(runtime::notify(2015, 0, 0), 0);
  runtime::notify(2016, 0, 0);
  EXPECT_TRUE(media::wait_wave_players(2000));
  EXPECT_TRUE(media::wave_players().empty());
  EXPECT_TRUE(wait_for([&] { return thread_count() <= threads_before; }));

  // A MIDI file is accepted without a MIDI device, again and again (a failed stream open can
  // leave the platform's stream table broken for the next one).
  const Bytes midi = two_tracks();
  runtime::SoundRequest midi_request{midi.data(), static_cast<uint32_t>(midi.size()), 1};
  for (int i = 0; i < 300; ++i)
    ASSERT_EQ(runtime::notify(2015, reinterpret_cast<uint32_t>(&midi_request), 0), 1);

  // Stop hands the add-on module's current player back to it through RemovePlayer, once.
  char dir[MAX_PATH];
  GetModuleFileNameA(nullptr, dir, MAX_PATH);
  *std::strrchr(dir, '\\') = 0;
  runtime::rt().addon_paths[0] = std::string(dir) + "\\audiodec.vsx";
  int player_token = 0;
  media::set_addon_player(&player_token);
  media::stop_sounds(false);
  HMODULE addon = runtime::rt().addon_modules[0];
  ASSERT_TRUE(addon) << "audiodec.vsx was not loaded";
  auto last = reinterpret_cast<void*(__stdcall*)()>(GetProcAddress(addon, "LastRemovedPlayer"));
  auto count = reinterpret_cast<LONG(__stdcall*)()>(GetProcAddress(addon, "RemovedPlayers"));
  ASSERT_TRUE(last && count);
  EXPECT_EQ(last(), &player_token);
  EXPECT_EQ(count(), 1);
  EXPECT_FALSE(media::addon_player());
  media::stop_sounds(false);
  EXPECT_EQ(count(), 1);

  // Shutdown's clean-up stops every player and waits for its thread.
  ASSERT_TRUE(media::play_sound(sound.data(), sound.size(), true));
  ASSERT_TRUE(media::play_sound(sound.data(), sound.size(), false));
  EXPECT_EQ(media::wave_players().size(), 2u);
  runtime::run_cleanup(runtime::CleanupStage::kBeforeWindows);
  EXPECT_TRUE(media::wave_players().empty());
  EXPECT_TRUE(wait_for([&] { return thread_count() <= threads_before; }, 1000));
}

TEST(MediaPlayback, PlayerWithoutADeviceEndsAfterItsTimeOut) {
  const Bytes sound = wave(pattern(20000, 5));
  const DWORD start = GetTickCount();
  ASSERT_TRUE(media::play_sound(sound.data(), sound.size(), true));
  ASSERT_EQ(media::wave_players().size(), 1u);
  ASSERT_TRUE(media::wait_wave_players(15000));
  const DWORD lived = GetTickCount() - start;
  EXPECT_GE(lived, media::kFeedTimeoutMs - 50);
  EXPECT_LT(lived, media::kFeedTimeoutMs + 2000);
  EXPECT_TRUE(media::wave_players().empty());
}
