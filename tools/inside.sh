#!/usr/bin/env bash
# Inside the jail: a virtual display, one persistent wineserver and Wine's
# background services started with their output sent nowhere (they inherit
# it, and a pipe they hold open never ends), then the command. WINEPREFIX and
# WINELOADER name the target's prefix and loader.
set -euo pipefail
export WINEDEBUG=-all
: "${WINEPREFIX:?}" "${WINELOADER:?}"
xpid=
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xpid" ]; then kill "$xpid" 2>/dev/null || true; fi
}
trap cleanup EXIT
trap 'echo "inside.sh: failed: $BASH_COMMAND" >&2' ERR
trap 'exit 130' INT TERM
if [ -z "${DISPLAY:-}" ] || [ "${KRV_OWN_DISPLAY:-1}" = 1 ]; then
  # Xvfb picks a free display itself: lock files live in the shared /tmp.
  dfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dfile" >/dev/null 2>&1 &
  xpid=$!
  for _ in $(seq 100); do [ -s "$dfile" ] && break; sleep 0.1; done
  export DISPLAY=:$(tr -dc 0-9 <"$dfile")
  rm -f "$dfile"
fi
wineserver -p
"$WINELOADER" wineboot >/dev/null 2>&1 </dev/null || true
"$@"
