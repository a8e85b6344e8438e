#!/usr/bin/env python3
"""Counts what a decoder walks through: the items of romfold's compressed
blocks (in a packed image or a bare block container) and the sequences of
an lz4 frame. Decoding time goes mostly per item, not per byte, so these
counts put the two decoders' speeds side by side per item.

Usage: stream_counts.py PACKED_OR_CONTAINER [LZ4_FRAME]
"""

import struct
import sys

LAST_FLAG = 0x40000000
STORED_FLAG = 0x80000000
DATA_SIZE_MASK = 0x3FFFFFFF
BLOCK_SIZE = 65536


def container_of(data):
    """The block container inside a packed image, or the data itself."""
    if data[:4] == b"IORW":
        header_size, stream_size = struct.unpack_from("<II", data, 4)
        return data[header_size:header_size + stream_size]
    return data


def romfold_items(data):
    """Counts of the compressed blocks' items: literals, matches, 3-byte
    matches, matches with a length extension, groups (flag words),
    compressed blocks and the bytes they decode to."""
    data = container_of(data)
    counts = {"blocks": 0, "groups": 0, "literals": 0, "matches": 0, "three_byte": 0, "extended": 0, "bytes": 0}
    pos = 8
    while pos < len(data):
        (record,) = struct.unpack_from("<I", data, pos)
        pos += 4
        size = BLOCK_SIZE
        if record & LAST_FLAG:
            (size,) = struct.unpack_from("<I", data, pos)
            pos += 4
        length = record & DATA_SIZE_MASK
        block = data[pos:pos + length]
        pos += length
        if record & STORED_FLAG:
            counts["bytes"] += length
            continue
        pos += -length & 3
        counts["blocks"] += 1
        counts["bytes"] += count_block(block, size, counts)
    return counts


def count_block(block, size, counts):
    """Adds one block's items to counts; returns the bytes they decode to."""
    ip = op = 0
    held = None
    while op < size:
        (word,) = struct.unpack_from("<I", block, ip)
        ip += 4
        counts["groups"] += 1
        for bit in range(31, -1, -1):
            if op >= size:
                break
            if not word >> bit & 1:
                ip += 1
                op += 1
                counts["literals"] += 1
                continue
            token = block[ip] | block[ip + 1] << 8
            ip += 2
            counts["matches"] += 1
            length = (token & 7) + 3
            counts["three_byte"] += length == 3
            if token & 7 == 7:
                counts["extended"] += 1
                if held is None:
                    half = block[ip] & 15
                    held = ip
                    ip += 1
                else:
                    half = block[held] >> 4
                    held = None
                length = half + 10
                if half == 15:
                    length = block[ip] + 25
                    ip += 1
                    if length == 255 + 25:
                        length = (block[ip] | block[ip + 1] << 8) + 3
                        ip += 2
            op += length
    return op


def lz4_sequences(frame):
    """Counts of an lz4 frame's sequences (a literal run and a match), of
    their literal bytes, of the length extensions they carry, of its
    compressed blocks and of the bytes the frame decodes to."""
    counts = {"sequences": 0, "literal_bytes": 0, "extensions": 0, "blocks": 0, "bytes": 0}
    if struct.unpack_from("<I", frame, 0)[0] != 0x184D2204:
        raise ValueError("not an lz4 frame")
    descriptor = frame[4]
    block_checksums = descriptor & 0x10
    # Magic, descriptor and block descriptor bytes, content size and
    # dictionary identifier when present, header checksum.
    pos = 4 + 2 + (8 if descriptor & 0x08 else 0) + (4 if descriptor & 0x01 else 0) + 1
    while True:
        (record,) = struct.unpack_from("<I", frame, pos)
        pos += 4
        if record == 0:
            return counts
        length = record & 0x7FFFFFFF
        block = frame[pos:pos + length]
        pos += length + (4 if block_checksums else 0)
        if record & 0x80000000:
            counts["literal_bytes"] += length
            counts["bytes"] += length
            continue
        counts["blocks"] += 1
        count_lz4_block(block, counts)


def lz4_length(block, i, nibble, counts):
    """A length field: its 4-bit part, then while that is 15, bytes added
    until one is below 255. Returns the length and the position after it."""
    length = nibble
    if nibble == 15:
        counts["extensions"] += 1
        while True:
            more = block[i]
            i += 1
            length += more
            if more != 255:
                break
    return length, i


def count_lz4_block(block, counts):
    i = 0
    while i < len(block):
        token = block[i]
        literals, i = lz4_length(block, i + 1, token >> 4, counts)
        i += literals
        counts["literal_bytes"] += literals
        counts["bytes"] += literals
        if i >= len(block):
            return  # the block's closing literal run has no match
        counts["sequences"] += 1
        match, i = lz4_length(block, i + 2, token & 15, counts)
        counts["bytes"] += match + 4


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__.strip().splitlines()[-1])
    with open(sys.argv[1], "rb") as f:
        print("romfold", romfold_items(f.read()))
    if len(sys.argv) == 3:
        with open(sys.argv[2], "rb") as f:
            print("lz4", lz4_sequences(f.read()))


if __name__ == "__main__":
    main()
