// The plug points of the runtime: the notification codes a subsystem answers, its clean-up
// in the shutdown order, and the lifecycle operations that live above the runtime. Every
// subsystem registers itself once, from its install function; nothing here names one.
#pragma once
#include <cstdint>
#include <span>

namespace runtime {

// One runtime notification code and the function that answers it.
using Answer = int64_t (*)(uint32_t v1, uint32_t v2);
struct CodeAnswer {
  int32_t code;
  Answer answer;
};

// Adds a subsystem's codes. Spans registered later are asked first, so a subsystem may take
// over a code the runtime answers on its own while no subsystem is there (the unit
// framework's window codes). The span must outlive the process (a constexpr table).
void register_answers(std::span<const CodeAnswer> answers);
// The answer registered for `code`, or null.
Answer find_answer(int32_t code);

// Where in the shutdown order a clean-up routine runs.
enum class CleanupStage {
  kBeforeWindows,   // with the registered clean-up routines, before the windows unload
  kCommunication,   // after the registered objects and icon entries: sockets and ports
  kLast,            // after the component texts: OLE
  kStageCount,
};
void register_cleanup(CleanupStage stage, void (*routine)());
// Runs the routines of a stage once each, in the order registered, and forgets them.
void run_cleanup(CleanupStage stage);

// The operations of program start-up and shutdown that the runtime's services reach.
// Installed by the image subsystem before any compiled code runs.
struct Lifecycle {
  void (*ensure_loaded)(uint32_t library) = nullptr;  // loads a recorded support library
  void (*shutdown)(int code) = nullptr;               // teardown, safe to run twice
  [[noreturn]] void (*exit_program)(int code) = nullptr;  // shutdown, then the start-up frame
  // The offset of `address` inside a prepared image (from its working place); false when it
  // lies in none.
  bool (*image_offset)(const void* address, uint32_t* offset) = nullptr;
};
Lifecycle& lifecycle();

// Shortcuts over lifecycle(). Without an installed image subsystem (a bare test program)
// there is nothing to load, and an exit ends the process.
void ensure_loaded(uint32_t library);
[[noreturn]] void exit_program(int code);

// Calls every subsystem's install function, in layer order. Defined once, in the folder that
// sits above all subsystems.
void install_subsystems();

}  // namespace runtime
