#!/bin/sh
# Writes the image linker's encoding of each given unit type with no field named, one line
# "TYPE HEX" per type, for the comparison with each unit's own saved defaults under Wine.
#   linker_defaults.sh VLINK WORK_DIR OUT_FILE TYPE...
set -u
vlink=$1 work=$2 out=$3
shift 3
mkdir -p "$work"
printf '  .text\n  .globl start\nstart:\n  ret\n' > "$work/p.s"
: > "$out.tmp"
for t in "$@"; do
  printf 'startup start\nwindow 0x52010001 "w"\n  unit 0x06010000 "w" type 0x10001\n  unit 0x16010002 "u" type %s\n    fields \n' "$t" > "$work/d.orv"
  "$vlink" --program "$work/p.s" --description "$work/d.orv" --carrier "$work/d.bin" >/dev/null 2>&1 || { echo "link failed for $t"; exit 1; }
  hex=$("$vlink" --dump "$work/d.bin" | sed -n '/unit 0x16010002/,$p' | grep 'data hex' | sed 's/.*data hex "\(.*\)"/\1/')
  [ -n "$hex" ] || { echo "no encoding of type $t"; exit 1; }
  echo "$t $hex" >> "$out.tmp"
done
mv "$out.tmp" "$out"
