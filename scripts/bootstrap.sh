#!/bin/sh
# bootstrap.sh - installs everything the build and the tests need on Debian 12 (run as root);
# idempotent and quick when everything is present.
set -eu
export DEBIAN_FRONTEND=noninteractive
PKGS="${PKGS:-wine wine32:i386 wine64
  libodbc2:i386 libsqliteodbc:i386 unixodbc
  g++-mingw-w64-i686 mingw-w64-i686-dev libz-mingw-w64-dev libstb-dev googletest cmake ninja-build
  xvfb xauth xdotool x11-apps x11-utils imagemagick fonts-wine fonts-wqy-microhei python3 socat util-linux locales unicode-data}"
# npm fetches SQLite for the database benchmark. A machine with an npm of its own keeps it:
# Debian's package conflicts with Node.js installed from elsewhere.
command -v npm >/dev/null 2>&1 || PKGS="$PKGS npm"

missing=""
for p in $PKGS; do
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)" = installed ] || missing="$missing $p"
done
ensure_locale() {  # Wine takes its Unix-side charset from the locale: it must really exist
  locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$' && return 0
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'zh_CN.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
}
# The database benchmark runs SQLite beside the engine: its amalgamation comes from the npm
# package better-sqlite3 (deps/sqlite3), fetched once into a cache folder and never committed.
# Without it the benchmark prints the engine's figures alone.
fetch_sqlite() {
  dir="${ORVEL_SQLITE_DIR:-/var/cache/orvel/sqlite3}"
  [ -f "$dir/sqlite3.c" ] && [ -f "$dir/sqlite3.h" ] && return 0
  command -v npm >/dev/null 2>&1 || { echo "bootstrap: no npm: db_bench is built without SQLite"; return 0; }
  tmp=$(mktemp -d)
  if (cd "$tmp" && npm pack better-sqlite3 --silent >/dev/null 2>&1 &&
      tar -xzf better-sqlite3-*.tgz package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h); then
    mkdir -p "$dir" && cp "$tmp/package/deps/sqlite3/sqlite3.c" "$tmp/package/deps/sqlite3/sqlite3.h" "$dir/"
  else
    echo "bootstrap: could not fetch the SQLite amalgamation: db_bench is built without SQLite"
  fi
  rm -rf "$tmp"
}
if [ -z "$missing" ]; then ensure_locale; fetch_sqlite; echo "bootstrap: all present"; exit 0; fi
echo "bootstrap: installing:$missing"

dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386

update() {  # an index that fails (e.g. a mirror mid-sync) must not stop us; retry a little first
  for i in 1 2 3; do
    apt-get update -q 2>&1 | tee /tmp/apt-update.log
    grep -q '^E:' /tmp/apt-update.log || return 0
    sleep 5
  done
  return 0
}
install() { apt-get install -y -q --no-install-recommends $PKGS; }

update
if ! install; then
  # If bookworm-security's i386 index failed to download (or is out of step with amd64), the amd64 and
  # i386 copies of Multi-Arch: same libraries (libc6, mesa, ...) get different candidate versions and
  # wine32:i386 cannot be installed. Take everything from the main archive instead, and retry.
  echo "bootstrap: install failed; pinning Debian-Security to -1 and retrying" >&2
  printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: -1\n' \
    > /etc/apt/preferences.d/99-no-security-test
  install
fi
ensure_locale
fetch_sqlite
echo "bootstrap: done"
