#!/usr/bin/env bash
# Download throughput of Setup.exe against the local service over loopback HTTPS, next to the two
# ceilings it cannot beat: a bare WinInet loop with the same 10240-byte reads under the same Wine,
# and curl natively; start-up and peak memory next to a minimal window program that makes the same
# requests with the same loop (bench/window_floor.cpp); what checking the installer's signature
# costs (bench/signature_bench.py); the stripped size by section. Uses the
# ports of the build's origins, so it must not run while this worktree's test suite does.
#   bash bench/download_bench.sh [MiB [ROUNDS]]      (defaults 256 and 5)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
mib=${1:-256}
rounds=${2:-5}

bash scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Setup trust_ca sample_installer wininet_loop window_floor \
  >/dev/null
build=$root/build/windows
work=$build/bench
mkdir -p "$work"

# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
trap setup_stop_all EXIT
SETUP_HEADLESS=1 setup_wine_session "$build" wineprefix-bench

payload=$work/payload.bin
setup_payload "$payload" "$mib"
setup_start_service "$build" "$payload"
origin=https://localhost:$(setup_origin_ports "$build" | cut -d' ' -f1)
url=$origin/DOWNLOADS/SETUP-SAMPLE.EXE

temp=$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
python3 bench/download_bench.py "$build" "$mib" "$rounds" "$origin" "$build/certs/ca.pem" \
  "$payload" "$(winepath -u "$temp")"
rm -f "$WINEPREFIX/drive_c/bench-loop.bin" "$WINEPREFIX/drive_c/bench-floor.bin"

# The installer's signature check, off the window thread, for a small and a large installer.
python3 bench/signature_bench.py "$build" "$origin" "$build/certs/ca.pem" \
  "$(winepath -u "$temp\\Setup.log")" 5 "$mib"

# curl natively: the ceiling of the machine itself.
curl_bps=$(curl -fsS --cacert "$build/certs/ca.pem" -o /dev/null -w '%{speed_download}' "$url")
python3 -c "import sys; print(f'curl, native                             {float(sys.argv[1]) / 1048576:8.1f} MiB/s')" "$curl_bps"

# What each section of the stripped executable costs, so the next change can see its price.
stripped=$work/Setup.stripped.exe
x86_64-w64-mingw32-strip -o "$stripped" "$build/Setup.exe"
x86_64-w64-mingw32-objdump -h "$stripped" | python3 -c '
import os, sys
size = os.path.getsize(sys.argv[1])
print(f"stripped Setup.exe                       {size / 1024:8.1f} KiB (target <= 220 KiB, cap 256 KiB)")
for line in sys.stdin:
    f = line.split()
    if len(f) >= 3 and f[0].isdigit():
        print(f"  {f[1]:<10} {int(f[2], 16) / 1024:8.1f} KiB")
' "$stripped"
