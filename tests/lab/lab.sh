#!/usr/bin/env bash
# Runs a command inside a fresh private network namespace, the lab, so that
# probes, replies and broadcasts never reach a real network.
#
#   tests/lab/lab.sh [--devices N] [--far-devices M] [--mac-devices] [--] command [args...]
#
# Address plan:
#   10.77.0.1/24       the near end of the veth pair lab0/lab1: the prober,
#                      with its broadcast address 10.77.0.255, as DHCP sets it
#   10.77.0.10 ...     N extra local addresses for simulated devices, counted
#                      upward as 32-bit numbers, skipping .0 and .255
#   default route      through lab0, so a send to 255.255.255.255 has a route;
#                      what leaves lab0 ends at lab1, inside the lab
#   10.77.0.2          a host that never answers: a fixed neighbour entry, so
#                      that no failed ARP lookup ends a connect to it early
#   10.79.0.1/24       lab4, an adapter with no carrier (its peer lab5 is
#                      down), as one whose cable is unplugged: never probed
#   /etc/resolv.conf   points at loopback inside the lab: name lookups fail at once
#   10.78.0.1/24       with --far-devices: a second adapter lab2, whose network
#                      (M devices from 10.78.0.10) sits in a namespace of its
#                      own that only a directed broadcast by lab2 reaches; see
#                      tests/lab/second_network.sh
#   with --mac-devices (not with --devices, whose addresses it takes): lab1
#                      moves to a namespace of its own, kta-mac, where each
#                      device is a macvlan on lab1 with a hardware address of
#                      its own (tests/lab/mac_network.sh), so that the
#                      prober's neighbour table learns it:
#     10.77.0.9        00:1b:21:0a:4d:09  maker in oui.csv
#     10.77.0.10       44:d5:f2:a0:0a:10  maker in mam.csv (28-bit prefix)
#     10.77.0.11       70:b3:d5:f2:f0:11  maker in oui36.csv (36-bit prefix)
#     10.77.0.100      02:4b:54:41:00:64  locally administered
#     192.168.7.50/24  b8:27:eb:07:00:50  set to another network, on the same link
#
# Inside, KTA_LAB=1, KTA_LAB_NETNS (this namespace's id, which tests compare
# with their own), KTA_LAB_NEAR and, with devices, KTA_LAB_DEVICES and
# KTA_LAB_DEVICE_RANGE ("first-last") are set; with far devices,
# KTA_LAB_FAR_NETNS and KTA_LAB_FAR_DEVICE_RANGE; with MAC devices,
# KTA_LAB_MAC_NETNS and KTA_LAB_MAC_DEVICES ("ADDRESS=MAC,...").
set -euo pipefail

devices=0
far_devices=0
mac_devices=0
while [ $# -gt 0 ]; do
  case "$1" in
    --devices) devices="$2"; shift 2 ;;
    --far-devices) far_devices="$2"; shift 2 ;;
    --mac-devices) mac_devices=1; shift ;;
    --) shift; break ;;
    -h|--help) sed -n '2,38p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "lab: no command given (see --help)" >&2; exit 2; }
case "$devices" in ''|*[!0-9]*) echo "lab: --devices needs a number" >&2; exit 2 ;; esac
case "$far_devices" in ''|*[!0-9]*) echo "lab: --far-devices needs a number" >&2; exit 2 ;; esac
if [ "$mac_devices" = 1 ] && [ "$devices" -gt 0 ]; then
  echo "lab: --mac-devices takes the addresses that --devices would use; give one of them" >&2
  exit 2
fi

if [ -z "${KTA_LAB_INSIDE:-}" ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "lab: must run as root to make a private network namespace (unshare -n)" >&2
    exit 1
  fi
  mac_option=()
  [ "$mac_devices" = 0 ] || mac_option=(--mac-devices)
  exec unshare --net --mount -- env KTA_LAB_INSIDE=1 bash "$0" --devices "$devices" \
    --far-devices "$far_devices" "${mac_option[@]}" -- "$@"
fi

. "$(dirname "$0")/address_plan.sh"
# A lab inside a lab describes itself, not the outer one.
unset KTA_LAB_DEVICES KTA_LAB_DEVICE_RANGE KTA_LAB_FAR_NETNS KTA_LAB_FAR_DEVICE_RANGE \
  KTA_LAB_MAC_NETNS KTA_LAB_MAC_DEVICES

ip link set lo up
ip link add lab0 type veth peer name lab1
ip addr add 10.77.0.1/24 brd + dev lab0
ip link set lab0 up
ip link set lab1 up
ip route add default dev lab0
ip neigh add 10.77.0.2 lladdr 02:00:00:00:77:02 dev lab0 nud permanent
ip link add lab4 type veth peer name lab5
ip addr add 10.79.0.1/24 brd + dev lab4
ip link set lab4 up

if [ "$devices" -gt 0 ]; then
  first=$(lab_device_addr 0)
  last=$(lab_device_addr $(( devices - 1 )))
  # One batch: a thousand addresses one command at a time take seconds.
  n=$(( (10 << 24) | (77 << 16) | 10 )); left=$devices
  {
    while [ $left -gt 0 ]; do
      if [ $(( n & 255 )) -ne 0 ] && [ $(( n & 255 )) -ne 255 ]; then
        echo "addr add $(( n >> 24 & 255 )).$(( n >> 16 & 255 )).$(( n >> 8 & 255 )).$(( n & 255 ))/32 dev lab0"
        left=$(( left - 1 ))
      fi
      n=$(( n + 1 ))
    done
  } | ip -batch -
  export KTA_LAB_DEVICES="$devices" KTA_LAB_DEVICE_RANGE="$first-$last"
fi

# A lab inside a lab keeps the outer one's: its file is gone, and cannot be mounted over.
if [ "$(head -n1 /etc/resolv.conf 2>/dev/null)" != "nameserver 127.0.0.1" ]; then
  resolv=$(mktemp /tmp/kta-lab-resolv.XXXXXX)
  printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' > "$resolv"
  mount --bind "$resolv" /etc/resolv.conf
  rm -f "$resolv"
fi

if [ "$mac_devices" = 1 ]; then
  . "$(dirname "$0")/mac_network.sh"
  mac_network_up || { echo "lab: the devices with hardware addresses could not be made" >&2; exit 1; }
fi

if [ "$far_devices" -gt 0 ]; then
  . "$(dirname "$0")/second_network.sh"
  second_network_up "$far_devices" || { echo "lab: the second network could not be made" >&2; exit 1; }
fi

export KTA_LAB=1 KTA_LAB_NETNS="$(readlink /proc/self/ns/net)" KTA_LAB_NEAR=10.77.0.1
unset KTA_LAB_INSIDE
exec "$@"
