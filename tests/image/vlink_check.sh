#!/bin/sh
# Host checks of the image linker: every test program's dump links back to the very same
# image, and bad input is refused with a message and exit status 1.
#   vlink_check.sh VLINK PROGRAM_DIR RUNTIME_EXE WORK_DIR
set -u
vlink=$1 programs=$2 runtime=$3 work=$4
mkdir -p "$work"
fail=0
check() { if [ "$1" != 0 ]; then echo "FAILED: $2"; fail=1; fi; }

for p in tally mixed bare; do
  "$vlink" --program "$programs/$p.s" --description "$programs/$p.orv" --stamp 99 --carrier "$work/$p.1" ; check $? "link $p"
  "$vlink" --dump "$work/$p.1" > "$work/$p.dump" ; check $? "dump $p"
  "$vlink" --program "$programs/$p.s" --description "$work/$p.dump" --carrier "$work/$p.2" ; check $? "relink $p from its dump"
  cmp -s "$work/$p.1" "$work/$p.2" ; check $? "$p: the dump links back to the same image"
done
grep -q '^stamp 99$' "$work/tally.dump" ; check $? "--stamp sets the build stamp"
grep -q '^window 0x52010001 "计数器"$' "$work/tally.dump" ; check $? "window names come back as UTF-8"
grep -q '^    on 0 @0x0$' "$work/tally.dump" ; check $? "a handler at code offset 0 is kept"
grep -q '^dll "kernel32.dll" "#12"' "$work/mixed.dump" ; check $? "DLL ordinal name"
grep -q '^library "core.lib\\rcoresig\\r1\\r0\\r系统核心支持库"$' "$work/mixed.dump" ; check $? "library list descrambled"

# An executable: the image goes into a new section; a second link into it is refused.
"$vlink" --program "$programs/tally.s" --description "$programs/tally.orv" --runtime "$runtime" --output "$work/tally.exe" ; check $? "link into the runtime"
"$vlink" --dump "$work/tally.exe" | grep -v '^stamp' > "$work/exe.dump"
grep -v '^stamp' "$work/tally.dump" | diff -q - "$work/exe.dump" >/dev/null ; check $? "the executable's image dumps like the carrier"

refuse() {  # refuse WHAT EXPECTED-MESSAGE-PART VLINK-ARGS...
  what=$1 part=$2; shift 2
  out=$("$vlink" "$@" 2>&1); rc=$?
  if [ $rc != 1 ]; then echo "FAILED: $what: exit status $rc"; fail=1; return; fi
  case "$out" in *"$part"*) ;; *) echo "FAILED: $what: message was: $out"; fail=1 ;; esac
}
printf '  .text\nstart:\n  call missing\n  ret\n' > "$work/unresolved.s"
printf 'startup start\n' > "$work/plain.orv"
printf 'startup start\nwindow 0x52010001 "w"\n  unit 0x26010002 "m" type 0x10003\n' > "$work/menu-as-unit.orv"
printf 'startup start\nbogus 1\n' > "$work/bogus.orv"
printf 'startup start\ndll "a.dll"\n' > "$work/short-dll.orv"
printf 'startup nowhere\n' > "$work/nowhere.orv"
printf '  .text\nstart:\n  ret\n  .data\n  .long 1\n' > "$work/data.s"
refuse "unresolved symbol" "unresolved symbol missing" --program "$work/unresolved.s" --description "$work/plain.orv" --carrier "$work/x"
refuse "menu item written as unit" "use menu-item" --program "$programs/bare.s" --description "$work/menu-as-unit.orv" --carrier "$work/x"
refuse "unknown statement" "bogus.orv:2: unknown statement bogus" --program "$programs/bare.s" --description "$work/bogus.orv" --carrier "$work/x"
refuse "DLL command without function" "missing DLL function name" --program "$programs/bare.s" --description "$work/short-dll.orv" --carrier "$work/x"
refuse "unknown start-up symbol" "nowhere is not defined by any source" --program "$programs/bare.s" --description "$work/nowhere.orv" --carrier "$work/x"
refuse "initialised writable data" "make it const, or leave it zero-initialised" --program "$work/data.s" --description "$work/plain.orv" --carrier "$work/x"
refuse "second image" "already carries an image" --program "$programs/bare.s" --description "$programs/bare.orv" --runtime "$work/tally.exe" --output "$work/y.exe"
refuse "not an image" "no .orvimg section" --dump "$runtime"
head -c 100 "$work/tally.1" > "$work/truncated"
refuse "truncated carrier" "past" --dump "$work/truncated"
# Damaged images: the dump reads or refuses (status 0 or 1), it never crashes.
python3 - "$vlink" "$work/mixed.1" "$work/fuzz" <<'PY' || fail=1
import random, subprocess, sys
vlink, good, path = sys.argv[1], open(sys.argv[2], 'rb').read(), sys.argv[3]
rng = random.Random(7)
for round in range(300):
    bad = bytearray(good)
    for _ in range(rng.randint(1, 4)):
        at = rng.randrange(0x40, len(bad) - 4)
        bad[at:at + 4] = rng.choice([b'\xff\xff\xff\xff', bytes([rng.randrange(256)]) + bad[at + 1:at + 4],
                                     rng.randrange(1 << 12).to_bytes(4, 'little')])
    open(path, 'wb').write(bad)
    rc = subprocess.run([vlink, '--dump', path], capture_output=True).returncode
    if rc not in (0, 1):
        print('FAILED: dump of a damaged image ended with status', rc); sys.exit(1)
PY
exit $fail
