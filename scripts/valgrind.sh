#!/usr/bin/env bash
# Runs the end-to-end tests of romfold and of romfold-check under valgrind's
# memcheck, following every program they start, and fails on any memory
# error or leak in any of those processes.
#   scripts/valgrind.sh            all end-to-end tests
#   scripts/valgrind.sh FILTER     only the tests that match a gtest filter
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
filter="${1:-*}"

scripts/install-deps.sh valgrind
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target e2e_tests check_tests >/dev/null

logs="$root/build/valgrind"
rm -rf "$logs"
mkdir -p "$logs"

# Each process writes its own report; standard error stays the program's, so
# the tests still compare it byte for byte.
memcheck=(valgrind --tool=memcheck --trace-children=yes --log-file="$logs/%p.log"
          --leak-check=full --show-leak-kinds=definite,indirect,possible
          --errors-for-leak-kinds=definite,indirect,possible --track-origins=yes)

status=0
for tests in build/default/tests/e2e/e2e_tests build/default/tests/tools/check_tests; do
    echo "== $tests"
    "${memcheck[@]}" "$tests" --gtest_filter="$filter" --gtest_brief=1 || status=1
done

logs_of_all=("$logs"/*.log)
mapfile -t bad < <(grep -L 'ERROR SUMMARY: 0 errors' "${logs_of_all[@]}" || true)
for log in "${bad[@]}"; do
    echo "--- memcheck finding: $log" >&2
    cat "$log" >&2
    status=1
done
echo "valgrind: ${#logs_of_all[@]} processes checked, ${#bad[@]} with findings"
exit "$status"
