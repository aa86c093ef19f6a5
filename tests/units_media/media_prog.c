/* A window holding one unit of each picture, drawing, dialog, printer and data type, set up
   by the description's fields; the test looks at it and keeps a screenshot. */
#include "orvel.h"

#define WINDOW 0x52010001

ORV_STARTUP(start) {
  orv_load_startup(ORV_ID(WINDOW));
  orv_message_loop(0);
  return 0;
}
