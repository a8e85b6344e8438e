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
# shellcheck source=scripts/device_check_emulated.sh
. scripts/device_check_emulated.sh
device_check_emulated powerpc-linux-gnu-gcc qemu-ppc "$out" big_endian_decoder "${flags[@]}"

echo "big_endian_decoder: $((1 - failed)) passed, $failed failed"
exit "$failed"
