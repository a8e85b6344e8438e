#!/usr/bin/env bash
# The tools' text in a terminal shows paths as the user typed them: romfold's
# report (standard output) and romfold-check's error (standard error) name a
# release directory called "Zoë", run in a pseudo-terminal (script(1)), so
# that on Windows (under Wine) standard output and error are a console.
#   console_text_test.sh ROMFOLD ROMFOLD_CHECK SAMPLE WORK SEPARATOR
# RUNNER in the environment runs a Windows program (Wine); empty on Linux.
set -euo pipefail

romfold="$1" check="$2" sample="$3" work="$4" separator="$5"
runner="${RUNNER:-}"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

rm -rf "$work"
mkdir -p "$work"
cp -R "$sample" "$work/Zoë"

# What the terminal shows, without its control sequences and carriage returns.
in_terminal() {
    local command
    printf -v command '%q ' $runner "$@"
    (cd "$work" && script -qc "$command" /dev/null </dev/null) | sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' | tr -d '\r'
}

shown="$(in_terminal "$romfold" Zoë)"
grep -qxF "Image in Zoë${separator}nk.bin is 88000bytes" <<<"$shown" ||
    fail "romfold's report in a terminal is not the path as typed: $(head -1 <<<"$shown")"
grep -qF "Image file Zoë${separator}nk.nbx generated successfully" <<<"$shown" ||
    fail "romfold's last line in a terminal is not the path as typed: $(tail -1 <<<"$shown")"

shown="$(in_terminal "$check" "Zoë${separator}missing.nbx")"
grep -qxF "romfold-check: Zoë${separator}missing.nbx: cannot open: No such file or directory" <<<"$shown" ||
    fail "romfold-check's error in a terminal is not the path as typed: $shown"
