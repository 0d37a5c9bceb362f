#!/usr/bin/env bash
# Runs a command in a test network of its own and removes the network afterwards, however the command
# ends: a namespace joined to this one by a veth pair, this side 198.18.0.1/24, the test host
# 198.18.0.2 in the namespace, where testhost.py echoes UDP on port 7 and answers ICMP echo 40 ms
# late. The command finds it in TOLVANE_TESTNET ("198.18.0.1 198.18.0.2 7": this side, the test
# host, its echo port). Only one network can hold 198.18.0.1 at a time, so every run on the machine
# takes the lock /run/lock/tolvane-testnet.lock for its whole length; names carry this script's id.
# Without the rights to make a namespace the command runs without the network (its tests that need
# it report themselves skipped) and the script exits with 77, "skipped", where the command gave 0.
#
# Usage: tests/linux/testnet.sh command [arguments...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
ns=tolvane-test-$$
near=tvn$$a
ready=$(mktemp -u /tmp/tolvane-testnet-ready.XXXXXX)
host_pid=

cleanup() {
  if [ -n "$host_pid" ]; then kill "$host_pid" 2>/dev/null; wait "$host_pid" 2>/dev/null; fi
  ip link del "$near" 2>/dev/null
  ip netns del "$ns" 2>/dev/null
  rm -f "$ready"
}

without_network() {
  echo "SKIPPED: no test network ($1); the tests that need the test host 198.18.0.2 are skipped"
  shift
  "$@"
  rc=$?
  [ $rc -eq 0 ] && exit 77
  exit $rc
}

lockfile=/run/lock/tolvane-testnet.lock
[ -d /run/lock ] && [ -w /run/lock ] || lockfile=/tmp/tolvane-testnet.lock
(umask 0 && : >>"$lockfile") 2>/dev/null  # writable for all: another user may lock it too
exec {lock}<"$lockfile" || without_network "cannot open $lockfile" "$@"
flock -w 600 "$lock" || { echo "testnet: another test network held the lock for 10 minutes" >&2; exit 1; }
trap cleanup EXIT
trap 'exit 130' INT TERM

err=$(ip netns add "$ns" 2>&1) || without_network "cannot make a network namespace: $err" "$@"
{ ip link add "$near" type veth peer name "tvn$$b" netns "$ns" &&
  ip addr add 198.18.0.1/24 dev "$near" && ip link set "$near" up &&
  ip -n "$ns" addr add 198.18.0.2/24 dev "tvn$$b" && ip -n "$ns" link set "tvn$$b" up &&
  ip -n "$ns" link set lo up && ip netns exec "$ns" sysctl -qw net.ipv4.icmp_echo_ignore_all=1; } ||
  { echo "testnet: could not set up the test network" >&2; exit 1; }
realtime=()  # the host answers on time even on a busy machine, where the system lets it
chrt -f 10 true 2>/dev/null && realtime=(chrt -f 10)
ip netns exec "$ns" "${realtime[@]}" python3 "$here/testhost.py" "$ready" {lock}<&- &
host_pid=$!
for _ in $(seq 100); do [ -e "$ready" ] && break; sleep 0.05; done
[ -e "$ready" ] || { echo "testnet: the test host did not start" >&2; exit 1; }
TOLVANE_TESTNET="198.18.0.1 198.18.0.2 7" "$@"
