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
exit $status
