#!/bin/sh
# usage: netns-create.sh NS
# A private network namespace with loopback up, so that tests may use the fixed ports
# (37, 110) and reach nothing outside. Fails when NS already exists: it is not ours then.
set -eu
NS=$1
ip netns add "$NS"
ip -n "$NS" link set lo up
# Links added later (a dial-up tun) get no IPv6 link-local address to muddle the address checks.
ip netns exec "$NS" sysctl -qw net.ipv6.conf.default.disable_ipv6=1
