#!/usr/bin/env bash
# Setup.exe is downloaded before anything else a customer gets, and it is meant to stay small:
# the stripped executable must not pass the cap. Prints the size and the sections either way, so
# a growth shows where it went.
#   check_size.sh OBJDUMP EXE [CAP_BYTES]      (cap 262144, 256 KiB)
set -euo pipefail
objdump=$1 exe=$2 cap=${3:-262144}
size=$(stat -c %s "$exe")
sections=$("$objdump" -h "$exe" | awk '$1 ~ /^[0-9]+$/ { print $2, $3 }')
[ -n "$sections" ] || { echo "no section table found in $exe" >&2; exit 1; }
echo "$(basename "$exe"): $size bytes, cap $cap"
total=0
while read -r name hex; do
  bytes=$((16#$hex))
  total=$((total + bytes))
  printf '  %-8s %7d\n' "$name" "$bytes"
done <<<"$sections"
printf '  %-8s %7d\n' total "$total"
if [ "$size" -gt "$cap" ]; then
  echo "$(basename "$exe") is $((size - cap)) bytes over its cap of $cap" >&2
  exit 1
fi
