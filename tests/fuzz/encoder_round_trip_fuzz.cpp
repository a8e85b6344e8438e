// Fuzz target: the encoder's result rules and its round trip through the
// strict decoder.
//
// Input: a 10-byte parameter header, then the block (0 to 65536 bytes; more
// is cut off).
//
//   byte 0      level: low 4 bits give -3..12; with bit 4 set, bits 5-6 pick
//               an extreme (INT32_MIN, -128, 100, INT32_MAX) instead
//   byte 1      bit 0: pass a progress callback; bit 1: the handle's maximum
//               block size comes from bytes 6-7 (else 65536); bits 2-3: how
//               bytes 2-3 give the capacity (below); high nibble 0xF: the
//               output pointer is null, 0xE: the input pointer is null, 0xD:
//               the block is the rest repeated to the length in bytes 8-9
//   bytes 2-3   capacity parameter p (little-endian): mode 0 capacity in_len,
//               1 in_len - p, 2 in_len + p, 3 p as a signed 16-bit value
//               (0x8000 meaning INT32_MIN)
//   bytes 4-5   progress step, signed 16-bit
//   bytes 6-7   maximum block size - 1
//   bytes 8-9   repeated block length - 1 (with high nibble 0xD in byte 1)
//
// The repeated form lets small inputs reach full 64 KB blocks, where the
// encoder's 16-bit positions run out. The output buffer holds exactly
// `capacity` bytes (none when it is 0 or below) and the block lies in a
// buffer of its own, so that the address sanitizer reports any access outside
// either. Checked, from the header fold_encoder.h: the memory request for the
// level, the result rules with the lowered capacity, the decoded bytes of
// every compressed result, the order of the progress reports, and that a
// second call without progress gives the same result and bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include <romfold/fold_decoder.h>

#include "encoder/fold_encoder.h"
#include "fuzz_check.h"

namespace {

constexpr size_t header_size = 10;
constexpr std::int32_t max_block = 65536;

struct Parameters {
    std::int32_t level;
    bool with_progress;
    std::uint32_t max_len;
    int capacity_mode;
    std::uint16_t capacity_parameter;
    std::int32_t step;
    bool null_out;
    bool null_in;
    bool repeated;
    std::uint32_t repeated_length;
};

std::uint16_t le16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }

Parameters read_parameters(const std::uint8_t* header) {
    static constexpr std::int32_t extreme_levels[] = {std::numeric_limits<std::int32_t>::min(), -128, 100,
                                                      std::numeric_limits<std::int32_t>::max()};
    Parameters p{};
    p.level = (header[0] & 0x10) != 0 ? extreme_levels[(header[0] >> 5) & 3] : (header[0] & 15) - 3;
    p.with_progress = (header[1] & 1) != 0;
    p.max_len = (header[1] & 2) != 0 ? std::uint32_t(le16(header + 6)) + 1 : std::uint32_t(max_block);
    p.capacity_mode = (header[1] >> 2) & 3;
    p.capacity_parameter = le16(header + 2);
    p.step = std::int16_t(le16(header + 4));
    p.null_out = (header[1] >> 4) == 0xF;
    p.null_in = (header[1] >> 4) == 0xE;
    p.repeated = (header[1] >> 4) == 0xD;
    p.repeated_length = std::uint32_t(le16(header + 8)) + 1;
    return p;
}

std::int32_t capacity_for(const Parameters& p, std::int32_t in_len) {
    switch (p.capacity_mode) {
        case 0: return in_len;
        case 1: return in_len - std::int32_t(p.capacity_parameter);
        case 2: return in_len + std::int32_t(p.capacity_parameter);
        default:
            return p.capacity_parameter == 0x8000 ? std::numeric_limits<std::int32_t>::min()
                                                  : std::int32_t(std::int16_t(p.capacity_parameter));
    }
}

// The documented request: 12536 bytes at level 0 or below, 66848 at level 1,
// 2 * M + 66848 at levels 2 and up (above 9 running as 9).
std::uint32_t documented_request(std::int32_t level, std::uint32_t max_len) {
    if (level <= 0) return 12536;
    if (level == 1) return 66848;
    return 2 * max_len + 66848;
}

// Hands out exactly the requested size and records every call.
struct CountingAllocator {
    int allocations = 0;
    std::uint32_t requested = 0;
    void* given = nullptr;
    int releases = 0;
    void* released = nullptr;

    static void* allocate(void* context, std::uint32_t size) {
        auto* self = static_cast<CountingAllocator*>(context);
        ++self->allocations;
        self->requested = size;
        self->given = std::malloc(size);
        return self->given;
    }
    static void release(void* context, void* memory) {
        auto* self = static_cast<CountingAllocator*>(context);
        ++self->releases;
        self->released = memory;
        std::free(memory);
    }
};

struct ProgressLog {
    std::vector<std::int32_t> positions;
    static void report(void* context, std::int32_t position) {
        static_cast<ProgressLog*>(context)->positions.push_back(position);
    }
};

// First 0, last in_len, never going back; between them at most one report
// per `step` input bytes, each at most fifteen sixteenths of in_len.
void check_progress(const std::vector<std::int32_t>& positions, std::int32_t in_len, std::int32_t step) {
    FUZZ_REQUIRE(positions.size() >= 2);
    FUZZ_REQUIRE(positions.front() == 0);
    FUZZ_REQUIRE(positions.back() == in_len);
    for (size_t i = 1; i < positions.size(); ++i) FUZZ_REQUIRE(positions[i - 1] <= positions[i]);
    const std::int64_t intermediate = std::int64_t(positions.size()) - 2;
    FUZZ_REQUIRE(intermediate * step <= in_len);
    for (size_t i = 1; i + 1 < positions.size(); ++i) {
        FUZZ_REQUIRE(std::int64_t(positions[i]) * 16 <= std::int64_t(in_len) * 15);
    }
}

std::unique_ptr<std::uint8_t[]> output_buffer(std::int32_t capacity) {
    return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[capacity > 0 ? size_t(capacity) : 0]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < header_size) return -1;  // not a usable input: keep it out of the corpus
    const Parameters p = read_parameters(data);
    const std::uint8_t* const rest = data + header_size;
    const size_t rest_size = size - header_size;
    size_t block_size = rest_size < size_t(max_block) ? rest_size : size_t(max_block);
    if (p.repeated && rest_size != 0) block_size = p.repeated_length;
    const std::int32_t in_len = std::int32_t(block_size);

    // The block in an allocation of its own, so that a read before it faults too.
    std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[block_size]);
    for (size_t at = 0; at < block_size; at += rest_size) {
        std::memcpy(block.get() + at, rest, rest_size < block_size - at ? rest_size : block_size - at);
    }

    CountingAllocator allocator;
    EncoderHandle* handle = FoldEncodeCreateAtLevel(p.max_len, &allocator, CountingAllocator::allocate, p.level);
    FUZZ_REQUIRE(handle != nullptr);
    FUZZ_REQUIRE(allocator.allocations == 1);
    FUZZ_REQUIRE(allocator.requested == documented_request(p.level, p.max_len));

    const std::int32_t capacity = capacity_for(p, in_len);
    const std::int32_t lowered = capacity >= in_len ? in_len - 1 : capacity;
    const bool must_store = in_len <= 8 || std::uint32_t(in_len) > p.max_len || p.null_out || p.null_in || lowered < 8;
    const std::int32_t step = p.step <= 0 || p.step > in_len ? in_len : p.step;

    std::unique_ptr<std::uint8_t[]> out = output_buffer(capacity);
    std::uint8_t* const out_pointer = p.null_out ? nullptr : out.get();
    const std::uint8_t* const in_pointer = p.null_in ? nullptr : block.get();
    ProgressLog log;
    const std::int32_t result = FoldEncodeWithProgress(handle, out_pointer, capacity, in_pointer, in_len,
                                                       p.with_progress ? ProgressLog::report : nullptr, &log, p.step);

    const bool compressed = result != in_len;
    if (in_len == 0) {
        FUZZ_REQUIRE(result == 0);
    } else if (must_store) {
        FUZZ_REQUIRE(result == in_len);
    } else if (compressed) {
        FUZZ_REQUIRE(result >= 4);
        FUZZ_REQUIRE(result <= lowered - 1);
        FUZZ_REQUIRE(result <= in_len - 2);
    }

    if (p.with_progress && in_len > 0) {
        // A refused call may skip the reports; an accepted one makes them all.
        if (!must_store || !log.positions.empty()) check_progress(log.positions, in_len, step);
    } else {
        FUZZ_REQUIRE(log.positions.empty());
    }

    if (compressed && in_len > 0) {
        std::unique_ptr<std::uint8_t[]> decoded(new std::uint8_t[size_t(in_len)]);
        FoldBlockResult decode;
        FUZZ_REQUIRE(FoldDecodeBlock(out.get(), size_t(result), decoded.get(), size_t(in_len), 0, &decode) == FOLD_OK);
        FUZZ_REQUIRE(decode.offset == size_t(result));
        FUZZ_REQUIRE(decode.produced == size_t(in_len));
        FUZZ_REQUIRE(std::memcmp(decoded.get(), block.get(), size_t(in_len)) == 0);
    }

    // The same call again on the used handle, without progress: same result and
    // bytes.
    std::unique_ptr<std::uint8_t[]> again = output_buffer(capacity);
    const std::int32_t again_result =
        FoldEncode(handle, p.null_out ? nullptr : again.get(), capacity, in_pointer, in_len);
    FUZZ_REQUIRE(again_result == result);
    if (compressed && in_len > 0) FUZZ_REQUIRE(std::memcmp(again.get(), out.get(), size_t(result)) == 0);

    // A negative length is stored; a null handle gives 0.
    if (in_len > 0) FUZZ_REQUIRE(FoldEncode(handle, again.get(), capacity, block.get(), -in_len) == -in_len);
    FUZZ_REQUIRE(FoldEncode(nullptr, again.get(), capacity, block.get(), in_len) == 0);

    void* const given = allocator.given;
    FoldEncodeClose(handle, &allocator, CountingAllocator::release);
    FUZZ_REQUIRE(allocator.releases == 1);
    FUZZ_REQUIRE(allocator.released == given);
    return 0;
}
