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
#                                             of the encoder
#   pkg-config-decoder-consumer (the same arguments)
#                                             likewise, of the decoder
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

    check_shared_library "$prefix/$libdir" romfold_encoder "$version" "$readelf" "$nm" \
        FoldEncode FoldEncodeClose FoldEncodeCreate FoldEncodeCreateAtLevel FoldEncodeWithProgress
    check_shared_library "$prefix/$libdir" romfold_decoder "$version" "$readelf" "$nm" \
        FoldDecodeBlock FoldDecodeImage FoldDecoderVersion FoldReadImageHeader FoldReadSplashHeader FoldWalk \
        FoldWalkBegin FoldWalkWorkSize
}

# libNAME.so -> .so.MAJOR -> .so.VERSION, the SONAME is .so.MAJOR, and only
# the public calls given are exported: every internal symbol is hidden.
check_shared_library() {
    local dir="$1" name="$2" version="$3" readelf="$4" nm="$5"
    shift 5
    local lib="$dir/lib$name.so"
    local major="${version%%.*}"
    [ "$(readlink "$lib")" = "lib$name.so.$major" ] || fail "lib$name.so does not link to lib$name.so.$major"
    [ "$(readlink "$lib.$major")" = "lib$name.so.$version" ] ||
        fail "lib$name.so.$major does not link to lib$name.so.$version"
    local soname
    soname="$("$readelf" -d "$lib.$version" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')"
    [ "$soname" = "lib$name.so.$major" ] || fail "SONAME is '$soname', not lib$name.so.$major"

    local exports wanted
    exports="$("$nm" -D --defined-only --format=posix "$lib.$version" | cut -d' ' -f1 | sort)"
    wanted="$(printf '%s\n' "$@" | sort)"
    if [ "$exports" != "$wanted" ]; then
        diff <(echo "$wanted") <(echo "$exports") >&2 || true
        fail "lib$name.so exports other symbols than its public calls"
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
    "$work/cmake_consumer_shared" || fail "cmake_consumer_shared (romfold::encoder, romfold::decoder)"
    "$work/cmake_consumer_static" || fail "cmake_consumer_static (romfold::encoder_static, romfold::decoder_static)"
    # The shared consumer must run on the installed libraries, not a copy of the code.
    local libraries name
    libraries="$(ldd "$work/cmake_consumer_shared")"
    for name in encoder decoder; do
        grep -q "=> $prefix/.*/libromfold_$name.so.0 " <<<"$libraries" ||
            fail "cmake_consumer_shared does not load libromfold_$name.so.0 from $prefix"
    done
    if ldd "$work/cmake_consumer_static" | grep -q libromfold_; then
        fail "cmake_consumer_static loads a shared romfold library"
    fi
}

step_pkg_config_consumer() {
    local package="$1" prefix="$2" libdir="$3" source="$4" work="$5" version="$6" cc="$7" flags="$8" link_flags="$9"
    rm -rf "$work"
    mkdir -p "$work"
    # Only the scratch prefix is searched, so an installed system copy cannot stand in.
    export PKG_CONFIG_LIBDIR="$prefix/$libdir/pkgconfig"
    export PKG_CONFIG_PATH=
    local found
    found="$(pkg-config --modversion "$package")" || fail "pkg-config does not find $package"
    [ "$found" = "$version" ] || fail "pkg-config gives version $found, not $version"

    local cflags libs lib_path
    cflags="$(pkg-config --cflags "$package")"
    libs="$(pkg-config --libs "$package")"
    lib_path="$(pkg-config --variable=libdir "$package")"
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
    pkg-config-consumer) step_pkg_config_consumer romfold_encoder "$@" ;;
    pkg-config-decoder-consumer) step_pkg_config_consumer romfold_decoder "$@" ;;
    sample) step_sample "$@" ;;
    man-pages) step_man_pages "$@" ;;
    *) fail "unknown step '$step'" ;;
esac
