#!/usr/bin/env bash
# Runs every test: the portable logic natively under the sanitizers (with a bounded fuzzing run),
# then the Windows build under Wine with a headless X server and the local HTTPS install service.
# Installs what it needs first. Options come from the environment:
#   SETUP_KEEP_PREFIX=1  reuse the Wine prefix of the last run instead of creating a new one
#   SETUP_TEST_FILTER=RE run only the ctest tests whose names match RE
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
started=$(date +%s)

bash scripts/install-deps.sh

filter=()
[ -n "${SETUP_TEST_FILTER:-}" ] && filter=(-R "$SETUP_TEST_FILTER")

echo "== native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native -j2 "${filter[@]}"

echo "== worker-thread logic under ThreadSanitizer"
cmake --preset native-tsan >/dev/null
cmake --build --preset native-tsan
ctest --preset native-tsan

echo "== windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows
build=$root/build/windows

echo "== windows tests under Wine"
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
trap setup_stop_all EXIT
[ "${SETUP_KEEP_PREFIX:-0}" = 1 ] || rm -rf "$build/wineprefix"
setup_wine_session "$build" wineprefix
setup_start_service "$build" "$build/tools/sample_installer.exe"

export SETUP_BUILD_DIR=$build
export SETUP_TEST_ORIGIN=https://localhost:$(setup_origin_ports "$build" | cut -d' ' -f1)
export SETUP_TEST_CA=$build/certs/ca.pem
export SETUP_ARTIFACTS=$build/artifacts
mkdir -p "$SETUP_ARTIFACTS"
ctest --preset windows -j2 "${filter[@]}"

echo "== all tests passed in $(($(date +%s) - started)) s; screenshots in $SETUP_ARTIFACTS"
