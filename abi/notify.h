// The runtime notification routine's calling form and the request records that some codes
// take by address. Support libraries, units and the runtime share them.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

namespace runtime {

// (code, value 1, value 2) -> 64-bit result in EDX:EAX; C calling convention. Codes not
// known answer 0.
using NotifyRoutine = int64_t(__cdecl*)(int32_t code, uint32_t v1, uint32_t v2);

#pragma pack(push, 1)
// Code 1012, value 1: registers an idle routine for a window.
struct IdleRequest {
  HWND window;                         // one routine per window; removed once it is gone
  void(__cdecl* routine)(uint32_t);    // called with `argument` on every idle pass
  uint32_t argument;
};
static_assert(sizeof(IdleRequest) == 12);

// Code 2015, value 1: plays sound data.
struct SoundRequest {
  const uint8_t* data;                 // RIFF wave data or a standard MIDI file
  uint32_t length;                     // bytes
  uint32_t repeat;                     // non-zero: repeat until stopped
};
static_assert(sizeof(SoundRequest) == 12);
static_assert(offsetof(SoundRequest, repeat) == 8);
#pragma pack(pop)

}  // namespace runtime
