// Start-up: the run entry, the program-wide set-up of the first image, the hidden runtime
// window and the start-up frame that every exit returns to.
#pragma once
#include <windows.h>
#include <cstdint>

namespace image {

// The run entry (GetNewSock 1000): prepares the image whose header working copy it is given
// and runs its start-up routine. With header flag bit 0 set the routine is called and its
// result returned; otherwise control passes to the routine for good.
using RunEntry = int(__stdcall*)(uint8_t* working_copy);
extern "C" int __stdcall run_entry(uint8_t* working_copy) asm("orvel_run_entry");

// The program-wide set-up, done once while the first image is prepared: directories, OLE,
// the add-on module paths, the hidden runtime window and the main thread.
void program_setup();
// Hands the runtime the operations of library loading, shutdown and exit. Done by program
// main, and again by the run entry for hosts that call it directly; idempotent.
void install_lifecycle();

// Calls `entry(argument)` as the start-up frame; returns its result or the exit code handed
// to return_to_frame.
extern "C" int enter_frame(void* entry, void* argument) asm("orvel_enter_frame");
// Back to the start-up frame with `code`, abandoning every frame in between (no unwinding:
// the frames abandoned must hold no objects with destructors). Without a saved frame the
// process ends with the code.
extern "C" [[noreturn]] void return_to_frame(int code) asm("orvel_return_to_frame");
extern "C" int has_frame() asm("orvel_has_frame");

// Message the hidden runtime window answers: an exit requested on another thread.
inline constexpr UINT kExitRequest = 0x83E7;
inline constexpr char kHiddenWindowClass[] = "OrvelRuntimeWindow";

}  // namespace image
