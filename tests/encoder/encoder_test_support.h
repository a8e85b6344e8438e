// Shared helpers of the encoder tests: a counting allocator, deterministic
// test data, a one-call encoder with an exactly sized output buffer, and a
// listing of a block's items for tests that check which tokens were chosen.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "encoder/fold_encoder.h"
#include "tests/support/bytes.h"

namespace romfold::test {

// Hands out exactly the requested size from the heap, so that the sanitizer
// build catches any access past what the encoder asked for.
struct CountingAllocator {
    std::vector<std::uint32_t> requests;
    std::vector<void*> released;

    static void* allocate(void* context, std::uint32_t size) {
        static_cast<CountingAllocator*>(context)->requests.push_back(size);
        return std::malloc(size);
    }
    static void release(void* context, void* memory) {
        static_cast<CountingAllocator*>(context)->released.push_back(memory);
        std::free(memory);
    }
};

// A handle that is closed when the test ends.
class Encoder {
public:
    explicit Encoder(std::int32_t level, std::uint32_t max_len = 65536)
        : handle_(FoldEncodeCreateAtLevel(max_len, &allocator_, CountingAllocator::allocate, level)) {}
    ~Encoder() { FoldEncodeClose(handle_, &allocator_, CountingAllocator::release); }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    EncoderHandle* handle() const { return handle_; }
    const CountingAllocator& allocator() const { return allocator_; }

private:
    CountingAllocator allocator_;
    EncoderHandle* handle_;
};

struct Encoded {
    std::int32_t result = 0;
    Bytes block;  // the compressed block when result is a compressed size
};

// Compresses `input` into a heap buffer of exactly `capacity` bytes (by default
// the input length, which the encoder lowers to in_len - 1).
Encoded encode(EncoderHandle* handle, const Bytes& input, std::int32_t capacity = -1);
Encoded encode_at(std::int32_t level, const Bytes& input, std::int32_t capacity = -1);

Bytes repeat(const std::string& unit, std::size_t count);

// Deterministic inputs of the given size, with the structure of text, of
// machine code, and of runs of equal bytes (random_bytes has none).
Bytes text_like(std::size_t size, std::uint32_t seed);
Bytes code_like(std::size_t size, std::uint32_t seed);
Bytes runs(std::size_t size, std::uint32_t seed);

struct Item {
    std::uint32_t position;  // input position the item starts at
    bool is_match;
    std::uint8_t literal;
    std::uint32_t offset;
    std::uint32_t length;
};

// The items of a well-formed block of `in_len` bytes, in order.
std::vector<Item> list_items(const Bytes& block, std::uint32_t in_len);

// The item that starts at input position `position`, or null.
const Item* item_at(const std::vector<Item>& items, std::uint32_t position);

// Test names for compression levels: Level0, Level9, LevelMinus3; the second
// names the cases of a suite whose parameter is the level.
std::string level_name(std::int32_t level);
std::string level_param_name(const ::testing::TestParamInfo<std::int32_t>& info);

// Three-byte sequences (other than `triple`) with the same three-byte hash.
std::vector<Bytes> hash_colliders(const Bytes& triple, std::size_t count);

}  // namespace romfold::test
