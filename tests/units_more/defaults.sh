#!/bin/sh
# The image linker's encoding of each unit type given on the command line with no field
# named, one line "TYPE HEX" per type, into OUT_FILE: the units' own defaults are compared
# with it under Wine.
#   defaults.sh VLINK WORK_DIR OUT_FILE TYPE...
set -u
vlink=$1 work=$2 out=$3
shift 3
mkdir -p "$work"
printf '  .text\n  .globl start\nstart:\n  ret\n' > "$work/p.s"
: > "$out.tmp"
for t in "$@"; do
  printf 'startup start\nwindow 0x52010001 "w"\n  unit 0x06010000 "w" type 0x10001\n  unit 0x16010002 "u" type %s\n    fields version 1\n' "$t" > "$work/d.orv"
  "$vlink" --program "$work/p.s" --description "$work/d.orv" --carrier "$work/d.bin" || exit 1
  hex=$("$vlink" --dump "$work/d.bin" | sed -n '/unit 0x16010002/,$p' | grep 'data hex' | sed 's/.*data hex "\(.*\)"/\1/')
  [ -n "$hex" ] || { echo "no encoding of type $t"; exit 1; }
  echo "$t $hex" >> "$out.tmp"
done
mv "$out.tmp" "$out"
