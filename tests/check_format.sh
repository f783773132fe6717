#!/usr/bin/env bash
# Every C++ file of the repository follows the checked-in clang-format style.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror "${files[@]}"
echo "${#files[@]} files formatted as .clang-format says"
