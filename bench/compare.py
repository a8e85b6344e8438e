#!/usr/bin/env python3
"""Measures romfold against the usual command-line compressors on one release
directory and writes the results: a TSV of every row, BENCHMARKS.md and the
chart (through chart.py).

In one run, on the same merged image:
  - the whole romfold run on one worker (ROMFOLD_THREADS=1; every entry here
    uses one thread), each time on a fresh copy of the release directory
    (the copy is not timed), under /usr/bin/time -v for the peak memory;
  - the same run with the image cut to 1 MiB (nk.bin's length) and grown to
    twice the size (the segments repeated), to show that peak memory does not
    grow with the image;
  - romfold_bench, the encoder alone at levels 0 to 9 in one process;
  - each reference command reading the merged image and writing to a file;
  - in memory, side by side: romfold_bench against `lz4 -b` (its own
    in-memory benchmark) at levels 1 and 9, on the merged image and on the
    image made only of ARM shared libraries (--release-shared).
The whole runs and the commands take turns, repetition by repetition, so that
a change of load on the machine touches them all alike. Times are wall-clock
medians; MB are 10^6 bytes.

Usage: compare.py --romfold BIN --bench BIN --release DIR --release-shared DIR
                  --work DIR --corpus-info FILE --markdown FILE --tsv FILE
                  --svg FILE [--repetitions N] [--load-before X]
"""

import argparse
import datetime
import os
import platform
import re
import shutil
import statistics
import struct
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import chart  # noqa: E402

# (label, argv before the input path). zstd and xz get -T1 so that every
# entry, like romfold, compresses on one thread.
REFERENCES = (
    ("gzip -9", ["gzip", "-9", "-c"]),
    ("gzip -6", ["gzip", "-6", "-c"]),
    ("lz4 -9", ["lz4", "-9", "-c"]),
    ("lz4 -1", ["lz4", "-1", "-c"]),
    ("zstd -3", ["zstd", "-3", "-T1", "-c"]),
    ("zstd -19", ["zstd", "-19", "-T1", "-c"]),
    ("xz -6", ["xz", "-6", "-T1", "-c"]),
)

# lz4's in-memory benchmark: (label, options). Its default block size is
# 4 MiB; -B4 gives independent 64 KB blocks, as romfold's are.
LZ4_IN_MEMORY = (
    ("lz4 -b1", ["-b1"]),
    ("lz4 -b1 -B4", ["-b1", "-B4"]),
    ("lz4 -b9", ["-b9"]),
    ("lz4 -b9 -B4", ["-b9", "-B4"]),
)

SMALL_IMAGE = 1024 * 1024
MEMORY_RUNS = 7


def run_timed(argv, stdout_path):
    """Runs argv under /usr/bin/time -v; returns (wall seconds, peak RSS KiB)."""
    with open(stdout_path, "wb") as out:
        start = time.perf_counter()
        done = subprocess.run(["/usr/bin/time", "-v"] + argv, stdout=out, stderr=subprocess.PIPE)
        seconds = time.perf_counter() - start
    stderr = done.stderr.decode(errors="replace")
    if done.returncode != 0:
        sys.exit(f"compare.py: {' '.join(argv)} failed with status {done.returncode}\n{stderr}")
    match = re.search(r"Maximum resident set size \(kbytes\): (\d+)", stderr)
    if match is None:
        sys.exit(f"compare.py: no peak memory in /usr/bin/time output for {' '.join(argv)}")
    return seconds, int(match.group(1))


def fresh_copy(release, target):
    shutil.rmtree(target, ignore_errors=True)
    shutil.copytree(release, target)


def set_image_length(directory, length):
    path = os.path.join(directory, "nk.bin")
    with open(path, "r+b") as f:
        f.seek(11)
        f.write(struct.pack("<I", length))


def doubled_copy(release, target):
    """The release directory with its segments repeated once and the image
    length doubled: twice the image, the same kind of data."""
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    segments = 0
    while os.path.exists(os.path.join(release, f"nk.nb{segments}")):
        segments += 1
    for number in range(2 * segments):
        shutil.copyfile(os.path.join(release, f"nk.nb{number % segments}"), os.path.join(target, f"nk.nb{number}"))
    for name in ("nk.bin", "splash.tss"):
        shutil.copyfile(os.path.join(release, name), os.path.join(target, name))
    with open(os.path.join(target, "nk.bin"), "rb") as f:
        length = struct.unpack("<I", f.read(15)[11:15])[0]
    set_image_length(target, 2 * length)


def joined_image(release, target):
    """The segments of a release directory joined: the image that a romfold
    run merges into nk.tmp."""
    with open(target, "wb") as out:
        number = 0
        while os.path.exists(os.path.join(release, f"nk.nb{number}")):
            with open(os.path.join(release, f"nk.nb{number}"), "rb") as f:
                shutil.copyfileobj(f, out)
            number += 1


def speed_in_memory(tool, options, image, pattern):
    """The last MB/s that `TOOL -b` prints (pattern's group), one pass in memory."""
    done = subprocess.run([tool] + options + ["-i1", image], capture_output=True, text=True)
    speeds = re.findall(pattern, done.stdout + done.stderr)
    if done.returncode != 0 or not speeds:
        sys.exit(f"{os.path.basename(sys.argv[0])}: no speed from {tool} {' '.join(options)}\n"
                 f"{done.stdout}{done.stderr}")
    return float(speeds[-1])


def lz4_in_memory(image, options):
    """MB/s that `lz4 -b` reports: the fastest of its passes, in memory."""
    return speed_in_memory("lz4", options, image, r"([0-9.]+) MB/s ,")


def in_memory(bench, image, repetitions, work, name):
    """romfold_bench and lz4 -b on one image, taking turns repetition by
    repetition; fastest passes (lz4 -b reports its fastest)."""
    romfold = {}
    lz4 = {label: [] for label, _ in LZ4_IN_MEMORY}
    tsv = os.path.join(work, f"levels-{name}.tsv")
    for _ in range(repetitions):
        subprocess.run([bench, "--repetitions", "3", "--tsv", tsv, image], check=True, stdout=subprocess.DEVNULL)
        for level in read_levels(tsv):
            romfold.setdefault(int(level["level"]), []).append(float(level["fastest_seconds"]))
        for label, options in LZ4_IN_MEMORY:
            lz4[label].append(lz4_in_memory(image, options))
    size = os.path.getsize(image)
    result = {f"romfold level {level}": size / 1e6 / min(seconds) for level, seconds in romfold.items()}
    result.update({label: max(speeds) for label, speeds in lz4.items()})
    return result


def first_line(argv):
    try:
        done = subprocess.run(argv, capture_output=True, text=True)
    except OSError:
        return "?"
    text = (done.stdout or done.stderr).strip().splitlines()
    return text[0].strip() if text else "?"


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "?"


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def hand_notes(name):
    """The notes in bench/NAME, or None. Profile notes are written by hand and
    kept in their own files so that a new run keeps them."""
    path = os.path.join(HERE, name)
    if not os.path.exists(path):
        return None
    with open(path) as f:
        return f.read().rstrip("\n")


def median(values):
    return statistics.median(values)


def read_levels(path):
    with open(path) as f:
        lines = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    header = lines[0]
    return [dict(zip(header, row)) for row in lines[1:]]


def main():
    parser = argparse.ArgumentParser()
    for name in ("romfold", "bench", "release", "release-shared", "work", "corpus-info", "markdown", "tsv", "svg"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--repetitions", type=int, default=7)
    parser.add_argument("--load-before", default="")
    args = parser.parse_args()

    # Every entry here runs on one thread; the Workers section (workers_compare.py)
    # measures romfold on every CPU.
    os.environ["ROMFOLD_THREADS"] = "1"
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    run_dir = os.path.join(work, "run")
    small_dir = os.path.join(work, "run-small")
    large_dir = os.path.join(work, "run-large")
    out_path = os.path.join(work, "out")
    image = os.path.join(work, "image")
    load_start = load_average()

    # The merged image every entry compresses: nk.tmp of a first, untimed run.
    fresh_copy(args.release, run_dir)
    run_timed([args.romfold, run_dir], out_path)
    shutil.copyfile(os.path.join(run_dir, "nk.tmp"), image)
    input_bytes = os.path.getsize(image)
    container_bytes = os.path.getsize(os.path.join(run_dir, "nbx.tmp"))
    packed_bytes = os.path.getsize(os.path.join(run_dir, "nk.nbx"))

    run_seconds, run_rss, small_rss, large_rss = [], [], [], []
    ref_seconds = {label: [] for label, _ in REFERENCES}
    ref_rss = {label: [] for label, _ in REFERENCES}
    ref_size = {}
    for _ in range(args.repetitions):
        fresh_copy(args.release, run_dir)
        seconds, rss = run_timed([args.romfold, run_dir], out_path)
        run_seconds.append(seconds)
        run_rss.append(rss)
        for label, argv in REFERENCES:
            seconds, rss = run_timed(argv + [image], out_path)
            ref_seconds[label].append(seconds)
            ref_rss[label].append(rss)
            ref_size[label] = os.path.getsize(out_path)
    # Peak memory moves by some 64 KiB from run to run, so each size gets
    # several runs and the medians are compared.
    fresh_copy(args.release, small_dir)
    set_image_length(small_dir, SMALL_IMAGE)
    doubled_copy(args.release, large_dir)
    for _ in range(MEMORY_RUNS):
        small_rss.append(run_timed([args.romfold, small_dir], out_path)[1])
        large_rss.append(run_timed([args.romfold, large_dir], out_path)[1])
    shutil.rmtree(large_dir)
    baseline_rss = median([run_timed_usage(args.romfold, out_path) for _ in range(MEMORY_RUNS)])

    levels_tsv = os.path.join(work, "levels.tsv")
    subprocess.run([args.bench, "--repetitions", str(args.repetitions), "--tsv", levels_tsv, image], check=True,
                   stdout=subprocess.DEVNULL)
    levels = read_levels(levels_tsv)
    shared_image = os.path.join(work, "image-shared")
    joined_image(args.release_shared, shared_image)
    side_by_side = {
        "corpus": in_memory(args.bench, image, args.repetitions, work, "corpus"),
        "shared": in_memory(args.bench, shared_image, args.repetitions, work, "shared"),
    }
    load_end = load_average()

    rows = []  # label, kind, seconds, output bytes, peak RSS KiB or None
    for level in levels:
        rows.append((f"romfold level {level['level']}", "encoder", float(level["median_seconds"]),
                     int(level["container_bytes"]), None))
    rows.append(("romfold (whole run)", "run", median(run_seconds), container_bytes, round(median(run_rss))))
    for label, _ in REFERENCES:
        rows.append((label, "reference", median(ref_seconds[label]), ref_size[label], round(median(ref_rss[label]))))

    table = []
    for label, kind, seconds, size, rss in rows:
        table.append({"tool": label, "kind": kind, "seconds": seconds, "mb_per_s": input_bytes / 1e6 / seconds,
                      "output_bytes": size, "ratio": input_bytes / size, "rss_kib": rss})
    fastest = max(r["mb_per_s"] for r in table)
    by_tool = {r["tool"]: r for r in table}
    lz4_9 = by_tool["lz4 -9"]["mb_per_s"]
    for r in table:
        r["vs_fastest"] = r["mb_per_s"] / fastest
        r["vs_lz4_9"] = r["mb_per_s"] / lz4_9

    with open(args.tsv, "w") as f:
        f.write("tool\tkind\tinput_bytes\tmedian_seconds\tmb_per_s\toutput_bytes\tratio\tvs_fastest\tvs_lz4_9\tpeak_rss_kib\n")
        for r in table:
            rss = "" if r["rss_kib"] is None else str(r["rss_kib"])
            f.write(f"{r['tool']}\t{r['kind']}\t{input_bytes}\t{r['seconds']:.6f}\t{r['mb_per_s']:.2f}\t{r['output_bytes']}\t"
                    f"{r['ratio']:.4f}\t{r['vs_fastest']:.4f}\t{r['vs_lz4_9']:.4f}\t{rss}\n")
    chart.write_chart(args.tsv, args.svg)

    with open(args.corpus_info) as f:
        corpus_lines = [line.strip() for line in f if line.strip()]
    info = {
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
        "cpu": cpu_model(),
        "nproc": os.cpu_count(),
        "kernel": platform.release(),
        "os": first_line(["sh", "-c", ". /etc/os-release && echo \"$PRETTY_NAME\""]),
        "compiler": first_line(["c++", "--version"]),
        "revision": first_line(["git", "-C", os.path.dirname(HERE), "rev-parse", "--short", "HEAD"]),
        "dirty": sorted({line[3:].split("/")[0] + "/" for line in subprocess.run(
            ["git", "-C", os.path.dirname(HERE), "status", "--porcelain", "--", "encoder", "container", "app"],
            capture_output=True, text=True).stdout.splitlines() if line.strip()}),
        "load_before": args.load_before or load_start,
        "load_start": load_start,
        "load_end": load_end,
        "versions": {name: first_line([name, "--version"]) for name in ("gzip", "lz4", "zstd", "xz")},
    }
    memory = {"run": round(median(run_rss)), "small": round(median(small_rss)), "large": round(median(large_rss)),
              "baseline": round(baseline_rss)}
    write_markdown(args, info, corpus_lines, input_bytes, packed_bytes, table, levels, memory, side_by_side,
                   os.path.relpath(args.svg, os.path.dirname(os.path.abspath(args.markdown))))


def run_timed_usage(romfold, out_path):
    """Peak memory of romfold printing its usage text: the process and C++
    runtime alone, with no file or encoder memory. The usage exit is 255."""
    with open(out_path, "wb") as out:
        done = subprocess.run(["/usr/bin/time", "-v", romfold], stdout=out, stderr=subprocess.PIPE)
    match = re.search(r"Maximum resident set size \(kbytes\): (\d+)", done.stderr.decode(errors="replace"))
    if match is None:
        sys.exit("compare.py: no peak memory for the usage run")
    return int(match.group(1))


def mb(n):
    return f"{n / 1e6:.2f}"


def write_markdown(args, info, corpus_lines, input_bytes, packed_bytes, table, levels, memory, side_by_side,
                   svg_link):
    by_tool = {r["tool"]: r for r in table}
    level9 = by_tool["romfold level 9"]
    level0 = by_tool["romfold level 0"]
    run = by_tool["romfold (whole run)"]
    lz4_9 = by_tool["lz4 -9"]
    lz4_1 = by_tool["lz4 -1"]
    speedup9 = level9["mb_per_s"] / lz4_9["mb_per_s"]
    speedup0 = level0["mb_per_s"] / lz4_1["mb_per_s"]
    run_over_encode = run["seconds"] / level9["seconds"]
    growth = memory["large"] - memory["run"]
    working = memory["run"] - memory["baseline"]
    memory_slack = 128

    def verdict(ok):
        return "**met**" if ok else "**not met**"

    image_sha = next((line.split()[-1] for line in corpus_lines if line.startswith("image ")), "?")
    packages = [line.split()[1:] for line in corpus_lines if line.startswith("package ")]

    out = []
    w = out.append
    w("# Benchmarks")
    w("")
    w("Written by `scripts/bench.sh` from one run; every number below, the chart")
    w(f"([`{svg_link}`]({svg_link})) and [`{os.path.relpath(args.tsv, os.path.dirname(os.path.abspath(args.markdown)))}`]"
      f"({os.path.relpath(args.tsv, os.path.dirname(os.path.abspath(args.markdown)))}) come from that run.")
    w("")
    w("## Machine")
    w("")
    w(f"- Date: {info['date']}")
    w(f"- CPU: {info['cpu']}, `nproc` = {info['nproc']}")
    w(f"- System: {info['os']}, Linux {info['kernel']}; compiler: {info['compiler']}")
    w(f"- Source: commit `{info['revision']}`" + (
        " with uncommitted changes in " + ", ".join(f"`{d}`" for d in info["dirty"]) if info["dirty"] else "")
      + ", default preset (RelWithDebInfo)")
    w(f"- Load average (1, 5, 15 min): {info['load_before']} before measuring, {info['load_end']} after "
      "(the measurement itself keeps one core busy)")
    w("- Reference tools: " + "; ".join(f"`{v}`" for v in info["versions"].values()))
    w("")
    w("## Corpus")
    w("")
    w(f"A release directory built by `scripts/make_bench_corpus.py`: a {input_bytes} byte image "
      f"({input_bytes / 1048576:.0f} MiB, SHA-256 `{image_sha}`) in three 8 MiB segments `nk.nb0` to `nk.nb2`, "
      "the header-only `nk.bin` and an 800 × 480 16-bit `splash.tss`. The image is")
    w("")
    w("- 16 MiB of ARM (armhf) machine code: the shared libraries, then the static archives and object files, of "
      "the Debian packages below, files in sorted path order, each aligned to 4 bytes;")
    w("- 4 MiB of text: the same packages' documentation (changelogs decompressed with `gzip -dc`, copyright files) "
      "and their C and C++ headers;")
    w("- 4 MiB of synthetic data from a fixed-seed generator: pointer tables, zero runs, ASCII and UTF-16 string "
      "tables and code-like words.")
    w("")
    w("Packages (Debian bookworm, fetched with `apt-get download` at these versions):")
    w("")
    w("| Package | Version |")
    w("|---|---|")
    for name, version in packages:
        w(f"| `{name}` | {version} |")
    w("")
    w("## Method")
    w("")
    w(f"- Every entry compresses the same merged image (the `nk.tmp` of a romfold run); times are the median of "
      f"{args.repetitions} repetitions, wall clock.")
    w("- **romfold level N**: `romfold_bench`, the encoder alone in one process on the image held in memory, in "
      "64 KB blocks with the container writer's buffer capacity; the size is the block container the writer would "
      "store (8-byte header, a 4-byte word per record, the last record's size word, compressed data padded to 4 "
      "bytes, stored blocks unchanged).")
    w("- **romfold (whole run)**: `ROMFOLD_THREADS=1 romfold DIR` (one worker; the Workers section below runs it "
      "on every CPU) on a fresh copy of the release directory (copy untimed): header "
      "check, segment merge into `nk.tmp`, compression (level 9) into `nbx.tmp`, splash check and `nk.nbx`. Its "
      f"size is that of `nbx.tmp`; `nk.nbx` with the uncompressed splash screen is {packed_bytes} bytes.")
    w("- **Reference commands**: `CMD -c IMAGE > FILE` as separate processes, under `/usr/bin/time -v`; their "
      "time includes process start and reading the 24 MiB from the page cache. `zstd` and `xz` are run with `-T1` "
      "so that every entry uses one thread, as romfold does; the others are single-threaded anyway.")
    w("- The whole runs and the reference commands take turns repetition by repetition; `romfold_bench` runs after "
      "them. MB = 10^6 bytes; ratio = input size / output size; the speed columns divide each entry's MB/s by that "
      "of the fastest entry and of `lz4 -9`.")
    w("")
    w("## Results")
    w("")
    w(f"![Throughput and compressed size]({svg_link})")
    w("")
    w("| Tool | MB/s | Compressed bytes | Ratio | Speed / fastest | Speed / `lz4 -9` | Peak RSS (KiB) |")
    w("|---|---:|---:|---:|---:|---:|---:|")
    for r in table:
        name = r["tool"] if r["kind"] != "reference" else f"`{r['tool']}`"
        rss = "" if r["rss_kib"] is None else str(r["rss_kib"])
        w(f"| {name} | {r['mb_per_s']:.1f} | {r['output_bytes']} | {r['ratio']:.3f} | {r['vs_fastest']:.3f} | "
          f"{r['vs_lz4_9']:.2f} | {rss} |")
    w("")
    w("Encoder detail per level (`romfold_bench`):")
    w("")
    w("| Level | Median s | Fastest s | Data bytes | Container bytes | Stored blocks | Encoder memory (bytes) |")
    w("|---:|---:|---:|---:|---:|---:|---:|")
    for level in levels:
        w(f"| {level['level']} | {float(level['median_seconds']):.4f} | {float(level['fastest_seconds']):.4f} | "
          f"{level['data_bytes']} | {level['container_bytes']} | {level['stored_blocks']} of {level['blocks']} | "
          f"{level['handle_bytes']} |")
    w("")
    w("## In memory, side by side")
    w("")
    w("The encoder alone against `lz4 -b`, lz4's own in-memory benchmark, on the merged image of the corpus and on "
      "an image of the same size made only of ARM shared libraries (below). They take turns, "
      f"{args.repetitions} times; each entry is its fastest pass (`lz4 -b` reports its fastest). `lz4` cuts its "
      "input into blocks of 4 MiB by default; `-B4` gives it independent 64 KB blocks, as romfold's are.")
    w("")
    w("| Entry | Corpus image MB/s | Shared-library image MB/s |")
    w("|---|---:|---:|")
    names = [f"romfold level {level}" for level in range(10)] + [label for label, _ in LZ4_IN_MEMORY]
    for name in names:
        shown = f"`{name}`" if name.startswith("lz4") else name
        w(f"| {shown} | {side_by_side['corpus'][name]:.1f} | {side_by_side['shared'][name]:.1f} |")
    w("")
    shared_sha = next((line.split()[-1] for line in corpus_lines if line.startswith("shared-libraries image ")), "?")
    shared_packages = [line.split()[2:] for line in corpus_lines if line.startswith("shared-libraries package ")]
    w(f"The shared-library image (SHA-256 `{shared_sha}`, 24 MiB) holds the ELF shared libraries of the corpus "
      "packages, then those of " + ", ".join(f"`{name}` {version}" for name, version in shared_packages) +
      ", package by package in that order, each package's files in sorted path order, cut at 24 MiB.")
    w("")
    w("## Targets")
    w("")
    w("| Target | Measured | |")
    w("|---|---|---|")
    # (romfold level, lz4 level, target as a multiple of lz4's throughput)
    for level, lz4_level, factor, wanted in ((9, 9, 5.0, "≥ 5× the throughput of"), (0, 1, 1.0, "≥ the throughput of")):
        for key, label in (("corpus", "corpus image"), ("shared", "shared-library image")):
            ours = side_by_side[key][f"romfold level {level}"]
            theirs = side_by_side[key][f"lz4 -b{lz4_level}"]
            theirs_64k = side_by_side[key][f"lz4 -b{lz4_level} -B4"]
            w(f"| Level {level} encoder {wanted} `lz4 -{lz4_level}`, in memory, {label} | {ours:.1f} MB/s against "
              f"{theirs:.1f} MB/s: {ours / theirs:.2f}× (against 64 KB blocks, {theirs_64k:.1f} MB/s: "
              f"{ours / theirs_64k:.2f}×) | {verdict(ours / theirs >= factor)} |")
    run_speedup = run["mb_per_s"] / lz4_9["mb_per_s"]
    w(f"| Whole romfold run ≥ 4× as fast as `lz4 -9` compressing the merged image to a file | "
      f"{run['seconds']:.3f} s against {lz4_9['seconds']:.3f} s: {run_speedup:.2f}× | {verdict(run_speedup >= 4.0)} |")
    w(f"| Level 9 encoder ≥ 4× the throughput of `lz4 -9` as a command | {level9['mb_per_s']:.1f} MB/s against "
      f"{lz4_9['mb_per_s']:.1f} MB/s: {speedup9:.2f}× | {verdict(speedup9 >= 4.0)} |")
    w(f"| Level 0 encoder ≥ the throughput of `lz4 -1` as a command | {level0['mb_per_s']:.1f} MB/s against "
      f"{lz4_1['mb_per_s']:.1f} MB/s: {speedup0:.2f}× | {verdict(speedup0 >= 1.0)} |")
    w(f"| Whole romfold run ≤ 1.3× the time of level-9 encoding alone | {run['seconds']:.3f} s against "
      f"{level9['seconds']:.3f} s: {run_over_encode:.2f}× | {verdict(run_over_encode <= 1.3)} |")
    mib = input_bytes // 1048576
    w(f"| Peak memory independent of image size (growth from the {mib} MiB image to twice its size "
      f"≤ {memory_slack} KiB) | {memory['small']} KiB at 1 MiB, {memory['run']} KiB at {mib} MiB, "
      f"{memory['large']} KiB at {2 * mib} MiB (medians of {MEMORY_RUNS} runs): {growth:+d} KiB "
      f"| {verdict(growth <= memory_slack)} |")
    handle_sizes = [int(level["handle_bytes"]) for level in levels]
    unchanged = handle_sizes == [12536, 66848] + [197920] * 8
    w(f"| Encoder memory requests unchanged (12536, 66848, 2 × 65536 + 66848 bytes) | "
      f"{', '.join(str(size) for size in sorted(set(handle_sizes)))} bytes | {verdict(unchanged)} |")
    w("")
    w(f"Peak memory in detail: `romfold` printing its usage text (process and C++ runtime only) peaks at "
      f"{memory['baseline']} KiB, so a whole run adds {working} KiB; the level-9 encoder asks for "
      f"{levels[9]['handle_bytes']} bytes ({int(levels[9]['handle_bytes']) / 1024:.0f} KiB) and the file stages "
      "use two 64 KB buffers.")
    w("")
    notes = hand_notes("profile.md")
    if notes is not None:
        w(notes)
        w("")
    w("## Reproducing")
    w("")
    w("```")
    w("scripts/bench.sh")
    w("```")
    w("")
    w("installs what is missing (cmake, g++, make, python3, gzip, lz4, zstd, xz-utils, time, "
      "g++-i686-linux-gnu), builds the default "
      "preset, builds the corpus (package cache in `${XDG_CACHE_HOME:-$HOME/.cache}/romfold-bench`, release "
      "directory and scratch files in `build/bench/`), waits for a quiet machine and rewrites this file, the chart "
      "and the TSV. `BENCH_REPETITIONS`, `BENCH_WAIT_LOAD` and `BENCH_MAX_WAIT` change the repetitions (7), the "
      "load to wait for (0.5) and the longest wait (600 s). `romfold_bench IMAGE` alone prints the per-level table.")
    w("")
    with open(args.markdown, "w") as f:
        f.write("\n".join(out))


if __name__ == "__main__":
    main()
