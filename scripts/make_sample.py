#!/usr/bin/env python3
"""Writes the bundled sample release directory (sample/release by default).

The files look like the output of a real image build, so that the demo and
the tests see realistic data: a kernel image header (nk.bin) with a few
records after it, three raw segments with code-like words, pointer and offset
tables, string tables and runs of zeros, and a 64 x 48 boot splash screen of
16 bits per pixel. The image length is a little less than the segments'
total, so the last segment is cut. The output is the same on every run.

Usage: make_sample.py [output-directory]
"""

import os
import struct
import sys

BASE_ADDRESS = 0x80200000
SEGMENT_SIZES = (49152, 24576, 16384)
IMAGE_LENGTH = sum(SEGMENT_SIZES) - 2112
SPLASH_WIDTH = 64
SPLASH_HEIGHT = 48


class Random:
    """A small xorshift generator: the same numbers on every Python version."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF or 1

    def next(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x

    def below(self, limit):
        return self.next() % limit


def code_words(rng, count):
    """32-bit instruction-like words: a handful of opcode shapes whose
    register and immediate fields vary, as in compiled code."""
    out = bytearray()
    for i in range(count):
        shape = rng.below(10)
        rd = rng.below(13)
        rn = rng.below(13)
        if shape < 3:  # load from a literal pool, pc-relative
            word = 0xE59F0000 | rd << 12 | (rng.below(64) * 4)
        elif shape < 5:  # move immediate
            word = 0xE3A00000 | rd << 12 | rng.below(256)
        elif shape == 5:  # add register
            word = 0xE0800000 | rn << 16 | rd << 12 | rng.below(13)
        elif shape == 6:  # branch with link, backwards or forwards
            word = 0xEB000000 | ((rng.below(0x4000) - 0x2000) & 0xFFFFFF)
        elif shape == 7:  # store to a stack slot
            word = 0xE58D0000 | rd << 12 | (rng.below(32) * 4)
        elif shape == 8:  # compare immediate
            word = 0xE3500000 | rn << 16 | rng.below(256)
        else:  # a function epilogue and the next prologue
            out += struct.pack("<II", 0xE8BD8010, 0xE92D4010)
            continue
        out += struct.pack("<I", word)
        if i % 97 == 96:
            out += struct.pack("<I", 0xE12FFF1E)  # return
    return bytes(out)


def pointer_table(rng, count, base):
    """Ascending little-endian addresses into the image, 4-byte aligned."""
    out = bytearray()
    address = base
    for _ in range(count):
        address += 4 * (1 + rng.below(40))
        out += struct.pack("<I", address)
    return bytes(out)


def offset_table(rng, count):
    """Records of (offset, size, flags) as a loader would keep them."""
    out = bytearray()
    offset = 0
    for _ in range(count):
        size = 16 * (1 + rng.below(64))
        out += struct.pack("<IHH", offset, size, rng.below(4))
        offset += size
    return bytes(out)


NAMES = (
    "boot", "serial0", "display", "touch", "flash", "usb_host", "usb_fn",
    "power_mgr", "keypad", "audio", "battery", "rtc", "watchdog", "sdcard",
    "backlight", "network", "timer", "gpio", "i2c0", "spi1",
)
MESSAGES = (
    "out of memory\r\n", "device not ready\r\n", "invalid parameter\r\n",
    "timeout waiting for %s\r\n", "driver %s loaded at %08x\r\n",
    "checksum mismatch in block %d\r\n", "resuming from suspend\r\n",
)


def string_table(rng, count):
    """NUL-terminated ASCII strings, each padded to 4 bytes."""
    out = bytearray()
    for _ in range(count):
        text = (NAMES[rng.below(len(NAMES))] if rng.below(3) else MESSAGES[rng.below(len(MESSAGES))])
        data = text.encode("ascii") + b"\0"
        data += b"\0" * (-len(data) % 4)
        out += data
    return bytes(out)


def segment(number, size):
    rng = Random(0x5EED0000 + number)
    base = BASE_ADDRESS + sum(SEGMENT_SIZES[:number])
    out = bytearray()
    while len(out) < size:
        kind = rng.below(8)
        if kind < 4:
            out += code_words(rng, 64 + rng.below(448))
        elif kind == 4:
            out += pointer_table(rng, 16 + rng.below(112), base)
        elif kind == 5:
            out += offset_table(rng, 8 + rng.below(56))
        elif kind == 6:
            out += string_table(rng, 8 + rng.below(40))
        else:
            out += bytes(256 * (1 + rng.below(8)))  # zero-filled data
    return bytes(out[:size])


def kernel_image(segments):
    """The 15-byte header and a few records of address, length, checksum, data."""
    out = bytearray(b"B000FF\n")
    out += struct.pack("<II", BASE_ADDRESS, IMAGE_LENGTH)
    flat = b"".join(segments)[:IMAGE_LENGTH]
    for address in (0, 0x1000, 0x8000):
        data = flat[address:address + 64]
        out += struct.pack("<III", BASE_ADDRESS + address, len(data), sum(data) & 0xFFFFFFFF)
        out += data
    out += struct.pack("<III", 0, BASE_ADDRESS, 0)  # end record: entry point
    return bytes(out)


def splash():
    """A 16-bit bit-field bitmap with the type bytes "TD" and a 124-byte
    information header; the pixels are a colour gradient."""
    pixel_bytes = 2 * SPLASH_WIDTH * SPLASH_HEIGHT
    info = struct.pack(
        "<IiiHHIIiiII",
        124, SPLASH_WIDTH, SPLASH_HEIGHT, 1, 16, 3, pixel_bytes, 2835, 2835, 0, 0)
    info += struct.pack("<IIII", 0xF800, 0x07E0, 0x001F, 0)  # red, green, blue, alpha masks
    info += struct.pack("<I", 0x73524742)  # colour space "sRGB"
    info += bytes(36 + 12)  # end points and gamma, unused for sRGB
    info += struct.pack("<IIII", 4, 0, 0, 0)  # intent, profile data, profile size, reserved
    assert len(info) == 124
    header = b"TD" + struct.pack("<IHHI", 14 + 124 + pixel_bytes, 0, 0, 14 + 124)
    pixels = bytearray()
    for y in range(SPLASH_HEIGHT):
        for x in range(SPLASH_WIDTH):
            red = x * 31 // (SPLASH_WIDTH - 1)
            green = y * 63 // (SPLASH_HEIGHT - 1)
            blue = 31 - red
            pixels += struct.pack("<H", red << 11 | green << 5 | blue)
    return header + info + bytes(pixels)


def main(argv):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out_dir = argv[1] if len(argv) > 1 else os.path.join(root, "sample", "release")
    os.makedirs(out_dir, exist_ok=True)
    segments = [segment(n, size) for n, size in enumerate(SEGMENT_SIZES)]
    files = {"nk.bin": kernel_image(segments), "splash.tss": splash()}
    for n, data in enumerate(segments):
        files["nk.nb%d" % n] = data
    for name, data in sorted(files.items()):
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
