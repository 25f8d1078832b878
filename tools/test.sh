#!/usr/bin/env bash
# Builds every target this machine can execute and runs the whole suite of
# each under Wine, inside a network namespace that holds only loopback, with
# a virtual display. Exits non-zero when any suite fails.
# KRV_TARGETS=x86_64 (or i686) forces the targets; arguments go to ctest.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/tools/targets.sh"
targets=$(krv_targets)
if [ -z "${KRV_TARGETS:-}" ] && [ "$targets" = x86_64 ]; then
  echo "This machine cannot run 32-bit code: testing the x86_64 build only."
fi
# The tree keeps one style: .clang-format's.
"$top/tools/format.sh" --check
# Tests get prefixes of their own: they replace the active configuration.
"$top/tools/setup.sh" --test $targets
werror=OFF; [ "${CI:-}" = true ] && werror=ON
broot="${KRV_BUILD:-$top/build}"
for t in $targets; do
  build="$broot/$t"
  mkdir -p "$build"
  cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/$t.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DKRV_WERROR=$werror >/dev/null
  if ! cmake --build "$build" -j"$(nproc)" >"$build/build.log" 2>&1; then
    grep -E -B2 -A8 'error|Error' "$build/build.log" | head -n 200
    echo "$t: build failed (full log: $build/build.log)"; exit 1
  fi
done
failed=()
summary=()
for t in $targets; do
  echo "== $t suite"
  start=$(date +%s)
  rc=0
  # Serial: tests share one wineserver, so one pipe namespace, clipboard,
  # display and registry. Each suite gets a jail and wineserver of its own.
  "$top/tools/jail.sh" env WINEPREFIX="${KRV_PREFIX:-$top/.wineprefix-test}-$t" WINELOADER="$(krv_loader "$t")" \
    "$top/tools/inside.sh" ctest --test-dir "$broot/$t" --output-on-failure "$@" || rc=$?
  summary+=("$t suite: $([ $rc = 0 ] && echo passed || echo FAILED) in $(( $(date +%s) - start )) s")
  [ $rc = 0 ] || failed+=("$t")
done
printf '%s\n' "${summary[@]}"
[ ${#failed[@]} = 0 ] || { echo "failed suites: ${failed[*]}"; exit 1; }
