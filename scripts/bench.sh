#!/usr/bin/env bash
# Benchmarks romfold against gzip, lz4, zstd and xz on the benchmark corpus
# (and, in memory, against lz4 on an image of ARM shared libraries too; and
# its decoder against lz4's; and on one worker and several beside lz4 and
# zstd -T0) and rewrites BENCHMARKS.md,
# bench/benchmarks.svg and bench/results.tsv.
#
#   scripts/bench.sh
#
# Steps: install what is missing (apt-get, through sudo when not root), build
# the default preset, build the corpus release directory under build/bench/
# (packages cached in ${XDG_CACHE_HOME:-$HOME/.cache}/romfold-bench), wait for
# the machine to be quiet, then measure everything in one run (bench/compare.py).
#
# Environment: BENCH_REPETITIONS (7), BENCH_WAIT_LOAD (0.5: the 1-minute load
# average to wait for), BENCH_MAX_WAIT (600 seconds; the run goes ahead after
# that and the load is recorded either way).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
repetitions="${BENCH_REPETITIONS:-7}"
wait_load="${BENCH_WAIT_LOAD:-0.5}"
max_wait="${BENCH_MAX_WAIT:-600}"
work="$root/build/bench"

# Package that provides each command the run needs.
declare -A provider=(
    [cmake]=cmake [g++]=g++ [make]=make [python3]=python3
    [gzip]=gzip [lz4]=lz4 [zstd]=zstd [xz]=xz-utils [/usr/bin/time]=time [dpkg-deb]=dpkg
    [i686-linux-gnu-g++]=g++-i686-linux-gnu
)
missing=()
for command in "${!provider[@]}"; do
    command -v "$command" >/dev/null 2>&1 || missing+=("${provider[$command]}")
done
if [ ${#missing[@]} -ne 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake --preset default
cmake --build --preset default --target romfold romfold-check romfold_bench romfold_decode_bench
bench/build_decoder_variants.sh "$work/decoder-builds"

mkdir -p "$work"
python3 scripts/make_bench_corpus.py --shared-libraries "$work/release-shared" "$work/release" |
    tee "$work/corpus.txt"

# Wait for the building (ours or anyone's) to settle.
waited=0
while :; do
    load="$(cut -d' ' -f1 /proc/loadavg)"
    if awk -v l="$load" -v t="$wait_load" 'BEGIN { exit !(l < t) }'; then break; fi
    if [ "$waited" -ge "$max_wait" ]; then
        echo "Load still $load after ${waited}s; measuring anyway."
        break
    fi
    echo "Load $load, waiting for below $wait_load..."
    sleep 15
    waited=$((waited + 15))
done
load_before="$(cut -d' ' -f1-3 /proc/loadavg)"

python3 bench/compare.py \
    --romfold build/default/app/romfold \
    --bench build/default/bench/romfold_bench \
    --release "$work/release" \
    --release-shared "$work/release-shared" \
    --work "$work" \
    --corpus-info "$work/corpus.txt" \
    --repetitions "$repetitions" \
    --load-before "$load_before" \
    --markdown BENCHMARKS.md \
    --tsv bench/results.tsv \
    --svg bench/benchmarks.svg
# Decoding beside lz4, the last section of BENCHMARKS.md, on the release
# directory packed once (its nk.tmp and nk.nbx; the corpus comes without them).
build/default/app/romfold "$work/release" >/dev/null
python3 bench/decode_compare.py --bench build/default/bench/romfold_decode_bench --release "$work/release" \
    --variant i686="$work/decoder-builds/decode_bench.i686" \
    --variant named_routines="$work/decoder-builds/decode_bench.named_routines" \
    --variant small_code="$work/decoder-builds/decode_bench.small_code" \
    --markdown BENCHMARKS.md
# One worker and several, beside lz4 and zstd -T0, after the Decoding section.
python3 bench/workers_compare.py --romfold build/default/app/romfold --check build/default/tools/romfold-check \
    --bench build/default/bench/romfold_bench \
    --release "$work/release" --work "$work/workers" --markdown BENCHMARKS.md --rounds "$repetitions"
echo "Wrote BENCHMARKS.md, bench/results.tsv and bench/benchmarks.svg."
