#!/usr/bin/env bash
# The steps of the install tests, one per CTest test:
#   install BUILD PREFIX                      install the build tree into PREFIX
#   layout PREFIX FILE...                     PREFIX holds exactly FILE...
#   exports LIBRARY NM|OBJDUMP CALL...        the shared library (ELF) or DLL
#                                             exports exactly CALL...
#   linux-soname PREFIX LIBDIR VERSION READELF NAME
#                                             the shared library libNAME.so's
#                                             links and SONAME
#   cmake-consumer PREFIX SOURCE WORK VERSION CXX FLAGS LINK_FLAGS
#                                             build and run the find_package consumer
#   pkg-config-consumer PREFIX LIBDIR SOURCE WORK VERSION CC FLAGS LINK_FLAGS
#                                             build and run the pkg-config consumer
#                                             of the encoder, linked with the shared
#                                             and (--static) the static library
#   pkg-config-decoder-consumer (the same arguments)
#                                             likewise, of the decoder
#   sample PREFIX BUILT_ROMFOLD SAMPLE WORK VERSION
#                                             the installed tools on the sample
#   man-pages PREFIX MANDIR VERSION GROFF     the installed manual pages render
#                                             without a warning
#   windows-zip BUILD WORK VERSION CONSUMER_SOURCE FILE...
#                                             cpack -G ZIP gives the zip of
#                                             exactly FILE...; its text files
#                                             have Windows line ends, its
#                                             programs and DLLs their version
#                                             resources, its MSVC import
#                                             libraries exactly the DLLs' calls;
#                                             a consumer builds against its
#                                             unpacked tree and runs
#   windows-version PREFIX VERSION            the installed programs and DLLs
#                                             carry the project's version
#                                             resource (read back by READER)
#   msvc-consumer TREE SOURCE WORK            a C program built for the MSVC
#                                             ABI with clang and lld-link
#                                             against TREE's .lib files runs
# Each step prints what differs and exits 1 on the first fault.
#
# For a Windows build the environment names how to reach it from here:
# RUNNER (wine), TOOLCHAIN (the CMake toolchain file), OBJDUMP, NM and EXE
# (.exe), READER (the version resource reader), ENCODER_CALLS and
# DECODER_CALLS (each DLL's calls, separated by ',').
set -euo pipefail

cmake="${CMAKE:-cmake}"
runner="${RUNNER:-}"
exe="${EXE:-}"

# Runs a program of the build's platform (through Wine for a Windows build);
# DLLS names the folder of the DLLs it needs.
run_target() {
    if [ -n "$runner" ]; then
        WINEPATH="${DLLS:-}" WINEDEBUG=-all "$runner" "$@"
    else
        "$@"
    fi
}

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
    local prefix="$1"
    shift
    local expected actual
    expected="$(printf '%s\n' "$@" | sort)"
    actual="$(cd "$prefix" && find . -not -type d | sed 's|^\./||' | sort)"
    if [ "$expected" != "$actual" ]; then
        diff <(echo "$expected") <(echo "$actual") >&2 || true
        fail "installed files differ from the expected list (< expected, > installed)"
    fi
}

# Only the public calls may be exported; every internal symbol is hidden.
step_exports() {
    local library="$1" tool="$2"
    shift 2
    local exports wanted
    case "$library" in
        *.dll) exports="$("$tool" -p "$library" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
            sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort)" ;;
        *) exports="$("$tool" -D --defined-only --format=posix "$library" | cut -d' ' -f1 | sort)" ;;
    esac
    wanted="$(printf '%s\n' "$@" | sort)"
    if [ "$exports" != "$wanted" ]; then
        diff <(echo "$wanted") <(echo "$exports") >&2 || true
        fail "$(basename "$library") exports other symbols than the public calls (< wanted, > exported)"
    fi
}

# libNAME.so -> .so.MAJOR -> .so.VERSION, and the SONAME is .so.MAJOR.
step_linux_soname() {
    local prefix="$1" libdir="$2" version="$3" readelf="$4" name="$5"
    local lib="$prefix/$libdir/lib$name.so"
    local major="${version%%.*}"
    [ "$(readlink "$lib")" = "lib$name.so.$major" ] || fail "lib$name.so does not link to lib$name.so.$major"
    [ "$(readlink "$lib.$major")" = "lib$name.so.$version" ] ||
        fail "lib$name.so.$major does not link to lib$name.so.$version"
    local soname
    soname="$("$readelf" -d "$lib.$version" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')"
    [ "$soname" = "lib$name.so.$major" ] || fail "SONAME is '$soname', not lib$name.so.$major"
}

step_cmake_consumer() {
    local prefix="$1" source="$2" work="$3" version="$4" cxx="$5" flags="$6" link_flags="$7"
    # Only the flags that are given, so that a toolchain file's own stay.
    local options=()
    [ -z "${TOOLCHAIN:-}" ] || options+=(-DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN")
    [ -z "$flags" ] || options+=(-DCMAKE_CXX_FLAGS="$flags")
    [ -z "$link_flags" ] || options+=(-DCMAKE_EXE_LINKER_FLAGS="$link_flags")
    rm -rf "$work"
    run_quietly "$cmake" -S "$source" -B "$work" "${options[@]}" \
        -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_CXX_COMPILER="$cxx" \
        -DROMFOLD_EXPECTED_VERSION="$version" \
        -DROMFOLD_EXPECTED_PREFIX="$prefix"
    run_quietly "$cmake" --build "$work"
    DLLS="$prefix/bin" run_target "$work/cmake_consumer_shared$exe" ||
        fail "cmake_consumer_shared (romfold::encoder, romfold::decoder)"
    run_target "$work/cmake_consumer_static$exe" ||
        fail "cmake_consumer_static (romfold::encoder_static, romfold::decoder_static)"
    # The shared consumer must run on the installed libraries, not a copy of the code.
    local name
    for name in romfold_encoder romfold_decoder; do
        if [ -n "$exe" ]; then
            local imports
            imports="$("$OBJDUMP" -p "$work/cmake_consumer_shared$exe")"
            grep -q "DLL Name: lib$name.dll" <<<"$imports" || fail "cmake_consumer_shared does not import lib$name.dll"
            imports="$("$OBJDUMP" -p "$work/cmake_consumer_static$exe")"
            ! grep -q "DLL Name: lib$name.dll" <<<"$imports" || fail "cmake_consumer_static imports lib$name.dll"
        else
            local libraries
            libraries="$(ldd "$work/cmake_consumer_shared")"
            grep -q "=> $prefix/.*/lib$name.so.0 " <<<"$libraries" ||
                fail "cmake_consumer_shared does not load lib$name.so.0 from $prefix"
        fi
    done
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
    local rpath=(-Wl,-rpath,"$lib_path")
    [ -z "$exe" ] || rpath=()
    # shellcheck disable=SC2086 # the flags are lists of words
    run_quietly "$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror $flags $cflags \
        "$source" -o "$work/pkg_config_consumer$exe" $link_flags $libs "${rpath[@]}"
    DLLS="$prefix/bin" run_target "$work/pkg_config_consumer$exe" || fail "pkg_config_consumer"

    # pkg-config --static: the flags for the static library, which the linker
    # is told to take (-Bstatic) instead of the shared one beside it.
    cflags="$(pkg-config --static --cflags "$package")"
    libs="$(pkg-config --static --libs "$package")"
    # shellcheck disable=SC2086 # the flags are lists of words
    run_quietly "$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror $flags $cflags \
        "$source" -o "$work/pkg_config_static_consumer$exe" $link_flags -Wl,-Bstatic $libs -Wl,-Bdynamic
    run_target "$work/pkg_config_static_consumer$exe" || fail "pkg_config_static_consumer"
    if [ -n "$exe" ]; then
        ! "$OBJDUMP" -p "$work/pkg_config_static_consumer$exe" | grep -q "DLL Name: lib$package.dll" ||
            fail "pkg_config_static_consumer imports lib$package.dll"
    else
        ! readelf -d "$work/pkg_config_static_consumer" | grep -q "NEEDED.*lib$package\.so" ||
            fail "pkg_config_static_consumer needs lib$package.so"
    fi
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
    (cd "$work/installed" && run_target "$prefix/bin/romfold$exe" release >stdout) || status=$?
    [ "$status" -eq 0 ] || fail "installed romfold exited with $status"
    (cd "$work/built" && run_target "$built_romfold" release >stdout) || fail "build-tree romfold failed"
    cmp "$work/built/stdout" "$work/installed/stdout" || fail "installed romfold printed other output"
    local name
    for name in nk.tmp nbx.tmp nk.nbx; do
        cmp "$work/built/release/$name" "$work/installed/release/$name" ||
            fail "installed romfold wrote another $name"
    done

    (cd "$work/installed/release" && run_target "$prefix/bin/romfold-check$exe" -c nk.tmp nk.nbx >check.out) ||
        fail "installed romfold-check rejects the packed image"
    grep -qx '  equals  nk.tmp' "$work/installed/release/check.out" ||
        fail "installed romfold-check did not compare the image"
    [ "$(run_target "$prefix/bin/romfold-check$exe" --version)" = "romfold-check $version" ] ||
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

step_windows_zip() {
    local build="$1" work="$2" version="$3" consumer="$4"
    shift 4
    rm -rf "$work"
    mkdir -p "$work"
    local zip="$work/romfold-$version-win64.zip" log="$work/cpack.log"
    (cd "$work" && "${CPACK:-cpack}" -G ZIP --config "$build/CPackConfig.cmake" -B "$work") >"$log" 2>&1 ||
        { cat "$log" >&2; fail "cpack -G ZIP failed"; }
    [ -f "$zip" ] || fail "cpack did not write $(basename "$zip")"

    local top="romfold-$version-win64" expected actual
    expected="$(printf "$top/%s\n" "$@" | sort)"
    actual="$(unzip -Z1 "$zip" | grep -v '/$' | sort)"
    if [ "$expected" != "$actual" ]; then
        diff <(echo "$expected") <(echo "$actual") >&2 || true
        fail "the zip's files differ from the expected list (< expected, > in the zip)"
    fi
    (cd "$work" && unzip -q "$zip") || fail "cannot unpack $(basename "$zip")"
    local source_dir
    source_dir="$(dirname "${BASH_SOURCE[0]}")/../.."
    # The text files a Windows user opens: every line ends in CR LF.
    cmp "$work/$top/LICENSE" <(sed 's/$/\r/' "$source_dir/LICENSE") || fail "the zip's LICENSE differs"
    cmp "$work/$top/README-windows.txt" <(sed 's/$/\r/' "$source_dir/packaging/README-windows.txt") ||
        fail "the zip's README-windows.txt differs"
    local page
    for page in romfold romfold-check; do
        local text="$work/$top/doc/$page.txt"
        ! grep -qv $'\r$' "$text" || fail "doc/$page.txt has lines without CR LF"
        ! LC_ALL=C grep -q $'[^\t\r -~]' "$text" || fail "doc/$page.txt holds bytes other than printable ASCII"
        grep -q "romfold $version" "$text" || fail "doc/$page.txt does not show version $version"
        for section in NAME SYNOPSIS DESCRIPTION DIAGNOSTICS "EXIT STATUS" EXAMPLES; do
            grep -qx "$section"$'\r' "$text" || fail "doc/$page.txt has no $section section"
        done
    done
    step_windows_version "$work/$top" "$version"
    ! grep -q '\.so\b' "$work/$top/lib/cmake/romfold/romfoldConfig.cmake" ||
        fail "the zip's romfoldConfig.cmake names .so files"
    local archive
    for archive in "$work/$top"/lib/libromfold_encoder.a "$work/$top"/lib/libromfold_decoder.a; do
        ! "$OBJDUMP" -h "$archive" | grep -q '\.debug_' || fail "$(basename "$archive") carries debug sections"
    done
    step_import_library "$work/$top/lib/romfold_encoder.lib" libromfold_encoder.dll "$ENCODER_CALLS"
    step_import_library "$work/$top/lib/romfold_decoder.lib" libromfold_decoder.dll "$DECODER_CALLS"

    # A consumer builds against the unpacked tree and runs on its DLL.
    step_cmake_consumer "$work/$top" "$consumer" "$work/consumer" "$version" "${CXX:-c++}" "" ""
}

# Every program and DLL under TREE/bin carries the version resource.
step_windows_version() {
    local tree="$1" version="$2"
    local copyright expected actual file name description
    copyright="$(grep -m1 '^Copyright ' "$(dirname "${BASH_SOURCE[0]}")/../../LICENSE"); MIT License"
    expected=""
    for file in romfold.exe romfold-check.exe libromfold_encoder.dll libromfold_decoder.dll; do
        case "$file" in
            romfold.exe) description="romfold: packs a release directory into nk.nbx" ;;
            romfold-check.exe) description="romfold-check: verifies, lists and extracts a packed image" ;;
            libromfold_encoder.dll) description="romfold block encoder library" ;;
            libromfold_decoder.dll) description="romfold decoder library" ;;
        esac
        name="${file%.*}"
        name="${name#lib}"
        expected+="$file $version.0 $version.0|ProductName=romfold|ProductVersion=$version|FileVersion=$version"
        expected+="|FileDescription=$description|CompanyName=The romfold developers|LegalCopyright=$copyright"
        expected+="|OriginalFilename=$file|InternalName=$name"$'\n'
    done
    actual="$(cd "$tree/bin" && run_target "$READER" romfold.exe romfold-check.exe libromfold_encoder.dll \
        libromfold_decoder.dll | tr -d '\r')" || true
    if [ "${expected%$'\n'}" != "$actual" ]; then
        diff <(echo "${expected%$'\n'}") <(echo "$actual") >&2 || true
        fail "the version resources differ (< expected, > read back)"
    fi
}

# An MSVC import library names DLL and imports exactly CALLS (','-separated).
step_import_library() {
    local library="$1" dll="$2" calls="$3"
    [ -f "$library" ] || fail "no $(basename "$library")"
    local imports wanted
    imports="$("$NM" "$library" | sed -n 's/^[0-9a-f]* I __imp_\(.*\)$/\1/p' | sort)"
    wanted="$(tr ',' '\n' <<<"$calls" | sort)"
    if [ "$imports" != "$wanted" ]; then
        diff <(echo "$wanted") <(echo "$imports") >&2 || true
        fail "$(basename "$library") imports other calls than the header's (< wanted, > imported)"
    fi
    grep -qa "$dll" "$library" || fail "$(basename "$library") does not name $dll"
}

# Built the way a Visual Studio user builds: the MSVC ABI and an MSVC-style
# linker, against the import libraries alone. kernel32's import library comes
# from a short definition file: no Windows SDK is at hand here.
step_msvc_consumer() {
    local tree="$1" source="$2" work="$3"
    rm -rf "$work"
    mkdir -p "$work"
    printf 'LIBRARY kernel32.dll\nEXPORTS\n    ExitProcess\n    GetStdHandle\n    WriteFile\n' >"$work/kernel32.def"
    run_quietly llvm-dlltool -m i386:x86-64 -d "$work/kernel32.def" -l "$work/kernel32.lib"
    run_quietly clang --target=x86_64-pc-windows-msvc -std=c99 -Wall -Wextra -Wpedantic -Werror -ffreestanding \
        -fno-stack-protector -O2 -I"$tree/include" -c "$source" -o "$work/msvc_consumer.obj"
    run_quietly lld-link /nologo /subsystem:console /entry:consumer_main /nodefaultlib \
        /out:"$work/msvc_consumer.exe" "$work/msvc_consumer.obj" "$tree/lib/romfold_encoder.lib" \
        "$tree/lib/romfold_decoder.lib" "$work/kernel32.lib"
    local imports
    imports="$("$OBJDUMP" -p "$work/msvc_consumer.exe")"
    grep -q "DLL Name: libromfold_encoder.dll" <<<"$imports" || fail "msvc_consumer does not import libromfold_encoder.dll"
    grep -q "DLL Name: libromfold_decoder.dll" <<<"$imports" || fail "msvc_consumer does not import libromfold_decoder.dll"
    local output
    output="$(DLLS="$tree/bin" run_target "$work/msvc_consumer.exe")" || fail "msvc_consumer: $output"
    [ "$output" = $'msvc_consumer: 65536 bytes through both DLLs and back\r' ] || fail "msvc_consumer printed '$output'"
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
    exports) step_exports "$@" ;;
    linux-soname) step_linux_soname "$@" ;;
    windows-zip) step_windows_zip "$@" ;;
    windows-version) step_windows_version "$@" ;;
    msvc-consumer) step_msvc_consumer "$@" ;;
    *) fail "unknown step '$step'" ;;
esac
