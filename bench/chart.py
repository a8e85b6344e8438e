#!/usr/bin/env python3
"""Draws the benchmark chart from the results TSV written by compare.py: one
row per entry, throughput bars on the left, compressed-size bars on the
right, both on linear scales; a dashed line marks 4x the throughput of
`lz4 -9`, the level-9 target. Plain SVG, standard library only.

Usage: chart.py RESULTS.tsv OUTPUT.svg
"""

import sys
from xml.sax.saxutils import escape

COLOURS = {"encoder": "#3b78c4", "run": "#17406e", "reference": "#9b9b9b"}
ROW = 22
LABEL = 170
PANEL = 330
GAP = 90
TOP = 58
LEFT = 10


def read_rows(path):
    with open(path) as f:
        lines = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    return [dict(zip(lines[0], row)) for row in lines[1:]]


def axis(value):
    """(step, count): grid steps of 1, 2 or 5 times a power of ten, 4 to 10
    of them, the last at or above value."""
    step = 1e-6
    while True:
        for factor in (1, 2, 5):
            count = -(-value // (step * factor))
            if count <= 10:
                return step * factor, max(int(count), 4)
        step *= 10


def write_chart(tsv_path, svg_path):
    rows = read_rows(tsv_path)
    speeds = [float(r["mb_per_s"]) for r in rows]
    sizes = [int(r["output_bytes"]) / 1e6 for r in rows]
    lz4_9 = next(float(r["mb_per_s"]) for r in rows if r["tool"] == "lz4 -9")
    speed_step, speed_count = axis(max(max(speeds), 4 * lz4_9))
    size_step, size_count = axis(max(sizes))
    speed_max = speed_step * speed_count
    size_max = size_step * size_count
    width = LEFT + LABEL + PANEL + GAP + PANEL + 60
    height = TOP + ROW * len(rows) + 40
    speed_x = LEFT + LABEL
    size_x = speed_x + PANEL + GAP

    svg = []
    add = svg.append
    add(f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
        f'viewBox="0 0 {width} {height}" font-family="sans-serif" font-size="12">')
    add(f'<rect width="{width}" height="{height}" fill="#ffffff"/>')
    add(f'<text x="{LEFT}" y="20" font-size="15" font-weight="bold">romfold against reference compressors, '
        f'{int(rows[0]["input_bytes"]) / 1e6:.1f} MB image</text>')
    add(f'<text x="{speed_x}" y="{TOP - 12}" font-weight="bold">Throughput, input MB/s (longer is faster)</text>')
    add(f'<text x="{size_x}" y="{TOP - 12}" font-weight="bold">Compressed size, MB (shorter is smaller)</text>')

    for x0, step, count in ((speed_x, speed_step, speed_count), (size_x, size_step, size_count)):
        for i in range(count + 1):
            x = x0 + PANEL * i / count
            add(f'<line x1="{x:.1f}" y1="{TOP - 4}" x2="{x:.1f}" y2="{TOP + ROW * len(rows)}" stroke="#e4e4e4"/>')
            text = f"{step * i:g}"
            add(f'<text x="{x:.1f}" y="{TOP + ROW * len(rows) + 16}" text-anchor="middle" fill="#555">{text}</text>')

    for i, r in enumerate(rows):
        y = TOP + ROW * i
        colour = COLOURS.get(r["kind"], "#9b9b9b")
        add(f'<text x="{speed_x - 8}" y="{y + 15}" text-anchor="end">{escape(r["tool"])}</text>')
        w = PANEL * speeds[i] / speed_max
        add(f'<rect x="{speed_x}" y="{y + 3}" width="{w:.1f}" height="{ROW - 6}" fill="{colour}"/>')
        add(f'<text x="{speed_x + w + 4:.1f}" y="{y + 15}" fill="#333">{speeds[i]:.1f}</text>')
        w = PANEL * sizes[i] / size_max
        add(f'<rect x="{size_x}" y="{y + 3}" width="{w:.1f}" height="{ROW - 6}" fill="{colour}"/>')
        add(f'<text x="{size_x + w + 4:.1f}" y="{y + 15}" fill="#333">{sizes[i]:.2f}</text>')

    target = speed_x + PANEL * 4 * lz4_9 / speed_max
    add(f'<line x1="{target:.1f}" y1="{TOP - 4}" x2="{target:.1f}" y2="{TOP + ROW * len(rows)}" '
        f'stroke="#c0392b" stroke-dasharray="4 3"/>')
    add(f'<text x="{target + 3:.1f}" y="{TOP + ROW * len(rows) + 30}" fill="#c0392b">4 × lz4 -9</text>')
    add("</svg>")
    with open(svg_path, "w") as f:
        f.write("\n".join(svg) + "\n")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    write_chart(sys.argv[1], sys.argv[2])
