#!/usr/bin/env bash
# run-tool.sh Tolvane|Brackwell [SERVICE]
# run-tool.sh Varnel [FILE]
# Builds the program and runs it with the project's Wine prefix inside the
# network jail: on the caller's X display when there is one, on Xvfb otherwise.
# The i686 build where this machine runs 32-bit code, the x86_64 build where
# it cannot (KRV_TARGETS chooses).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/tools/targets.sh"
tool="${1:-}"
case "$tool" in
  Tolvane|Brackwell) sub=svctools ;;
  Varnel) sub=editor ;;
  *) echo "usage: run-tool.sh Tolvane|Brackwell [SERVICE] | Varnel [FILE]" >&2; exit 2 ;;
esac
shift
t=$(krv_targets); t=${t%% *}
"$top/tools/setup.sh" "$t"
build="${KRV_BUILD:-$top/build}/$t"
mkdir -p "$build"
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/$t.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target "$tool" -j"$(nproc)" >/dev/null
exe="$build/$sub/$tool.exe"
export WINEPREFIX="${KRV_PREFIX:-$top/.wineprefix}-$t" WINELOADER="$(krv_loader "$t")"

disp="${DISPLAY:-}"; disp="${disp#*:}"; disp="${disp%%.*}"
if [ -z "$disp" ] || [ ! -S "/tmp/.X11-unix/X$disp" ]; then
  exec "$top/tools/jail.sh" "$top/tools/inside.sh" "$WINELOADER" "$exe" "$@"
fi
# The jail has its own /tmp and network, so the display's socket is reached
# through a process left outside it.
sleep 1000000 &
keeper=$!
trap 'kill "$keeper" 2>/dev/null || true' EXIT
outside="/proc/$keeper/root"
xauth="${XAUTHORITY:-}"
case "$xauth" in /tmp/*) xauth="$outside$xauth" ;; esac
"$top/tools/jail.sh" bash -c '
  ln -s "$1/tmp/.X11-unix/X$2" "/tmp/.X11-unix/X$2"
  [ -n "$3" ] && export XAUTHORITY="$3"
  shift 3
  exec env KRV_OWN_DISPLAY=0 "$@"' run "$outside" "$disp" "$xauth" \
  "$top/tools/inside.sh" "$WINELOADER" "$exe" "$@"
