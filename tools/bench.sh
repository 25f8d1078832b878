#!/usr/bin/env bash
# tools/bench.sh NAME [ARG...]
# Builds the benchmark program NAME (for example xml_cfg_bench) for the first
# target this machine can execute and runs it inside the network namespace,
# with its own wineserver and a virtual display, in the tests' Wine prefix.
# Benchmarks print figures; they have no test entry.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/tools/targets.sh"
[ $# -gt 0 ] || { echo "usage: tools/bench.sh NAME [ARG...]" >&2; exit 2; }
name=$1; shift
t=$(krv_targets | awk '{print $1}')
"$top/tools/setup.sh" --test "$t"
build="${KRV_BUILD:-$top/build}/$t"
mkdir -p "$build"
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/$t.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target "$name" -j"$(nproc)" >/dev/null
exe=$(find "$build" -name "$name.exe" -print -quit)
[ -n "$exe" ] || { echo "no benchmark named $name" >&2; exit 2; }
exec "$top/tools/jail.sh" env WINEPREFIX="${KRV_PREFIX:-$top/.wineprefix-test}-$t" WINELOADER="$(krv_loader "$t")" \
  WINEDEBUG=-all "$top/tools/inside.sh" "$(krv_loader "$t")" "$exe" "$@"
