#!/bin/sh
# Runs the serial port tests on a pseudo-terminal pair: socat joins two ptys, their paths are
# mapped to COM41 (the unit's port) and COM42 (the test peer's) of the Wine prefix, and both
# are removed again afterwards, whatever the outcome. The whole suite runs first as the port
# is (no modem lines: the unit falls back from waiting for modem-signal events); then, when a
# modem-line shim is given, the status event test runs again with the shim preloaded.
#   serial_run.sh WINE_RUN TEST_EXE PREFIX [SHIM]
set -u
wine_run=$1 exe=$2 prefix=$3 shim=${4:-}
command -v socat >/dev/null || { echo "socat is missing: run scripts/bootstrap.sh"; exit 1; }
dir=$(mktemp -d /tmp/orvel-pty.XXXXXX)
unit_com=41 peer_com=42
socat "pty,raw,echo=0,link=$dir/unit" "pty,raw,echo=0,link=$dir/peer" </dev/null >/dev/null 2>&1 &
pid=$!
cleanup() {
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  rm -f "$prefix/dosdevices/com$unit_com" "$prefix/dosdevices/com$peer_com"
  rm -rf "$dir"
}
trap cleanup EXIT INT TERM
i=0
while [ ! -e "$dir/unit" ] || [ ! -e "$dir/peer" ]; do
  i=$((i + 1))
  [ $i -gt 100 ] && { echo "socat made no pty pair"; exit 1; }
  sleep 0.05
done
mkdir -p "$prefix/dosdevices"
ln -sfn "$(readlink -f "$dir/unit")" "$prefix/dosdevices/com$unit_com"
ln -sfn "$(readlink -f "$dir/peer")" "$prefix/dosdevices/com$peer_com"
export ORVEL_COMM_PORT=$unit_com ORVEL_COMM_PEER=$peer_com
"$wine_run" "$exe" || exit $?
[ -n "$shim" ] || exit 0
printf '352\n    ' > "$dir/modem"  # CTS, carrier and DSR on
# 64-bit helper processes refuse the 32-bit shim with a warning: those lines are dropped.
{
  LD_PRELOAD=$shim ORVEL_MODEM_LINES=$dir/modem ORVEL_MODEM_LINES_FILE="Z:$(echo "$dir/modem" | tr / '\\')" \
    "$wine_run" "$exe" --gtest_filter=SerialPty.ModemLineChangesRaiseStatusEvents 2>&1
  echo $? > "$dir/rc"
} | grep -v 'wrong ELF class'
exit "$(cat "$dir/rc")"
