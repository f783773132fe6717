#!/usr/bin/env bash
# Runs one Windows program under Wine for ctest. Wine's helper processes inherit the caller's pipes
# and keep them open after the program exits, so the program writes to files that are printed after
# it ends; stdin comes from /dev/null. The exit code passes through.
set -u
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
wine "$@" </dev/null >"$out" 2>"$err"
rc=$?
tr -d '\r' <"$out"
tr -d '\r' <"$err" >&2
exit $rc
