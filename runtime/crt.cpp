// Formatting through the platform C runtime's _vsnprintf.
#include "runtime/crt.h"
#include <stdio.h>

namespace runtime {

namespace {
int vformat(char* buf, size_t n, const char* fmt, va_list ap) {
  if (n == 0) return 0;
  int r = _vsnprintf(buf, n - 1, fmt, ap);  // msvcrt: no terminator when the text fills n - 1
  if (r < 0 || static_cast<size_t>(r) >= n - 1) r = static_cast<int>(n - 1);
  buf[r] = '\0';
  return r;
}
}  // namespace

int crt_snprintf(char* buf, size_t n, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int r = vformat(buf, n, fmt, ap);
  va_end(ap);
  return r;
}

std::string crt_format(const char* fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  int r = vformat(buf, sizeof buf, fmt, ap);
  va_end(ap);
  if (r < static_cast<int>(sizeof buf) - 1) return std::string(buf, r);
  std::string big(1 << 16, '\0');  // long output: one more try with room to spare
  va_start(ap, fmt);
  r = vformat(big.data(), big.size(), fmt, ap);
  va_end(ap);
  big.resize(r);
  return big;
}

}  // namespace runtime
