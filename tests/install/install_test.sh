#!/usr/bin/env bash
# The steps of the install tests, one per CTest test:
#   install BUILD PREFIX                      install the build tree into PREFIX
#   layout PREFIX LIBDIR VERSION READELF NM FILE...
#                                             PREFIX holds exactly FILE..., and
#                                             the shared library's links, SONAME
#                                             and exports are right
#   cmake-consumer PREFIX SOURCE WORK VERSION CXX FLAGS LINK_FLAGS
#                                             build and run the find_package consumer
#   pkg-config-consumer PREFIX LIBDIR SOURCE WORK VERSION CC FLAGS LINK_FLAGS
#                                             build and run the pkg-config consumer
#   sample PREFIX BUILT_ROMFOLD SAMPLE WORK VERSION
#                                             the installed tools on the sample
#   man-pages PREFIX MANDIR VERSION GROFF     the installed manual pages render
#                                             without a warning
# Each step prints what differs and exits 1 on the first fault.
set -euo pipefail

cmake="${CMAKE:-cmake}"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Runs a command; on failure shows its output and fails the step.
run_quietly() {
    local log
    log="$(mktemp)"
    if ! "$@" >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        fail "command failed: $*"
    fi
    rm -f "$log"
}

step_install() {
    local build="$1" prefix="$2"
    rm -rf "$prefix"
    run_quietly "$cmake" --install "$build" --prefix "$prefix"
}

step_layout() {
    local prefix="$1" libdir="$2" version="$3" readelf="$4" nm="$5"
    shift 5
    local expected actual
    expected="$(printf '%s\n' "$@" | sort)"
    actual="$(cd "$prefix" && find . -not -type d | sed 's|^\./||' | sort)"
    if [ "$expected" != "$actual" ]; then
        diff <(echo "$expected") <(echo "$actual") >&2 || true
        fail "installed files differ from the expected list (< expected, > installed)"
    fi

    # libromfold_encoder.so -> .so.MAJOR -> .so.VERSION, and the SONAME is .so.MAJOR.
    local lib="$prefix/$libdir/libromfold_encoder.so"
    local major="${version%%.*}"
    [ "$(readlink "$lib")" = "libromfold_encoder.so.$major" ] ||
        fail "libromfold_encoder.so does not link to libromfold_encoder.so.$major"
    [ "$(readlink "$lib.$major")" = "libromfold_encoder.so.$version" ] ||
        fail "libromfold_encoder.so.$major does not link to libromfold_encoder.so.$version"
    local soname
    soname="$("$readelf" -d "$lib.$version" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')"
    [ "$soname" = "libromfold_encoder.so.$major" ] || fail "SONAME is '$soname', not libromfold_encoder.so.$major"

    # Only the public calls may be exported; every internal symbol is hidden.
    local exports
    exports="$("$nm" -D --defined-only --format=posix "$lib.$version" | cut -d' ' -f1 | sort)"
    local wanted
    wanted="$(printf '%s\n' FoldEncode FoldEncodeClose FoldEncodeCreate FoldEncodeCreateAtLevel FoldEncodeMemorySize \
        FoldEncodeVersion FoldEncodeWithProgress)"
    if [ "$exports" != "$wanted" ]; then
        diff <(echo "$wanted") <(echo "$exports") >&2 || true
        fail "the shared library exports other symbols than the public calls"
    fi
}

step_cmake_consumer() {
    local prefix="$1" source="$2" work="$3" version="$4" cxx="$5" flags="$6" link_flags="$7"
    rm -rf "$work"
    run_quietly "$cmake" -S "$source" -B "$work" \
        -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_CXX_COMPILER="$cxx" \
        -DCMAKE_CXX_FLAGS="$flags" \
        -DCMAKE_EXE_LINKER_FLAGS="$link_flags" \
        -DROMFOLD_EXPECTED_VERSION="$version" \
        -DROMFOLD_EXPECTED_PREFIX="$prefix"
    run_quietly "$cmake" --build "$work"
    "$work/cmake_consumer_shared" || fail "cmake_consumer_shared (romfold::encoder)"
    "$work/cmake_consumer_static" || fail "cmake_consumer_static (romfold::encoder_static)"
    # The shared consumer must run on the installed library, not a copy of the code.
    local libraries
    libraries="$(ldd "$work/cmake_consumer_shared")"
    grep -q "=> $prefix/.*/libromfold_encoder.so.0 " <<<"$libraries" ||
        fail "cmake_consumer_shared does not load libromfold_encoder.so.0 from $prefix"
}

step_pkg_config_consumer() {
    local prefix="$1" libdir="$2" source="$3" work="$4" version="$5" cc="$6" flags="$7" link_flags="$8"
    rm -rf "$work"
    mkdir -p "$work"
    # Only the scratch prefix is searched, so an installed system copy cannot stand in.
    export PKG_CONFIG_LIBDIR="$prefix/$libdir/pkgconfig"
    export PKG_CONFIG_PATH=
    local found
    found="$(pkg-config --modversion romfold_encoder)" || fail "pkg-config does not find romfold_encoder"
    [ "$found" = "$version" ] || fail "pkg-config gives version $found, not $version"

    local cflags libs lib_path
    cflags="$(pkg-config --cflags romfold_encoder)"
    libs="$(pkg-config --libs romfold_encoder)"
    lib_path="$(pkg-config --variable=libdir romfold_encoder)"
    # shellcheck disable=SC2086 # the flags are lists of words
    run_quietly "$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror $flags $cflags \
        "$source" -o "$work/pkg_config_consumer" $link_flags $libs -Wl,-rpath,"$lib_path"
    "$work/pkg_config_consumer" || fail "pkg_config_consumer"
}

step_sample() {
    local prefix="$1" built_romfold="$2" sample="$3" work="$4" version="$5"
    rm -rf "$work"
    mkdir -p "$work/installed" "$work/built"
    cp -R "$sample" "$work/installed/release"
    cp -R "$sample" "$work/built/release"

    # Both runs get the same relative argument, so their output must be equal
    # byte for byte, and so must every file they write.
    local status=0
    (cd "$work/installed" && "$prefix/bin/romfold" release >stdout) || status=$?
    [ "$status" -eq 0 ] || fail "installed romfold exited with $status"
    (cd "$work/built" && "$built_romfold" release >stdout) || fail "build-tree romfold failed"
    cmp "$work/built/stdout" "$work/installed/stdout" || fail "installed romfold printed other output"
    local name
    for name in nk.tmp nbx.tmp nk.nbx; do
        cmp "$work/built/release/$name" "$work/installed/release/$name" ||
            fail "installed romfold wrote another $name"
    done

    (cd "$work/installed/release" && "$prefix/bin/romfold-check" -c nk.tmp nk.nbx >check.out) ||
        fail "installed romfold-check rejects the packed image"
    grep -qx '  equals  nk.tmp' "$work/installed/release/check.out" ||
        fail "installed romfold-check did not compare the image"
    [ "$("$prefix/bin/romfold-check" --version)" = "romfold-check $version" ] ||
        fail "installed romfold-check --version is not 'romfold-check $version'"
}

step_man_pages() {
    local prefix="$1" mandir="$2" version="$3" groff="$4"
    local page warnings text
    for page in romfold romfold-check; do
        local file="$prefix/$mandir/man1/$page.1.gz"
        gzip -t "$file" || fail "$file is no gzip file"
        warnings="$(gzip -dc "$file" | "$groff" -man -Tutf8 -ww -z 2>&1)"
        [ -z "$warnings" ] || fail "$page.1 has roff warnings: $warnings"
        text="$(gzip -dc "$file" | "$groff" -man -Tutf8 -P-cbou 2>/dev/null)"
        grep -q "romfold $version" <<<"$text" || fail "$page.1 does not show version $version"
        for section in NAME SYNOPSIS DESCRIPTION DIAGNOSTICS "EXIT STATUS" EXAMPLES; do
            grep -qx "$section" <<<"$text" || fail "$page.1 has no $section section"
        done
    done
}

step="$1"
shift
case "$step" in
    install) step_install "$@" ;;
    layout) step_layout "$@" ;;
    cmake-consumer) step_cmake_consumer "$@" ;;
    pkg-config-consumer) step_pkg_config_consumer "$@" ;;
    sample) step_sample "$@" ;;
    man-pages) step_man_pages "$@" ;;
    *) fail "unknown step '$step'" ;;
esac
