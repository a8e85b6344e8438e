#!/usr/bin/env bash
# The decoder on a big-endian CPU: tests/decoder/device_check cross-built for
# 32-bit PowerPC Linux (powerpc-linux-gnu-gcc, static, once at -O2 and once
# at -Os, which gets the decoder's small code), warnings as errors, and run
# under qemu-ppc on the seed corpora. Its output must equal
# tests/decoder/device_check.expected, as the host's and the ARM build's do,
# and the sample image it decodes must equal the sample's segments joined.
#
#   scripts/big_endian_decoder.sh
#
# Installs its compiler and qemu with apt-get when missing. Builds into
# build/big-endian. Exits 1 on any failure.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scripts/install-deps.sh gcc-powerpc-linux-gnu libc6-dev-powerpc-cross qemu-user

out="$root/build/big-endian"
mkdir -p "$out"
failed=0
fail() {
    echo "big_endian_decoder: $*" >&2
    failed=1
}

flags=(-std=c99 -Wall -Wextra -Wpedantic -Werror -DFOLD_DECODER_STATIC -I"$root/decoder/include")
mapfile -t files < <(LC_ALL=C ls -d tests/fuzz/corpus/packed_image_check/* | LC_ALL=C sort)
mapfile -t -O "${#files[@]}" files < <(LC_ALL=C ls -d tests/fuzz/corpus/block_decoder/* | LC_ALL=C sort)
for level in O2 Os; do
    powerpc-linux-gnu-gcc "${flags[@]}" "-$level" -static decoder/fold_decoder.c tests/decoder/device_check.c \
        -o "$out/device_check.$level"
    status=0
    qemu-ppc "$out/device_check.$level" "${files[@]}" >"$out/device_check.$level.out" || status=$?
    [ "$status" -eq 0 ] || fail "device_check (-$level) under qemu-ppc exited with $status"
    if ! cmp -s "$out/device_check.$level.out" tests/decoder/device_check.expected; then
        diff tests/decoder/device_check.expected "$out/device_check.$level.out" >&2 || true
        fail "device_check (-$level) under qemu-ppc printed other lines than tests/decoder/device_check.expected (<)"
    fi
done
# The sample's packed image holds the sample's segments joined, up to the
# image length of its nk.bin.
qemu-ppc "$out/device_check.O2" --image "$out/sample_image.bin" tests/fuzz/corpus/packed_image_check/sample_nk.nbx \
    >/dev/null || fail "device_check under qemu-ppc failed on the sample"
length="$(od -An -tu4 --endian=little -j11 -N4 sample/release/nk.bin | tr -d ' ')"
cat sample/release/nk.nb* | head -c "$length" | cmp -s - "$out/sample_image.bin" ||
    fail "the sample image decoded under qemu-ppc differs from its segments"
echo "big_endian_decoder: $(wc -l <"$out/device_check.O2.out") files decoded under qemu-ppc as on the host, at -O2 and -Os"

echo "big_endian_decoder: $((1 - failed)) passed, $failed failed"
exit "$failed"
