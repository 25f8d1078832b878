# Sourced by the project's scripts: which Windows targets this machine can
# execute, and the Wine loader, prefix and build folder of each.
# KRV_TARGETS="x86_64" (or "i686", or both) forces the choice.

# Some kernels have 32-bit emulation switched off: then no i386 code runs at
# all, Wine's 32-bit loader included. A 93-byte i386 program that only exits
# tells without needing any 32-bit package.
krv_can_run_i386() {
  local probe rc=0
  probe=$(mktemp)
  python3 - "$probe" <<'PY'
import struct, sys
code = bytes([0xb8, 1, 0, 0, 0, 0x31, 0xdb, 0xcd, 0x80])  # exit(0)
base = 0x08048000
ehdr = struct.pack('<4sBBBB8xHHIIIIIHHHHHH', b'\x7fELF', 1, 1, 1, 0, 2, 3, 1,
                   base + 84, 52, 0, 0, 52, 32, 1, 0, 0, 0)
phdr = struct.pack('<IIIIIIII', 1, 0, base, base, 84 + len(code), 84 + len(code), 5, 0x1000)
open(sys.argv[1], 'wb').write(ehdr + phdr + code)
PY
  chmod +x "$probe"
  "$probe" >/dev/null 2>&1 || rc=1
  rm -f "$probe"
  return $rc
}

krv_targets() {
  if [ -n "${KRV_TARGETS:-}" ]; then
    echo "${KRV_TARGETS//,/ }"
  elif krv_can_run_i386; then
    echo "i686 x86_64"
  else
    echo "x86_64"
  fi
}

krv_loader() {
  case "$1" in
    i686) echo /usr/lib/wine/wine ;;
    x86_64) echo /usr/lib/wine/wine64 ;;
    *) echo "unknown target: $1" >&2; return 2 ;;
  esac
}

krv_winearch() {
  case "$1" in i686) echo win32 ;; *) echo win64 ;; esac
}
