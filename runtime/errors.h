// Run-time errors: the one way a fatal failure is reported. Never returns.
#pragma once

namespace runtime {

// Raises the run-time error (message may be null or empty; code 0 = no code).
[[noreturn]] void raise_error(const char* message, int code);

}  // namespace runtime
