#!/usr/bin/env bash
# Makes the Debian package with CPack and checks it with dpkg-deb: exactly the
# files that belong in it, the library's links, and the control fields.
#
#   scripts/check_deb.sh [--no-build] [BUILD_DIR [OUT_DIR]]
#
# BUILD_DIR (default build/deb) is configured for /usr when it has not been
# configured yet, and built unless --no-build is given. The package is written
# to OUT_DIR (default BUILD_DIR). Exits 1 when anything is missing or wrong.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cmake="${CMAKE:-cmake}"
cpack="${CPACK:-$(dirname "$(command -v "$cmake")")/cpack}"

build=yes
if [ "${1:-}" = --no-build ]; then
    build=no
    shift
fi
build_dir="${1:-$root/build/deb}"
out_dir="${2:-$build_dir}"

fail() {
    echo "check_deb: $*" >&2
    exit 1
}

mkdir -p "$out_dir"
build_dir="$(realpath -m "$build_dir")"
out_dir="$(realpath "$out_dir")"

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    [ "$build" = yes ] || fail "$build_dir is not configured"
    "$root/scripts/install-deps.sh"
    "$cmake" -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
        -DROMFOLD_BUILD_TESTS=OFF
fi
if [ "$build" = yes ]; then
    "$cmake" --build "$build_dir" -j "$(nproc)"
fi

# The layout the package must have, from the build's own settings. An empty
# directory setting means GNUInstallDirs' default.
cache_value() {
    sed -n "s/^$1:[A-Z]*=//p" "$build_dir/CMakeCache.txt"
}
version="$(cache_value CMAKE_PROJECT_VERSION)"
major="${version%%.*}"
bindir="$(cache_value CMAKE_INSTALL_BINDIR)"
bindir="${bindir:-bin}"
libdir="$(cache_value CMAKE_INSTALL_LIBDIR)"
libdir="${libdir:-lib}"
includedir="$(cache_value CMAKE_INSTALL_INCLUDEDIR)"
includedir="${includedir:-include}"
datarootdir="$(cache_value CMAKE_INSTALL_DATAROOTDIR)"
mandir="$(cache_value CMAKE_INSTALL_MANDIR)"
mandir="${mandir:-${datarootdir:-share}/man}"
docdir="${datarootdir:-share}/doc/romfold"
build_type="$(cache_value CMAKE_BUILD_TYPE | tr '[:upper:]' '[:lower:]')"
[ -n "$build_type" ] || build_type=noconfig
arch="$(dpkg --print-architecture)"
[ -n "$version" ] || fail "no project version in $build_dir/CMakeCache.txt"

deb="$out_dir/romfold_${version}_${arch}.deb"
rm -f "$deb"
log="$out_dir/cpack.log"
if ! (cd "$out_dir" && "$cpack" -G DEB --config "$build_dir/CPackConfig.cmake" -B "$out_dir") >"$log" 2>&1; then
    cat "$log" >&2
    fail "cpack -G DEB failed"
fi
[ -f "$deb" ] || fail "cpack did not write $deb"

so="libromfold_encoder.so"
lib="./usr/$libdir"
expected="$(sort <<EOF
./usr/$bindir/romfold
./usr/$bindir/romfold-check
./usr/$includedir/romfold/fold_encoder.h
./usr/$includedir/romfold/fold_decoder.h
$lib/libromfold_encoder.a
$lib/$so -> $so.$major
$lib/$so.$major -> $so.$version
$lib/$so.$version
$lib/libromfold_decoder.a
$lib/libromfold_decoder.so -> libromfold_decoder.so.$major
$lib/libromfold_decoder.so.$major -> libromfold_decoder.so.$version
$lib/libromfold_decoder.so.$version
$lib/cmake/romfold/romfoldConfig.cmake
$lib/cmake/romfold/romfoldConfigVersion.cmake
$lib/cmake/romfold/romfoldTargets.cmake
$lib/cmake/romfold/romfoldTargets-$build_type.cmake
$lib/pkgconfig/romfold_encoder.pc
$lib/pkgconfig/romfold_decoder.pc
./usr/$mandir/man1/romfold.1.gz
./usr/$mandir/man1/romfold-check.1.gz
./usr/$docdir/copyright
EOF
)"

# dpkg-deb -c: mode, owner, size, date, time, then the path (and a link's target).
listing="$(dpkg-deb -c "$deb")"
echo "$listing"
files="$(awk '$1 !~ /^d/ { $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }' <<<"$listing" | sort)"
if [ "$files" != "$expected" ]; then
    diff <(echo "$expected") <(echo "$files") >&2 || true
    fail "the package's files differ from the expected list (< expected, > in the package)"
fi
awk '$2 != "root/root" { exit 1 }' <<<"$listing" || fail "a file in the package is not owned by root"
for tool in romfold romfold-check; do
    grep -Eq "^-rwxr-xr-x .* \./usr/$bindir/$tool\$" <<<"$listing" || fail "$tool is not installed as an executable"
done

# The licence is the package's copyright file.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dpkg-deb --fsys-tarfile "$deb" | tar -xOf - "./usr/$docdir/copyright" | cmp -s - "$root/LICENSE" ||
    fail "the package's copyright file is not the project's LICENSE"

# dpkg-deb -I: the control fields, with the dependencies dpkg-shlibdeps found.
info="$(dpkg-deb -I "$deb")"
echo "$info"
field() {
    dpkg-deb -f "$deb" "$1"
}
[ "$(field Package)" = romfold ] || fail "Package is not romfold"
[ "$(field Version)" = "$version" ] || fail "Version is not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is not $arch"
[ "$(field Section)" = utils ] || fail "Section is not utils"
[ "$(field Priority)" = optional ] || fail "Priority is not optional"
[ "$(field Maintainer)" = "romfold developers <romfold@localhost>" ] || fail "Maintainer is wrong"
grep -Eq '(^|, )libc6 \(>= [0-9.]+\)' <<<"$(field Depends)" || fail "Depends has no computed libc6 dependency"
description="$(field Description)"
[ -n "$(sed -n 1p <<<"$description")" ] || fail "Description has no summary line"
[ "$(wc -l <<<"$description")" -gt 1 ] || fail "Description has no long description"

# The library's shlibs entry, and ldconfig run on install and removal.
shlibs="$(dpkg-deb -I "$deb" shlibs)" || fail "the package has no shlibs file"
[ "$shlibs" = "$(printf 'libromfold_decoder %s romfold (>= %s)\nlibromfold_encoder %s romfold (>= %s)' \
    "$major" "$version" "$major" "$version")" ] || fail "shlibs is '$shlibs'"
for script in postinst postrm; do
    grep -q ldconfig <<<"$(dpkg-deb -I "$deb" "$script")" || fail "$script does not run ldconfig"
done

echo "check_deb: $deb is complete"
