// Strict decoder for one compressed block.
//
// A compressed block decodes on its own: nothing carries over from the block
// before it, and the caller supplies the uncompressed length that the
// container keeps for it. decode_block accepts exactly the byte sequences the
// token writer produces for that length and reports the first fault of any
// other sequence.
//
// Memory: the caller owns both buffers. decode_block reads only inside
// [block, block + block_size) and writes only inside
// [out, out + expected_size); it allocates nothing and keeps no state.
// It is safe to call from several threads on distinct buffers.
#pragma once

#include <cstdint>

namespace romfold {

enum class BlockDecodeError {
    none,                 // the block decodes to exactly expected_size bytes
    flag_word_cut_off,    // the block ends inside, or before, a flag word
    literal_cut_off,      // the block ends where a literal byte is due
    token_cut_off,        // the block ends inside a 16-bit match token
    length_byte_cut_off,  // the block ends inside a match's length extension
    offset_before_start,  // a match reaches back past the start of the output
    output_too_long,      // a match would write past expected_size
    output_too_short,     // the block is complete but produced too few bytes
    trailing_bytes,       // bytes follow the end of the block
    bad_filler,           // a flag filler bit, closing word or unused half-byte is not as written
};

struct BlockDecodeResult {
    BlockDecodeError error;
    std::uint32_t offset;    // byte offset in the block where the fault was found (block_size on success)
    std::uint32_t produced;  // bytes written to out
};

// Decodes block[0, block_size) into out, which must have room for
// expected_size bytes. On success error is none, offset is block_size and
// produced is expected_size. On a fault, offset is where the faulty item,
// flag word or byte starts (for a cut-off: where the missing bytes were due)
// and out[0, produced) holds the bytes decoded before the fault.
BlockDecodeResult decode_block(const std::uint8_t* block, std::uint32_t block_size, std::uint8_t* out,
                               std::uint32_t expected_size);

// A short English description of the error, without a line end; never null.
const char* describe(BlockDecodeError error);

}  // namespace romfold
