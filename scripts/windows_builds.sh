#!/usr/bin/env bash
# The Windows builds other than the cross preset, as Windows users configure
# them (run by CI after scripts/test.sh windows):
#  - MinGW named directly, without the project's toolchain file, the way a
#    native MinGW user configures (Debian's default MinGW, whose threads are
#    the win32 model), tools and libraries only: it must build, warning-free;
#  - the programs and DLLs of that build and of the cross preset's
#    (build/windows, when it exists) import nothing but the system's DLLs;
#  - an MSVC-style configure (clang-cl, lld-link, llvm-rc, Ninja): it must
#    generate a build in which no file is made by two rules. Without
#    Windows SDK and MSVC runtime here it is not compiled: a real Visual
#    Studio build is not tested.
#   scripts/windows_builds.sh
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/install-deps.sh g++-mingw-w64-x86-64-win32 gcc-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 \
    clang lld llvm ninja-build

werror=OFF
if [ -n "${CI:-}" ]; then
    werror=ON
fi

echo "windows_builds: MinGW named directly (build/mingw-native)"
cmake -S . -B build/mingw-native -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_C_COMPILER=x86_64-w64-mingw32-gcc -DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++ \
    -DCMAKE_RC_COMPILER=x86_64-w64-mingw32-windres -DCMAKE_BUILD_TYPE=Release \
    -DROMFOLD_BUILD_TESTS=OFF -DROMFOLD_WERROR="$werror" >/dev/null
cmake --build build/mingw-native -j "$(nproc)" >/dev/null

# The system's own DLLs: whatever else a program imports would have to be
# installed beside it.
system_dlls='^(kernel32|msvcrt|shell32|advapi32|user32|version|ws2_32|bcrypt|ntdll|ucrtbase|api-ms-win-.*)\.dll$'
checked=0
for build in build/mingw-native build/windows; do
    [ -d "$build" ] || continue
    while IFS= read -r -d '' binary; do
        while read -r dll; do
            if ! grep -qiE "$system_dlls" <<<"$dll"; then
                echo "windows_builds: $binary imports $dll, which is not a system DLL" >&2
                exit 1
            fi
        done < <(x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/^[[:space:]]*DLL Name: //p')
        checked=$((checked + 1))
    done < <(find "$build" \( -name '*.exe' -o -name '*.dll' \) -not -path '*/scratch/*' -not -path '*/CMakeFiles/*' \
        -print0)
done
[ "$checked" -gt 0 ] || { echo "windows_builds: no program or DLL found" >&2; exit 1; }
echo "windows_builds: $checked programs and DLLs import only system DLLs"

# The windows preset configures without Wine when no test is built (the zip
# needs none): Wine is hidden in a mount namespace of this script's own.
echo "windows_builds: the windows preset without Wine (build/windows-no-wine)"
rm -rf build/windows-no-wine
configure_without_wine=(cmake --preset windows -B build/windows-no-wine -DROMFOLD_BUILD_TESTS=OFF)
if unshare --mount true 2>/dev/null; then
    # shellcheck disable=SC2016 # expanded by the inner shell
    unshare --mount bash -c 'for program in /usr/bin/wine*; do mount --bind /dev/null "$program"; done; "$@"' \
        hide-wine "${configure_without_wine[@]}" >build/no-wine.log 2>&1 || { cat build/no-wine.log >&2; exit 1; }
else
    "${configure_without_wine[@]}" >build/no-wine.log 2>&1 || { cat build/no-wine.log >&2; exit 1; }
fi
! grep -q '^ROMFOLD_WINE' build/windows-no-wine/CMakeCache.txt ||
    { echo "windows_builds: a configure without tests looked for Wine" >&2; exit 1; }

echo "windows_builds: MSVC-style configure (build/msvc)"
clang_cl="$(command -v clang-cl || command -v clang-cl-14)"
rm -rf build/msvc
# No MSVC runtime to link a test program against: the compilers are taken as
# they are.
cmake -S . -B build/msvc -G Ninja -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=AMD64 \
    -DCMAKE_C_COMPILER="$clang_cl" -DCMAKE_CXX_COMPILER="$clang_cl" -DCMAKE_LINKER=lld-link \
    -DCMAKE_RC_COMPILER=llvm-rc -DCMAKE_MT=llvm-mt -DCMAKE_C_COMPILER_WORKS=ON -DCMAKE_CXX_COMPILER_WORKS=ON \
    -DCMAKE_BUILD_TYPE=Release -DROMFOLD_BUILD_TESTS=OFF -Wno-dev >build/msvc-configure.log 2>&1 ||
    { cat build/msvc-configure.log >&2; exit 1; }
# Ninja reads the whole build when it plans one, and refuses a file that two
# rules make ("multiple rules generate").
ninja -C build/msvc -n >build/msvc-plan.log 2>&1 || { cat build/msvc-plan.log >&2; exit 1; }
for file in encoder/romfold_encoder.lib encoder/romfold_encoder_static.lib decoder/romfold_decoder.lib \
    decoder/romfold_decoder_static.lib; do
    grep -q "^build [^:]*$file[ :]" build/msvc/build.ninja ||
        { echo "windows_builds: the MSVC build makes no $file" >&2; exit 1; }
done
echo "windows_builds: the MSVC build plans $(grep -c '^build ' build/msvc/build.ninja) steps, none made twice"
# The version resources need no SDK: llvm-rc compiles them as rc would.
mapfile -t resources < <(sed -n 's/^build \([^:]*\.rc\.res\):.*/\1/p' build/msvc/build.ninja)
[ ${#resources[@]} -eq 4 ] || { echo "windows_builds: ${#resources[@]} version resources, not 4" >&2; exit 1; }
ninja -C build/msvc "${resources[@]}" >build/msvc-resources.log 2>&1 || { cat build/msvc-resources.log >&2; exit 1; }
echo "windows_builds: llvm-rc compiles the ${#resources[@]} version resources"
