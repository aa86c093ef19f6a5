/* What the C sources of the test program share. */
#ifndef CPROG_H
#define CPROG_H
#include <stdint.h>

#define WINDOW 0x52010001
#define LABEL 0x16010002
#define EDIT 0x16010003
#define TIMER 0x16010004

void note_int(const char* key, int32_t value);
void note_text(const char* key, const char* text);
void sub_statements(void);

#endif
