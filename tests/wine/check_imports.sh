#!/usr/bin/env bash
# Setup.exe runs elevated, usually from a downloads folder where anyone can drop a DLL beside it.
# Its static imports must therefore all be known system DLLs, which Windows always loads from the
# system directory; everything else (WinInet; oleacc, ole32 and oleaut32 for screen readers and the
# desktop's shell) is loaded at run time from there explicitly. Nor may it import a function that
# Windows 7 has only with an update (the DLL-search ones): Setup would then not start there at all.
# It resolves those at run time.
#   check_imports.sh OBJDUMP EXE
set -euo pipefail
objdump=$1 exe=$2
allowed='^(KERNEL32|USER32|GDI32|SHELL32|msvcrt)\.dll$'
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$imports" ] || { echo "no import table found in $exe" >&2; exit 1; }
echo "imports of $(basename "$exe"): $(echo "$imports" | tr '\n' ' ')"
bad=$(echo "$imports" | grep -Eiv "$allowed" || true)
if [ -n "$bad" ]; then
  echo "not a known system DLL: $bad" >&2
  exit 1
fi
late=$("$objdump" -p "$exe" | grep -Ew 'SetDefaultDllDirectories|AddDllDirectory|RemoveDllDirectory' || true)
if [ -n "$late" ]; then
  echo "imports a function Windows 7 may lack: $late" >&2
  exit 1
fi
