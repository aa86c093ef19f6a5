# Sourced by the run and test scripts: gives this shell an X display. When DISPLAY is unset,
# starts a private Xvfb on a free display number and stops it (by its PID) on exit, together
# with the Wine prefix's wineserver.
orvel_xvfb_pid=""
orvel_child=""   # the script's own long-running child, stopped first
orvel_cleanup() {
  if [ -n "$orvel_child" ]; then kill "$orvel_child" 2>/dev/null || true; fi
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true
  fi
  if [ -n "$orvel_xvfb_pid" ]; then
    kill "$orvel_xvfb_pid" 2>/dev/null || true
    wait "$orvel_xvfb_pid" 2>/dev/null || true
  fi
}
if [ -z "${DISPLAY:-}" ]; then
  n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  orvel_xvfb_pid=$!
  export DISPLAY=":$n"
  i=0
  while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 100 ]; do sleep 0.05; i=$((i + 1)); done
fi
