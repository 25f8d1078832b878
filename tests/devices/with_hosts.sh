#!/usr/bin/env bash
# with_hosts.sh HOSTS_FILE COMMAND [ARG...]
# Runs COMMAND in a private mount namespace where /etc/hosts is HOSTS_FILE and
# the name service asks the hosts file only (no DNS server is ever asked).
# Needs root, as inside tools/jail.sh.
set -euo pipefail
hosts=$(readlink -f "$1"); shift
exec unshare --mount --propagation private -- bash -c '
  set -e
  d=$(mktemp -d)
  printf "hosts: files\n" >"$d/nsswitch.conf"
  printf "multi on\n" >"$d/host.conf"
  printf "nameserver 127.0.0.1\noptions attempts:1 timeout:1\n" >"$d/resolv.conf"
  mount --bind "$1" /etc/hosts
  for f in nsswitch.conf host.conf resolv.conf; do
    [ -e /etc/$f ] || touch /etc/$f
    mount --bind "$d/$f" /etc/$f
  done
  shift
  exec "$@"' with_hosts "$hosts" "$@"
