#!/bin/sh
# Runs the broadcast test inside a private network namespace that holds only its own loopback,
# with the limited broadcast address routed onto it: nothing the test sends can leave it.
#   private_net_run.sh WINE_RUN TEST_EXE
# Exits 77 (skipped) where no namespace can be made (not root, or no unshare).
set -u
wine_run=$1 exe=$2
command -v unshare >/dev/null && command -v ip >/dev/null || { echo "no unshare or ip: skipped"; exit 77; }
unshare -n true 2>/dev/null || { echo "cannot make a network namespace here: skipped"; exit 77; }
exec unshare -n sh -c '
  set -e
  ip link set lo up
  ip route add 255.255.255.255/32 dev lo
  [ "$(ip -o link | wc -l)" = 1 ] || { echo "namespace is not private"; exit 1; }
  ORVEL_PRIVATE_NET=1 "$0" "$1" --gtest_filter=DatagramUnit.BroadcastAndNoRouteInAPrivateNetwork
' "$wine_run" "$exe"
