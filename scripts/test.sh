#!/usr/bin/env bash
# Builds everything and runs every test in one configuration:
#   scripts/test.sh            the normal build (preset "default")
#   scripts/test.sh sanitize   address and undefined-behaviour sanitizers
#   scripts/test.sh tsan       the thread sanitizer, on the programs whose
#                              code runs on several workers (the container
#                              tests, and the end-to-end tests and
#                              romfold-check's tests with four)
#   scripts/test.sh windows    cross-compiled for 64-bit Windows with
#                              MinGW-w64, the tests run under Wine
# With CI set in the environment, compiler warnings are errors.
set -euo pipefail

preset="${1:-default}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

if [ "$preset" = windows ]; then
    # clang, lld and llvm (llvm-dlltool) build the MSVC-ABI consumer of the zip.
    scripts/install-deps.sh g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine wine64 unzip clang lld llvm
    # A ready prefix before the first test; the tests' runner
    # (tests/support/run_under_wine.sh) then keeps one Wine server for the
    # whole run, and this script stops it at the end.
    export WINEDEBUG=-all
    wineboot --init >/dev/null 2>&1
    trap 'wineserver --kill 2>/dev/null || true' EXIT
else
    scripts/install-deps.sh
fi

werror=OFF
if [ -n "${CI:-}" ]; then
    werror=ON
fi
cmake --preset "$preset" -DROMFOLD_WERROR="$werror"
cmake --build --preset "$preset" -j "$(nproc)"
runner=()
if [ "$preset" = tsan ]; then
    # The thread sanitizer needs its fixed memory layout, which the larger
    # address randomisation of recent kernels can break: run without it.
    runner=(setarch "$(uname -m)" -R)
fi
"${runner[@]}" ctest --preset "$preset" -j "$(nproc)"
