#!/usr/bin/env bash
# with_subnet.sh one|two COMMAND [ARG...]
# Runs COMMAND with private subnets built inside the current network
# namespace (which must be one of our own, e.g. tools/jail.sh's: the test's
# wineserver lives there, so GetIpAddrTable and Wine's sockets see them):
#   one: veth krvA0 10.77.1.1/24 here <-> krvB0 10.77.1.2/24 in namespace krvdev
#   two: also    krvA1 10.77.2.1/24 here <-> krvB1 10.77.2.2/24 in krvdev
# with the default route over krvA0, so the limited broadcast 255.255.255.255
# goes out there and the directed broadcasts 10.77.1.255 and 10.77.2.255 reach
# krvdev. Loopback stays the only other address. A responder runs on the other
# ends with
#   ip netns exec krvdev python3 tests/devices/peers/udp_peer.py --record R ...
# (started by COMMAND, or by a test through KRV_DEVNS_EXEC, which holds
# "/usr/sbin/ip netns exec krvdev", a full path as Wine needs it). Everything is removed afterwards; nothing can leave:
# neither namespace has any other link. On the far side every address of
# 10.78.0.0/16 is local too (see below).
set -euo pipefail
mode=$1; shift
[ "$mode" = one ] || [ "$mode" = two ] || { echo "usage: with_subnet.sh one|two COMMAND..." >&2; exit 2; }
[ "${KRV_JAILED:-}" = 1 ] || { echo "with_subnet.sh: run inside tools/jail.sh" >&2; exit 2; }
ns=krvdev
cleanup() {
  ip netns del $ns 2>/dev/null || true
  ip link del krvA0 2>/dev/null || true
  ip link del krvA1 2>/dev/null || true
}
trap cleanup EXIT
cleanup
ip netns add $ns
ip -n $ns link set lo up
pairs=0; [ "$mode" = two ] && pairs=1
for i in $(seq 0 $pairs); do
  net=10.77.$((i + 1))
  ip link add krvA$i type veth peer name krvB$i
  ip link set krvB$i netns $ns
  ip addr add $net.1/24 brd + dev krvA$i
  ip -n $ns addr add $net.2/24 brd + dev krvB$i
  ip link set krvA$i up
  ip -n $ns link set krvB$i up
done
ip route add default dev krvA0
# The device side answers the limited broadcast on its first link.
ip -n $ns route add default dev krvB0
# A plant of many devices: every address of 10.78.0.0/16 is local on the far
# side, so one responder can answer from 1,000 of them
# (udp_peer.py --from-range 10.78.0.1:1000).
ip -n $ns route add local 10.78.0.0/16 dev lo
export KRV_DEVNS_EXEC="$(command -v ip) netns exec $ns"
"$@"
