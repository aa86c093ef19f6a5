/* A program whose start-up window has background music (repeating), and which plays a second
   sound through the play sound command, lets both sound for a moment and ends: shutdown must
   stop them and wait for their threads, and the program must end with code 0. */
#include "orvel.h"

#define WINDOW 0x52010001u
ORV_DLL_COMMAND(void, __stdcall, sleep_ms, 0, (unsigned ms));

ORV_STARTUP(start) {
  orv_load_startup(ORV_ID(WINDOW));
  orv_value played = ORV_CORE(195, orv_text("sound_prog_second.wav"), orv_int(1));
  if (!played.lo) return 3;
  sleep_ms(400);
  return 0;
}
