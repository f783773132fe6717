#!/usr/bin/env bash
# The main job: builds Setup.exe, starts the local install service with the sample installer, and
# runs Setup.exe under Wine against it -- on your display when there is one, headless otherwise.
# Ends by saying whether the installer was started and where the screenshot of the window is.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Setup sample_installer trust_ca dialog_probe
build=$root/build/windows
out=$build/run
mkdir -p "$out"

# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
trap setup_stop_all EXIT
setup_wine_session "$build" wineprefix-run
setup_start_service "$build" "$build/tools/sample_installer.exe"

record=$out/installer-started.jsonl
rm -f "$record" "$out/window.png"
export SETUP_SAMPLE_RECORD
SETUP_SAMPLE_RECORD=$(winepath -w "$record")

# The sample installer is small: the service paces it so that the window can be seen at work.
port=$(setup_origin_ports "$build" | cut -d' ' -f1)
curl -fsS --cacert "$build/certs/ca.pem" \
  "https://localhost:$port/_control/installer?chunk_delay_ms=400" >/dev/null

echo "== running Setup.exe (display $DISPLAY)"
wine "$build/Setup.exe" </dev/null >"$out/setup.log" 2>&1 &
setup_pid=$!
SETUP_PIDS+=("$setup_pid")
title="Ostrevo Software - Setup"
if info=$(scripts/wine-exec.sh "$build/tools/dialog_probe.exe" window "$title" --timeout-ms 20000); then
  # The window is on screen; catch it while the download runs or just after.
  sleep 0.5
  python3 - "$info" "$out/window.png" <<'PY' || true
import json, subprocess, sys
w = json.loads(sys.argv[1])
crop = "%dx%d+%d+%d" % (w["client_w"], w["client_h"], w["client_screen_x"], w["client_screen_y"])
subprocess.run(["import", "-window", "root", "-crop", crop, sys.argv[2]], check=True)
PY
fi

# Setup.exe ends by itself after it has started the installer; a dialog means something went wrong.
for _ in $(seq 600); do
  kill -0 "$setup_pid" 2>/dev/null || break
  if dialog=$(scripts/wine-exec.sh "$build/tools/dialog_probe.exe" none "$title" --for-ms 100); then
    :
  else
    echo "Setup.exe shows a message: $dialog"
    echo "(close it in the window, or press Ctrl+C)"
    wait "$setup_pid" || true
  fi
  sleep 0.2
done
wait "$setup_pid" 2>/dev/null || true

# The sample installer records its start; give it a moment to do so.
for _ in $(seq 50); do
  [ -s "$record" ] && break
  sleep 0.1
done
echo
if [ -s "$record" ]; then
  echo "RESULT: Setup.exe downloaded and started the installer:"
  cat "$record"
else
  echo "RESULT: the installer was NOT started (see $out/setup.log and $build/service.log)"
fi
[ -f "$out/window.png" ] && echo "Screenshot of the setup window: $out/window.png"
[ -s "$record" ]
