/* orvel_support.c: what compiled C expects of its library, for programs written in C. vlink
   links it in when a source uses one of its names: the memory functions the compiler calls
   for copies and clears, the 64-bit division helpers of 32-bit code, and the copy that a
   handler returning a text hands to the runtime. Compiled with the program's own flags. */
/* The loops below must stay loops, not calls of themselves. */
#pragma GCC optimize("no-tree-loop-distribute-patterns")

#include <stddef.h>
#include <stdint.h>

void* orv_allocate(uint32_t size) __asm__("orv_allocate");

void* memcpy(void* to, const void* from, size_t n) {
  unsigned char* d = to;
  const unsigned char* s = from;
  while (n--) *d++ = *s++;
  return to;
}

void* memmove(void* to, const void* from, size_t n) {
  unsigned char* d = to;
  const unsigned char* s = from;
  if (d < s) {
    while (n--) *d++ = *s++;
  } else {
    while (n--) d[n] = s[n];
  }
  return to;
}

void* memset(void* to, int value, size_t n) {
  unsigned char* d = to;
  while (n--) *d++ = (unsigned char)value;
  return to;
}

int memcmp(const void* a, const void* b, size_t n) {
  const unsigned char* x = a;
  const unsigned char* y = b;
  for (; n; --n, ++x, ++y)
    if (*x != *y) return *x < *y ? -1 : 1;
  return 0;
}

/* Unsigned 64-bit division by shift and subtract. A zero divisor divides by a 32-bit zero,
   so the fault is the processor's own, as for 32-bit division. */
static uint64_t divide(uint64_t n, uint64_t d, uint64_t* remainder) {
  if (d == 0) {
    volatile uint32_t zero = 0;
    return (uint32_t)n / zero;
  }
  uint64_t q = 0, r = 0;
  for (int bit = 63; bit >= 0; --bit) {
    r = r << 1 | (n >> bit & 1);
    if (r >= d) {
      r -= d;
      q |= (uint64_t)1 << bit;
    }
  }
  *remainder = r;
  return q;
}

uint64_t __udivdi3(uint64_t n, uint64_t d) {
  uint64_t r;
  return divide(n, d, &r);
}

uint64_t __umoddi3(uint64_t n, uint64_t d) {
  uint64_t r = 0;
  divide(n, d, &r);
  return r;
}

/* Signed: magnitudes divided, the quotient truncated toward zero, the remainder with the
   dividend's sign. */
int64_t __divdi3(int64_t n, int64_t d) {
  uint64_t r, q = divide(n < 0 ? -(uint64_t)n : (uint64_t)n, d < 0 ? -(uint64_t)d : (uint64_t)d, &r);
  return (n < 0) != (d < 0) ? -(int64_t)q : (int64_t)q;
}

int64_t __moddi3(int64_t n, int64_t d) {
  uint64_t r = 0;
  divide(n < 0 ? -(uint64_t)n : (uint64_t)n, d < 0 ? -(uint64_t)d : (uint64_t)d, &r);
  return n < 0 ? -(int64_t)r : (int64_t)r;
}

/* A handler's text result: a copy in a runtime block, which the runtime then owns. */
char* orv__text_result(const char* text) __asm__("orv__text_result");
char* orv__text_result(const char* text) {
  size_t n = 0;
  if (text)
    while (text[n]) ++n;
  char* copy = orv_allocate((uint32_t)n + 1);
  for (size_t i = 0; i < n; ++i) copy[i] = text[i];
  copy[n] = 0;
  return copy;
}
