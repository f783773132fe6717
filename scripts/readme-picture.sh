#!/usr/bin/env bash
# Makes the README's picture, docs/setup-window.png: Setup.exe run as the main job runs it (Wine,
# the local install service on the build's ports), with the installer's download held at half so
# that the byte count and the meter show. Headless (its own Xvfb) so the picture never depends on
# the desktop it is made on. Rerun it whenever the window's look changes, then commit the PNG.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
picture=${1:-$root/docs/setup-window.png}

bash scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Setup trust_ca dialog_probe
build=$root/build/windows

# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
trap setup_stop_all EXIT
setup_fixed_locale
SETUP_HEADLESS=1 setup_display
setup_wine_prefix "$build/wineprefix-picture"
setup_certificates "$build/certs"
scripts/wine-exec.sh "$build/tools/trust_ca.exe" "$build/certs/ca.pem" >/dev/null
setup_start_service "$build" ""
port=$(setup_origin_ports "$build" | cut -d' ' -f1)

# Sixteen blocks of 64 KiB, one a second: the picture is taken just after the ninth has gone out.
# (A download that stalls shows the count of its last pump, which may be older than its last
# read, so a steady pace shows the meter more truly than one long hold.)
curl -fsS --cacert "$build/certs/ca.pem" \
  "https://localhost:$port/_control/installer?size=1048576&chunk_delay_ms=1000" >/dev/null

wine "$build/Setup.exe" </dev/null >"$build/readme-picture.log" 2>&1 &
SETUP_PIDS+=($!)

mkdir -p "$(dirname "$picture")"
SETUP_BUILD_DIR=$build SETUP_TEST_ORIGIN=https://localhost:$port SETUP_TEST_CA=$build/certs/ca.pem \
  python3 - "$picture" <<'PY'
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.getcwd(), "tests", "e2e"))
import harness

picture = sys.argv[1]
service = harness.Service()
info = harness.window(harness.APP_TITLE, timeout_ms=30000, class_name="fw.Form")
# Block k leaves the service k seconds after the installer request arrived (the service's clock
# is this machine's): half of the file is out after 8 s.
deadline = time.monotonic() + 60
while True:
    requests = [r for r in service.log() if r["path"].lower().startswith("/downloads/")]
    if requests:
        break
    if time.monotonic() > deadline:
        sys.exit("Setup.exe did not start the download; see build/windows/readme-picture.log")
    time.sleep(0.2)
time.sleep(max(0.0, requests[0]["time"] + 8.5 - time.time()))
info = harness.window(harness.APP_TITLE, class_name="fw.Form")
dx, dy = harness.desktop_origin()
crop = (dx + info["window_screen_x"], dy + info["window_screen_y"], info["window_w"],
        info["window_h"])
shot = harness.screenshot(picture + ".tmp.png", crop)
# No time stamps or other metadata: a rerun that draws the same pixels leaves the file unchanged.
subprocess.run(["convert", shot, "-strip", "-define", "png:exclude-chunks=date,time", picture],
               check=True)
os.remove(shot)
print(f"README picture: {picture} ({info['window_w']} x {info['window_h']})")
PY
