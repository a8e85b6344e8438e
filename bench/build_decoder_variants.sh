#!/usr/bin/env bash
# Builds romfold_decode_bench with the decoder built as devices get it, for
# the comparison in BENCHMARKS.md's decoding section (bench/decode_compare.py
# --variant), each at -O2 like the default build:
#
#   i686            32-bit x86 (i686-linux-gnu-g++ -static): the fast loop in
#                   32-bit operations. gcc -m32 would do as well, but
#                   gcc-multilib conflicts with Debian's cross compilers;
#   named_routines  memcpy and memset replaced by routines of a loader's own
#                   (FOLD_MEMCPY, FOLD_MEMSET), in a file of their own;
#   small_code      FOLD_SMALL_CODE=1, the code -Os builds get.
#
#   bench/build_decoder_variants.sh OUTPUT_DIRECTORY
#
# Run by scripts/bench.sh, which installs the compilers.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$1"
mkdir -p "$out"
cd "$root"
c=(-std=c99 -O2 -DFOLD_DECODER_STATIC -Idecoder/include)
cxx=(-std=c++20 -O2 -DFOLD_DECODER_STATIC -Idecoder/include)

i686-linux-gnu-gcc "${c[@]}" -c decoder/fold_decoder.c -o "$out/fold_decoder.i686.o"
i686-linux-gnu-g++ "${cxx[@]}" -static bench/decode_bench.cpp "$out/fold_decoder.i686.o" -o "$out/decode_bench.i686"

gcc "${c[@]}" -DFOLD_MEMCPY=loader_memcpy -DFOLD_MEMSET=loader_memset -c decoder/fold_decoder.c \
    -o "$out/fold_decoder.named_routines.o"
gcc -std=c99 -O2 -c tests/decoder/named_routines.c -o "$out/named_routines.o"
g++ "${cxx[@]}" bench/decode_bench.cpp "$out/fold_decoder.named_routines.o" "$out/named_routines.o" \
    -o "$out/decode_bench.named_routines"

gcc "${c[@]}" -DFOLD_SMALL_CODE=1 -c decoder/fold_decoder.c -o "$out/fold_decoder.small_code.o"
g++ "${cxx[@]}" bench/decode_bench.cpp "$out/fold_decoder.small_code.o" -o "$out/decode_bench.small_code"
