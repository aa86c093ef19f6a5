#!/bin/sh
# Installs what is missing, builds everything and runs every test under Wine on an X display.
# Extra arguments go to ctest (for example: scripts/test.sh -R foundation).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="${BUILD_DIR:-$root/build}"
sh "$root/scripts/bootstrap.sh"
[ -f "$build/build.ninja" ] || cmake -G Ninja -S "$root" -B "$build"
cmake --build "$build"
export WINEPREFIX="$build/wineprefix" LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all
. "$root/scripts/display.sh"
trap orvel_cleanup EXIT
trap "exit 143" INT TERM
# In the background, so that a signal reaches the trap at once rather than after the run.
ctest --test-dir "$build" --output-on-failure "$@" &
orvel_child=$!
status=0
wait $orvel_child || status=$?
if [ -f "$build/win32-tests-off" ]; then
  echo "test.sh: NOTE: this machine cannot execute 32-bit x86 code, so Wine cannot run here;"
  echo "test.sh: the Win32 test suites were built but not run (host-side checks only)."
fi
exit $status
