/* A window holding one unit of each list, choice, bar, picker and file-system type, set up by
   the description's fields; the test looks at it and keeps a screenshot. The drive, directory
   and file boxes are linked as a program links them: each one's change event writes the
   next one's directory. */
#include "orvel.h"

#define WINDOW 0x52010001
#define DRIVEBOX 0x16010012
#define DIRBOX 0x16010013
#define FILEBOX 0x16010014

ORV_HANDLER(NOTHING, drive_changed) {
  char* drive = ORV_GET_TEXT(WINDOW, DRIVEBOX, ORV_PROP_DRIVE);
  char root[8] = {0};
  for (int i = 0; drive && drive[i] && i < 2; ++i) root[i] = drive[i];
  root[2] = '\\';
  ORV_SET_TEXT(WINDOW, DIRBOX, ORV_PROP_DIRBOX_DIRECTORY, root);
  orv_free(drive);
}

ORV_HANDLER(NOTHING, directory_changed) {
  char* dir = ORV_GET_TEXT(WINDOW, DIRBOX, ORV_PROP_DIRBOX_DIRECTORY);
  ORV_SET_TEXT(WINDOW, FILEBOX, ORV_PROP_FILEBOX_DIRECTORY, dir);
  orv_free(dir);
}

ORV_STARTUP(start) {
  orv_load_startup(ORV_ID(WINDOW));
  orv_message_loop(0);
  return 0;
}
