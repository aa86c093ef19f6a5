#!/bin/sh
# Installs what is missing, builds everything and starts the refresh tool under Wine (or, with
# --example NAME, the example program examples/NAME): on the current X display, or on a
# private Xvfb display when there is none.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="${BUILD_DIR:-$root/build}"
sh "$root/scripts/bootstrap.sh"
[ -f "$build/build.ninja" ] || cmake -G Ninja -S "$root" -B "$build"
cmake --build "$build"
program="$build/bin/Revisto.exe"
[ -f "$program" ] || program="$build/bin/orvelrt.exe"   # before the tool's image exists
if [ "${1:-}" = "--example" ]; then                     # an example program instead
  [ -n "${2:-}" ] || { echo "run: --example needs a name (see examples/)"; exit 2; }
  program="$build/bin/$2.exe"
  [ -f "$program" ] || { echo "run: no example $2 (see examples/)"; exit 2; }
  shift 2
fi
export WINEPREFIX="$build/wineprefix-run" LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all
. "$root/scripts/display.sh"
trap orvel_cleanup EXIT
trap "exit 143" INT TERM
if [ -n "$orvel_xvfb_pid" ]; then
  echo "run: no X display here; running on the private display $DISPLAY."
  echo "run: to look at it: DISPLAY=$DISPLAY import -window root revisto.png   (or x11vnc -display $DISPLAY)"
fi
echo "run: starting $program"
# In the background, so that a signal reaches the trap at once rather than after the program.
"$build/wine-run" "$program" "$@" &
orvel_child=$!
status=0
wait $orvel_child || status=$?
echo "run: the program ended with exit code $status"
exit $status
