#!/usr/bin/env bash
# jail.sh COMMAND [ARG...]
# Runs COMMAND in a new network namespace that holds only loopback, with a
# private wineserver directory and TMPDIR, so that the wineserver (which owns the sockets
# of every Wine program) is started inside it and nothing leaves the machine.
set -euo pipefail
if [ "${KRV_JAILED:-}" = 1 ]; then exec "$@"; fi
[ $# -gt 0 ] || { echo "usage: jail.sh COMMAND [ARG...]" >&2; exit 2; }
exec unshare --net --mount --propagation private -- bash -c '
  set -e
  ip link set lo up
  # Private wineserver and X socket folders, so parallel runs never meet
  # (the checkout itself may live under /tmp: do not hide all of it).
  d=/tmp/.wine-$(id -u)
  mkdir -p "$d" /tmp/.X11-unix
  mount -t tmpfs -o mode=700 krv-wine "$d"
  mount -t tmpfs -o mode=1777 krv-x11 /tmp/.X11-unix
  # The tests name their device namespaces (ip netns add krvdev); the names
  # live in /run/netns, which parallel runs would share and delete from
  # under each other.
  mkdir -p /run/netns
  mount -t tmpfs -o mode=755 krv-netns /run/netns
  # Debian'"'"'s Wine keeps the wineserver'"'"'s socket in a folder under TMPDIR
  # (named in the prefix), not in /tmp/.wine-UID: without a private TMPDIR a
  # program here would join a wineserver of the same prefix started outside.
  export TMPDIR="$d"
  export KRV_JAILED=1
  exec "$@"' jail "$@"
