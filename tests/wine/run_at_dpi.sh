#!/usr/bin/env bash
# Runs a Windows test program in a Wine prefix whose screen has the given DPI: LogPixels is set when
# the prefix is made, before anything reads it. The prefix is kept for the next run; its wineserver
# is stopped when the program ends. Usage: run_at_dpi.sh DPI PREFIX PROGRAM [ARGS...]
set -euo pipefail
dpi=$1 prefix=$2
shift 2
# shellcheck source=scripts/wine-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"
trap setup_stop_all EXIT
setup_fixed_locale
setup_wine_prefix "$prefix" "$dpi"
SETUP_TEST_DPI=$dpi "$SETUP_ROOT/scripts/wine-exec.sh" "$@"
