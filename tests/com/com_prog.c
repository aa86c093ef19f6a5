/* A compiled program driving automation objects through the core commands, as compiled code
   calls them: object and variant blocks passed by address with their type codes, object and
   variant results as blocks the program owns, a variable for an output parameter. The exit
   code is 0 when every check held, else the number of the first that failed. */
#include "orvel.h"

enum { OBJECT_TYPE = 0x10030, VARIANT_TYPE = 0x10031 };

static orv_value object(uint32_t* block) {
  orv_value r = {(uint32_t)(uintptr_t)block, 0, OBJECT_TYPE};
  return r;
}
static orv_value variant(uint32_t* block) {
  orv_value r = {(uint32_t)(uintptr_t)block, 0, VARIANT_TYPE};
  return r;
}
/* An Int variable given where a value or a variable is taken. */
static orv_value int_variable(int32_t* v) {
  orv_value r = {(uint32_t)(uintptr_t)v, 0, ((uint32_t)ORV_TYPE_INT & 0x3FFFFFFFu) | 0x40000000u};
  return r;
}

static int same_text(const char* a, const char* b) {
  if (!a) a = "";
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

/* Reads a text result, compares it and frees it. */
static int text_is(orv_value r, const char* expected) {
  char* t = orv_as_text(r);
  int same = same_text(t, expected);
  orv_free(t);
  return same;
}

ORV_STARTUP(start) {
  uint32_t dict[2] = {0, 0}, probe[2] = {0, 0};
  uint32_t* keys;
  int32_t n = 21;
  orv_value r;

  if (ORV_CORE(583, object(dict), orv_text("Scripting.Dictionary")).lo != 1) return 1;
  ORV_CORE(595, object(dict), orv_text("Add"), orv_text("键"), orv_text("值"));
  if (orv_as_double(ORV_CORE(589, object(dict), orv_text("Count"))) != 1.0) return 2;
  if (!text_is(ORV_CORE(588, object(dict), orv_text("Item"), orv_text("键")), "值")) return 3;

  /* A variant result: the keys, an array of variants, read as texts. */
  r = ORV_CORE(596, object(dict), orv_text("Keys"));
  keys = (uint32_t*)(uintptr_t)r.lo;
  if (ORV_CORE(611, variant(keys)).lo != 13) return 4;
  r = ORV_CORE(617, variant(keys));
  {
    uint32_t* array = (uint32_t*)(uintptr_t)r.lo;
    if (!array || array[0] != 1 || array[1] != 1 || !same_text((char*)(uintptr_t)array[2], "键")) return 5;
    orv_free((void*)(uintptr_t)array[2]);
    orv_free(array);
  }
  ORV_CORE(609, variant(keys));
  orv_free(keys);

  /* Failures give their texts. */
  ORV_CORE(589, object(dict), orv_text("Nothing"));
  if (!text_is(ORV_CORE(606), "未找到指定属性或方法")) return 6;

  /* The probe object: a Long's low 32 bits, an output parameter written back. */
  if (ORV_CORE(583, object(probe), orv_text("OrvelTest.Probe")).lo != 1) return 7;
  if (orv_as_double(ORV_CORE(598, object(probe), orv_text("Echo"), orv_long(0x100000005LL))) != 5.0) return 8;
  ORV_CORE(595, object(probe), orv_text("Twice"), int_variable(&n));
  if (n != 42) return 9;
  /* An object result, used and released. */
  r = ORV_CORE(601, object(probe), orv_text("MakeChild"));
  {
    uint32_t* child = (uint32_t*)(uintptr_t)r.lo;
    if (!child || ORV_CORE(586, object(child)).lo != 0) return 10;
    ORV_CORE(594, object(child), orv_text("Name"), orv_text("子"));
    if (!text_is(ORV_CORE(588, object(child), orv_text("Name")), "子")) return 11;
    ORV_CORE(585, object(child));
    orv_free(child);
  }
  if (orv_as_double(ORV_CORE(589, object(probe), orv_text("Live"))) != 1.0) return 12;

  ORV_CORE(585, object(dict));
  ORV_CORE(585, object(probe));
  if (ORV_CORE(586, object(dict)).lo != 1) return 13;
  return 0;
}
