# Sourced by arm_decoder.sh and big_endian_decoder.sh: the decoder's device
# check (tests/decoder/device_check.c) cross-built for another CPU and run
# under qemu's user mode.
#   device_check_emulated CC QEMU OUT NAME [FLAG...]
# builds it with CC at -O2 and at -Os (which gets the decoder's small code),
# runs both on the seed corpora and compares their lines with
# tests/decoder/device_check.expected, then decodes the sample's packed image
# and compares it with the sample's segments joined. Calls the sourcing
# script's fail for each fault; run from the project's root.
device_check_emulated() {
    local cc="$1" qemu="$2" out="$3" name="$4"
    shift 4
    local files level status length
    mapfile -t files < <(LC_ALL=C ls -d tests/fuzz/corpus/packed_image_check/* | LC_ALL=C sort)
    mapfile -t -O "${#files[@]}" files < <(LC_ALL=C ls -d tests/fuzz/corpus/block_decoder/* | LC_ALL=C sort)
    for level in O2 Os; do
        "$cc" "$@" "-$level" -static decoder/fold_decoder.c tests/decoder/device_check.c -o "$out/device_check.$level"
        status=0
        "$qemu" "$out/device_check.$level" "${files[@]}" >"$out/device_check.$level.out" || status=$?
        [ "$status" -eq 0 ] || fail "device_check (-$level) under $qemu exited with $status"
        if ! cmp -s "$out/device_check.$level.out" tests/decoder/device_check.expected; then
            diff tests/decoder/device_check.expected "$out/device_check.$level.out" >&2 || true
            fail "device_check (-$level) under $qemu printed other lines than tests/decoder/device_check.expected (<)"
        fi
    done
    # The sample's packed image holds the sample's segments joined, up to the
    # image length of its nk.bin (little-endian on every host).
    "$qemu" "$out/device_check.Os" --image "$out/sample_image.bin" \
        tests/fuzz/corpus/packed_image_check/sample_nk.nbx >/dev/null || fail "device_check under $qemu failed on the sample"
    length="$(od -An -tu4 --endian=little -j11 -N4 sample/release/nk.bin | tr -d ' ')"
    cat sample/release/nk.nb* | head -c "$length" | cmp -s - "$out/sample_image.bin" ||
        fail "the sample image decoded under $qemu differs from its segments"
    echo "$name: $(wc -l <"$out/device_check.Os.out") files decoded under $qemu as on the host, at -O2 and -Os"
}
