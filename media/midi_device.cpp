// The platform's MIDI stream output on the default device (the MIDI mapper).
#include "media/midi_device.h"

namespace media {

namespace {

class PlatformMidi final : public MidiDevice {
 public:
  ~PlatformMidi() override { close(); }

  bool open(Callback callback, void* context) override {
    callback_ = callback;
    context_ = context;
    // Without a MIDI output device nothing is opened: a failed stream open can leave the
    // platform's stream table holding a freed entry, and a later open then reads it.
    if (midiOutGetNumDevs() == 0) return false;
    UINT device = MIDI_MAPPER;
    return midiStreamOpen(&stream_, &device, 1, reinterpret_cast<DWORD_PTR>(&on_message),
                          reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION) == MMSYSERR_NOERROR;
  }
  bool set_division(DWORD division) override {
    MIDIPROPTIMEDIV p{sizeof p, division};
    return midiStreamProperty(stream_, reinterpret_cast<LPBYTE>(&p),
                              MIDIPROP_SET | MIDIPROP_TIMEDIV) == MMSYSERR_NOERROR;
  }
  bool prepare(MIDIHDR* h) override {
    return midiOutPrepareHeader(out(), h, sizeof *h) == MMSYSERR_NOERROR;
  }
  void unprepare(MIDIHDR* h) override {
    if (h->dwFlags & MHDR_PREPARED) midiOutUnprepareHeader(out(), h, sizeof *h);
  }
  bool queue(MIDIHDR* h) override { return midiStreamOut(stream_, h, sizeof *h) == MMSYSERR_NOERROR; }
  bool restart() override { return midiStreamRestart(stream_) == MMSYSERR_NOERROR; }
  void stop() override {
    midiStreamStop(stream_);
    midiOutReset(out());
  }
  void close() override {
    if (stream_) midiStreamClose(stream_);
    stream_ = nullptr;
  }

 private:
  HMIDIOUT out() const { return reinterpret_cast<HMIDIOUT>(stream_); }
  static void CALLBACK on_message(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR) {
    auto* self = reinterpret_cast<PlatformMidi*>(instance);
    if (message == MOM_DONE || message == MOM_POSITIONCB)
      self->callback_(self->context_, message, reinterpret_cast<MIDIHDR*>(p1));
  }

  HMIDISTRM stream_ = nullptr;
  Callback callback_ = nullptr;
  void* context_ = nullptr;
};

MidiDeviceFactory g_factory = nullptr;

}  // namespace

std::unique_ptr<MidiDevice> open_platform_midi() { return std::make_unique<PlatformMidi>(); }

void set_midi_device_factory(MidiDeviceFactory factory) { g_factory = factory; }
MidiDeviceFactory midi_device_factory() { return g_factory ? g_factory : &open_platform_midi; }

}  // namespace media
