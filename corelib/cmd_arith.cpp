// Arithmetic and maths commands: integer divide, remainder, rounding, functions, the C
// library's random generator, bit operations, and the text prefix test.
#include <windows.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include "corelib/cmd_support.h"
#include "corelib/commands.h"
#include "runtime/errors.h"

namespace corelib {

using namespace runtime;

namespace {

double first_double(int argc, ArgRecord* args) { return num_double(arg_at(argc, args, 0)); }

// Near-integer snap: a fraction within 1e-12 of a whole moves the value to that whole.
double snap(double v) {
  double i;
  double f = std::modf(v, &i);
  if (std::fabs(f) > 0.999999999999) return i >= 0 ? i + 1 : i - 1;
  return v;
}

using Unary = double (*)(double);
void apply(ResultRecord* result, int argc, ArgRecord* args, Unary f) {
  set_double(result, f(first_double(argc, args)));
}

template <typename Op>
void fold_ints(ResultRecord* result, int argc, ArgRecord* args, Op op) {
  int32_t v = num_int(arg_at(argc, args, 0));
  for (int i = 1; i < argc; ++i) v = op(v, num_int(args[i]));
  set_int(result, v);
}

// The C library's generator: per thread, starting at 1.
thread_local uint32_t random_state = 1;
uint32_t seed_counter = 0;  // makes two seedings within one millisecond differ

int draw() {
  random_state = random_state * 214013u + 2531011u;
  return static_cast<int>((random_state >> 16) & 0x7FFF);
}

}  // namespace

CORELIB_COMMAND(integer_divide) {
  double v = first_double(argc, args);
  for (int i = 1; i < argc; ++i) {
    double d = num_double(args[i]);
    if (d == 0) raise_error("不能整除于零", 0);
    v = std::trunc(v / d);
  }
  set_double(result, v);
}

CORELIB_COMMAND(remainder) {
  double v = first_double(argc, args);
  for (int i = 1; i < argc; ++i) {
    double d = num_double(args[i]);
    if (d == 0) raise_error("不能求余数于零", 0);
    v = std::fmod(v, d);
  }
  set_double(result, v);
}

CORELIB_COMMAND(sign_of) {
  double v = first_double(argc, args);
  set_int(result, v > 0 ? 1 : v < 0 ? -1 : 0);
}

CORELIB_COMMAND(absolute_value) { apply(result, argc, args, [](double v) { return std::fabs(v); }); }

CORELIB_COMMAND(integer_part) {
  set_int(result, static_cast<int32_t>(trunc64(std::floor(snap(first_double(argc, args))))));
}

CORELIB_COMMAND(truncate) {
  set_int(result, static_cast<int32_t>(trunc64(std::trunc(snap(first_double(argc, args))))));
}

CORELIB_COMMAND(round_to) {
  set_double(result, round_to_places(first_double(argc, args), int_or(argc, args, 1, 0)));
}

CORELIB_COMMAND(power) {
  set_double(result, std::pow(first_double(argc, args), num_double(arg_at(argc, args, 1))));
}

CORELIB_COMMAND(square_root) { apply(result, argc, args, [](double v) { return std::sqrt(v); }); }
CORELIB_COMMAND(sine) { apply(result, argc, args, [](double v) { return std::sin(v); }); }
CORELIB_COMMAND(cosine) { apply(result, argc, args, [](double v) { return std::cos(v); }); }
CORELIB_COMMAND(tangent) { apply(result, argc, args, [](double v) { return std::tan(v); }); }
CORELIB_COMMAND(arc_tangent) { apply(result, argc, args, [](double v) { return std::atan(v); }); }
CORELIB_COMMAND(natural_log) { apply(result, argc, args, [](double v) { return std::log(v); }); }
CORELIB_COMMAND(exponential) { apply(result, argc, args, [](double v) { return std::exp(v); }); }

CORELIB_COMMAND(is_valid_number) { set_bool(result, std::isfinite(first_double(argc, args))); }

CORELIB_COMMAND(seed_random) {
  if (given(argc, args, 0)) {
    random_state = static_cast<uint32_t>(num_int(args[0]));
    return;
  }
  uint32_t seed = GetTickCount() + seed_counter;
  random_state = seed;
  seed_counter += (seed & 0xFF) + 100;
}

CORELIB_COMMAND(random_number) {
  auto bound = [&](int i, int64_t fallback) -> int64_t {
    if (!given(argc, args, i)) return fallback;
    int32_t v = num_int(args[i]);
    return v < 0 ? 0 : v;
  };
  int64_t a = bound(0, 0), b = bound(1, 2147483647);
  int64_t low = std::min(a, b), high = std::max(a, b);
  if (low == high) {
    set_int(result, static_cast<int32_t>(low));
    return;
  }
  int64_t range = std::min<int64_t>(high - low, 2147483646);
  set_int(result, static_cast<int32_t>(low + draw() % (range + 1)));
}

CORELIB_COMMAND(text_starts_with) {
  const char* text = text_of(arg_at(argc, args, 0));
  const char* prefix = text_of(arg_at(argc, args, 1));
  size_t n = strlen(prefix);
  set_bool(result, strlen(text) >= n && memcmp(text, prefix, n) == 0);
}

CORELIB_COMMAND(bit_not) { set_int(result, ~num_int(arg_at(argc, args, 0))); }
CORELIB_COMMAND(bit_and) { fold_ints(result, argc, args, [](int32_t a, int32_t b) { return a & b; }); }
CORELIB_COMMAND(bit_or) { fold_ints(result, argc, args, [](int32_t a, int32_t b) { return a | b; }); }
CORELIB_COMMAND(bit_xor) { fold_ints(result, argc, args, [](int32_t a, int32_t b) { return a ^ b; }); }

}  // namespace corelib
