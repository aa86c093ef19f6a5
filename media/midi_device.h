// The MIDI stream output the sequencer plays through: the platform's stream on the default
// device, or a stand-in that tests install.
#pragma once
#include <windows.h>
#include <mmsystem.h>
#include <memory>

namespace media {

class MidiDevice {
 public:
  // Called on the device's own thread with MOM_DONE (a buffer came back) or MOM_POSITIONCB
  // (an event carrying the callback flag was played; the header's dwOffset locates it).
  using Callback = void (*)(void* context, UINT message, MIDIHDR* header);

  virtual ~MidiDevice() = default;
  virtual bool open(Callback callback, void* context) = 0;
  virtual bool set_division(DWORD division) = 0;
  virtual bool prepare(MIDIHDR* header) = 0;
  virtual void unprepare(MIDIHDR* header) = 0;
  virtual bool queue(MIDIHDR* header) = 0;
  virtual bool restart() = 0;
  // Stops the stream and resets the output: every queued buffer comes back.
  virtual void stop() = 0;
  virtual void close() = 0;
};

using MidiDeviceFactory = std::unique_ptr<MidiDevice> (*)();
// The platform's MIDI stream on the MIDI mapper.
std::unique_ptr<MidiDevice> open_platform_midi();
// Replaces the device every later play opens (null: the platform's again). For tests.
void set_midi_device_factory(MidiDeviceFactory factory);
MidiDeviceFactory midi_device_factory();

}  // namespace media
