#!/usr/bin/env bash
# Builds everything and runs every test under Wine, inside a network namespace
# that holds only loopback. Exits non-zero when any test fails.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
# Tests get a prefix of their own: they replace the active configuration.
export KRV_PREFIX="${KRV_PREFIX:-$top/.wineprefix-test}"
"$top/tools/setup.sh"
build="${KRV_BUILD:-$top/build}"
werror=OFF; [ "${CI:-}" = true ] && werror=ON
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw32.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DKRV_WERROR=$werror >/dev/null
if ! cmake --build "$build" -j"$(nproc)" >"$build/build.log" 2>&1; then
  grep -E -B2 -A8 'error|Error' "$build/build.log" | head -n 200
  echo "build failed (full log: $build/build.log)"; exit 1
fi
# Serial: tests share one wineserver, so one pipe namespace, clipboard, display and registry.
exec "$top/tools/jail.sh" "$top/tools/inside.sh" ctest --test-dir "$build" --output-on-failure "$@"
