/* Sub-statement routines of each return kind, evaluated by the runtime when a core command
   takes them as arguments: to text shows the value and type the runtime saw. */
#include "orvel.h"
#include "cprog.h"

ORV_SUBSTATEMENT(INTEGER, sub_integer, uint32_t context) { return 40 + (int32_t)context; }
ORV_SUBSTATEMENT(DOUBLE, sub_double) { return 2.5; }
ORV_SUBSTATEMENT(TEXT, sub_text) { return "名字"; }
ORV_SUBSTATEMENT(LOGICAL, sub_logical) { return 7; /* any non-zero is true */ }

static orv_value sub(void* routine, uint32_t context) {
  orv_value v = {(uint32_t)(uintptr_t)routine, context, (uint32_t)ORV_TYPE_SUBSTMT};
  return v;
}

static void note_as_text(const char* key, orv_value v) {
  orv_value t = ORV_CORE(ORV_CMD_TO_TEXT, v);
  note_text(key, orv_as_text(t));
  orv_free(orv_as_text(t));
}

void sub_statements(void) {
  note_as_text("sub_integer", sub(ORV_ROUTINE(sub_integer), 2));
  note_as_text("sub_double", sub(ORV_ROUTINE(sub_double), 0));
  note_as_text("sub_text", sub(ORV_ROUTINE(sub_text), 0));
  note_as_text("sub_logical", sub(ORV_ROUTINE(sub_logical), 0));
}
