/* Test program whose routines fault: the mode (DLL command probe_mode) picks where and how.
   Each fault must end as a run-time error (dialog, exit -1), never as a normal end. */
#include "orvel.h"

ORV_DLL_COMMAND(int, __cdecl, probe_mode, 0, (void));

#define WINDOW 0x52010001
#define TIMER 0x16010003

/* Zero at run time, unknown to the compiler: the faults below stay real instructions. */
static volatile int32_t zero;
static volatile uintptr_t null_address;
static int32_t mode;

enum { DIVIDE = 1, READ_NULL = 2, ILLEGAL = 3 };

static void fault(int kind) {
  if (kind == DIVIDE) {
    volatile int32_t q = 100 / zero;
    (void)q;
  } else if (kind == READ_NULL) {
    volatile int32_t v = *(volatile int32_t*)null_address;
    (void)v;
  } else {
    __asm__ volatile("ud2");
  }
}

ORV_HANDLER(NOTHING, on_tick) { fault(mode == 4 ? READ_NULL : DIVIDE); }
ORV_HANDLER(NOTHING, on_click) { fault(READ_NULL); }
ORV_SUBSTATEMENT(INTEGER, faulting_value) {
  fault(DIVIDE);
  return 1;
}

ORV_STARTUP(start) {
  mode = probe_mode();
  if (mode >= 1 && mode <= 3) fault(mode);  /* in the start-up routine itself */
  if (mode == 7) {                           /* in a sub-statement that a command evaluates */
    orv_value v = {(uint32_t)(uintptr_t)ORV_ROUTINE(faulting_value), 0, (uint32_t)ORV_TYPE_SUBSTMT};
    ORV_CORE(ORV_CMD_TO_TEXT, v);
  }
  orv_load_startup(ORV_ID(WINDOW));
  if (mode == 4 || mode == 5) ORV_SET_INT(WINDOW, TIMER, ORV_PROP_TIMER_INTERVAL, 50);
  orv_message_loop(0);
  return 0;
}
