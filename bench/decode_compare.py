#!/usr/bin/env python3
"""Measures in-memory decoding of the benchmark image beside lz4 and writes
the "Decoding" section at the end of BENCHMARKS.md.

In one run, ROUNDS times in turn: romfold_decode_bench on nk.nbx (the
decoder library, whole image in memory), then `lz4 -b1` and `lz4 -b9` on
nk.tmp (lz4's own in-memory benchmark, whose second figure is its decoding
speed). Each tool's figure is the median over the rounds. MB are 10^6 bytes
of decoded image per second. Then it counts the items of nk.nbx and the
sequences of the faster lz4 level's frame, and gives both speeds as time per
match (per sequence for lz4). Each --variant (romfold_decode_bench linked with
another build of the decoder, bench/build_decoder_variants.sh) runs in the
same rounds, right after the default build, and is shown beside it.

Usage: decode_compare.py --bench BIN --release DIR --markdown FILE [--rounds N]
                         [--variant NAME=BIN ...]
"""

import argparse
import os
import re
import statistics
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare import hand_notes  # noqa: E402
from stream_counts import lz4_sequences, romfold_items  # noqa: E402

SECTION = "## Decoding"
TARGET = 0.7
# The other builds of the decoder: what each is, and the least fraction of
# the default build's speed it must keep.
VARIANTS = {
    "i686": ("32-bit x86, `i686-linux-gnu-g++ -static` (`gcc -m32` needs gcc-multilib, "
             "which conflicts with Debian's cross compilers)", 0.8),
    "named_routines": ("x86-64, `FOLD_MEMCPY`/`FOLD_MEMSET` naming routines in a file of their own", 0.9),
    "small_code": ("x86-64, `FOLD_SMALL_CODE=1` (the code `-Os` builds get)", None),
}


def lz4_decode_speed(level, image):
    """lz4 -b's decoding speed in MB/s: the last of the figures it prints."""
    run = subprocess.run(["lz4", f"-b{level}", "-i2", image], capture_output=True, text=True, check=True)
    speeds = re.findall(r"([0-9.]+) MB/s", run.stdout + run.stderr)
    return float(speeds[-1])


def ours(bench, packed):
    run = subprocess.run([bench, "--repetitions", "15", packed], capture_output=True, text=True, check=True)
    result = {}
    for line in run.stdout.splitlines():
        name, size, median, fastest, mb_per_s = line.split("\t")
        # lz4 -b reports its fastest pass; so does this figure.
        result[name] = int(size) / float(fastest) / 1e6
    return result


def per_item_lines(packed, image, medians, ours_strict):
    """The table of what each decoder walks, with its time per match."""
    level = 1 if medians["`lz4 -b1` (decoding)"] > medians["`lz4 -b9` (decoding)"] else 9
    lz4_speed = medians[f"`lz4 -b{level}` (decoding)"]
    with open(packed, "rb") as f:
        items = romfold_items(f.read())
    frame = subprocess.run(["lz4", f"-{level}", "-c", image], capture_output=True, check=True).stdout
    sequences = lz4_sequences(frame)
    image_bytes = os.path.getsize(image)
    # Both walks must account for every byte of the image, or they miscounted.
    if items["bytes"] != image_bytes or sequences["bytes"] != image_bytes:
        sys.exit(f"stream_counts: {items['bytes']} and {sequences['bytes']} bytes counted, image {image_bytes}")

    def ns_per(speed, count):
        return image_bytes / (speed * 1e6) / count * 1e9

    ours_ns = ns_per(ours_strict, items["matches"])
    lz4_ns = ns_per(lz4_speed, sequences["sequences"])
    wanted_ns = ns_per(TARGET * lz4_speed, items["matches"])
    return [
        "What each decoder walks through (`bench/stream_counts.py`), and the time per",
        "match (lz4: per sequence, a literal run and a match) at the speeds above:",
        "",
        "| Stream | Matches | Literals | Length extensions | ns per match |",
        "|---|---:|---:|---:|---:|",
        f"| `nk.nbx` | {items['matches']:,} | {items['literals']:,} (in {items['groups']:,} flag words) "
        f"| {items['extended']:,} | {ours_ns:.2f} |",
        f"| `lz4 -{level}` frame | {sequences['sequences']:,} | {sequences['literal_bytes']:,} (in runs) "
        f"| {sequences['extensions']:,} | {lz4_ns:.2f} |",
        "",
        f"{items['three_byte'] / items['matches']:.0%} of the matches are 3 bytes long, shorter than lz4's "
        f"shortest (4). The format describes the image in {items['matches'] / sequences['sequences']:.2f} times "
        f"as many matches as lz4 does: {TARGET}x of lz4's speed means {wanted_ns:.2f} ns per match, "
        f"{wanted_ns / lz4_ns:.2f} times lz4's time per sequence.",
        "",
    ]


def build_lines(builds, rounds):
    """The table of the decoder's builds beside the default one."""
    default = statistics.median(builds["default"])
    lines = [
        "The decoder's builds as devices get them (`bench/build_decoder_variants.sh`),",
        f"`FoldDecodeImage` in the same {rounds} rounds, each build right after the",
        "default one (x86-64, `-O2`, the C library's `memcpy` and `memset`): the",
        "median, and the range over the rounds.",
        "",
        "| Build | MB/s | Range | / default build | Target |",
        "|---|---:|---:|---:|---|",
    ]
    for name, speeds in builds.items():
        what, least = VARIANTS[name] if name in VARIANTS else ("default: x86-64, `-O2`", None)
        median = statistics.median(speeds)
        ratio = median / default
        target = "" if least is None else f"at least {least}x: {'met' if ratio >= least else 'not met'}"
        lines.append(f"| {what} | {median:.0f} | {min(speeds):.0f} to {max(speeds):.0f} | {ratio:.2f} | {target} |")
    return lines + [""]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bench", required=True)
    parser.add_argument("--release", required=True)
    parser.add_argument("--markdown", required=True)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--variant", action="append", default=[], metavar="NAME=BIN")
    args = parser.parse_args()
    variants = [v.split("=", 1) for v in args.variant]
    for name, _ in variants:
        if name not in VARIANTS:
            sys.exit(f"decode_compare: unknown variant {name}")
    packed = os.path.join(args.release, "nk.nbx")
    image = os.path.join(args.release, "nk.tmp")

    samples = {}
    builds = {"default": []}
    for _ in range(args.rounds):
        for name, speed in ours(args.bench, packed).items():
            samples.setdefault(name, []).append(speed)
        builds["default"].append(samples["FoldDecodeImage"][-1])
        for name, bench in variants:
            builds.setdefault(name, []).append(ours(bench, packed)["FoldDecodeImage"])
        for level in (1, 9):
            samples.setdefault(f"`lz4 -b{level}` (decoding)", []).append(lz4_decode_speed(level, image))
    medians = {name: statistics.median(values) for name, values in samples.items()}
    lz4_best = max(medians["`lz4 -b1` (decoding)"], medians["`lz4 -b9` (decoding)"])
    ours_strict = medians["FoldDecodeImage"]
    version = re.search(r"v[0-9.]+", subprocess.run(["lz4", "--version"], capture_output=True, text=True).stdout)
    version = f"lz4 {version.group(0)}" if version else "lz4"
    load = open("/proc/loadavg").read().split()[:3]

    lines = [
        SECTION,
        "",
        "In-memory decoding of the benchmark image (the 24 MiB `nk.tmp` above, packed",
        "by `romfold` into `nk.nbx`): the decoder library against lz4's own",
        f"benchmark, `lz4 -b1` and `lz4 -b9` on `nk.tmp` ({version}), in one run,",
        f"{args.rounds} rounds in turn. Each figure is the median over the rounds of",
        "the fastest pass in a round (`lz4 -b` reports its fastest pass); MB/s of",
        "decoded image, MB = 10^6 bytes.",
        f"1-minute load average at the end of the run: {' '.join(load)}.",
        "",
        "| Decoder | MB/s | / fastest lz4 |",
        "|---|---:|---:|",
    ]
    for name, speed in medians.items():
        lines.append(f"| {name} | {speed:.0f} | {speed / lz4_best:.2f} |")
    verdict = "met" if ours_strict / lz4_best >= TARGET else "not met"
    lines += [
        "",
        f"Target: decoding at least {TARGET}x the throughput of `lz4 -d`: "
        f"{ours_strict:.0f} MB/s against {lz4_best:.0f} MB/s, {ours_strict / lz4_best:.2f}x, {verdict}.",
        "",
        "`FoldDecodeImage` decodes the whole image with every strict check; the lenient",
        "mode skips the filler and padding checks; the walk takes the file in 64 KB",
        "pieces and decodes each block into one 64 KB buffer, as a loader reading",
        "flash does. `bench/decode_compare.py` (run by `scripts/bench.sh`) rewrites",
        "this section.",
        "",
    ]
    if variants:
        lines += build_lines(builds, args.rounds)
    lines += per_item_lines(packed, image, medians, ours_strict)
    notes = hand_notes("decode_profile.md")
    if notes is not None:
        lines += [notes, ""]
    with open(args.markdown) as f:
        text = f.read()
    at = text.find("\n" + SECTION + "\n")
    text = (text[:at + 1] if at >= 0 else text.rstrip("\n") + "\n\n") + "\n".join(lines)
    with open(args.markdown, "w") as f:
        f.write(text)
    print("\n".join(lines))


if __name__ == "__main__":
    main()
