# shellcheck shell=bash
# A second network for the lab, sourced by lab.sh and by the tests that plug
# one in while a program runs (as root, inside the lab only):
#
#   second_network_up N     the prober's second adapter lab2 (10.78.0.1/24),
#                           whose far end lab3 sits in a namespace of its own,
#                           kta-far, holding 10.78.0.2/24 and N device
#                           addresses from 10.78.0.10 upward (N at most 200)
#   second_network_down     unplugs it: ends what runs in kta-far, then kta-far
#   far_exec COMMAND...     runs a command inside kta-far
#
# The lab's default route leaves by lab0, so a limited broadcast never reaches
# kta-far; only a directed broadcast to 10.78.0.255 by lab2 does. Every address
# carries its broadcast address, as DHCP sets them.
KTA_FAR_NETNS=kta-far

far_exec() { ip netns exec "$KTA_FAR_NETNS" "$@"; }

second_network_up() {
  local n=${1:-0} i
  if [ "${KTA_LAB:-}" != 1 ] && [ -z "${KTA_LAB_INSIDE:-}" ]; then
    echo "second_network_up: inside the lab only" >&2
    return 1
  fi
  case "$n" in ''|*[!0-9]*) echo "second_network_up: needs a device count" >&2; return 1 ;; esac
  [ "$n" -le 200 ] || { echo "second_network_up: at most 200 devices" >&2; return 1; }
  # Named namespaces live under /run/netns: a tmpfs of the lab's own mount
  # namespace, so that nothing of them outlives the lab.
  if ! mountpoint -q /run/netns 2>/dev/null; then
    mkdir -p /run/netns && mount -t tmpfs -o size=1m kta-lab-netns /run/netns || return 1
  fi
  ip netns add "$KTA_FAR_NETNS" || return 1
  ip link add lab2 type veth peer name lab3 netns "$KTA_FAR_NETNS" || return 1
  ip addr add 10.78.0.1/24 brd + dev lab2
  ip link set lab2 up
  far_exec ip link set lo up
  far_exec ip addr add 10.78.0.2/24 brd + dev lab3
  {
    for i in $(seq 0 $((n - 1))); do echo "addr add 10.78.0.$((10 + i))/32 dev lab3"; done
    echo "link set lab3 up"
  } | far_exec ip -batch -
  # Until the far end is up, lab2 has no carrier and counts as down.
  for i in $(seq 50); do
    ip link show lab2 | grep -q 'state UP' && break
    sleep 0.05
  done
  [ "$n" -gt 0 ] && export KTA_LAB_FAR_DEVICE_RANGE="10.78.0.10-10.78.0.$((9 + n))"
  export KTA_LAB_FAR_NETNS=$KTA_FAR_NETNS
  return 0
}

second_network_down() {
  local pids
  pids=$(ip netns pids "$KTA_FAR_NETNS" 2>/dev/null)
  if [ -n "$pids" ]; then
    # shellcheck disable=SC2086
    kill $pids 2>/dev/null
    for _ in $(seq 50); do
      [ -z "$(ip netns pids "$KTA_FAR_NETNS" 2>/dev/null)" ] && break
      sleep 0.05
    done
  fi
  ip netns del "$KTA_FAR_NETNS" 2>/dev/null
  # The pair ends with its far end's namespace; wait until lab2 is gone.
  for _ in $(seq 50); do
    ip link show lab2 >/dev/null 2>&1 || break
    sleep 0.05
  done
  unset KTA_LAB_FAR_DEVICE_RANGE KTA_LAB_FAR_NETNS
  return 0
}
