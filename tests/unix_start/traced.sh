#!/usr/bin/env bash
# traced.sh LOADER PROGRAM [ARG...]
# Runs a Wine test program under a wineserver of its own that traces every
# request, in a throw-away copy of the test prefix (WINEPREFIX), then checks
# the trace with check_trace.py: what the program asked between its marker
# events. Exits non-zero when the program or the check fails.
set -euo pipefail
: "${WINEPREFIX:?}"
here=$(cd "$(dirname "$0")" && pwd)
loader=$1
shift
work=$(mktemp -d "$PWD/traced.XXXXXX")
server=
cleanup() {
  WINEPREFIX="$work/prefix" wineserver -k >/dev/null 2>&1 || true
  [ -z "$server" ] || wait "$server" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# A prefix of its own gets a wineserver of its own. Hard links make the copy
# at once; what Wine rewrites in place is copied whole.
cp -al "$WINEPREFIX" "$work/prefix" 2>/dev/null || cp -a "$WINEPREFIX" "$work/prefix"
for f in "$WINEPREFIX"/*.reg "$WINEPREFIX"/.update-timestamp "$WINEPREFIX"/drive_c/windows/*.ini; do
  [ -f "$f" ] && cp --remove-destination "$f" "$work/prefix/${f#"$WINEPREFIX"/}"
done
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
wineserver -f -p -d1 2>"$work/trace" &
server=$!
# Wine's services first, with their output sent nowhere.
"$loader" wineboot >/dev/null 2>&1 </dev/null || true
rc=0
"$loader" "$@" || rc=$?
WINEPREFIX="$work/prefix" wineserver -k >/dev/null 2>&1 || true
wait "$server" 2>/dev/null || true
server=
python3 "$here/check_trace.py" "$work/trace" || rc=1
exit $rc
