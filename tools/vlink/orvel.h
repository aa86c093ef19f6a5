/* orvel.h: what a program written in C includes. vlink compiles C sources with its own
   fixed flags (32-bit, freestanding, -O2, GBK texts) and links them with the program's
   assembly sources and its description. See "Writing a program" in the README.

   - Values: orv_value is the argument record and the result record; texts are NUL-terminated
     GBK strings in blocks of the runtime heap; byte sets are blocks {1, n, bytes...}.
   - Services: the 13 service entries as C functions (orv_allocate, orv_read_property, ...).
   - Commands: orv_core() calls a core command by slot; ORV_LIBRARY_CALL() a command of
     another support library; ORV_DLL_COMMAND() declares a DLL command as a C function.
   - Routines the runtime calls: ORV_HANDLER, ORV_STARTUP and ORV_SUBSTATEMENT define them
     with the entry stub that compiled code must have (arguments removed by the routine, the
     value's data type code in ECX).
   - Identifiers of windows and units, library numbers and library type codes written into
     code go through ORV_ID, ORV_LIB and ORV_TYPE, which mark them so that a later image can
     adjust them.
   Writable data must be const or zero-initialised: an image has no initialised writable
   data, and vlink refuses it by name. */
#ifndef ORVEL_H
#define ORVEL_H

#include <stdint.h>

/* ---- Values ---- */

/* Data type codes. Bit 29 marks an array. */
enum {
  ORV_TYPE_NONE = 0,
  ORV_TYPE_BYTE = (int32_t)0x80000101,
  ORV_TYPE_SHORT = (int32_t)0x80000201,
  ORV_TYPE_INT = (int32_t)0x80000301,
  ORV_TYPE_LONG = (int32_t)0x80000401,
  ORV_TYPE_FLOAT = (int32_t)0x80000501,
  ORV_TYPE_DOUBLE = (int32_t)0x80000601,
  ORV_TYPE_BOOL = (int32_t)0x80000002,
  ORV_TYPE_DATETIME = (int32_t)0x80000003,
  ORV_TYPE_TEXT = (int32_t)0x80000004,
  ORV_TYPE_BIN = (int32_t)0x80000005,
  ORV_TYPE_SUBPTR = (int32_t)0x80000006,
  ORV_TYPE_SUBSTMT = (int32_t)0x80000008,
  ORV_ARRAY_BIT = 0x20000000
};

/* An argument record, and with the same layout a command's result: the 64-bit value slot
   and its data type code (0 = an omitted argument). */
typedef struct orv_value {
  uint32_t lo; /* low word; the address of a text, byte set or array */
  uint32_t hi; /* high word of a long, double or date-time */
  uint32_t type;
} orv_value;

/* A byte set block: this header, then `length` bytes. */
typedef struct orv_bin {
  uint32_t dims; /* always 1 */
  uint32_t length;
} orv_bin;

static inline orv_value orv_int(int32_t v) {
  orv_value r = {(uint32_t)v, 0, (uint32_t)ORV_TYPE_INT};
  return r;
}
static inline orv_value orv_bool(int v) {
  orv_value r = {v ? 1u : 0u, 0, (uint32_t)ORV_TYPE_BOOL};
  return r;
}
static inline orv_value orv_double(double v) {
  union { double d; uint32_t w[2]; } u = {v};
  orv_value r = {u.w[0], u.w[1], (uint32_t)ORV_TYPE_DOUBLE};
  return r;
}
static inline orv_value orv_long(int64_t v) {
  orv_value r = {(uint32_t)v, (uint32_t)((uint64_t)v >> 32), (uint32_t)ORV_TYPE_LONG};
  return r;
}
/* A date-time is a double: days since 1899-12-30. */
static inline orv_value orv_datetime(double days) {
  orv_value r = orv_double(days);
  r.type = (uint32_t)ORV_TYPE_DATETIME;
  return r;
}
/* The text is read, not taken: it stays the caller's. */
static inline orv_value orv_text(const char* text) {
  orv_value r = {(uint32_t)(uintptr_t)text, 0, (uint32_t)ORV_TYPE_TEXT};
  return r;
}
static inline orv_value orv_omitted(void) {
  orv_value r = {0, 0, 0};
  return r;
}

/* A command's result carries its data type code only where the command's type varies; give
   a result its type before passing it on as an argument: orv_as(ORV_TYPE_DATETIME, r). */
static inline orv_value orv_as(int32_t type, orv_value v) {
  v.type = (uint32_t)type;
  return v;
}

/* Reading a result. */
static inline double orv_as_double(orv_value v) {
  union { double d; uint32_t w[2]; } u;
  u.w[0] = v.lo;
  u.w[1] = v.hi;
  return u.d;
}
static inline char* orv_as_text(orv_value v) { return (char*)(uintptr_t)v.lo; }
static inline const orv_bin* orv_as_bin(orv_value v) { return (const orv_bin*)(uintptr_t)v.lo; }
static inline const uint8_t* orv_bin_bytes(const orv_bin* b) { return (const uint8_t*)(b + 1); }

/* ---- The service entries ---- */

__attribute__((noreturn)) void orv_report_error(int32_t code) __asm__("orv_report_error");
/* A property of a unit (index -1 for a property that is no array): EDX:EAX. A text or byte
   set read is a new block the caller frees. */
uint64_t orv_read_property(uint32_t window, uint32_t unit, int32_t property, int32_t index)
    __asm__("orv_read_property");
void orv_write_property(uint32_t window, uint32_t unit, int32_t property, int32_t index,
                        uint32_t lo, uint32_t hi) __asm__("orv_write_property");
void* orv_allocate(uint32_t size) __asm__("orv_allocate");
void* orv_resize(void* block, uint32_t size) __asm__("orv_resize");
void orv_free(void* block) __asm__("orv_free");
__attribute__((noreturn)) void orv_exit(int32_t code) __asm__("orv_exit");
void orv_message_loop(int32_t ignored) __asm__("orv_message_loop");
void orv_load_startup(uint32_t window) __asm__("orv_load_startup");
/* Further services. */
char* orv_find_next_file(const char* pattern, uint32_t mask, int32_t any_file, void** handle)
    __asm__("orv_find_next_file");
void orv_end_search(void* handle) __asm__("orv_end_search");
void orv_make_writable(uint32_t element_size, void** variable) __asm__("orv_make_writable");
void orv_set_finalise(void* routine) __asm__("orv_set_finalise"); /* ORV_ROUTINE(name) */
uint64_t orv_read_object(uint32_t type, void* object, int32_t property, int32_t index)
    __asm__("orv_read_object");
void orv_write_object(uint32_t type, void* object, int32_t property, int32_t index,
                      uint32_t lo, uint32_t hi) __asm__("orv_write_object");

/* ---- Marked operands ---- */

/* A constant written into code and recorded in identifier table KIND ("id", "dll", "lib",
   "typ"): movl $value, reg ends with the 32-bit immediate that the table points at. */
#define ORV__MARKED(kind, value)                                                     \
  ({                                                                                 \
    uint32_t orv__v;                                                                 \
    __asm__("movl %1, %0\n.Lorv_mark%=:\n.section .orv$" kind ",\"dr\"\n"         \
            ".long .Lorv_mark%= - 4\n.text"                                          \
            : "=r"(orv__v)                                                           \
            : "i"((uint32_t)(value)));                                               \
    orv__v;                                                                          \
  })
#define ORV_ID(value) ORV__MARKED("id", value)   /* a window or unit identifier */
#define ORV_LIB(value) ORV__MARKED("lib", value) /* a library number */
#define ORV_TYPE(value) ORV__MARKED("typ", value) /* a library type code */

/* ---- Units' properties ---- */

/* Property PROPERTY of unit UNIT in window WINDOW; the identifiers are constants. */
#define ORV_GET(window, unit, property) \
  orv_read_property(ORV_ID(window), ORV_ID(unit), (property), -1)
#define ORV_SET(window, unit, property, lo, hi) \
  orv_write_property(ORV_ID(window), ORV_ID(unit), (property), -1, (uint32_t)(lo), (uint32_t)(hi))
#define ORV_GET_INT(window, unit, property) ((int32_t)ORV_GET(window, unit, property))
#define ORV_SET_INT(window, unit, property, v) ORV_SET(window, unit, property, (int32_t)(v), 0)
/* A text read is the caller's to free (orv_free); a text written is copied by the unit. */
#define ORV_GET_TEXT(window, unit, property) ((char*)(uintptr_t)ORV_GET(window, unit, property))
#define ORV_SET_TEXT(window, unit, property, text) \
  ORV_SET(window, unit, property, (uintptr_t)(const char*)(text), 0)

/* Properties every unit has, by number. */
enum {
  ORV_PROP_LEFT = 0,
  ORV_PROP_TOP = 1,
  ORV_PROP_WIDTH = 2,
  ORV_PROP_HEIGHT = 3,
  ORV_PROP_TAG = 4,
  ORV_PROP_VISIBLE = 5,
  ORV_PROP_DISABLED = 6,
  ORV_PROP_CURSOR = 7,
  /* Type-specific properties start at 8. Some of the core units': */
  ORV_PROP_WINDOW_TITLE = 8,
  ORV_PROP_EDIT_CONTENT = 8,
  ORV_PROP_LABEL_CAPTION = 8,
  ORV_PROP_BUTTON_CAPTION = 10,
  ORV_PROP_CHECKBOX_CAPTION = 11,
  ORV_PROP_CHECKBOX_CHECKED = 18,
  ORV_PROP_TIMER_INTERVAL = 8,
  /* The list, choice, bar, picker and file-system units' most used properties. */
  ORV_PROP_RADIO_CHECKED = 18,
  ORV_PROP_COMBO_CONTENT = 9,
  ORV_PROP_COMBO_CURRENT = 15,
  ORV_PROP_LIST_CURRENT = 11,
  ORV_PROP_CHKLIST_CURRENT = 11,
  ORV_PROP_SCROLL_POSITION = 8,
  ORV_PROP_PROGRESS_POSITION = 13,
  ORV_PROP_SLIDER_POSITION = 15,
  ORV_PROP_TAB_PAGE = 12,
  ORV_PROP_DATE_VALUE = 10,
  ORV_PROP_CALENDAR_VALUE = 13,
  ORV_PROP_DRIVE = 8,
  ORV_PROP_DIRBOX_DIRECTORY = 8,
  ORV_PROP_FILEBOX_DIRECTORY = 8,
  ORV_PROP_FILEBOX_FILE = 11,
  ORV_PROP_COLOUR_PICKED = 8,
  ORV_PROP_LINK_ADDRESS = 10
};

/* ---- Commands ---- */

void orv__call_core(orv_value* result, uint32_t selector, int32_t count, const orv_value* args)
    __asm__("orv__call_core");
void orv__call_library(orv_value* result, uint32_t library, uint32_t selector, int32_t count,
                       const orv_value* args) __asm__("orv__call_library");

/* Core command SLOT with COUNT argument records. Texts and byte sets in the result are the
   caller's to free. */
static inline orv_value orv_core(int32_t slot, int32_t count, const orv_value* args) {
  orv_value r;
  orv__call_core(&r, (uint32_t)slot * 4, count, args);
  return r;
}
/* Command SLOT of library LIBRARY (a constant: it is marked). */
#define ORV_LIBRARY_CALL(library, slot, count, args)                                 \
  ({                                                                                 \
    orv_value orv__r;                                                                \
    orv__call_library(&orv__r, ORV_LIB(library), (uint32_t)(slot) * 4, (count), (args)); \
    orv__r;                                                                          \
  })
/* Core command SLOT with the arguments listed: ORV_CORE(ORV_CMD_TEXT_LENGTH, orv_text(s)). */
#define ORV_CORE(slot, ...)                                                          \
  ({                                                                                 \
    const orv_value orv__a[] = {__VA_ARGS__};                                        \
    orv_core((slot), (int32_t)(sizeof orv__a / sizeof orv__a[0]), orv__a);          \
  })

/* The same with the data type code of the command's result put in: a result passed on as
   an argument needs it, since a command whose result type is fixed leaves `type` 0, which
   an argument reads as omitted. ORV_CORE_AS(ORV_TYPE_TEXT, ORV_CMD_TRIM_BOTH, orv_text(s)). */
#define ORV_CORE_AS(type, slot, ...) orv_as((type), ORV_CORE((slot), __VA_ARGS__))

/* Core command slots a program is likely to use. */
enum {
  ORV_CMD_INTEGER_DIVIDE = 17,
  ORV_CMD_REMAINDER = 18,
  ORV_CMD_ABSOLUTE = 23,
  ORV_CMD_INTEGER_PART = 24,
  ORV_CMD_ROUND = 26,
  ORV_CMD_POWER = 27,
  ORV_CMD_SQUARE_ROOT = 28,
  ORV_CMD_SEED_RANDOM = 36,
  ORV_CMD_RANDOM = 37,
  ORV_CMD_TEXT_LENGTH = 76,
  ORV_CMD_LEFT_TEXT = 77,
  ORV_CMD_RIGHT_TEXT = 78,
  ORV_CMD_MIDDLE_TEXT = 79,
  ORV_CMD_CHARACTER = 80,
  ORV_CMD_CHARACTER_CODE = 81,
  ORV_CMD_FIND_TEXT = 82,
  ORV_CMD_TO_UPPER = 84,
  ORV_CMD_TO_LOWER = 85,
  ORV_CMD_TO_DATE_TIME = 88,
  ORV_CMD_TO_NUMBER = 89,
  ORV_CMD_TO_TEXT = 90,
  ORV_CMD_TRIM_BOTH = 93,
  ORV_CMD_REPLACE_SUB_TEXT = 96,
  ORV_CMD_REPEAT_TEXT = 98,
  ORV_CMD_COMPARE_TEXT = 99,
  ORV_CMD_SPLIT_TEXT = 100,
  ORV_CMD_BIN_LENGTH = 101,
  ORV_CMD_TO_BYTE_SET = 102,
  ORV_CMD_MONEY_TEXT = 115,
  ORV_CMD_FORMATTED_NUMBER = 116,
  ORV_CMD_HEX_TEXT = 117,
  ORV_CMD_ADD_TO_DATE = 119,
  ORV_CMD_DATE_DIFFERENCE = 120,
  ORV_CMD_DAYS_IN_MONTH = 121,
  ORV_CMD_DATE_TO_TEXT = 122,
  ORV_CMD_YEAR_OF = 124,
  ORV_CMD_MONTH_OF = 125,
  ORV_CMD_DAY_OF = 126,
  ORV_CMD_WEEKDAY_OF = 127,
  ORV_CMD_HOUR_OF = 128,
  ORV_CMD_MINUTE_OF = 129,
  ORV_CMD_SECOND_OF = 130,
  ORV_CMD_MAKE_DATE = 131,
  ORV_CMD_NOW = 132,
  ORV_CMD_TICK_COUNT = 194,
  /* Talking to the user, windows and units at run time, debugging. */
  ORV_CMD_INPUT_BOX = 191,
  ORV_CMD_MESSAGE_BOX = 192,
  ORV_CMD_BEEP = 193,
  ORV_CMD_PLAY_SOUND = 195,
  ORV_CMD_STOP_SOUND = 196,
  ORV_CMD_DEBUG_OUTPUT = 197,
  ORV_CMD_LOAD_WINDOW = 200,
  ORV_CMD_UNIT_EXISTS = 204,
  ORV_CMD_COLOUR_VALUE = 206,
  ORV_CMD_EVENT_SOURCE = 209,
  ORV_CMD_PROCESS_EVENTS = 212,
  ORV_CMD_SEND_MESSAGE = 333,
  ORV_CMD_POST_MESSAGE = 334,
  ORV_CMD_DELAY = 415,
  ORV_CMD_FIND_UNIT_BY_TAG = 428,
  /* The embedded database (arguments: database/README.md). */
  ORV_CMD_DB_LAST_ERROR = 337,
  ORV_CMD_DB_LAST_ERROR_TEXT = 338,
  ORV_CMD_DB_CREATE = 339,
  ORV_CMD_DB_OPEN = 340,
  ORV_CMD_DB_CLOSE = 344,
  ORV_CMD_DB_RECORD_COUNT = 348,
  ORV_CMD_DB_CREATE_INDEX = 355,
  ORV_CMD_DB_SET_INDEX = 356,
  ORV_CMD_DB_APPEND_VALUES = 383,
  ORV_CMD_DB_DELETE = 387,
  ORV_CMD_DB_PACK = 390,
  ORV_CMD_DB_READ_FIELD = 392,
  ORV_CMD_DB_WRITE_FIELD = 393,
  ORV_CMD_DB_SEEK = 398,
  ORV_CMD_DB_FIND = 399,
  ORV_CMD_DB_FIRST = 400,
  ORV_CMD_DB_LAST = 401,
  ORV_CMD_DB_SKIP = 402,
  ORV_CMD_DB_RECORD_NUMBER = 403,
  ORV_CMD_DB_AFTER_LAST = 409,
  ORV_CMD_DB_BROWSE = 412,
  ORV_CMD_SET_TRAY_ICON = 450,
  ORV_CMD_DATE_ONLY = 559,
  ORV_CMD_TIME_ONLY = 560,
  ORV_CMD_TO_INTEGER = 631,
  ORV_CMD_TO_LONG = 632
};

/* ---- DLL commands ---- */

/* Declares DLL command INDEX (its place in the description's dll list, a literal) as the C
   function NAME: ORV_DLL_COMMAND(int, __stdcall, message_box, 0, (void*, const char*,
   const char*, unsigned)). Calls go through the DLL command service with the caller's
   stack, so CONVENTION must be the DLL function's own. */
#define ORV_DLL_COMMAND(result, convention, name, index, params)                     \
  result convention name params __asm__("orv_dll_" #name);                           \
  __asm__(".text\n.globl orv_dll_" #name "\norv_dll_" #name ":\n"                    \
          "movl $" ORV__STR(index) ", %eax\n.Lorv_dll_" #name ":\n"                  \
          ".section .orv$dll,\"dr\"\n.long .Lorv_dll_" #name " - 4\n.text\n"         \
          "jmp orv_call_dll\n")

/* ---- Routines the runtime calls ---- */

/* ORV_HANDLER(KIND, name, parameters...) { body }
   An event handler (or the error handler routine) named NAME for the description, with one
   32-bit parameter per stack word of its event (a 64-bit argument is two: low, high). KIND
   is what the body returns and the runtime sees:
     NOTHING  void         ECX = 0
     LOGICAL  int          0 or 1, ECX = ORV_TYPE_BOOL (a close handler returning 0 refuses)
     INTEGER  int32_t      ECX = ORV_TYPE_INT
     DOUBLE   double       ECX = ORV_TYPE_DOUBLE
     TEXT     const char*  copied into a new runtime block (the body keeps what it returned),
                           ECX = ORV_TYPE_TEXT
   The entry stub copies the arguments for the C body, removes them on return and sets ECX. */
#define ORV_HANDLER(kind, name, ...)                                                 \
  ORV__STUB(name, ORV__COUNT(__VA_ARGS__), "", ORV__EPILOGUE_##kind)                 \
  ORV__RESULT_##kind orv_body_##name(__VA_ARGS__) __asm__("orv_body_" #name);        \
  ORV__RESULT_##kind orv_body_##name(__VA_ARGS__)

/* ORV_STARTUP(name) { body }: the start-up routine. The body returns the exit code; most
   bodies load the start-up window and run the message loop first. */
#define ORV_STARTUP(name)                                                            \
  extern const char orv_routine_##name[] __asm__(#name);                             \
  __asm__(".text\n.globl " #name "\n" #name ":\n"                                    \
          "cld\nfninit\ncall orv_body_" #name "\npushl %eax\ncall orv_exit\n");      \
  int orv_body_##name(void) __asm__("orv_body_" #name);                              \
  int orv_body_##name(void)

/* ORV_SUBSTATEMENT(KIND, name [, uint32_t context]) { body }: a sub-statement routine; the
   optional parameter receives its context word. KIND as for ORV_HANDLER. */
#define ORV_SUBSTATEMENT(kind, name, ...)                                            \
  ORV__STUB(name, 0, "pushl %eax\n", ORV__EPILOGUE_##kind)                           \
  ORV__RESULT_##kind orv_body_##name(__VA_ARGS__) __asm__("orv_body_" #name);        \
  ORV__RESULT_##kind orv_body_##name(__VA_ARGS__)

/* The address of a routine defined with the macros above, for a value of type SubStmt or
   SubPtr, or for orv_set_finalise. Never call a routine directly from C: its stub expects
   the runtime's calling convention. */
#define ORV_ROUTINE(name) ((void*)orv_routine_##name)

/* ---- Details of the stubs ---- */

#define ORV__STR_(x) #x
#define ORV__STR(x) ORV__STR_(x)
#define ORV__CAT_(a, b) a##b
#define ORV__CAT(a, b) ORV__CAT_(a, b)
#define ORV__COUNT(...) ORV__COUNT_(0, ##__VA_ARGS__, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0)
#define ORV__COUNT_(z, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, n, ...) n

/* The stub: a frame, the N stack words pushed again for the C body (last first), the body
   called, the result put in place, the arguments removed. */
#define ORV__STUB(name, n, extra, epilogue)                                          \
  extern const char orv_routine_##name[] __asm__(#name);                             \
  __asm__(".text\n.globl " #name "\n" #name ":\n"                                    \
          "pushl %ebp\nmovl %esp, %ebp\n" extra ORV__CAT(ORV__PUSH_, n)              \
          "call orv_body_" #name "\n" epilogue                                       \
          "leave\nret $" ORV__STR(n) "*4\n");

#define ORV__PUSH_0 ""
#define ORV__PUSH_1 "pushl 8(%ebp)\n"
#define ORV__PUSH_2 "pushl 12(%ebp)\n" ORV__PUSH_1
#define ORV__PUSH_3 "pushl 16(%ebp)\n" ORV__PUSH_2
#define ORV__PUSH_4 "pushl 20(%ebp)\n" ORV__PUSH_3
#define ORV__PUSH_5 "pushl 24(%ebp)\n" ORV__PUSH_4
#define ORV__PUSH_6 "pushl 28(%ebp)\n" ORV__PUSH_5
#define ORV__PUSH_7 "pushl 32(%ebp)\n" ORV__PUSH_6
#define ORV__PUSH_8 "pushl 36(%ebp)\n" ORV__PUSH_7
#define ORV__PUSH_9 "pushl 40(%ebp)\n" ORV__PUSH_8
#define ORV__PUSH_10 "pushl 44(%ebp)\n" ORV__PUSH_9
#define ORV__PUSH_11 "pushl 48(%ebp)\n" ORV__PUSH_10
#define ORV__PUSH_12 "pushl 52(%ebp)\n" ORV__PUSH_11

#define ORV__RESULT_NOTHING void
#define ORV__RESULT_LOGICAL int
#define ORV__RESULT_INTEGER int32_t
#define ORV__RESULT_DOUBLE double
#define ORV__RESULT_TEXT const char*

#define ORV__EPILOGUE_NOTHING "xorl %ecx, %ecx\n"
#define ORV__EPILOGUE_LOGICAL \
  "testl %eax, %eax\nsetne %al\nmovzbl %al, %eax\nxorl %edx, %edx\nmovl $0x80000002, %ecx\n"
#define ORV__EPILOGUE_INTEGER "cltd\nmovl $0x80000301, %ecx\n"
#define ORV__EPILOGUE_DOUBLE \
  "subl $8, %esp\nfstpl (%esp)\npopl %eax\npopl %edx\nmovl $0x80000601, %ecx\n"
#define ORV__EPILOGUE_TEXT \
  "pushl %eax\ncall orv__text_result\naddl $4, %esp\nxorl %edx, %edx\nmovl $0x80000004, %ecx\n"

#endif /* ORVEL_H */
