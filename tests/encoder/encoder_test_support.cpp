#include "encoder_test_support.h"

#include <cstring>

#include "encoder/byte_hash_tables.h"

namespace romfold::test {

Encoded encode(EncoderHandle* handle, const Bytes& input, std::int32_t capacity) {
    if (capacity < 0) capacity = static_cast<std::int32_t>(input.size());
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[capacity > 0 ? capacity : 1]);
    Encoded encoded;
    encoded.result = FoldEncode(handle, out.get(), capacity, input.data(), static_cast<std::int32_t>(input.size()));
    if (encoded.result > 0 && encoded.result < static_cast<std::int32_t>(input.size())) {
        encoded.block.assign(out.get(), out.get() + encoded.result);
    }
    return encoded;
}

Encoded encode_at(std::int32_t level, const Bytes& input, std::int32_t capacity) {
    Encoder encoder(level);
    return encode(encoder.handle(), input, capacity);
}

Bytes repeat(const std::string& unit, std::size_t count) {
    Bytes out;
    for (std::size_t i = 0; i < count; ++i) out.insert(out.end(), unit.begin(), unit.end());
    return out;
}

namespace {

struct Rng {
    std::uint32_t state;
    std::uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

}  // namespace

Bytes text_like(std::size_t size, std::uint32_t seed) {
    static const char* const words[] = {"the ",   "kernel ", "image ",  "segment ", "boot ",  "loader ",
                                        "reads ", "flash ",  "block ",  "of ",      "and ",   "device ",
                                        "a ",     "splash ", "screen ", "build\n",  "size: ", "0x8020 "};
    Rng rng{seed + 77};
    Bytes out;
    while (out.size() < size) {
        const char* w = words[rng.next() % (sizeof words / sizeof words[0])];
        out.insert(out.end(), w, w + std::strlen(w));
    }
    out.resize(size);
    return out;
}

Bytes code_like(std::size_t size, std::uint32_t seed) {
    // 32-bit instruction words from a few opcode patterns with varying
    // register and immediate fields, with pointer tables in between.
    static const std::uint32_t opcodes[] = {0xE59F0000, 0xE1A00000, 0xEB000000, 0xE3A00000, 0xE5900000, 0xE12FFF1E};
    Rng rng{seed + 1234};
    Bytes out;
    while (out.size() < size) {
        std::uint32_t word;
        const std::uint32_t kind = rng.next() % 16;
        if (kind < 12) {
            word = opcodes[rng.next() % 6] | ((rng.next() % 4) << 12) | (rng.next() % 64);
        } else if (kind < 15) {
            word = 0x80200000u + (rng.next() % 4096) * 4;
        } else {
            word = 0;
        }
        append_le32(out, word);
    }
    out.resize(size);
    return out;
}

Bytes runs(std::size_t size, std::uint32_t seed) {
    Rng rng{seed + 99};
    Bytes out;
    while (out.size() < size) {
        const std::uint8_t value = static_cast<std::uint8_t>(rng.next() % 3 == 0 ? 0 : rng.next());
        const std::size_t length = 1 + rng.next() % 300;
        out.insert(out.end(), length, value);
    }
    out.resize(size);
    return out;
}

std::vector<Item> list_items(const Bytes& block, std::uint32_t in_len) {
    std::vector<Item> items;
    std::size_t at = 0;
    std::uint32_t produced = 0;
    std::int64_t held_nibble = -1;
    while (produced < in_len && at + 4 <= block.size()) {
        const std::uint32_t flags = load_le32(block, at);
        at += 4;
        for (int bit = 31; bit >= 0 && produced < in_len; --bit) {
            Item item{produced, ((flags >> bit) & 1) != 0, 0, 0, 0};
            if (!item.is_match) {
                item.literal = block.at(at++);
                produced += 1;
            } else {
                const std::uint32_t token = load_le16(block, at);
                at += 2;
                item.offset = (token >> 3) + 1;
                item.length = (token & 7) + 3;
                if ((token & 7) == 7) {
                    std::uint32_t nibble;
                    if (held_nibble < 0) {
                        held_nibble = static_cast<std::int64_t>(at);
                        nibble = block.at(at++) & 15;
                    } else {
                        nibble = block.at(static_cast<std::size_t>(held_nibble)) >> 4;
                        held_nibble = -1;
                    }
                    item.length = nibble + 10;
                    if (nibble == 15) {
                        const std::uint32_t extra = block.at(at++);
                        item.length = extra + 25;
                        if (extra == 255) {
                            item.length = load_le16(block, at) + 3;
                            at += 2;
                        }
                    }
                }
                produced += item.length;
            }
            items.push_back(item);
        }
    }
    return items;
}

const Item* item_at(const std::vector<Item>& items, std::uint32_t position) {
    for (const Item& item : items) {
        if (item.position == position) return &item;
    }
    return nullptr;
}

std::string level_name(std::int32_t level) {
    return level < 0 ? "LevelMinus" + std::to_string(-level) : "Level" + std::to_string(level);
}

std::string level_param_name(const ::testing::TestParamInfo<std::int32_t>& info) { return level_name(info.param); }

std::vector<Bytes> hash_colliders(const Bytes& triple, std::size_t count) {
    using encoder::three_byte_hash;
    encoder::generate_byte_hash_tables();
    const std::uint32_t wanted = three_byte_hash(triple.data());
    std::vector<Bytes> found;
    for (std::uint32_t v = 0; v < (1u << 24) && found.size() < count; ++v) {
        const Bytes candidate{static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                              static_cast<std::uint8_t>(v)};
        if (candidate != triple && three_byte_hash(candidate.data()) == wanted) found.push_back(candidate);
    }
    return found;
}

}  // namespace romfold::test
