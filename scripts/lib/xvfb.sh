# shellcheck shell=bash
# A virtual X display for the scripts that draw windows: start_xvfb starts one and
# waits for its number, stop_xvfb ends it. Sourced; sets and reads $xvfb, its pid.

# start_xvfb DISPLAY_FILE [ARG...]: Xvfb with ARGs, writing its display number to
# DISPLAY_FILE; exports DISPLAY once it is there, fails after ten seconds without.
# The caller's EXIT trap should call stop_xvfb, set before this.
start_xvfb() {
  local display_file=$1
  shift
  Xvfb -displayfd 3 "$@" -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    sleep 0.1
  done
  if [ ! -s "$display_file" ]; then
    echo "$0: Xvfb did not start" >&2
    exit 1
  fi
  DISPLAY=:$(head -n 1 "$display_file")
  export DISPLAY
}

# Ends the display start_xvfb started, if it did.
stop_xvfb() {
  if [ -n "${xvfb:-}" ]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
}
