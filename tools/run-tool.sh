#!/usr/bin/env bash
# run-tool.sh Tolvane|Brackwell [SERVICE]
# run-tool.sh Varnel [FILE]
# Builds the program and runs it with the project's Wine prefix inside the
# network jail: on the caller's X display when there is one, on Xvfb otherwise.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
tool="${1:-}"
case "$tool" in
  Tolvane|Brackwell) sub=svctools ;;
  Varnel) sub=editor ;;
  *) echo "usage: run-tool.sh Tolvane|Brackwell [SERVICE] | Varnel [FILE]" >&2; exit 2 ;;
esac
shift
"$top/tools/setup.sh"
build="${KRV_BUILD:-$top/build}"
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw32.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target "$tool" -j"$(nproc)" >/dev/null
exe="$build/$sub/$tool.exe"

disp="${DISPLAY:-}"; disp="${disp#*:}"; disp="${disp%%.*}"
if [ -z "$disp" ] || [ ! -S "/tmp/.X11-unix/X$disp" ]; then
  exec "$top/tools/jail.sh" "$top/tools/inside.sh" wine "$exe" "$@"
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
  "$top/tools/inside.sh" wine "$exe" "$@"
