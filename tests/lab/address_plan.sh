# shellcheck shell=bash
# The lab's device addresses, sourced by lab.sh and the scripts that run in it:
# lab_device_addr N prints device N (0-based), counted upward from 10.77.0.10
# as 32-bit numbers, skipping .0 and .255.
lab_device_addr() {
  local n=$(( (10 << 24) | (77 << 16) | 10 )) i=0
  while :; do
    if [ $(( n & 255 )) -ne 0 ] && [ $(( n & 255 )) -ne 255 ]; then
      [ $i -eq "$1" ] && break
      i=$(( i + 1 ))
    fi
    n=$(( n + 1 ))
  done
  echo "$(( n >> 24 & 255 )).$(( n >> 16 & 255 )).$(( n >> 8 & 255 )).$(( n & 255 ))"
}

# lab_device_addrs N prints devices 0 to N-1, one a line, in one pass.
lab_device_addrs() {
  local n=$(( (10 << 24) | (77 << 16) | 10 )) left=$1
  while [ "$left" -gt 0 ]; do
    if [ $(( n & 255 )) -ne 0 ] && [ $(( n & 255 )) -ne 255 ]; then
      echo "$(( n >> 24 & 255 )).$(( n >> 16 & 255 )).$(( n >> 8 & 255 )).$(( n & 255 ))"
      left=$(( left - 1 ))
    fi
    n=$(( n + 1 ))
  done
}
