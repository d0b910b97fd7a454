# shellcheck shell=bash
# Devices with hardware addresses of their own, sourced by lab.sh for
# --mac-devices and by the scripts that run in such a lab:
#
#   mac_network_up     moves lab1, the far end of lab0, into a namespace of
#                      its own, kta-mac, and makes there one macvlan on lab1
#                      per device of the plan, with the device's address and
#                      hardware address (as root, while lab.sh sets up only)
#   mac_devices        prints the plan, "ADDRESS MAC" a line
#   mac_device_addrs   prints the plan's addresses, one a line
#   mac_exec CMD...    runs a command inside kta-mac
#
# Each device answers and asks (ARP) from its own macvlan with its own
# hardware address: replies leave by the macvlan that their source address
# names (a routing table per device), and a device answers ARP only for its
# own address. The last device is set to another network (192.168.7.50/24)
# and still hears the limited broadcast; a route of its own lets it reach the
# prober, 10.77.0.1, on the link.
KTA_MAC_NETNS=kta-mac
# One maker from each IEEE registry file of ieee-data, each prefix only in its
# file: oui.csv (Intel Corporate), mam.csv (SYS TEC electronic GmbH, 28 bits),
# oui36.csv (TELEPLATFORMS, 36 bits); one locally administered; and the
# device of another network from oui.csv (Raspberry Pi Foundation).
KTA_MAC_PLAN="10.77.0.9=00:1b:21:0a:4d:09,10.77.0.10=44:d5:f2:a0:0a:10,10.77.0.11=70:b3:d5:f2:f0:11,10.77.0.100=02:4b:54:41:00:64,192.168.7.50=b8:27:eb:07:00:50"

mac_exec() { ip netns exec "$KTA_MAC_NETNS" "$@"; }

mac_devices() {
  local plan=${KTA_LAB_MAC_DEVICES:-$KTA_MAC_PLAN} pair
  local IFS=,
  for pair in $plan; do echo "${pair%%=*} ${pair#*=}"; done
}

mac_device_addrs() { mac_devices | cut -d' ' -f1; }

mac_network_up() {
  local i=0 addr mac dev table conf
  if [ -z "${KTA_LAB_INSIDE:-}" ]; then
    echo "mac_network_up: only while lab.sh sets up its lab" >&2
    return 1
  fi
  # The lab's own mount of named namespaces, not one an outer lab made: a
  # lab inside a lab would otherwise name its kta-mac in the outer one's.
  mkdir -p /run/netns && mount -t tmpfs -o size=1m kta-lab-netns /run/netns || return 1
  ip netns add "$KTA_MAC_NETNS" || return 1
  ip link set lab1 netns "$KTA_MAC_NETNS" || return 1
  mac_exec ip link set lo up
  mac_exec ip link set lab1 up
  # Each device asks and answers ARP from its own link, with its own address.
  for conf in all default lab1; do
    mac_exec sysctl -q -w "net.ipv4.conf.$conf.arp_ignore=1" "net.ipv4.conf.$conf.arp_announce=2" \
      "net.ipv4.conf.$conf.rp_filter=0" || return 1
  done
  while read -r addr mac; do
    dev=mac$i
    table=$((100 + i))
    {
      echo "link add link lab1 name $dev address $mac type macvlan mode bridge"
      echo "addr add $addr/24 brd + dev $dev"
      echo "link set $dev up"
      echo "rule add from $addr lookup $table pref $table"
      echo "route add 10.77.0.0/24 dev $dev src $addr table $table"
      [ "${addr%.*}" = 10.77.0 ] || echo "route add ${addr%.*}.0/24 dev $dev src $addr table $table"
    } | mac_exec ip -batch - || return 1
    mac_exec sysctl -q -w "net.ipv4.conf.$dev.rp_filter=0" || return 1
    i=$((i + 1))
  done < <(mac_devices)
  export KTA_LAB_MAC_NETNS=$KTA_MAC_NETNS KTA_LAB_MAC_DEVICES=${KTA_LAB_MAC_DEVICES:-$KTA_MAC_PLAN}
  return 0
}
