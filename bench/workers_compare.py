#!/usr/bin/env python3
"""Measures romfold on one worker and on several, beside lz4 and zstd
(zstd -T0 too), and writes the "## Workers" section of BENCHMARKS.md.

In one run, on the benchmark release directory with its segments repeated
--scale times (the same kind of data, a longer run to time):
  - whole runs: `romfold DIR` with ROMFOLD_THREADS=1 and =N on a fresh copy
    (copy untimed), under /usr/bin/time -v for the peak memory, taking turns
    round by round with the reference commands writing to a file;
  - in memory, on the image at scale 1: romfold_bench at levels 9 and 0
    with 1 and N workers beside
    `lz4 -b9 -B4`, `lz4 -b1 -B4` (64 KB blocks, as romfold's) and
    `zstd -b3 -T1` / `-T0`, round by round;
  - peak memory with 1, 2, 4 and 8 workers on the scaled image, and with N
    workers on the image at scale 1, so that memory per worker and memory
    against image size can be read off;
  - checking the packed image: `romfold-check nk.nbx` (every block decoded
    and checked) with ROMFOLD_THREADS=1 and =N on the scaled run's nk.nbx,
    beside `lz4 -d` and `zstd -d -T0` of the image to /dev/null, round by
    round with the whole runs.
Medians with the range (lowest to highest) over the rounds; MB = 10^6 bytes.
The 16- and 64-core lines are estimates from Amdahl's law with the serial
share measured between 1 and N workers, not measurements.

Usage: workers_compare.py --romfold BIN --check BIN --bench BIN --release DIR
                          --work DIR --markdown FILE [--rounds N] [--workers N]
                          [--scale K]
"""

import argparse
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from compare import (cpu_model, first_line, fresh_copy, joined_image, load_average, lz4_in_memory,  # noqa: E402
                     speed_in_memory)

SECTION = "## Workers"


def scaled_copy(release, target, scale):
    """The release directory with its segments repeated `scale` times and the
    image length multiplied likewise."""
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    segments = 0
    while os.path.exists(os.path.join(release, f"nk.nb{segments}")):
        segments += 1
    for number in range(scale * segments):
        shutil.copyfile(os.path.join(release, f"nk.nb{number % segments}"), os.path.join(target, f"nk.nb{number}"))
    for name in ("nk.bin", "splash.tss"):
        shutil.copyfile(os.path.join(release, name), os.path.join(target, name))
    with open(os.path.join(target, "nk.bin"), "r+b") as f:
        length = struct.unpack("<I", f.read(15)[11:15])[0]
        f.seek(11)
        f.write(struct.pack("<I", scale * length))
    return scale * length


def timed(argv, stdout_path, env=None):
    """Wall seconds, peak RSS (KiB) and CPU use (per cent of one CPU) of argv
    under /usr/bin/time -v."""
    with open(stdout_path, "wb") as out:
        start = time.perf_counter()
        done = subprocess.run(["/usr/bin/time", "-v"] + argv, stdout=out, stderr=subprocess.PIPE, env=env)
        seconds = time.perf_counter() - start
    stderr = done.stderr.decode(errors="replace")
    if done.returncode != 0:
        sys.exit(f"workers_compare.py: {' '.join(argv)} failed with status {done.returncode}\n{stderr}")
    peak = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", stderr).group(1))
    cpu = int(re.search(r"Percent of CPU this job got: (\d+)%", stderr).group(1))
    return seconds, peak, cpu


def whole_run(romfold, release, work, workers):
    copy = os.path.join(work, "run")
    fresh_copy(release, copy)
    os.sync()  # the copy's writeback is not the run's
    env = dict(os.environ, ROMFOLD_THREADS=str(workers))
    seconds, peak, cpu = timed([romfold, copy], os.path.join(work, "run.out"), env)
    size = os.path.getsize(os.path.join(copy, "nbx.tmp"))
    with open(os.path.join(copy, "nbx.tmp"), "rb") as f:
        digest = hash(f.read())
    return seconds, peak, size, digest, cpu


def zstd_in_memory(image, options):
    """Compression MB/s that `zstd -b` reports."""
    return speed_in_memory("zstd", options, image, r"\),\s*([0-9.]+) MB/s")


def bench_speed(bench, image, level, workers, tsv):
    subprocess.run([bench, "--repetitions", "1", "--level", str(level), "--workers", str(workers), "--tsv", tsv,
                    image], check=True, stdout=subprocess.DEVNULL)
    with open(tsv) as f:
        rows = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    row = dict(zip(rows[0], rows[1]))
    return os.path.getsize(image) / 1e6 / float(row["median_seconds"])


def spread(values, fmt="{:.1f}"):
    return f"{fmt.format(statistics.median(values))} ({fmt.format(min(values))}–{fmt.format(max(values))})"


def main():
    parser = argparse.ArgumentParser()
    for name in ("romfold", "check", "bench", "release", "work", "markdown"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--workers", type=int, default=len(os.sched_getaffinity(0)))
    parser.add_argument("--scale", type=int, default=4)
    args = parser.parse_args()
    n = args.workers
    os.makedirs(args.work, exist_ok=True)
    load_start = load_average()

    big = os.path.join(args.work, f"release-x{args.scale}")
    length = scaled_copy(args.release, big, args.scale)
    image = os.path.join(args.work, f"image-x{args.scale}.bin")
    joined_image(big, image)
    with open(image, "r+b") as f:
        f.truncate(length)
    small = os.path.join(args.work, "image.bin")
    joined_image(args.release, small)
    with open(small, "r+b") as f:
        f.truncate(length // args.scale)

    # Whole runs and commands, round by round.
    commands = {
        "lz4 -1": ["lz4", "-1", "-c", image],
        "lz4 -9": ["lz4", "-9", "-c", image],
        "zstd -3 -T1": ["zstd", "-3", "-T1", "-c", image],
        "zstd -3 -T0": ["zstd", "-3", "-T0", "-c", image],
    }
    # Decoding references: the image compressed once by each tool.
    lz4_file = os.path.join(args.work, "image.lz4")
    zstd_file = os.path.join(args.work, "image.zst")
    subprocess.run(["lz4", "-9", "-f", "-q", image, lz4_file], check=True)
    subprocess.run(["zstd", "-3", "-f", "-q", image, "-o", zstd_file], check=True)
    decoders = {
        "lz4 -d": ["lz4", "-d", "-c", lz4_file],
        "zstd -d -T0": ["zstd", "-d", "-T0", "-c", zstd_file],
    }
    checks = {1: [], n: []}
    check_peaks = {1: [], n: []}
    check_outputs = set()
    decode_times = {label: [] for label in decoders}
    runs = {1: [], n: []}
    peaks = {1: [], n: []}
    cpu_use = {}
    digests = set()
    times = {label: [] for label in commands}
    sizes = {}
    for _ in range(args.rounds):
        for workers in runs:
            seconds, peak, size, digest, cpu = whole_run(args.romfold, big, args.work, workers)
            cpu_use.setdefault(f"romfold, {workers} worker{'s' if workers > 1 else ''}", []).append(cpu)
            runs[workers].append(seconds)
            peaks[workers].append(peak)
            digests.add(digest)
            sizes["romfold"] = size
        for label, argv in commands.items():
            out = os.path.join(args.work, "command.out")
            seconds, _, cpu = timed(argv, out)
            cpu_use.setdefault(label, []).append(cpu)
            times[label].append(seconds)
            sizes[label] = os.path.getsize(out)
        # The last whole run's nk.nbx, the same bytes whatever its workers.
        packed = os.path.join(args.work, "run", "nk.nbx")
        for workers in checks:
            out = os.path.join(args.work, "check.out")
            env = dict(os.environ, ROMFOLD_THREADS=str(workers))
            seconds, peak, cpu = timed([args.check, packed], out, env)
            cpu_use.setdefault(f"romfold-check, {workers} worker{'s' if workers > 1 else ''}", []).append(cpu)
            checks[workers].append(seconds)
            check_peaks[workers].append(peak)
            with open(out, "rb") as f:
                check_outputs.add(f.read())
        for label, argv in decoders.items():
            seconds, _, cpu = timed(argv, os.devnull)
            cpu_use.setdefault(label, []).append(cpu)
            decode_times[label].append(seconds)
    if len(digests) != 1:
        sys.exit("workers_compare.py: nbx.tmp differs between worker counts")
    if len(check_outputs) != 1:
        sys.exit("workers_compare.py: romfold-check's output differs between worker counts")

    # In memory, round by round.
    memory = {f"romfold level {level}, {w} worker{'s' if w > 1 else ''}": [] for level in (9, 0) for w in (1, n)}
    references = {"lz4 -b9": [], "lz4 -b9 -B4": [], "lz4 -b1": [], "lz4 -b1 -B4": [], "zstd -b3 -T1": [],
                  "zstd -b3 -T0": []}
    tsv = os.path.join(args.work, "workers-level.tsv")
    for _ in range(args.rounds):
        for level in (9, 0):
            for w in (1, n):
                memory[f"romfold level {level}, {w} worker{'s' if w > 1 else ''}"].append(
                    bench_speed(args.bench, small, level, w, tsv))
        for label in ("lz4 -b9", "lz4 -b9 -B4", "lz4 -b1", "lz4 -b1 -B4"):
            references[label].append(lz4_in_memory(small, label.split()[1:]))
        references["zstd -b3 -T1"].append(zstd_in_memory(small, ["-b3", "-T1"]))
        references["zstd -b3 -T0"].append(zstd_in_memory(small, ["-b3", "-T0"]))

    # Peak memory against the worker count and the image size.
    peak_by_workers = {w: whole_run(args.romfold, big, args.work, w)[1] for w in (1, 2, 4, 8)}
    small_peak = whole_run(args.romfold, args.release, args.work, n)[1]
    load_end = load_average()

    mb = length / 1e6
    speed = {f"romfold, {w} worker{'s' if w > 1 else ''}": [mb / s for s in runs[w]] for w in runs}
    speed.update({label: [mb / s for s in times[label]] for label in commands})
    lz4_9 = statistics.median(speed["lz4 -9"])
    lz4_1 = statistics.median(speed["lz4 -1"])
    t1 = statistics.median(runs[1])
    tn = statistics.median(runs[n])
    scaling = t1 / tn
    # Amdahl: T(k) = T1 * (s + (1 - s) / k); s from the measured T(n).
    serial = min(1.0, max(0.0, (n * tn / t1 - 1) / (n - 1))) if n > 1 else 1.0
    per_worker = (peak_by_workers[8] - peak_by_workers[1]) / 7

    def estimate(k):
        return 1 / (serial + (1 - serial) / k)

    lines = [SECTION, "",
             f"Measured on {cpu_model()}, {len(os.sched_getaffinity(0))} CPUs, with {n} workers as the many-worker "
             f"case; {args.rounds} rounds taking turns; load average {load_start} at the start and {load_end} at "
             f"the end (other work was running: the figures are medians with the range, lowest to highest). "
             f"The image is the benchmark corpus's with its segments repeated {args.scale} times "
             f"({length} bytes); every romfold run wrote the same nbx.tmp whatever its worker count. "
             f"Tools: {first_line(['lz4', '-V'])}; {first_line(['zstd', '-V'])}. "
             f"Written by `bench/workers_compare.py` (`scripts/bench.sh` runs it).", "",
             "### Whole run, to a file", "",
             "| Entry | MB/s | × `lz4 -9` | Output bytes | CPU use |", "|---|---|---|---|---|"]
    for label, values in speed.items():
        size = sizes["romfold" if label.startswith("romfold") else label]
        lines.append(f"| {label} | {spread(values)} | {statistics.median(values) / lz4_9:.2f} | {size} | "
                     f"{statistics.median(cpu_use[label]):.0f}% |")
    lines += ["", "CPU use is the median of what `/usr/bin/time` reports (100% = one CPU busy for the whole run): "
              "a run that got less than its workers could use was waiting for the disk or for other processes."]
    many_cpu = statistics.median(cpu_use[f"romfold, {n} workers"])
    best = max(speed[f"romfold, {n} workers"])
    lines += ["", f"Scaling of the whole run from 1 to {n} workers: {scaling:.2f}x "
              f"({scaling / n * 100:.0f}% per worker); its best round reached {best:.1f} MB/s, "
              f"{best / statistics.median(speed['romfold, 1 worker']):.2f}x the one-worker median. "
              f"The {n}-worker runs got {many_cpu:.0f}% CPU (median) of the {n * 100}% they could use"
              + (": other processes held the rest, so this run cannot show the scaling."
                 if many_cpu < n * 100 * 0.8 else ".")
              + f" `lz4 -1` runs at {lz4_1:.1f} MB/s.", "",
              f"### In memory (the encoder alone, on the image at scale 1, {length // args.scale} bytes)", "",
              "| Entry | MB/s | × `lz4 -b9` |", "|---|---|---|"]
    lz4_b9 = statistics.median(references["lz4 -b9"])
    for label, values in list(memory.items()) + list(references.items()):
        lines.append(f"| {label} | {spread(values)} | {statistics.median(values) / lz4_b9:.2f} |")
    for level in (9, 0):
        one = statistics.median(memory[f"romfold level {level}, 1 worker"])
        many = statistics.median(memory[f"romfold level {level}, {n} workers"])
        lines.append("")
        lines.append(f"Level {level} in memory scales {many / one:.2f}x from 1 to {n} workers "
                     f"({many / one / n * 100:.0f}% per worker).")
    level9 = statistics.median(memory[f"romfold level 9, {n} workers"])
    level0 = statistics.median(memory[f"romfold level 0, {n} workers"])
    lz4_b1 = statistics.median(references["lz4 -b1"])
    in_memory_scaling = level9 / statistics.median(memory["romfold level 9, 1 worker"])
    growth = peak_by_workers[n] - small_peak if n in peak_by_workers else peaks[n][0] - small_peak
    whole_n = statistics.median(speed[f"romfold, {n} workers"])

    def verdict(ok):
        return "**met**" if ok else "**not met**"

    lines += ["", f"### Targets ({n} workers)", "", "| Target | Measured | |", "|---|---|---|",
              f"| Whole run ≥ 5× `lz4 -9` to a file | {whole_n:.1f} MB/s against {lz4_9:.1f} MB/s: "
              f"{whole_n / lz4_9:.2f}× | {verdict(whole_n / lz4_9 >= 5)} |",
              f"| Level 9 in memory ≥ 6× `lz4 -9` (`lz4 -b9`) | {level9:.1f} MB/s against {lz4_b9:.1f} MB/s: "
              f"{level9 / lz4_b9:.2f}× | {verdict(level9 / lz4_b9 >= 6)} |",
              f"| Level 0 in memory ≥ `lz4 -1` (`lz4 -b1`) | {level0:.1f} MB/s against {lz4_b1:.1f} MB/s: "
              f"{level0 / lz4_b1:.2f}× | {verdict(level0 >= lz4_b1)} |",
              f"| Scaling ≥ 1.8× from one worker to two, whole run ({n} workers) | {scaling:.2f}× | {verdict(scaling >= 1.8)} |",
              f"| Scaling ≥ 1.8× from one worker to two, level 9 in memory ({n} workers) | {in_memory_scaling:.2f}× | "
              f"{verdict(in_memory_scaling >= 1.8)} |",
              f"| Peak memory with {n} workers independent of the image size (within 512 KiB) | "
              f"{small_peak} KiB at {length // args.scale} bytes, {small_peak + growth} KiB at {length} bytes | "
              f"{verdict(abs(growth) <= 512)} |"]
    check_speed = {f"romfold-check, {w} worker{'s' if w > 1 else ''}": [mb / s for s in checks[w]] for w in checks}
    check_speed.update({label: [mb / s for s in decode_times[label]] for label in decoders})
    lz4_d = statistics.median(check_speed["lz4 -d"])
    check_scaling = statistics.median(checks[1]) / statistics.median(checks[n])
    lines += ["", "### Checking the packed image", "",
              f"`romfold-check nk.nbx` on the scaled run's packed image: every record and block checked and "
              f"decoded, nothing written; beside the reference tools decoding the same image (compressed by "
              f"`lz4 -9` and `zstd -3`) to /dev/null. MB/s of the decoded image; `zstd -d` decodes on one "
              f"thread whatever `-T` says.", "",
              "| Entry | MB/s | × `lz4 -d` | CPU use | Peak RSS (KiB) |", "|---|---|---|---|---|"]
    for label, values in check_speed.items():
        workers = 1 if label.endswith(" 1 worker") else n
        peak = f"{statistics.median(check_peaks[workers]):.0f}" if label.startswith("romfold-check") else "–"
        lines.append(f"| {label} | {spread(values)} | {statistics.median(values) / lz4_d:.2f} | "
                     f"{statistics.median(cpu_use[label]):.0f}% | {peak} |")
    lines += ["", f"The check scales {check_scaling:.2f}x from 1 to {n} workers "
              f"({check_scaling / n * 100:.0f}% per worker); every run printed the same summary."]
    lines += ["", "### Memory", "",
              "| Workers | Peak RSS (KiB) |", "|---|---|"]
    lines += [f"| {w} | {peak} |" for w, peak in peak_by_workers.items()]
    lines += ["",
              f"Each worker adds about {per_worker:.0f} KiB (its encoder handle, 193 KiB, and two blocks in flight "
              f"of 128 KiB each). With {n} workers the peak is {small_peak} KiB on the image at scale 1 and "
              f"{peak_by_workers.get(n, peaks[n][0])} KiB on the image {args.scale} times as large.", "",
              "### Estimates for larger machines", "",
              f"From the whole run's scaling on {n} CPUs, Amdahl's law puts the serial share (the reading, "
              f"the segment merge, writing the records and nk.nbx on one thread) at {serial * 100:.1f}% of the "
              f"one-worker time. These are estimates, not measurements: they assume the machine's memory "
              f"bandwidth and disk keep up and that no other work runs"
              + (f"; with the {n}-worker runs held to {many_cpu:.0f}% CPU they rest on a serial share that "
                 f"is mostly other processes' use of the CPUs, and say little." if many_cpu < n * 100 * 0.8
                 else "."), "",
              "| CPUs | Whole run, × one worker | Whole run MB/s | Peak RSS (KiB) |", "|---|---|---|---|"]
    for k in (16, 64):
        lines.append(f"| {k} | {estimate(k):.1f} | {mb / t1 * estimate(k):.0f} | "
                     f"{peak_by_workers[1] + per_worker * (k - 1):.0f} |")
    lines.append("")

    with open(args.markdown) as f:
        text = f.read()
    at = text.find("\n" + SECTION + "\n")
    if at >= 0:
        end = text.find("\n## ", at + 1)
        rest = text[end + 1:] if end >= 0 else ""
        text = text[:at + 1] + "\n".join(lines) + ("\n" + rest if rest else "")
    else:
        text = text.rstrip("\n") + "\n\n" + "\n".join(lines)
    with open(args.markdown, "w") as f:
        f.write(text)
    print("\n".join(lines))


if __name__ == "__main__":
    main()
