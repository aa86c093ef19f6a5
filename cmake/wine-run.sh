#!/bin/sh
# wine-run.sh - run a Win32 exe under Wine in a dedicated 32-bit prefix (the build's emulator,
# reached through the build folder's `wine-run` wrapper, which names the prefix).
#   wine-run.sh prog.exe args...   run a program (exit status = Windows exit code & 0xFF)
#   wine-run.sh --start-server     create/boot the prefix only   (CTest FIXTURES_SETUP)
#   wine-run.sh --kill-server      stop this prefix's wineserver (CTest FIXTURES_CLEANUP)
# One persistent wineserver per prefix, started and booted with /dev/null std handles: the first wine
# process of a fresh server spawns services.exe, explorer.exe, ... which inherit its stdout/stderr and
# outlive it, so anything reading those pipes (ctest, subprocess.run, `2>&1 | ...`) would otherwise
# wait ~2.5 s per run, or for ever once the server is persistent.
: "${WINEPREFIX:=${HOME:-/tmp}/.wine-i686-test}"
: "${WINEDEBUG:=-all}"
: "${LC_ALL:=zh_CN.UTF-8}"                          # code page 936 inside; UTF-8 names outside
: "${WINEARCH:=win32}"
: "${WINEDLLOVERRIDES:=winemenubuilder.exe=d}"     # no .desktop/menu files written under $HOME
: "${WINE_VDESKTOP:=1024x768}"                     # empty: no virtual desktop (see report)
export WINEPREFIX WINEDEBUG WINEARCH WINEDLLOVERRIDES LC_ALL
if [ "$1" = "--kill-server" ]; then wineserver -k 2>/dev/null; exit 0; fi
mkdir -p "$WINEPREFIX"
(
  flock 9                                          # serialise start-up between parallel ctest -j runs
  q() { "$@" </dev/null >/dev/null 2>&1 9>&-; }    # 9>&-: daemons must not inherit the lock fd
  if [ ! -f "$WINEPREFIX/.test-prefix-ready" ]; then   # new (or half-made) prefix, ~7 s: create, configure
    q wineserver -p
    q wineboot -i
    q wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f  # crash => exit, no dialog
    q wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f   # no 2 s waits for a missing WM
    if [ -n "$WINE_VDESKTOP" ]; then
      q wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
      q wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$WINE_VDESKTOP" /f
    fi
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true  # Tahoma, Marlett
    q wineserver -k                                # restart so explorer picks up the settings
    touch "$WINEPREFIX/.test-prefix-ready"
  fi
  if q wineserver -p; then q wineboot; fi          # rc 0: started now (boot it); rc 2: already running
) 9>"${WINEPREFIX%/}.lock"
[ "$1" = "--start-server" ] && exit 0
exec wine "$@"
