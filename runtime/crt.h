// Formatting through the platform C runtime (msvcrt): its output ("1e+020", three exponent
// digits) is part of the system's behaviour. The toolchain's own snprintf/sprintf print
// "1e+20", so every formatting call of the runtime and the commands goes through here.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <string>

namespace runtime {

// Like snprintf, but always the platform's formatting; the result is always NUL-terminated
// (cut to n - 1 bytes). Returns the length written.
int crt_snprintf(char* buf, size_t n, const char* fmt, ...);
std::string crt_format(const char* fmt, ...);

}  // namespace runtime
