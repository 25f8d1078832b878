#!/usr/bin/env bash
# setup.sh [--test] TARGET...
# Installs what the build and the tests of the targets named (i686, x86_64)
# need on a Debian machine, and creates each target's Wine prefix. Idempotent:
# every step checks first. --test makes the test prefixes.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/tools/targets.sh"
test=0
if [ "${1:-}" = --test ]; then test=1; shift; fi
[ $# -gt 0 ] || set -- $(krv_targets)

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
want=(cmake make wine wine64 xvfb xauth googletest python3 iproute2 util-linux imagemagick openssl)
for t in "$@"; do
  case "$t" in
    i686) want+=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 wine32:i386) ;;
    x86_64) want+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64) ;;
    *) echo "unknown target: $t" >&2; exit 2 ;;
  esac
done
for p in "${want[@]}"; do have "$p" || need+=("$p"); done
if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  case " ${need[*]} " in
    *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
  esac
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

export WINEDEBUG=-all
for t in "$@"; do
  if [ $test = 1 ]; then base="${KRV_PREFIX:-$top/.wineprefix-test}"; else base="${KRV_PREFIX:-$top/.wineprefix}"; fi
  prefix="$base-$t"
  [ -f "$prefix/system.reg" ] && continue
  # First start of the prefix, before any persistent wineserver (a 64-bit
  # prefix initialised beside one starts the service manager twice). No
  # network is needed for it, but keep it jailed anyway.
  loader=$(krv_loader "$t")
  "$top/tools/jail.sh" env WINEPREFIX="$prefix" WINEARCH="$(krv_winearch "$t")" WINELOADER="$loader" \
    sh -c '"$WINELOADER" wineboot -i >/dev/null 2>&1; wineserver -w' >/dev/null 2>&1 </dev/null
  if [ $test = 1 ]; then
    # Without a window manager on the virtual display Wine waits 2 s for
    # every window it hides; unmanaged windows are hidden at once. A program
    # that crashes prints its backtrace and ends, instead of waiting behind
    # the debugger's dialog until the test's timeout.
    "$top/tools/jail.sh" env WINEPREFIX="$prefix" WINELOADER="$loader" sh -c \
      '"$WINELOADER" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /t REG_SZ /d N /f;
       "$WINELOADER" reg add "HKCU\\Software\\Wine\\WineDbg" /v ShowCrashDialog /t REG_DWORD /d 0 /f; wineserver -w' \
      >/dev/null 2>&1 </dev/null
  fi
  [ -f "$prefix/system.reg" ] || { echo "could not create the Wine prefix $prefix" >&2; exit 1; }
done
