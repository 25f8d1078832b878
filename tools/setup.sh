#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, once.
# Idempotent: every step checks first. Creates the project's own Wine prefix.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for p in cmake make g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 \
         wine wine64 wine32:i386 xvfb xauth googletest python3 iproute2 util-linux imagemagick; do
  have "$p" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

export WINEPREFIX="${KRV_PREFIX:-$top/.wineprefix}"
export WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # First start of the prefix; no network is needed for it, but keep it jailed anyway.
  "$top/tools/jail.sh" sh -c 'wineboot -i >/dev/null 2>&1; wineserver -w'
fi
