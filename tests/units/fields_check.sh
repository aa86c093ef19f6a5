#!/bin/sh
# Host checks of the typed unit-data encoders of the image linker: each core unit type's
# fields come out in stored order with their defaults, older versions leave fields out, and
# unknown types, fields and values are refused with a message.
#   fields_check.sh VLINK WORK_DIR
set -u
vlink=$1 work=$2
mkdir -p "$work"
fail=0
check() { if [ "$1" != 0 ]; then echo "FAILED: $2"; fail=1; fi; }
printf '  .text\n  .globl start\nstart:\n  ret\n' > "$work/p.s"

# One unit of TYPE with FIELDS; prints the data line of the dump.
data_of() {
  printf 'startup start\nwindow 0x52010001 "w"\n  unit 0x06010000 "w" type 0x10001\n  unit 0x16010002 "u" type %s\n    fields %s\n' "$1" "$2" > "$work/d.orv"
  "$vlink" --program "$work/p.s" --description "$work/d.orv" --carrier "$work/d.bin" >/dev/null 2>&1 || { echo "link failed"; return; }
  "$vlink" --dump "$work/d.bin" | sed -n '/unit 0x16010002/,$p' | grep 'data hex' | sed 's/.*data hex "\(.*\)"/\1/'
}

expect() {  # expect TYPE FIELDS HEX WHAT
  got=$(data_of "$1" "$2")
  [ "$got" = "$3" ]; check $? "$4: got [$got]"
}

expect 0x10020 'interval 3000' '01000000 B80B0000' "timer"
expect 0x10020 'version 2 interval 5' '02000000 05000000' "timer version written as given"
expect 0x1000B 'caption "OK" align 2' '01000000 00000000 02000000 01000000 00000000 00000000 02000000 4F4B' "button"
expect 0x1000C 'checked 2' '02000000 00000000 00000000 00000000 00000000 01000000 00000000 000000FF 02000000 00000000 00000000 00000000 00000000 00000000' "check box"
expect 0x10005 'version 1 input-mode 5 mask "#"' '01000000 01000000 00000000 FFFFFF00 01000000 00000000 00000000 00000000 00000000 05000000 23000000 00000000 00000000 00006400 00000000 00000000 00000000 00000000 0000' "edit box version 1 (mask: 16 bits)"
expect 0x1000A 'version 1 frame-width 3' '01000000 00000000 03000000 00000000 80808000 FFFFFF00 80808000 00000000 000000FF 01000000 00000000 80808000 FFFFFF00 80808000 00000000 01000000 00000000 00000000 00000000 00000000' "label version 1"
# Item lists, integer lists and date-times (a list box, a date picker).
expect 0x1000F 'items "a|bc" values "7,-1" current 1' '01000000 01000000 00000000 00000000 01000000 00000000 000000FF 00000000 00000000 00000000 0F000000 02000000 01000000 61020000 00626308 00000007 000000FF FFFFFF00 00000000 00000000 000000' "list box items and values"
expect 0x10017 'value 45000.25' '01000000 00000000 00000000 00000000 08F9E540 00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000' "date picker value"
expect 0x1001B 'version 1' "$(data_of 0x1001B 'patterns "*.*"')" "file box patterns default to *.*"

refuse() {  # refuse TYPE FIELDS MESSAGE-PART
  printf 'startup start\nwindow 0x52010001 "w"\n  unit 0x06010000 "w" type 0x10001\n  unit 0x16010002 "u" type %s\n    fields %s\n' "$1" "$2" > "$work/r.orv"
  out=$("$vlink" --program "$work/p.s" --description "$work/r.orv" --carrier "$work/r.bin" 2>&1); rc=$?
  [ $rc = 1 ]; check $? "refused with status 1: $2"
  echo "$out" | grep -q "$3"; check $? "message for [$2]: $out"
}
refuse 0x10020 'colour 5' 'unknown field colour'
refuse 0x10020 'interval' 'has no value'
refuse 0x10020 'interval x' 'expected a number'
refuse 0x20001 'interval 1' 'no field encoder for unit type 0x20001'
refuse 0x1000A 'font "宋体"' 'a font needs'
refuse 0x1000A 'picture file "no-such.ico"' 'cannot read'
refuse 0x10017 'value 1.5x' 'expected a date-time number'
refuse 0x1000F 'values "1,x"' 'expected a number'

[ $fail = 0 ] && echo "all unit field checks passed"
exit $fail
