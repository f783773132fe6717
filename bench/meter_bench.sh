#!/usr/bin/env bash
# The meter's paint cost at 50 % and 100 %, how many waiting-bar ticks run during a download, and
# the download rate with the waiting bar running against the rate with it stopped, under Wine on a
# headless X server against the local service (the build's ports: not while the tests run).
#   bash bench/meter_bench.sh [MiB [ROUNDS]]      (defaults 256 and 5)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
mib=${1:-256}
rounds=${2:-5}

bash scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target meter_bench trust_ca >/dev/null
build=$root/build/windows
work=$build/bench
mkdir -p "$work"

# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
trap setup_stop_all EXIT
SETUP_HEADLESS=1 setup_wine_session "$build" wineprefix-bench

scripts/wine-exec.sh "$build/bench/meter_bench.exe" paint

payload=$work/payload.bin
setup_payload "$payload" "$mib"
setup_start_service "$build" "$payload"
url=https://localhost:$(setup_origin_ports "$build" | cut -d' ' -f1)/DOWNLOADS/SETUP-SAMPLE.EXE

# Single runs on this shared machine vary by 10 % or more: the modes alternate, medians compared.
declare -A rates ticks
for round in $(seq "$rounds"); do
  line="round $round:"
  for mode in running stopped window; do
    read -r rate count renders <<<"$(scripts/wine-exec.sh "$build/bench/meter_bench.exe" download \
      "$url" 'C:\meter-bench.bin' "$mode" | tr -d '\r')"
    cmp -s "$payload" "$WINEPREFIX/drive_c/meter-bench.bin" ||
      { echo "the download differs from the payload" >&2; exit 1; }
    rates[$mode]+="$rate " ticks[$mode]+="$count "
    line+=" $mode $rate MiB/s ($count ticks, $renders renders)"
  done
  echo "$line"
done
rm -f "$WINEPREFIX/drive_c/meter-bench.bin"

python3 - "$mib" "${rates[running]}" "${rates[stopped]}" "${rates[window]}" \
  "${ticks[running]}" "${ticks[window]}" <<'PY'
import statistics, sys
mib, running, stopped, window, ticks_running, ticks_window = sys.argv[1:]
med = lambda s: statistics.median(map(float, s.split()))
print(f"download of {mib} MiB, medians of {len(running.split())} rounds")
print(f"  waiting bar running       {med(running):8.1f} MiB/s   {med(ticks_running):6.0f} ticks")
print(f"  waiting bar stopped       {med(stopped):8.1f} MiB/s")
print(f"  setup window's bar        {med(window):8.1f} MiB/s   {med(ticks_window):6.0f} ticks")
pairs = [r / s for r, s in zip(map(float, running.split()), map(float, stopped.split()))]
print(f"  running / stopped         {med(running) / med(stopped):8.2f}   (target >= 0.97)")
print(f"  median of round ratios    {statistics.median(pairs):8.2f}   "
      f"(rounds {min(pairs):.2f} to {max(pairs):.2f})")
PY
