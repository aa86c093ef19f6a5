// Calls per second of to integer, to text, find text and split text: through the call-command
// service entry (as compiled code calls) and as direct C calls of the same routines, so the
// dispatch overhead shows. Every returned block is freed, as compiled code does.
#include <windows.h>
#include <cstdio>
#include <vector>
#include "call.h"

using namespace calls;
using runtime::ArgRecord;

namespace {

struct Bench {
  const char* name;
  int slot;
  std::vector<ArgRecord> args;
  int free_kind;  // 0 value, 1 text, 2 text array
};

void release(const ArgRecord& r, int kind) {
  if (kind == 1) take_text(r);
  if (kind == 2) take_array(r, true);
}

double seconds_now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

template <typename Call>
double calls_per_second(const Bench& b, Call call_one) {
  const int n = 500000;
  double t0 = seconds_now();
  for (int i = 0; i < n; ++i) release(call_one(b.slot, b.args), b.free_kind);
  return n / (seconds_now() - t0);
}

}  // namespace

int main() {
  const Bench benches[] = {
      {"to integer (631), text \"  -12abc\"", 631, {Text("  -12abc")}, 0},
      {"to text (90), double 1234.5", 90, {Double(1234.5)}, 1},
      {"find text (82), 64-byte text", 82, {Text(std::string(60, 'x') + "abcd"), Text("abcd")}, 0},
      {"split text (100), \"a,b,,c,dd,eee\"", 100, {Text("a,b,,c,dd,eee")}, 2},
  };
  std::printf("%-40s %16s %16s %10s\n", "command", "service calls/s", "direct calls/s", "overhead");
  for (const Bench& b : benches) {
    auto via_service = [](int slot, const std::vector<ArgRecord>& a) { return call(slot, a); };
    double service = calls_per_second(b, via_service);
    double direct = calls_per_second(b, call_direct);
    std::printf("%-40s %16.0f %16.0f %9.1f%%\n", b.name, service, direct, 100.0 * (direct / service - 1));
  }
  return 0;
}
