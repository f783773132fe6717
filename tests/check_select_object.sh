#!/usr/bin/env bash
# Every selection into a DC goes through fw::SelectGuard (framework/handle.h), which puts the
# previous object back, so nothing is deleted while selected. A raw SelectObject call anywhere
# else fails; only a test that must drive the raw API may mark its line "raw-select-ok".
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
mapfile -t files < <(git ls-files --cached --others --exclude-standard \
  bootstrap widgets framework tools bench tests | grep -E '\.(c|cc|cpp|h|hpp)$' |
  grep -vx 'framework/handle.h' | while read -r f; do [ -f "$f" ] && echo "$f"; done)
if [ "${#files[@]}" -eq 0 ]; then
  echo "no source files found" >&2
  exit 1
fi
if grep -nE '\bSelectObject[[:space:]]*\(' "${files[@]}" |
  grep -vE '^tests/[^:]*:[0-9]+:.*raw-select-ok'; then
  echo "raw SelectObject above: select through fw::SelectGuard (framework/handle.h)" >&2
  exit 1
fi
echo "${#files[@]} files select only through fw::SelectGuard"
