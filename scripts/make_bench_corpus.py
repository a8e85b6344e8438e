#!/usr/bin/env python3
"""Builds the benchmark release directory: a 24 MiB kernel image made of

  binary part     16 MiB  ARM (armhf) shared libraries first, then static
                          archives and object files, from Debian's cross
                          toolchain packages;
  text part        4 MiB  the same packages' documentation (changelogs
                          decompressed with gzip -dc, copyright files) and
                          their C and C++ headers;
  synthetic part   4 MiB  pointer tables, zero runs, string tables and
                          code-like words from a fixed-seed generator;

written as nk.bin (header only), nk.nb0, nk.nb1, nk.nb2 (8 MiB each) and an
800 x 480 16-bit splash.tss.

With --shared-libraries DIR it also writes a second release directory of the
same shape whose 24 MiB image is made only of ARM (armhf) shared libraries:
those of the packages above, then those of the other language runtimes of
the same cross toolchain (SHARED_LIBRARY_PACKAGES), package by package, each
package's files in sorted path order.

The packages are fetched with `apt-get download` at pinned versions into a
cache outside the tree (${XDG_CACHE_HOME:-$HOME/.cache}/romfold-bench/debs)
and unpacked with `dpkg-deb -x`; each part takes its files in sorted path
order and is cut at its size. Same versions, same bytes: the script prints
the image's SHA-256 so that runs can be compared.

Usage: make_bench_corpus.py [--cache DIR] [--shared-libraries DIR] OUTPUT_DIRECTORY
"""

import argparse
import hashlib
import os
import shutil
import struct
import subprocess
import sys

# The sample's xorshift generator, so both scripts draw the same numbers.
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_sample import Random  # noqa: E402

# Package, pinned version. Debian bookworm's armhf cross-toolchain libraries.
PACKAGES = (
    ("libc6-armhf-cross", "2.36-8cross1"),
    ("libc6-dev-armhf-cross", "2.36-8cross1"),
    ("libgcc-s1-armhf-cross", "12.2.0-14cross1"),
    ("libgcc-12-dev-armhf-cross", "12.2.0-14cross1"),
    ("libstdc++6-armhf-cross", "12.2.0-14cross1"),
    ("libstdc++-12-dev-armhf-cross", "12.2.0-14cross1"),
    ("libatomic1-armhf-cross", "12.2.0-14cross1"),
    ("libgomp1-armhf-cross", "12.2.0-14cross1"),
    ("libasan8-armhf-cross", "12.2.0-14cross1"),
    ("libubsan1-armhf-cross", "12.2.0-14cross1"),
)

# More shared libraries of the same toolchain, for the image made only of
# shared libraries; the Go runtime comes last and tops the image up.
SHARED_LIBRARY_PACKAGES = (
    ("libgfortran5-armhf-cross", "12.2.0-14cross1"),
    ("libgm2-17-armhf-cross", "12.2.0-14cross1"),
    ("libgnat-12-armhf-cross", "12.2.0-14cross1"),
    ("libgphobos3-armhf-cross", "12.2.0-14cross1"),
    ("libobjc4-armhf-cross", "12.2.0-14cross1"),
    ("libgo21-armhf-cross", "12.2.0-14cross1"),
)

MIB = 1024 * 1024
BINARY_SIZE = 16 * MIB
TEXT_SIZE = 4 * MIB
SYNTHETIC_SIZE = 4 * MIB
IMAGE_LENGTH = BINARY_SIZE + TEXT_SIZE + SYNTHETIC_SIZE
SEGMENT_SIZE = 8 * MIB
BASE_ADDRESS = 0x80200000
SPLASH_WIDTH = 800
SPLASH_HEIGHT = 480
SEED = 0x5EED2024


def default_cache():
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(base, "romfold-bench")


def fetch_packages(cache, packages=PACKAGES):
    """Downloads the missing .deb files and unpacks each into its own tree.
    Returns the unpacked trees in the order of `packages`."""
    debs = os.path.join(cache, "debs")
    trees = os.path.join(cache, "trees")
    os.makedirs(debs, exist_ok=True)
    os.makedirs(trees, exist_ok=True)
    result = []
    for name, version in packages:
        deb = os.path.join(debs, f"{name}_{version.replace(':', '%3a')}_all.deb")
        if not os.path.exists(deb):
            subprocess.run(["apt-get", "download", f"{name}={version}"], cwd=debs, check=True)
        tree = os.path.join(trees, f"{name}_{version}")
        if not os.path.isdir(tree):
            partial = tree + ".partial"
            shutil.rmtree(partial, ignore_errors=True)
            subprocess.run(["dpkg-deb", "-x", deb, partial], check=True)
            os.rename(partial, tree)
        result.append(tree)
    return result


def regular_files(trees):
    """(sort key, path) of every regular file (no symlinks) in the trees,
    sorted by package then path inside the package."""
    files = []
    for tree in trees:
        package = os.path.basename(tree)
        for root, dirs, names in os.walk(tree):
            dirs.sort()
            for name in names:
                path = os.path.join(root, name)
                if os.path.islink(path) or not os.path.isfile(path):
                    continue
                files.append(((package, os.path.relpath(path, tree)), path))
    files.sort()
    return files


def head(path, count):
    with open(path, "rb") as f:
        return f.read(count)


def fill(parts, size):
    """Joins byte strings in order, each aligned to 4 bytes as sections in an
    image are, and cuts the result at `size`."""
    out = bytearray()
    for data in parts:
        if len(out) >= size:
            break
        out += data
        out += bytes(-len(out) % 4)
    if len(out) < size:
        sys.exit(f"make_bench_corpus: only {len(out)} bytes available for a part of {size}")
    return bytes(out[:size])


def is_shared_library(relative, path):
    return ".so" in os.path.basename(relative) and head(path, 4) == b"\x7fELF"


def read_all(paths):
    for path in paths:
        with open(path, "rb") as f:
            yield f.read()


def binary_part(files):
    shared = []
    archives = []
    for (_, relative), path in files:
        magic = head(path, 8)
        if magic.startswith(b"\x7fELF"):
            (shared if is_shared_library(relative, path) else archives).append(path)
        elif magic == b"!<arch>\n":
            archives.append(path)
    return fill(list(read_all(shared)) + list(read_all(archives)), BINARY_SIZE)


def shared_library_image(trees):
    """IMAGE_LENGTH bytes of shared libraries, package by package in the
    order given, each package's files in sorted path order."""
    paths = []
    for tree in trees:
        paths += [path for (_, relative), path in regular_files([tree]) if is_shared_library(relative, path)]
    return fill(read_all(paths), IMAGE_LENGTH)


def text_part(files):
    docs = []
    headers = []
    for (_, relative), path in files:
        if "/share/doc/" in "/" + relative:
            if relative.endswith(".gz"):
                docs.append(subprocess.run(["gzip", "-dc", path], check=True, capture_output=True).stdout)
            else:
                docs.append(head(path, 1 << 30))
        elif "/include/" in "/" + relative:
            headers.append(head(path, 1 << 30))
    return fill(docs + headers, TEXT_SIZE)


WORDS = (
    "Kernel", "Driver", "Registry", "Power", "Display", "Touch", "Audio", "Serial", "Storage", "Network",
    "Init", "Open", "Close", "Read", "Write", "IoControl", "Suspend", "Resume", "Device", "Handler",
    "Buffer", "Queue", "Timer", "Event", "Thread", "Interrupt", "Memory", "Cache", "Flash", "Boot",
)


def synthetic_part(rng):
    out = bytearray()
    address = BASE_ADDRESS + 0x1000
    while len(out) < SYNTHETIC_SIZE:
        kind = rng.below(4)
        if kind == 0:
            # Pointer table: ascending aligned addresses into the image.
            for _ in range(256 + rng.below(1024)):
                address += 4 * (1 + rng.below(64))
                out += struct.pack("<I", address)
        elif kind == 1:
            # Zero run: alignment padding and uninitialised data.
            out += bytes(256 * (1 + rng.below(64)))
        elif kind == 2:
            # String table: NUL-terminated names, ASCII and UTF-16LE.
            wide = rng.below(3) == 0
            for _ in range(64 + rng.below(256)):
                name = "".join(WORDS[rng.below(len(WORDS))] for _ in range(1 + rng.below(3)))
                name += str(rng.below(100)) if rng.below(4) == 0 else ""
                out += (name + "\0").encode("utf-16-le" if wide else "ascii")
            out += bytes(-len(out) % 4)
        else:
            # Code-like words: a few opcode shapes with varying fields.
            for _ in range(512 + rng.below(2048)):
                shape = rng.below(6)
                rd = rng.below(13)
                if shape < 2:
                    word = 0xE59F0000 | rd << 12 | (rng.below(64) * 4)
                elif shape == 2:
                    word = 0xE3A00000 | rd << 12 | rng.below(256)
                elif shape == 3:
                    word = 0xEB000000 | ((rng.below(0x4000) - 0x2000) & 0xFFFFFF)
                elif shape == 4:
                    word = 0xE58D0000 | rd << 12 | (rng.below(32) * 4)
                else:
                    word = 0xE8BD8010
                out += struct.pack("<I", word)
    return bytes(out[:SYNTHETIC_SIZE])


def splash_screen(rng):
    """An 800 x 480 RGB565 bit-field bitmap: a vertical gradient, a few flat
    boxes and a band of noise, as a boot logo on a plain background has."""
    width, height = SPLASH_WIDTH, SPLASH_HEIGHT
    pixels = bytearray()
    boxes = [(rng.below(width - 200), rng.below(height - 100), 100 + rng.below(100), 40 + rng.below(60),
              rng.below(0x10000)) for _ in range(6)]
    for y in range(height):
        shade = y * 31 // (height - 1)
        row = [(shade << 11) | ((shade * 2) << 5) | (31 - shade)] * width
        for bx, by, bw, bh, colour in boxes:
            if by <= y < by + bh:
                row[bx:bx + bw] = [colour] * bw
        if height // 2 - 8 <= y < height // 2 + 8:
            for x in range(width // 4, 3 * width // 4):
                row[x] = rng.below(0x10000)
        pixels += struct.pack(f"<{width}H", *row)
    info = struct.pack("<IiiHHIIiiII", 124, width, height, 1, 16, 3, len(pixels), 2835, 2835, 0, 0)
    info += struct.pack("<IIII", 0xF800, 0x07E0, 0x001F, 0)
    info += bytes(124 - len(info))
    header = b"TD" + struct.pack("<IHHI", 138 + len(pixels), 0, 0, 138)
    return header + info + pixels


def write_release(output, image, splash):
    """A release directory: the header-only nk.bin, the image in 8 MiB
    segments and the splash screen."""
    os.makedirs(output, exist_ok=True)
    for name in os.listdir(output):
        if name.startswith("nk.") or name in ("nbx.tmp", "splash.tss"):
            os.remove(os.path.join(output, name))
    with open(os.path.join(output, "nk.bin"), "wb") as f:
        f.write(b"B000FF\n" + struct.pack("<II", BASE_ADDRESS, IMAGE_LENGTH))
        f.write(struct.pack("<III", BASE_ADDRESS, 0, 0))  # a record table would follow here
    for number, start in enumerate(range(0, IMAGE_LENGTH, SEGMENT_SIZE)):
        with open(os.path.join(output, f"nk.nb{number}"), "wb") as f:
            f.write(image[start:start + SEGMENT_SIZE])
    with open(os.path.join(output, "splash.tss"), "wb") as f:
        f.write(splash)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cache", default=default_cache())
    parser.add_argument("--shared-libraries", metavar="DIR")
    parser.add_argument("output")
    args = parser.parse_args()

    trees = fetch_packages(args.cache)
    files = regular_files(trees)
    rng = Random(SEED)
    image = binary_part(files) + text_part(files) + synthetic_part(rng)
    assert len(image) == IMAGE_LENGTH
    splash = splash_screen(rng)
    write_release(args.output, image, splash)
    print(f"image {IMAGE_LENGTH} bytes, sha256 {hashlib.sha256(image).hexdigest()}")
    for name, version in PACKAGES:
        print(f"package {name} {version}")

    if args.shared_libraries:
        more = fetch_packages(args.cache, SHARED_LIBRARY_PACKAGES)
        libraries = shared_library_image(trees + more)
        write_release(args.shared_libraries, libraries, splash)
        print(f"shared-libraries image {IMAGE_LENGTH} bytes, sha256 {hashlib.sha256(libraries).hexdigest()}")
        for name, version in SHARED_LIBRARY_PACKAGES:
            print(f"shared-libraries package {name} {version}")


if __name__ == "__main__":
    main()
