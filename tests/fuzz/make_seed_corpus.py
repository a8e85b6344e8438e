#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora (tests/fuzz/corpus/ by default).

The packed images, containers and compressed blocks are real output: the
given romfold binary packs the bundled sample and a few small release
directories made here, and the blocks are taken from the containers it wrote.
The output is the same on every run with the same romfold.

Usage: make_seed_corpus.py ROMFOLD [corpus-directory]
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

BASE_ADDRESS = 0x80200000
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def text_bytes(size, seed):
    words = (b"the ", b"kernel ", b"image ", b"boot ", b"loader ", b"reads ", b"flash ",
             b"block ", b"of ", b"and ", b"device ", b"splash ", b"screen\r\n", b"0x8020 ")
    state = seed
    out = bytearray()
    while len(out) < size:
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out += words[state % len(words)]
    return bytes(out[:size])


def noise(size, seed):
    state = seed
    out = bytearray()
    for _ in range(size):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out.append(state >> 16 & 0xFF)
    return bytes(out)


def pack(romfold, work, name, image):
    """Runs romfold on a one-segment release directory holding image."""
    release = os.path.join(work, name)
    os.makedirs(release)
    with open(os.path.join(release, "nk.bin"), "wb") as f:
        f.write(b"B000FF\n" + struct.pack("<II", BASE_ADDRESS, len(image)))
    with open(os.path.join(release, "nk.nb0"), "wb") as f:
        f.write(image)
    return run(romfold, release)


def run(romfold, release):
    subprocess.run([romfold, release], check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(release, "nk.nbx"), "rb") as f:
        packed = f.read()
    with open(os.path.join(release, "nbx.tmp"), "rb") as f:
        container = f.read()
    return packed, container


def compressed_blocks(container):
    """(uncompressed size, data) of each compressed record of a container."""
    total = struct.unpack_from("<I", container, 4)[0]
    at, left, blocks = 8, total, []
    while left > 0:
        word = struct.unpack_from("<I", container, at)[0]
        at += 4
        size = min(left, 65536)
        if word & 0x40000000:
            at += 4
        data_size = word & 0x3FFFFFFF
        if not word & 0x80000000:
            blocks.append((size, container[at:at + data_size]))
            data_size += -data_size % 4
        at += data_size
        left -= size
    return blocks


def with_splash(container, width, height):
    pixels = bytes((x * 7 + 3) & 0xFF for x in range(2 * width * height))
    splash = b"ECEC" + struct.pack("<ii", width, height) + pixels
    return b"IORW" + struct.pack("<III", 16, len(container), len(splash)) + container + splash


def encoder_seed(level, flags, capacity, step, max_len, block, repeated_length=1):
    """The encoder target's 10-byte header: see encoder_round_trip_fuzz.cpp."""
    return struct.pack("<BBHhHH", level + 3, flags, capacity, step, max_len - 1,
                       repeated_length - 1) + block


def main(argv):
    if len(argv) < 2:
        sys.stderr.write(__doc__)
        return 2
    romfold = os.path.abspath(argv[1])
    out = argv[2] if len(argv) > 2 else os.path.join(ROOT, "tests", "fuzz", "corpus")
    work = tempfile.mkdtemp(prefix="romfold-seeds.")
    try:
        sample = os.path.join(work, "sample")
        shutil.copytree(os.path.join(ROOT, "sample", "release"), sample)
        sample_packed, sample_container = run(romfold, sample)
        with open(os.path.join(sample, "nk.tmp"), "rb") as f:
            sample_image = f.read()

        text = text_bytes(3000, 7)
        small = {
            "text": pack(romfold, work, "text", text),
            "code": pack(romfold, work, "code", sample_image[4096:4096 + 700]),
            "mixed": pack(romfold, work, "mixed", noise(40, 3) + bytes(300) + text[:200] + noise(9, 5)),
            "tiny": pack(romfold, work, "tiny", b"romfold"),
            "empty": pack(romfold, work, "empty", b""),
        }
    finally:
        shutil.rmtree(work)

    files = {}
    check = "packed_image_check"
    files[(check, "sample_nk.nbx")] = sample_packed
    files[(check, "sample_nbx.tmp")] = sample_container
    files[(check, "sample_nk.nbx.cut")] = sample_packed[:1024]
    files[(check, "sample_nbx.tmp.cut")] = sample_container[:700]
    for name, (packed, container) in small.items():
        files[(check, name + "_nk.nbx")] = packed
        files[(check, name + "_nbx.tmp")] = container
    files[(check, "text_splash_3x2_nk.nbx")] = with_splash(small["text"][1], 3, 2)
    files[(check, "code_splash_0x4_nk.nbx")] = with_splash(small["code"][1], 0, 4)

    # The walk target: a mode byte (bit 0 packed image, bit 1 block output)
    # and two bytes of piece-size seed before each file of the checker.
    walk = "image_walk"
    for (target, name), data in list(files.items()):
        if target == check:
            mode = (1 if "nk.nbx" in name else 0) | (2 if len(name) % 2 else 0)
            files[(walk, name)] = bytes([mode]) + struct.pack("<H", len(data) & 0xFFFF) + data

    decoder = "block_decoder"
    sources = [("sample", sample_container)] + [(n, c) for n, (_, c) in small.items()]
    for name, container in sources:
        for index, (size, data) in enumerate(compressed_blocks(container)):
            if len(data) <= 16384:
                files[(decoder, "%s_block%d" % (name, index))] = struct.pack("<I", size)[:3] + data

    encoder = "encoder_round_trip"
    progress, own_max, repeated = 1, 2, 0xD0
    files[(encoder, "level9_code_progress")] = encoder_seed(9, progress, 0, 1024, 65536, sample_image[:6000])
    files[(encoder, "level1_text")] = encoder_seed(1, 0, 0, 0, 65536, text)
    files[(encoder, "level0_text_step100")] = encoder_seed(0, progress, 0, 100, 65536, text[:1500])
    files[(encoder, "level2_runs_tight_capacity")] = encoder_seed(
        2, 1 << 2, 600, 0, 65536, bytes(500) + text[:300] + bytes(900))
    files[(encoder, "level5_nine_bytes")] = encoder_seed(5, progress, 0, 0, 65536, b"abcabcabc")
    files[(encoder, "level12_noise_stored")] = encoder_seed(12, 0, 0, 0, 65536, noise(512, 11))
    files[(encoder, "level7_above_maximum")] = encoder_seed(7, own_max, 0, 0, 1000, text[:1200])
    files[(encoder, "level3_wide_capacity")] = encoder_seed(3, progress | 2 << 2, 5000, 333, 65536,
                                                            sample_image[30000:34000])
    files[(encoder, "level9_text_repeated_to_64k")] = encoder_seed(
        9, progress | repeated, 0, 4096, 65536, text[:2500], 65536)
    files[(encoder, "level2_code_repeated_to_64k_capacity_below")] = encoder_seed(
        2, own_max | 1 << 2 | repeated, 30000, 0, 65536, sample_image[50000:55000], 65536)

    for (target, name), data in sorted(files.items()):
        directory = os.path.join(out, target)
        os.makedirs(directory, exist_ok=True)
        with open(os.path.join(directory, name), "wb") as f:
            f.write(data)
    total = sum(len(data) for data in files.values())
    print("wrote %d seeds, %d bytes, under %s" % (len(files), total, out))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
