#!/bin/sh
# Host checks of C sources in the image linker: a source that does not compile, initialised
# writable data, a handler no source defines and a symbol no object defines are refused
# with a message and status 1; a C handler linked next to assembly resolves both ways.
#   c_check.sh VLINK WORK_DIR
set -u
vlink=$1 work=$2
mkdir -p "$work"
fail=0
check() { if [ "$1" != 0 ]; then echo "FAILED: $2"; fail=1; fi; }
printf 'startup start\nwindow 0x52010001 "w"\n  unit 0x06010000 "w" type 0x10001\n    on 1 on_close\n' > "$work/p.orv"

# refuse WHAT MESSAGE-PART C-SOURCE
refuse() {
  printf '%s\n' "$3" > "$work/r.c"
  out=$("$vlink" --program "$work/r.c" --description "$work/p.orv" --carrier "$work/r.bin" 2>&1); rc=$?
  [ $rc = 1 ]; check $? "$1: status $rc"
  echo "$out" | grep -q -- "$2"; check $? "$1: message [$out]"
}
good='#include "orvel.h"
ORV_HANDLER(LOGICAL, on_close) { return 1; }
ORV_STARTUP(start) { return 0; }'

refuse "compile error" "error: .*undeclared" "$good
int broken(void) { return nowhere; }"
refuse "compile error ends with vlink's message" "the compiler failed on" "$good
int broken(void) { return nowhere; }"
refuse "initialised writable data" "initialised writable data counter .*make it const, or leave it zero-initialised" "$good
int counter = 5;
int bump(void) { return ++counter; }"
refuse "missing handler" "handler on_close is not defined by any source" '#include "orvel.h"
ORV_STARTUP(start) { return 0; }'
refuse "plain C function as handler" "it is a C function: declare it with ORV_HANDLER" '#include "orvel.h"
int on_close(void) { return 1; }
ORV_STARTUP(start) { return 0; }'
refuse "unresolved symbol" "unresolved symbol helper_nowhere, used in" "$good
int helper_nowhere(int);
int use(int x) { return helper_nowhere(x); }"

# A C source and an assembly source calling each other link; constant and zero data are fine.
printf '%s\n' "$good" 'const int table[3] = {1, 2, 3};
static int zeroed;
int c_side(int i) { zeroed += table[i]; return zeroed; }
int from_asm(void);
int call_asm(void) { return from_asm(); }' > "$work/ok.c"
printf '  .include "orvel.inc"\n  .text\n  .globl _from_asm\n_from_asm:\n  pushl $1\n  call _c_side\n  addl $4, %%esp\n  ret\n' > "$work/ok.s"
"$vlink" --program "$work/ok.c" --program "$work/ok.s" --description "$work/p.orv" --carrier "$work/ok.bin" >"$work/ok.txt" 2>&1
check $? "C and assembly together: $(cat "$work/ok.txt")"
"$vlink" --dump "$work/ok.bin" | grep -q "help at"; check $? "one service table for both objects"

refuse_lang() {
  : > "$work/x.txt"
  out=$("$vlink" --program "$work/x.txt" --description "$work/p.orv" --carrier "$work/x.bin" 2>&1); rc=$?
  [ $rc = 1 ] && echo "$out" | grep -q "cannot tell the language"; check $? "unknown source kind: $out"
}
refuse_lang

[ $fail = 0 ] && echo "all C source checks passed"
exit $fail
