// The public calls: handle creation in the caller's memory, compression of a
// block through the driver, release, and the version and memory size queries.
#include "encoder/fold_encoder.h"

#include <cstdint>
#include <new>

#include "encoder/block_driver.h"
#include "encoder/encoder_handle.h"
#include "encoder/match_finders.h"

using namespace romfold::encoder;

extern "C" std::uint32_t FoldEncodeVersion(void) { return FOLD_ENCODER_VERSION_NUMBER; }

extern "C" std::uint32_t FoldEncodeMemorySize(std::uint32_t max_len, std::int32_t level) {
    if (max_len - 1u > 0xFFFFu) return 0;
    return request_size(level, max_len);
}

extern "C" EncoderHandle* FoldEncodeCreateAtLevel(std::uint32_t max_len, void* context, AllocateCallback allocate,
                                                  std::int32_t level) {
    if (allocate == nullptr || max_len - 1u > 0xFFFFu) return nullptr;
    if (level > 9) level = 9;
    std::uint8_t* const block = static_cast<std::uint8_t*>(allocate(context, request_size(level, max_len)));
    if (block == nullptr) return nullptr;

    // First multiple of 256 above the block: 1 to 256 bytes in.
    const std::uintptr_t misalignment = reinterpret_cast<std::uintptr_t>(block) % handle_alignment;
    std::uint8_t* const place = block + (handle_alignment - misalignment);
    EncoderHandle* const handle = new (place) EncoderHandle{};
    handle->max_len_minus_1 = max_len - 1;
    handle->allocation = block;
    handle->level = level;
    handle->level_limit = level <= 1 ? level : 9;
    handle->magic = handle_magic;
    handle->work = place + sizeof(HandleSlot) + header_size(level);
    handle->routines = &level_routines(level < 0 ? 0 : level);
    return handle;
}

extern "C" EncoderHandle* FoldEncodeCreate(std::uint32_t max_len, void* context, AllocateCallback allocate) {
    return FoldEncodeCreateAtLevel(max_len, context, allocate, 9);
}

extern "C" std::int32_t FoldEncodeWithProgress(EncoderHandle* handle, void* out, std::int32_t capacity, const void* in,
                                               std::int32_t in_len, ProgressCallback progress, void* progress_context,
                                               std::int32_t step) {
    if (handle == nullptr || handle->magic != handle_magic) return 0;
    std::int32_t consumed = -1;  // stays -1 when the driver refuses the arguments
    const std::int32_t result =
        encode_block(handle, out, capacity, in, in_len, &consumed, progress, progress_context, step, handle->level);
    if (result != 0 && consumed != in_len) return in_len;
    return result;
}

extern "C" std::int32_t FoldEncode(EncoderHandle* handle, void* out, std::int32_t capacity, const void* in,
                                   std::int32_t in_len) {
    return FoldEncodeWithProgress(handle, out, capacity, in, in_len, nullptr, nullptr, 0);
}

extern "C" void FoldEncodeClose(EncoderHandle* handle, void* context, ReleaseCallback release) {
    if (handle == nullptr || release == nullptr || handle->magic != handle_magic) return;
    handle->magic = 0;
    release(context, handle->allocation);
}
