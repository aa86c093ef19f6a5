// Shutdown: the teardown of everything the runtime loaded, safe to run more than once, and
// the exit that ends in the start-up frame.
#pragma once

namespace image {

// Tears the runtime down with the exit code. On a thread other than the main thread the
// exit is handed to the main thread (message to the hidden runtime window) and this thread
// ends; it never touches the main thread's start-up frame.
void shutdown(int code);
// Shutdown, then back to the start-up frame with the code (the exit service).
[[noreturn]] void exit_program(int code);
// Destroys the hidden runtime window (shutdown).
void destroy_hidden_window();

}  // namespace image
