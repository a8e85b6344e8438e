#!/usr/bin/env bash
# Runs romfold on large release directories and checks what it promises
# there, which the test suite cannot afford on every run:
#   1. an image of 4,294,967,295 bytes (the largest nk.bin can claim) over two
#      sparse segments: packed, verified by romfold-check against nk.tmp;
#   2. peak memory (maximum resident set size, from /usr/bin/time -v) on a
#      16 MB and a 512 MB image of the same content: equal within a small
#      margin, since every file stage streams through fixed buffers.
# Needs about 6 GB of free disk in the scratch folder (ROMFOLD_LARGE_DIR,
# default build/large), which it removes again at the end.
#   scripts/large_inputs.sh
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
scratch="${ROMFOLD_LARGE_DIR:-$root/build/large}"
margin_kb=512

scripts/install-deps.sh time python3
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target romfold romfold-check >/dev/null
romfold="$root/build/default/app/romfold"
check="$root/build/default/tools/romfold-check"

rm -rf "$scratch"
mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT
free_kb=$(df -Pk "$scratch" | awk 'NR == 2 { print $4 }')
if [ "$free_kb" -lt $((6 * 1024 * 1024)) ]; then
    echo "large_inputs: needs 6 GB free in $scratch, has $((free_kb / 1024)) MB" >&2
    exit 1
fi

failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}

# nk.bin with the given image length.
kernel_image() {
    python3 -c 'import struct, sys; sys.stdout.buffer.write(b"B000FF\n" + struct.pack("<II", 0x80200000, int(sys.argv[1])))' "$1"
}

# Runs romfold on $1 under /usr/bin/time -v; sets out, status, rss_kb, seconds.
run_measured() {
    local dir="$1"
    set +e
    out="$(/usr/bin/time -v -o "$dir.time" "$romfold" "$dir")"
    status=$?
    set -e
    rss_kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$dir.time")
    seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ { print $2 }' "$dir.time")
}

echo "== image of 4294967295 bytes over sparse segments"
dir="$scratch/largest"
mkdir "$dir"
kernel_image 4294967295 >"$dir/nk.bin"
truncate -s 2147483648 "$dir/nk.nb0"
truncate -s 2147483648 "$dir/nk.nb1"
run_measured "$dir"
[ "$status" -eq 0 ] || fail "romfold ended with $status"
nbx_size=$(stat -c %s "$dir/nbx.tmp")
expected="Image in $dir/nk.bin is -1bytes"$'\r\n'"Merging $dir/nk.nb0."$'\r\n'"Merging $dir/nk.nb1."$'\r\n'
expected+=$'\n'"Input file size : -1 bytes"$'\n'"Output file size: $nbx_size bytes"$'\n'
expected+="Gain            : $(python3 -c "print('%.2f' % ((1 - $nbx_size / -1) * 100))")%"$'\n'
expected+="Splash screen $dir/splash.tss not available."$'\r\n'"Image file $dir/nk.nbx generated successfully"
[ "$out" == "$expected" ] || fail "unexpected output:"$'\n'"$out"
[ "$(stat -c %s "$dir/nk.tmp")" -eq 4294967295 ] || fail "nk.tmp is not 4294967295 bytes"
"$check" -c "$dir/nk.tmp" "$dir/nk.nbx" || fail "romfold-check rejects the packed image"
echo "packed in $seconds, peak memory $rss_kb KB, nbx.tmp $nbx_size bytes"
rm -rf "$dir"

echo "== peak memory against image size"
python3 - "$scratch/pattern" <<'EOF'
# 1 MiB of mixed content: text, code-like bytes, zero runs and noise.
import random, sys
rng = random.Random(20261210)
words = [b"kernel ", b"segment ", b"0x80200000 ", b"loader\r\n", b"table ", b"driver "]
out = bytearray()
while len(out) < 1 << 20:
    kind = rng.randrange(4)
    if kind == 0:
        out += b"".join(rng.choice(words) for _ in range(64))
    elif kind == 1:
        out += bytes(rng.choice((0xE5, 0x9F, 0x00, 0x10, 0xE3, 0xA0)) for _ in range(512))
    elif kind == 2:
        out += bytes(rng.randrange(1, 2048))
    else:
        out += rng.randbytes(256)
open(sys.argv[1], "wb").write(out[: 1 << 20])
EOF
declare -A peak
for mb in 16 512; do
    dir="$scratch/image$mb"
    mkdir "$dir"
    kernel_image $((mb << 20)) >"$dir/nk.bin"
    for segment in 0 1 2 3; do
        for _ in $(seq $((mb / 4))); do cat "$scratch/pattern"; done >"$dir/nk.nb$segment"
    done
    cp sample/release/splash.tss "$dir/"
    run_measured "$dir"
    [ "$status" -eq 0 ] || fail "romfold on the $mb MB image ended with $status"
    "$check" -c "$dir/nk.tmp" "$dir/nk.nbx" >/dev/null || fail "romfold-check rejects the $mb MB packed image"
    peak[$mb]=$rss_kb
    echo "$mb MB image: packed in $seconds, peak memory $rss_kb KB"
    rm -rf "$dir"
done
difference=$((peak[512] - peak[16]))
echo "peak memory difference: ${difference#-} KB (allowed: $margin_kb KB)"
[ "${difference#-}" -le "$margin_kb" ] || fail "peak memory grows with the image size"

[ "$failed" -eq 0 ] && echo "large_inputs: all checks passed"
exit "$failed"
