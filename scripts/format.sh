#!/usr/bin/env bash
# Formats every C++ file in git with the root .clang-format (Debian's clang-format).
#   bash scripts/format.sh          rewrite the files
#   bash scripts/format.sh --check  list the files that are not formatted; exit 1 if any
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "clang-format is missing (Debian package clang-format)" >&2; exit 2; }
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --check ]; then
    bad=0
    for f in "${files[@]}"; do
        clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || { echo "$f"; bad=1; }
    done
    exit $bad
fi
clang-format -i "${files[@]}"
