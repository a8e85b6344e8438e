#!/usr/bin/env bash
# Checks that every C and C++ file of the project is formatted as
# .clang-format says; prints what would change and fails otherwise.
#   scripts/check_format.sh
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/install-deps.sh clang-format

mapfile -t files < <(git ls-files '*.c' '*.h' '*.cpp')
clang-format --dry-run -Werror "${files[@]}"
echo "check_format: ${#files[@]} files formatted as .clang-format says"
