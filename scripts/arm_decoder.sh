#!/usr/bin/env bash
# The decoder on the device's side, for 32-bit ARM:
#
#   1. freestanding Thumb-2 (arm-none-eabi-gcc -mthumb -mcpu=cortex-m3 -Os
#      -ffreestanding), warnings as errors: the object may call nothing but
#      memcpy and memset, and the code a loader gets for block
#      decoding and the walk must stay within the limit below: what
#      FoldDecodeBlock, FoldWalkBegin and FoldWalk reach, with the constant
#      tables they read (a relocatable link with --gc-sections of an object
#      built with -ffunction-sections -fdata-sections keeps exactly that).
#      The whole object's .text is printed beside it. The same symbol check
#      runs on a host object built with -ffreestanding -nostdlib;
#   2. scripts/decoder_calls.sh: the same two calls, and nothing else, for
#      every CPU, level, compiler and build of the decoder's matrix;
#   3. tests/decoder/device_check cross-built for Linux on ARM
#      (arm-linux-gnueabihf-gcc, static, once at -O2 and once at -Os, which
#      gets the decoder's small code) and run under qemu-arm on the seed
#      corpora (real nk.nbx and nbx.tmp files and compressed blocks written by
#      romfold): its output must equal tests/decoder/device_check.expected,
#      which the host build is held to as well, and the sample image it
#      decodes must equal the sample's segments joined.
#
#   scripts/arm_decoder.sh
#
# Installs its compilers and qemu with apt-get when missing. Builds into
# build/arm. Prints the code sizes; exits 1 on any failure.
set -euo pipefail

# The code of block decoding and the container and packed-image walk, in
# bytes of Thumb-2 at -Os, with its constant tables.
size_limit=1536
# The calls a loader that unpacks in pieces makes; the conveniences
# (FoldDecodeImage, the header readers, version, work size) and the decode of
# records handed out undecoded (FoldDecodeRecord) are left out.
entry_points=(FoldDecodeBlock FoldWalkBegin FoldWalk)

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/install-deps.sh gcc-arm-none-eabi gcc-arm-linux-gnueabihf libc6-dev-armhf-cross qemu-user

out="$root/build/arm"
mkdir -p "$out"
failed=0
fail() {
    echo "arm_decoder: $*" >&2
    failed=1
}

# Every undefined symbol of an object must be one of the two the decoder
# may call.
check_symbols() {
    local object="$1" nm="$2" undefined
    undefined="$("$nm" -u "$object" | awk '{ print $NF }' | grep -vxE 'memcpy|memset' || true)"
    [ -z "$undefined" ] || fail "$(basename "$object") calls more than memcpy and memset: $undefined"
}

flags=(-std=c99 -Wall -Wextra -Wpedantic -Werror -DFOLD_DECODER_STATIC -I"$root/decoder/include")

thumb=(-mthumb -mcpu=cortex-m3 -Os -ffreestanding)
arm-none-eabi-gcc "${flags[@]}" "${thumb[@]}" -c decoder/fold_decoder.c -o "$out/fold_decoder.thumb.o"
check_symbols "$out/fold_decoder.thumb.o" arm-none-eabi-nm
text="$(arm-none-eabi-size -A "$out/fold_decoder.thumb.o" | awk '$1 == ".text" { print $2 }')"

# Each function and table in a section of its own; the relocatable link
# keeps the sections that the entry points reach and drops the rest.
arm-none-eabi-gcc "${flags[@]}" "${thumb[@]}" -ffunction-sections -fdata-sections \
    -c decoder/fold_decoder.c -o "$out/fold_decoder.sections.o"
arm-none-eabi-ld -r --gc-sections "${entry_points[@]/#/--undefined=}" "$out/fold_decoder.sections.o" \
    -o "$out/fold_decoder.walk.o"
for symbol in "${entry_points[@]}"; do
    arm-none-eabi-nm --defined-only "$out/fold_decoder.walk.o" | awk '{ print $NF }' | grep -qx "$symbol" ||
        fail "$symbol is missing from the kept code"
done
walk="$(arm-none-eabi-size -A "$out/fold_decoder.walk.o" |
    awk '$1 ~ /^\.(text|rodata)($|\.)/ { sum += $2 } END { print sum + 0 }')"
echo "arm_decoder: Thumb-2 code (-Os) of block decoding and the walk: $walk bytes, limit $size_limit"
arm-none-eabi-nm --size-sort -S -t d "$out/fold_decoder.walk.o" | awk '$3 ~ /^[TtRr]$/ { printf "  %5d  %s\n", $2, $4 }'
echo "arm_decoder: the whole object's code (.text): $text bytes"
[ "$walk" -gt 0 ] && [ "$walk" -le "$size_limit" ] ||
    fail "the Thumb-2 code of block decoding and the walk is $walk bytes, above the limit of $size_limit"

cc -std=c99 -Wall -Wextra -Wpedantic -Werror -DFOLD_DECODER_STATIC -I"$root/decoder/include" -O2 \
    -ffreestanding -nostdlib -c decoder/fold_decoder.c -o "$out/fold_decoder.host.o"
check_symbols "$out/fold_decoder.host.o" nm

scripts/decoder_calls.sh || fail "the decoder calls more than its two routines in some builds (above)"

# shellcheck source=scripts/device_check_emulated.sh
. scripts/device_check_emulated.sh
device_check_emulated arm-linux-gnueabihf-gcc qemu-arm "$out" arm_decoder "${flags[@]}"

echo "arm_decoder: $((1 - failed)) passed, $failed failed"
exit "$failed"
