#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz (preset "fuzz": clang, libFuzzer, the
# address and undefined-behaviour sanitizers) and runs each one in turn for a
# bounded time, on a copy of its seed corpus in build/fuzz/corpus-work (so the
# tree stays clean). Fails on any finding: a crash, a broken property, a leak,
# a timeout or running out of memory.
#
#   scripts/fuzz.sh [seconds-per-target [target...]]
#
# Seconds default to 60; targets (encoder_round_trip, block_decoder,
# block_decoder_small_code, block_decoder_32bit, image_walk,
# packed_image_check) default to all. Findings are saved under
# build/fuzz/findings/<target>/, the fuzzer's output under build/fuzz/logs/.
# With CI set in the environment, compiler warnings are errors.
set -euo pipefail

seconds="${1:-60}"
shift $(($# > 0 ? 1 : 0))
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

# clang and its runtime libraries (libFuzzer, the sanitizers).
scripts/install-deps.sh clang libclang-rt-14-dev

# The longest input each target takes: its header and one 64 KB block, and
# for the walk and the checker a container of two stored blocks.
declare -A max_len=([encoder_round_trip]=65546 [block_decoder]=65600 [block_decoder_small_code]=65600
    [block_decoder_32bit]=65600 [image_walk]=140003 [packed_image_check]=140000)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(encoder_round_trip block_decoder block_decoder_small_code block_decoder_32bit image_walk
    packed_image_check)
for target in "${targets[@]}"; do
    if [ -z "${max_len[$target]:-}" ]; then
        echo "unknown fuzz target: $target" >&2
        exit 2
    fi
done

werror=OFF
if [ -n "${CI:-}" ]; then
    werror=ON
fi
cmake --preset fuzz -DROMFOLD_WERROR="$werror"
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]/%/_fuzz}"

build="$root/build/fuzz"
mkdir -p "$build/logs"
failed=()
report=()
for target in "${targets[@]}"; do
    corpus="$build/corpus-work/$target"
    findings="$build/findings/$target"
    log="$build/logs/$target.log"
    rm -rf "$corpus" "$findings"
    mkdir -p "$corpus" "$findings"
    # The other builds of the block decoder share the block decoder's seeds.
    seeds="${target%_small_code}"
    cp tests/fuzz/corpus/"${seeds%_32bit}"/* "$corpus"/

    echo
    echo "== $target: ${seconds}s"
    status=0
    started=$SECONDS
    "$build/tests/fuzz/${target}_fuzz" "$corpus" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=128 -malloc_limit_mb=64 \
        -max_len="${max_len[$target]}" -print_final_stats=1 -artifact_prefix="$findings/" \
        >"$log" 2>&1 || status=$?
    elapsed=$((SECONDS - started))

    executions="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
    report+=("$(printf '%-20s %12s executions in %ss' "$target" "${executions:-?}" "$elapsed")")
    if [ "$status" -ne 0 ]; then
        failed+=("$target")
        echo "$target: finding (exit status $status); the end of $log:"
        tail -n 60 "$log"
        ls -l "$findings"
    else
        echo "$target: no finding, ${executions:-?} executions"
    fi
done

echo
printf '%s\n' "${report[@]}"
if [ ${#failed[@]} -ne 0 ]; then
    echo "findings in: ${failed[*]} (reproducers in build/fuzz/findings/)"
fi
# One line per run in the form test runners close with: targets without a
# finding passed.
echo "fuzz: $((${#targets[@]} - ${#failed[@]})) passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
