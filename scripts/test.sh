#!/usr/bin/env bash
# Builds everything and runs every test in one configuration:
#   scripts/test.sh            the normal build (preset "default")
#   scripts/test.sh sanitize   address and undefined-behaviour sanitizers
# With CI set in the environment, compiler warnings are errors.
set -euo pipefail

preset="${1:-default}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

scripts/install-deps.sh

werror=OFF
if [ -n "${CI:-}" ]; then
    werror=ON
fi
cmake --preset "$preset" -DROMFOLD_WERROR="$werror"
cmake --build --preset "$preset" -j "$(nproc)"
ctest --preset "$preset" -j "$(nproc)"
