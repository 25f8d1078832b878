#!/bin/sh
# io_net.sh up1|up2|down DONEFILE
# Subnets for the discovery tests, inside the test's own network namespace:
# veth pairs whose far ends lie in the namespace "krvdev" (the simulated
# devices' side). up1: one local address 10.77.0.1/16 (device side
# 10.77.0.2); up2: also 10.88.0.1/16 (device side 10.88.0.2). The default
# route leads to the device side, so whatever leaves goes nowhere else.
# Writes DONEFILE when finished (callers under Wine cannot wait for us).
set -u
done_file=$2
rm -f "$done_file"
[ "$(cat /proc/self/ns/net 2>/dev/null)" != "" ] || true
down() {
  ip netns del krvdev 2>/dev/null
  ip link del krv0 2>/dev/null
  ip link del krv1 2>/dev/null
}
pair() {  # name local-address device-address
  ip link add "$1" type veth peer name "$1p"
  ip link set "$1p" netns krvdev
  ip addr add "$2/16" dev "$1"
  ip link set "$1" up
  ip netns exec krvdev ip addr add "$3/16" dev "$1p"
  ip netns exec krvdev ip link set "$1p" up
}
# Never in a namespace with a way out: only inside our jail.
if [ "${KRV_JAILED:-}" != 1 ]; then echo "not in the jail" >"$done_file"; exit 1; fi
case "$1" in
  up1|up2)
    down
    ip netns add krvdev
    ip netns exec krvdev ip link set lo up
    pair krv0 10.77.0.1 10.77.0.2
    [ "$1" = up2 ] && pair krv1 10.88.0.1 10.88.0.2
    ip route add default via 10.77.0.2 dev krv0
    ip netns exec krvdev ip route add default dev krv0p
    ;;
  down) down ;;
esac
echo ok >"$done_file"
