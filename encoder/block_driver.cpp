// The block driver.
//
// The finders never test the output bounds. Instead the driver computes,
// between slices, how many input bytes the remaining room is sure to hold:
//
//     room   = capacity - bytes written - 8
//     budget = room - ceil(room / 8)          (= floor(7 * room / 8))
//
// A literal costs one byte plus one flag bit, no match costs more bytes than
// the input it covers, and the last match of a slice, which may run past the
// slice, costs at most 6 bytes; so a slice of `budget` input bytes, its new
// flag slots included, always fits, and so do the tail and the close. When
// the budget falls to 16 or less the block is given up (the caller stores it
// raw). The last 8 input bytes never start a finder item: they are covered by
// an earlier match or written by the tail as literals, which keeps every
// finder's 8-byte reads inside the block.
#include "encoder/block_driver.h"

#include <cstring>
#include <iterator>
#include <new>

#include "encoder/chain_build.h"
#include "encoder/token_writer.h"

namespace romfold::encoder {
std::int32_t slice_budget(const BlockState& state, std::int32_t capacity) {
    const std::int32_t room = capacity - static_cast<std::int32_t>(state.out_pos - state.out_base) - 8;
    return room - ((room + 7) >> 3);
}

namespace {

// Level 0: every entry names the block start.
void prepare_position_table(std::uint8_t* work, const BlockState&) {
    for (std::uint32_t& entry : memory_at<Level0Memory>(work).table.entries) entry = 0;
}

// Level 1: every slot names position 0.
void prepare_offset_table(std::uint8_t* work, const BlockState&) {
    OffsetTable& table = memory_at<Level1Memory>(work).table;
    std::memset(table.entries, 0, sizeof table.entries);
}

// Levels 2 to 9: the chain of the whole block, built from empty heads.
void prepare_chain(std::uint8_t* work, const BlockState& state) {
    ChainMemory& memory = memory_at<ChainMemory>(work);
    std::memset(memory.header.hash_heads, 0, sizeof memory.header.hash_heads);
    build_chain(state.in_base, static_cast<std::uint32_t>(state.in_len), memory.header.hash_heads, memory.table.links);
}

constexpr LevelRoutines routines_by_level[] = {
    {prepare_position_table, find_level0}, {prepare_offset_table, find_level1}, {prepare_chain, find_level2},
    {prepare_chain, find_level3_9},        {prepare_chain, find_level3_9},      {prepare_chain, find_level3_9},
    {prepare_chain, find_level3_9},        {prepare_chain, find_level3_9},      {prepare_chain, find_level3_9},
    {prepare_chain, find_level3_9},
};
static_assert(std::size(routines_by_level) == 10);

}  // namespace

const LevelRoutines& level_routines(std::int32_t level) { return routines_by_level[level]; }

void encode_slice(std::uint8_t* work, MatchFinder finder, std::int32_t step, ProgressCallback progress,
                  void* progress_context) {
    if (progress == nullptr) {
        finder(work);
        return;
    }
    BlockState& state = block_state_at(work);
    const std::int32_t end = state.slice_end;
    for (;;) {
        if (state.in_pos - state.progress_mark >= step) {
            progress(progress_context, (state.in_pos * 15) >> 4);
            state.progress_mark = state.in_pos;
        }
        state.slice_end = end;
        if (state.in_pos >= end) return;
        if (end - state.progress_mark > step) state.slice_end = state.progress_mark + step;
        finder(work);
    }
}

std::int32_t encode_block(EncoderHandle* handle, void* out, std::int32_t capacity, const void* in, std::int32_t in_len,
                          std::int32_t* consumed, ProgressCallback progress, void* progress_context, std::int32_t step,
                          std::int32_t level) {
    if (handle == nullptr || handle->magic != handle_magic) return 0;
    // Wrapping subtraction: a negative in_len is refused below anyway.
    const std::int32_t in_len_minus_1 = static_cast<std::int32_t>(static_cast<std::uint32_t>(in_len) - 1u);
    if (capacity >= in_len) capacity = in_len_minus_1;
    if (static_cast<std::uint32_t>(in_len_minus_1) > handle->max_len_minus_1) return in_len;
    if (in_len <= 8) return in_len;
    if (capacity < 8) return in_len;
    if (out == nullptr || in == nullptr) return in_len;

    std::uint8_t* const work = handle->work;
    BlockState& state = *new (&block_state_at(work)) BlockState{};
    const std::int32_t requested_level = level;
    if (level < 0) {
        level = 0;
    } else if (level > handle->level_limit) {
        level = handle->level_limit;
    }
    // The handle's own level runs the routines chosen at its creation.
    const LevelRoutines& routines = requested_level == handle->level ? *handle->routines : level_routines(level);
    state.level = level;
    state.in_len = in_len;
    state.slice_end = in_len;
    state.in_base = static_cast<const std::uint8_t*>(in);
    state.in_end = state.in_base + in_len;
    state.hash_end = state.in_end - 3;
    state.out_base = static_cast<std::uint8_t*>(out);
    state.in_pos = 0;
    routines.prepare_tables(work, state);

    if (step <= 0 || step > in_len) step = in_len;
    if (progress != nullptr) {
        state.progress_mark = 0;
        progress(progress_context, 0);
    }
    state.flag_slot = state.out_base;
    state.out_pos = state.out_base + 4;
    state.flag_bits = 1;

    const std::int32_t last_finder_end = in_len - 8;
    std::int32_t budget = slice_budget(state, capacity);
    if (budget > 16) {
        for (;;) {
            if (state.in_pos >= in_len) break;
            state.slice_end = state.in_pos + budget;
            if (state.slice_end > last_finder_end) {
                state.slice_end = last_finder_end;
                if (state.in_pos >= last_finder_end) break;
            }
            encode_slice(work, routines.find, step, progress, progress_context);
            budget = slice_budget(state, capacity);
            if (budget <= 16) goto close;
        }
        // Tail: at most the last 8 bytes, as literals.
        TokenWriter writer(state);
        for (std::int32_t pos = state.in_pos; pos < in_len; ++pos) writer.emit_literal(state.in_base[pos]);
        writer.store(state);
        state.in_pos = in_len;
    }

close:
    if (consumed != nullptr) *consumed = state.in_pos;
    {
        TokenWriter writer(state);
        writer.close_flag_word();
        writer.store(state);
    }
    std::int32_t result = in_len;
    const std::uint32_t size = static_cast<std::uint32_t>(state.out_pos - state.out_base);
    if (size < static_cast<std::uint32_t>(capacity)) result = static_cast<std::int32_t>(size);
    if (progress != nullptr) progress(progress_context, in_len);
    return result;
}

}  // namespace romfold::encoder
