#!/usr/bin/env bash
# Makes the README's picture, docs/setup-window.png: Setup.exe run as the main job runs it (Wine,
# the local install service on the build's ports), with the installer's download held at half so
# that the byte count and the meter show. Headless (its own Xvfb) so the picture never depends on
# the desktop it is made on. Rerun it whenever the window's look changes, then commit the PNG.
# SETUP_PICTURE_DPI=144 makes the window at a display scale of 150 % instead (a prefix of its own
# whose screen has that DPI), into docs/setup-window-150.png.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
dpi=${SETUP_PICTURE_DPI:-96}
if [ "$dpi" = 96 ]; then
  picture=${1:-$root/docs/setup-window.png}
  prefix=wineprefix-picture
else
  picture=${1:-$root/docs/setup-window-$((dpi * 100 / 96)).png}
  prefix=wineprefix-picture-$dpi
fi

bash scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Setup trust_ca dialog_probe
build=$root/build/windows

# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
trap setup_stop_all EXIT
SETUP_HEADLESS=1 setup_wine_session "$build" "$prefix" "$dpi"
setup_start_service "$build" ""
port=$(setup_origin_ports "$build" | cut -d' ' -f1)

# The service sends the first half of a 2 MiB installer at once and then holds the rest, so the
# window stands at 1048576 of 2097152 bytes (50 %). The build's stall limit ends the hold from
# Setup's side; the picture is taken well before that.
curl -fsS --cacert "$build/certs/ca.pem" \
  "https://localhost:$port/_control/installer?size=2097152&pause_after=1048576&pause_ms=600000" \
  >/dev/null
stall_limit=$(sed -n 's/^SETUP_STALL_LIMIT_S:[A-Z]*=//p' "$build/CMakeCache.txt")

wine "$build/Setup.exe" </dev/null >"$build/readme-picture.log" 2>&1 &
SETUP_PIDS+=($!)

mkdir -p "$(dirname "$picture")"
SETUP_BUILD_DIR=$build SETUP_TEST_ORIGIN=https://localhost:$port SETUP_TEST_CA=$build/certs/ca.pem \
  SETUP_STALL_LIMIT_S=${stall_limit:-30} python3 - "$picture" "$dpi" <<'PY'
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.getcwd(), "tests", "e2e"))
import harness
from setup_e2e_test import METER_BACKGROUND, STALL_LIMIT_S, WINDOW_CLASS, meter_percent_shown

picture, dpi = sys.argv[1], int(sys.argv[2])
service = harness.Service()
info = harness.window(harness.APP_TITLE, timeout_ms=30000, class_name=WINDOW_CLASS)
deadline = time.monotonic() + 60
while True:
    requests = [r for r in service.log() if r["path"].lower().startswith("/downloads/")]
    if requests:
        break
    if time.monotonic() > deadline:
        sys.exit("Setup.exe did not start the download; see build/windows/readme-picture.log")
    time.sleep(0.2)
# The first half is out a moment after the request; the hold lasts until the stall limit.
time.sleep(max(0.0, requests[0]["time"] + 1.0 - time.time()))
dx, dy = harness.desktop_origin()
frame = (dx + info["window_screen_x"], dy + info["window_screen_y"], info["window_w"],
         info["window_h"])
shot = harness.screenshot(picture + ".tmp.png", frame)
client = harness.screenshot(picture + ".client.png", info)
late = time.time() - requests[0]["time"]
lit, unlit = meter_percent_shown(client, dpi)
os.remove(client)
if late > STALL_LIMIT_S - 1 or lit == METER_BACKGROUND or unlit != METER_BACKGROUND:
    os.remove(shot)
    sys.exit(f"the picture missed the held download ({late:.1f} s after the request); run again")
# No time stamps or other metadata: a rerun that draws the same pixels leaves the file unchanged.
subprocess.run(["convert", shot, "-strip", "-define", "png:exclude-chunks=date,time", picture],
               check=True)
os.remove(shot)
print(f"README picture: {picture} ({info['window_w']} x {info['window_h']})")
PY
