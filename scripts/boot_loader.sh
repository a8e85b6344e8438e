#!/usr/bin/env bash
# Boots the reference loader of examples/loader-mps2 on QEMU's Cortex-M3
# board (mps2-an385) with real packed images in its flash:
#
#   1. scripts/make_boot_images.py packs the sample and a few generated
#      release directories with romfold (stored blocks, blocks that end in
#      literals, a larger image; splash screens, one at an odd offset) and
#      damages the sample three ways; for each it writes the lines the loader
#      must print, with CRC-32s computed on the host from the release files;
#   2. the loader is built with arm-none-eabi-gcc at -Os, without a C library
#      (-nostdlib: it brings its own memcpy and memset, the decoder's only
#      calls), and linked once per image, nk.nbx placed in flash;
#   3. each runs under qemu-system-arm with semihosting, with a timeout: it
#      unpacks the image from flash, in place, and in 512-byte pages, and
#      must print exactly the expected lines and end with status 0, or for a
#      damaged image name its fault, not start it, and end with status 1.
#
#   scripts/boot_loader.sh
#
# Installs its compiler and qemu with apt-get when missing; builds romfold in
# build/default when it is not there. Works in build/boot. Exits 1 on any
# failure.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/install-deps.sh gcc-arm-none-eabi qemu-system-arm python3

romfold="$root/build/default/app/romfold"
if [ ! -x "$romfold" ]; then
    cmake --preset default >/dev/null
    cmake --build build/default -j 2 --target romfold >/dev/null
fi

out="$root/build/boot"
rm -rf "$out"
mkdir -p "$out/obj"
python3 scripts/make_boot_images.py "$romfold" "$out/images"

example=examples/loader-mps2
flags=(-std=c99 -Wall -Wextra -Wpedantic -Werror -mthumb -mcpu=cortex-m3 -Os -ffreestanding -ffunction-sections
    -fdata-sections -fno-tree-loop-distribute-patterns -DFOLD_DECODER_STATIC -Idecoder/include)
objects=()
for source in "$example"/startup.c "$example"/semihosting.c "$example"/memory.c "$example"/loader.c \
    decoder/fold_decoder.c; do
    object="$out/obj/$(basename "$source" .c).o"
    arm-none-eabi-gcc "${flags[@]}" -c "$source" -o "$object"
    objects+=("$object")
done

failed=0
passed=0
while read -r name; do
    dir="$out/images/$name"
    arm-none-eabi-gcc "${flags[@]}" -DNBX_FILE="\"$dir/nk.nbx\"" -c "$example/partition.S" -o "$dir/partition.o"
    arm-none-eabi-gcc "${flags[@]}" -nostdlib -Wl,--gc-sections -T "$example/mps2_an385.ld" "${objects[@]}" \
        "$dir/partition.o" -o "$dir/loader.elf"
    status=0
    timeout 60 qemu-system-arm -M mps2-an385 -nographic -chardev file,id=console,path="$dir/console.txt" \
        -semihosting-config enable=on,target=native,chardev=console -kernel "$dir/loader.elf" \
        </dev/null >"$dir/qemu.txt" 2>&1 || status=$?
    expected_status=1
    [ "$(tail -n 1 "$dir/expected.txt")" = "loader: starting the image" ] && expected_status=0
    if ! cmp -s "$dir/expected.txt" "$dir/console.txt"; then
        echo "boot_loader: $name: the loader printed other lines than expected (<):" >&2
        diff "$dir/expected.txt" "$dir/console.txt" >&2 || true
        cat "$dir/qemu.txt" >&2
        failed=$((failed + 1))
    elif [ "$status" -ne "$expected_status" ]; then
        echo "boot_loader: $name: the run ended with status $status, not $expected_status" >&2
        cat "$dir/qemu.txt" >&2
        failed=$((failed + 1))
    else
        echo "boot_loader: $name: $(tail -n 1 "$dir/console.txt" | sed 's/^loader: //'), as expected"
        passed=$((passed + 1))
    fi
done <"$out/images/cases.txt"

echo "boot_loader: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
