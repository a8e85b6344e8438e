#!/usr/bin/env python3
"""Writes the packed images that the reference loader boots in CI, each with
the lines the loader must print for it.

For each case a release directory is packed with romfold (or a packed image
is damaged on purpose), and expected.txt gets the loader's lines, computed
here from the release files alone: the image's length and CRC-32 from the
segments, the splash screen's from its pixel bytes. A damaged image's lines
name its fault; the loader must then end with status 1, shown by the last
line.

Usage: make_boot_images.py ROMFOLD OUT-DIRECTORY
Writes OUT-DIRECTORY/<case>/nk.nbx and expected.txt, and the case names, one
a line, to OUT-DIRECTORY/cases.txt.
"""

import os
import random
import shutil
import struct
import subprocess
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BASE_ADDRESS = 0x80200000
BLOCK = 65536
PAGE_WAYS = ("from flash", "in place", "in 512-byte pages")
ERASED_AFTER = 4096  # erased flash after the image, as the loader links it


def splash_file(width, height, pixels):
    """A 16-bit bit-field splash file: "TD", pixel offset 138, a 124-byte
    information header with 5-6-5 masks, then the pixels."""
    info = struct.pack("<IiiHHIIiiII", 124, width, height, 1, 16, 3, len(pixels), 2835, 2835, 0, 0)
    info += struct.pack("<III", 0xF800, 0x07E0, 0x001F)
    info += bytes(124 - len(info))
    return b"TD" + struct.pack("<IHHI", 138 + len(pixels), 0, 0, 138) + info + pixels


def write_release(release, image, splash=None):
    os.makedirs(release)
    with open(os.path.join(release, "nk.bin"), "wb") as f:
        f.write(b"B000FF\n" + struct.pack("<II", BASE_ADDRESS, len(image)))
    with open(os.path.join(release, "nk.nb0"), "wb") as f:
        f.write(image)
    if splash is not None:
        with open(os.path.join(release, "splash.tss"), "wb") as f:
            f.write(splash_file(*splash))


def pack(romfold, release):
    subprocess.run([romfold, release], check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(release, "nk.nbx"), "rb") as f:
        return f.read()


def good_lines(nbx, image, splash):
    way = "image %d bytes, CRC-32 %08x" % (len(image), zlib.crc32(image))
    if splash is not None:
        width, height, pixels = splash
        way += "; splash %dx%d, CRC-32 %08x" % (width, height, zlib.crc32(pixels))
    return (head_lines(nbx) + ["loader: %s: %s" % (name, way) for name in PAGE_WAYS] +
            ["loader: starting the image"])


def head_lines(nbx, length=None):
    """The partition's size and the length the header gives (by default the
    whole file's)."""
    return [
        "loader: partition of %d bytes" % (len(nbx) + ERASED_AFTER),
        "loader: nk.nbx of %d bytes" % (len(nbx) if length is None else length)
    ]


def fault_lines(nbx, fault, offset, length=None):
    return (head_lines(nbx, length) + ["loader: %s: %s at offset %d" % (name, fault, offset) for name in PAGE_WAYS] +
            ["loader: not starting a damaged image"])


def noisy_tails(rng, blocks):
    """Blocks of zeros ending in noise: each compresses, and ends in a long
    run of literals."""
    out = bytearray()
    for _ in range(blocks):
        out += bytes(BLOCK // 2) + rng.randbytes(BLOCK // 2)
    return bytes(out)


def text_lines(rng, size):
    out = bytearray()
    while len(out) < size:
        out += b"entry %6d: address %08x, flags %s\n" % (len(out), rng.getrandbits(20) << 12,
                                                         rng.choice((b"rx", b"rw", b"ro")))
    return bytes(out[:size])


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    romfold, out = os.path.abspath(argv[1]), argv[2]
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    rng = random.Random(23)
    cases = {}

    # The bundled sample: its image is its segments joined, cut to the length
    # of its nk.bin.
    release = os.path.join(out, "release-sample")
    shutil.copytree(os.path.join(ROOT, "sample", "release"), release)
    with open(os.path.join(release, "nk.bin"), "rb") as f:
        length = struct.unpack("<I", f.read()[11:15])[0]
    segments = b""
    for n in range(3):
        with open(os.path.join(release, "nk.nb%d" % n), "rb") as f:
            segments += f.read()
    with open(os.path.join(release, "splash.tss"), "rb") as f:
        tss = f.read()
    width, height = struct.unpack("<ii", tss[18:26])
    sample_splash = (width, height, tss[138:138 + 2 * width * height])
    sample = pack(romfold, release)
    cases["sample"] = (sample, good_lines(sample, segments[:length], sample_splash))

    # Generated: stored blocks with a splash screen whose pixels start at an
    # odd offset, blocks that end in literals, and a larger text image.
    generated = [
        ("stored", rng.randbytes(3 * BLOCK + 4321), (61, 47)),
        ("noisy-tails", noisy_tails(rng, 5), (64, 48)),
        ("text", text_lines(rng, 1536 * 1024), None),
    ]
    for name, image, dimensions in generated:
        splash = None
        if dimensions is not None:
            splash = dimensions + (rng.randbytes(2 * dimensions[0] * dimensions[1]),)
        release = os.path.join(out, "release-" + name)
        write_release(release, image, splash)
        nbx = pack(romfold, release)
        cases[name] = (nbx, good_lines(nbx, image, splash))

    # Damaged: a bad container magic; a stream size 4 bytes too long, which
    # takes the splash marker into the container; a bad packed image magic,
    # found before anything is unpacked.
    stream_size = struct.unpack("<I", sample[8:12])[0]
    bad = bytearray(sample)
    bad[16] ^= 0x20
    cases["bad-container-magic"] = (bytes(bad), fault_lines(sample, "FOLD_CONTAINER_MAGIC", 16))
    bad = bytearray(sample)
    bad[8:12] = struct.pack("<I", stream_size + 4)
    cases["bytes-after-the-last-block"] = (bytes(bad),
                                           fault_lines(bad, "FOLD_DATA_AFTER_END", 16 + stream_size, len(sample) + 4))
    bad = bytearray(sample)
    bad[0] ^= 0x20
    cases["bad-image-magic"] = (bytes(bad), [
        "loader: partition of %d bytes" % (len(sample) + ERASED_AFTER), "loader: nk.nbx: FOLD_IMAGE_MAGIC at offset 0",
        "loader: not starting a damaged image"
    ])

    for name, (nbx, lines) in cases.items():
        os.makedirs(os.path.join(out, name))
        with open(os.path.join(out, name, "nk.nbx"), "wb") as f:
            f.write(nbx)
        with open(os.path.join(out, name, "expected.txt"), "w", newline="\n") as f:
            f.write("".join(line + "\n" for line in lines))
    with open(os.path.join(out, "cases.txt"), "w", newline="\n") as f:
        f.write("".join(name + "\n" for name in cases))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
