#!/usr/bin/env bash
# Builds romfold and runs it on a copy of the bundled sample release
# directory, so that the tree itself stays clean. The copy is left in
# build/demo/release for a look at the files the run wrote.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

scripts/install-deps.sh
cmake --preset default
cmake --build --preset default --target romfold romfold-check -j "$(nproc)"

release="$root/build/demo/release"
rm -rf "$release"
mkdir -p "$(dirname "$release")"
cp -R sample/release "$release"

echo
echo "\$ romfold $release"
status=0
build/default/app/romfold "$release" || status=$?
echo
echo "exit status: $status"
echo
ls -l "$release"
[ "$status" -eq 0 ] || exit "$status"

echo
echo "\$ romfold-check -v -c nk.tmp nk.nbx   (in $release)"
(cd "$release" && "$root/build/default/tools/romfold-check" -v -c nk.tmp nk.nbx)
