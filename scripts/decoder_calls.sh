#!/usr/bin/env bash
# What the decoder calls, on every 32-bit ARM a loader is built for: nothing
# but memcpy and memset, or the two routines named by FOLD_MEMCPY and
# FOLD_MEMSET. Each build of the matrix
#
#   CPU        cortex-m0, cortex-m3, cortex-m4 (Thumb); cortex-a7 (Thumb, ARM)
#   compiler   arm-none-eabi-gcc; clang --target=arm-none-eabi, linked by lld
#   level      -Os and -O2 (clang: -Oz too)
#   code       FOLD_SMALL_CODE=0 and 1
#   routines   memcpy and memset; loader_memcpy and loader_memset named
#
# compiles the decoder freestanding, warnings as errors, and must
#   1. leave no undefined symbol but the two routines, and
#   2. link with -nostdlib (no C library, no compiler runtime) against a file
#      that defines only the two routines.
#
#   scripts/decoder_calls.sh
#
# Run by scripts/arm_decoder.sh. Installs its compilers with apt-get when
# missing. Builds into build/arm/calls. Prints each failing build and a
# summary; exits 1 on any failure.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/install-deps.sh gcc-arm-none-eabi clang lld

out="$root/build/arm/calls"
mkdir -p "$out"
targets=("cortex-m0 -mthumb" "cortex-m3 -mthumb" "cortex-m4 -mthumb" "cortex-a7 -mthumb" "cortex-a7 -marm")
flags=(-std=c99 -Wall -Wextra -Wpedantic -Werror -ffreestanding -DFOLD_DECODER_STATIC -I"$root/decoder/include")
builds=0
failures=0

# The two routines and nothing else, built without optimisation so that the
# compiler writes their loops as loops, not as calls to themselves.
write_routines() {
    local copy="$1" fill="$2"
    cat <<EOF
#include <stddef.h>
void* $copy(void* to, const void* from, size_t size) {
    unsigned char* d = (unsigned char*)to;
    const unsigned char* s = (const unsigned char*)from;
    while (size-- != 0) *d++ = *s++;
    return to;
}
void* $fill(void* to, int byte, size_t size) {
    unsigned char* d = (unsigned char*)to;
    while (size-- != 0) *d++ = (unsigned char)byte;
    return to;
}
EOF
}
write_routines memcpy memset >"$out/standard_routines.c"
write_routines loader_memcpy loader_memset >"$out/loader_routines.c"

for compiler in gcc clang; do
    if [ "$compiler" = gcc ]; then
        cc=(arm-none-eabi-gcc)
        link=()
        levels=(Os O2)
    else
        cc=(clang --target=arm-none-eabi)
        link=(-fuse-ld=lld)
        levels=(Os O2 Oz)
    fi
    for target in "${targets[@]}"; do
        read -r cpu isa <<<"$target"
        machine=(-mcpu="$cpu" "$isa")
        for routines in standard loader; do
            names=()
            allowed='memcpy|memset'
            if [ "$routines" = loader ]; then
                names=(-DFOLD_MEMCPY=loader_memcpy -DFOLD_MEMSET=loader_memset)
                allowed='loader_memcpy|loader_memset'
            fi
            "${cc[@]}" "${machine[@]}" -O0 -ffreestanding -c "$out/${routines}_routines.c" \
                -o "$out/$compiler.$cpu$isa.$routines.routines.o"
            for level in "${levels[@]}"; do
                for small in 0 1; do
                    build="$compiler $cpu $isa -$level FOLD_SMALL_CODE=$small $routines routines"
                    object="$out/$compiler.$cpu$isa.$level.$small.$routines.o"
                    builds=$((builds + 1))
                    if ! "${cc[@]}" "${machine[@]}" "-$level" "${flags[@]}" "${names[@]}" \
                        -DFOLD_SMALL_CODE="$small" -c decoder/fold_decoder.c -o "$object" 2>"$object.log"; then
                        echo "decoder_calls: $build: does not compile:" >&2
                        cat "$object.log" >&2
                        failures=$((failures + 1))
                        continue
                    fi
                    undefined="$(arm-none-eabi-nm -u "$object" | awk '{ print $NF }' | grep -vxE "$allowed" |
                        paste -sd ' ' || true)"
                    if [ -n "$undefined" ]; then
                        echo "decoder_calls: $build: calls $undefined" >&2
                        failures=$((failures + 1))
                    elif ! "${cc[@]}" "${machine[@]}" "${link[@]}" -nostdlib -Wl,--entry=FoldWalk "$object" \
                        "$out/$compiler.$cpu$isa.$routines.routines.o" -o "${object%.o}.elf" 2>"$object.log"; then
                        echo "decoder_calls: $build: does not link with only its two routines:" >&2
                        cat "$object.log" >&2
                        failures=$((failures + 1))
                    fi
                done
            done
        done
    done
done

echo "decoder_calls: $((builds - failures)) of $builds builds call nothing but their two routines"
[ "$failures" -eq 0 ]
