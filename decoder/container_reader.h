// Strict, streaming reader of the block container.
//
// The container is the magic "XPRS", the total uncompressed size (32-bit
// little-endian) and one record per 65536-byte block of that total, in order:
//
//   block word     bits 0..29 data size, bit 30 last block, bit 31 stored
//   size word      the block's uncompressed size; last block only
//   data           a compressed block, or the block's bytes when stored
//   padding        zero bytes up to a multiple of 4; compressed blocks only
//
// The reader trusts no field until it has checked it: every size against the
// bytes left in the container before reading, every record against the total
// (every block but the last holds 65536 bytes, the last is marked exactly
// once, at the end, and carries the rest of the total), stored data against
// its block size, compressed data against the strict block decoder, padding
// against zero, and the container's end against the last record's end.
//
// Memory stays bounded: the reader holds one record's data and one decoded
// block (64 KB each) and hands each block to a sink before it reads the next,
// so a caller can check a container of any size without holding its image.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "decoder/decode_failure.h"

namespace romfold {

// The first four bytes of a block container.
inline constexpr std::uint8_t container_magic[4] = {'X', 'P', 'R', 'S'};

// One decoded block, as handed to the sink. bytes is valid only during the
// call.
struct ContainerBlock {
    std::uint32_t index;          // record number, from 0
    std::uint64_t record_offset;  // file offset of the record's block word
    std::uint64_t image_offset;   // offset of the block's first byte in the image
    bool stored;                  // the record holds the bytes unchanged
    std::uint32_t data_size;      // data bytes in the record, padding excluded
    const std::uint8_t* bytes;    // the block's uncompressed bytes
    std::uint32_t size;           // their number
};

// Receives each block in order. Returns false to stop the read, after filling
// the failure that read_blocks then reports.
using ContainerBlockSink = std::function<bool(const ContainerBlock& block, DecodeFailure& failure)>;

// Reads the container held in bytes [start, start + length) of an open file.
// The file is read front to back from start; nothing else may move its
// position between the calls. Failure offsets are file offsets.
class ContainerReader {
public:
    static constexpr std::uint32_t block_size = 65536;

    ContainerReader(std::FILE* file, std::uint64_t start, std::uint64_t length);

    // Reads and checks the 8-byte header: the magic, and a total size that the
    // container's length can hold. Call once, before read_blocks.
    bool read_header(DecodeFailure& failure);

    // The header's total uncompressed size and the number of records it implies;
    // valid after read_header succeeded.
    std::uint32_t total_size() const { return total_size_; }
    std::uint32_t block_count() const { return block_count_; }

    // Reads, checks and decodes every record, calling sink once per block, and
    // checks that the container ends after the last one. Call once, after
    // read_header.
    bool read_blocks(const ContainerBlockSink& sink, DecodeFailure& failure);

private:
    bool read(std::uint8_t* dst, std::uint32_t size, DecodeFailure& failure);
    bool fail(DecodeFailure& failure, std::uint64_t relative_offset, std::string message) const;

    std::FILE* file_;
    std::uint64_t start_;
    std::uint64_t length_;
    std::uint64_t position_ = 0;  // relative to start_
    bool header_read_ = false;
    bool blocks_read_ = false;
    std::uint32_t total_size_ = 0;
    std::uint32_t block_count_ = 0;
    std::vector<std::uint8_t> data_;
    std::vector<std::uint8_t> block_;
};

// Reads the container file at path and decodes it whole into image.
bool decode_container_file(const std::string& path, std::vector<std::uint8_t>& image, DecodeFailure& failure);

}  // namespace romfold
