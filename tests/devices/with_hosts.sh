#!/usr/bin/env bash
# with_hosts.sh HOSTS_FILE COMMAND [ARG...]
# Runs COMMAND in a private mount namespace where /etc/hosts is HOSTS_FILE;
# the name service asks the hosts file first, then only our own name server
# peer on 127.0.0.1 (peers/dns_peer.py: "no such name" for everything, a
# server failure for names ending in .servfail.test). Needs root and a
# namespace of our own, as inside tools/jail.sh.
set -euo pipefail
[ "${KRV_JAILED:-}" = 1 ] || { echo "with_hosts.sh: run inside tools/jail.sh" >&2; exit 2; }
hosts=$(readlink -f "$1"); shift
exec unshare --mount --propagation private -- bash -c '
  set -e
  d=$(mktemp -d)
  printf "hosts: files dns\n" >"$d/nsswitch.conf"
  printf "multi on\n" >"$d/host.conf"
  printf "nameserver 127.0.0.1\noptions attempts:1 timeout:1\n" >"$d/resolv.conf"
  mount --bind "$1" /etc/hosts
  for f in nsswitch.conf host.conf resolv.conf; do
    [ -e /etc/$f ] || touch /etc/$f
    mount --bind "$d/$f" /etc/$f
  done
  peers=$(dirname "$(readlink -f "$2")")/peers
  python3 "$peers/dns_peer.py" --limit 600 --ready "$d/dns.ready" &
  dns=$!
  for _ in $(seq 100); do [ -s "$d/dns.ready" ] && break; sleep 0.05; done
  shift 2
  rc=0; "$@" || rc=$?
  kill $dns 2>/dev/null || true
  exit $rc' with_hosts "$hosts" "$0" "$@"
