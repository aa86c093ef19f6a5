// Sound playback for programs: play sound data (wave data or a MIDI file), stop every sound.
// Installed as the answers to runtime notifications 2015 and 2016 and as a shutdown clean-up.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

namespace media {

constexpr DWORD kShutdownWaitMs = 10000;  // bound on waiting for the wave threads at shutdown

// Wave data starts a new wave player, a MIDI file replaces what the sequencer plays; anything
// else is refused (false).
bool play_sound(const uint8_t* data, size_t length, bool repeat);
// Releases the audio add-on module's current player, stops the sequencer and signals every
// wave player; with `wait`, also waits for the wave players' threads to end.
void stop_sounds(bool wait);

// Registers notification codes 2015 and 2016 and the shutdown clean-up.
void install();

}  // namespace media
