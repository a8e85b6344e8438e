#include "tools/check_messages.h"

namespace romfold::check {

namespace {

std::string dimensions(const FoldImageInfo& info) {
    return std::to_string(info.width) + "x" + std::to_string(info.height);
}

}  // namespace

std::string byte_count(std::uint64_t count) { return std::to_string(count) + (count == 1 ? " byte" : " bytes"); }

std::string describe_image_fault(const FoldFault& fault, const FoldImageInfo& info, std::uint64_t file_size) {
    switch (fault.error) {
        case FOLD_IMAGE_TOO_SHORT: return "file of " + byte_count(file_size) + " is shorter than its header";
        case FOLD_IMAGE_MAGIC: return "bad packed image magic";
        case FOLD_HEADER_SIZE: return "header size " + std::to_string(fault.value) + " is not 16";
        case FOLD_IMAGE_SIZE:
            return "header sizes add up to " + byte_count(fault.value) + ", but the file has " +
                   std::to_string(file_size);
        case FOLD_SPLASH_SIZE_TOO_SMALL: return "splash block size " + std::to_string(fault.value) + " is below 12";
        case FOLD_SPLASH_MARKER: return "bad splash marker";
        case FOLD_SPLASH_NEGATIVE: return "splash screen of " + dimensions(info) + " pixels has a negative dimension";
        case FOLD_SPLASH_TOO_BIG: return "splash screen of " + dimensions(info) + " pixels is too big";
        case FOLD_SPLASH_SIZE_MISMATCH:
            return "splash block size " + std::to_string(fault.value) + " does not match " + dimensions(info) +
                   " pixels";
        default: return "unexpected fault " + std::to_string(int(fault.error)) + " in the packed image header";
    }
}

std::string describe_container_fault(const FoldFault& fault, const FoldImageInfo& info) {
    const std::string block = "block " + std::to_string(fault.block) + ": ";
    // Every block holds 65536 bytes but the last, which holds the rest.
    const std::uint64_t rest = std::uint64_t(info.image_size) - std::uint64_t(fault.block) * FOLD_BLOCK_SIZE;
    const std::uint64_t block_size = fault.block + 1 == info.block_count ? rest : FOLD_BLOCK_SIZE;
    switch (fault.error) {
        case FOLD_CONTAINER_TOO_SHORT:
            return "container of " + byte_count(info.stream_size) + " is shorter than its header";
        case FOLD_CONTAINER_MAGIC: return "bad container magic";
        case FOLD_TOTAL_TOO_BIG:
            return "total size " + std::to_string(info.image_size) + " does not fit in a container of " +
                   byte_count(info.stream_size);
        case FOLD_BLOCK_WORD_CUT_OFF: return block + "block word cut off";
        case FOLD_LAST_TOO_EARLY:
            return block + "marked last, but the total size needs " + std::to_string(info.block_count) + " blocks";
        case FOLD_LAST_NOT_MARKED: return block + "last block not marked last";
        case FOLD_SIZE_WORD_CUT_OFF: return block + "size word cut off";
        case FOLD_SIZE_MISMATCH:
            return block + "size " + std::to_string(fault.value) + " does not match the " + byte_count(rest) +
                   " left of the total size";
        case FOLD_STORED_SIZE:
        case FOLD_COMPRESSED_SIZE:
            return block + (fault.error == FOLD_STORED_SIZE ? "stored" : "compressed") + " data size " +
                   std::to_string(fault.value) + " does not fit a block of " + byte_count(block_size);
        case FOLD_DATA_CUT_OFF: return block + "data cut off";
        case FOLD_PADDING_NOT_ZERO: return block + "padding not zero";
        case FOLD_DATA_AFTER_END: return "data after the last block (" + byte_count(fault.value) + ")";
        default:
            if (fault.error >= FOLD_FLAG_WORD_CUT_OFF && fault.error <= FOLD_BAD_FILLER) {
                return block + describe_block_fault(fault.error);
            }
            return "unexpected fault " + std::to_string(int(fault.error)) + " in the block container";
    }
}

const char* describe_block_fault(FoldError error) {
    switch (error) {
        case FOLD_OK: return "no error";
        case FOLD_FLAG_WORD_CUT_OFF: return "flag word cut off";
        case FOLD_LITERAL_CUT_OFF: return "literal cut off";
        case FOLD_TOKEN_CUT_OFF: return "match token cut off";
        case FOLD_LENGTH_CUT_OFF: return "match length cut off";
        case FOLD_OFFSET_BEFORE_START: return "match offset before start of block";
        case FOLD_OUTPUT_TOO_LONG: return "match runs past the uncompressed size";
        case FOLD_OUTPUT_TOO_SHORT: return "block ends before the uncompressed size";
        case FOLD_TRAILING_BYTES: return "bytes after the end of the block";
        case FOLD_BAD_FILLER: return "bad filler bits";
        default: return "not a block fault";
    }
}

}  // namespace romfold::check
