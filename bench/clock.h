// The benchmarks' clock: seconds from the performance counter, and the time a piece of work
// takes.
#pragma once
#include <windows.h>

namespace bench {

inline double seconds_now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

template <class F>
double timed(F&& work) {
  double start = seconds_now();
  work();
  return seconds_now() - start;
}

}  // namespace bench
