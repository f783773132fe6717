#!/usr/bin/env bash
# Link launcher for Setup.exe: runs the compiler driver's own link step with LLVM's linker (ld.lld,
# MinGW flavour) in place of GNU ld. Why: GNU ld's MinGW script keeps every .pdata/.xdata unwind
# entry, and each of them keeps its function, so --gc-sections drops next to nothing on x64;
# ld.lld collects a function together with its unwind data. The driver is asked (-###) for the
# exact linker command, so start files, libraries and their order stay the driver's.
set -euo pipefail
lld=$(command -v ld.lld)
line=$("$@" -### 2>&1 | grep -E '/collect2(\.exe)?"? ' | tail -n 1)
[ -n "$line" ] || { echo "lld-link.sh: no link command from: $*" >&2; exit 1; }
eval "set -- $line"
shift  # collect2 itself
args=()
while (($#)); do
  case $1 in
    -plugin) shift 2 ;;
    -plugin-opt=*) shift ;;
    *) args+=("$1"); shift ;;
  esac
done
exec "$lld" "${args[@]}"
