#!/usr/bin/env bash
# Times a rebuild of the backdrop gradient against a plain paint, and the paints of one shape
# button, under Wine on a headless X server.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target paint_bench trust_ca >/dev/null
build=$root/build/windows
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
trap setup_stop_all EXIT
SETUP_HEADLESS=1 setup_wine_session "$build" wineprefix-bench
scripts/wine-exec.sh "$build/bench/paint_bench.exe"
