#!/usr/bin/env bash
# Download throughput of Setup.exe against the local service over loopback HTTPS, next to the two
# ceilings it cannot beat: a bare WinInet loop with the same 10240-byte reads under the same Wine,
# and curl natively. Also prints the size of the stripped Setup.exe and the time from process start
# until the query reaches the service. Uses the ports of the build's origins, so it
# must not run while the test suite does.
#   bash bench/download_bench.sh [MiB [ROUNDS]]      (defaults 256 and 5)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
mib=${1:-256}
rounds=${2:-5}

bash scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Setup trust_ca wininet_loop >/dev/null
build=$root/build/windows
work=$build/bench
mkdir -p "$work"

# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
trap setup_stop_all EXIT
setup_fixed_locale
SETUP_HEADLESS=1 setup_display
setup_wine_prefix "$build/wineprefix-bench"
setup_certificates "$build/certs"
scripts/wine-exec.sh "$build/tools/trust_ca.exe" "$build/certs/ca.pem" >/dev/null

payload=$work/payload.bin
if [ ! -f "$payload" ] || [ "$(stat -c %s "$payload")" -ne $((mib * 1048576)) ]; then
  head -c $((mib * 1048576)) /dev/urandom >"$payload"
fi
setup_start_service "$build" "$payload"
origin=https://localhost:$(setup_origin_ports "$build" | cut -d' ' -f1)
url=$origin/DOWNLOADS/SETUP-SAMPLE.EXE
control() { curl -fsS --cacert "$build/certs/ca.pem" "$origin/_control/$1" >/dev/null; }

# The machine is shared and single runs vary by 10 % or more, so the two Wine downloads alternate
# for several rounds and the medians are compared.
setup_run() {  # prints "seconds-from-start-to-query MiB/s"
  control reset
  # date, not a Python start-up, takes the times: the latter would charge Setup 0.1 s.
  local start end log
  start=$(date +%s.%N)
  wine "$build/Setup.exe" </dev/null >"$work/setup.log" 2>&1
  end=$(date +%s.%N)
  log=$(curl -fsS --cacert "$build/certs/ca.pem" "$origin/_control/log")
  python3 - "$start" "$end" "$mib" "$log" <<'PY'
import json, sys
start, end, mib, log = float(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3]), json.loads(sys.argv[4])
query = next(e["time"] for e in log if e["path"].startswith("/validate/"))
get = next(e["time"] for e in log if e["path"] == "/DOWNLOADS/SETUP-SAMPLE.EXE")
print("%.3f %.1f" % (query - start, mib / (end - get)))
PY
}
temp=$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
setup_results=() loop_results=() query_results=()
for round in $(seq "$rounds"); do
  read -r query_s setup_mibs <<<"$(setup_run)"
  cmp -s "$payload" "$(winepath -u "$temp\\Install.exe")" ||
    { echo "Install.exe differs from the payload" >&2; exit 1; }
  read -r _ _ loop_mibs <<<"$(scripts/wine-exec.sh "$build/bench/wininet_loop.exe" "$url" 'C:\bench-loop.bin')"
  rm -f "$WINEPREFIX/drive_c/bench-loop.bin"
  echo "round $round: Setup.exe $setup_mibs MiB/s, bare loop $loop_mibs MiB/s"
  setup_results+=("$setup_mibs") loop_results+=("$loop_mibs") query_results+=("$query_s")
done

# curl natively.
curl_bps=$(curl -fsS --cacert "$build/certs/ca.pem" -o /dev/null -w '%{speed_download}' "$url")

stripped=$work/Setup.stripped.exe
x86_64-w64-mingw32-strip -o "$stripped" "$build/Setup.exe"
size=$(stat -c %s "$stripped")

python3 - "$mib" "${setup_results[*]}" "${loop_results[*]}" "$curl_bps" "$size" \
  "${query_results[*]}" <<'PY'
import statistics, sys
mib, setups, loops, curl_bps, size, queries = sys.argv[1:]
setup = statistics.median(map(float, setups.split()))
loop = statistics.median(map(float, loops.split()))
query = statistics.median(map(float, queries.split()))
curl = float(curl_bps) / 1048576
print(f"download of {mib} MiB over loopback HTTPS, medians of {len(setups.split())} rounds")
print(f"  Setup.exe (window, pumping, updates)   {setup:8.1f} MiB/s")
print(f"  bare WinInet loop under Wine           {loop:8.1f} MiB/s")
print(f"  curl, native                           {curl:8.1f} MiB/s")
print(f"  Setup.exe / bare loop                  {setup / loop:8.2f}   (target >= 0.90)")
print(f"  bare loop / curl                       {loop / curl:8.2f}")
print(f"stripped Setup.exe                       {int(size) / 1024:8.1f} KiB (target <= 256 KiB)")
print(f"process start to query at the service    {float(query) * 1000:8.0f} ms (includes Wine's process start)")
PY
