#include "tests/support/compressed_blocks.h"

#include <stdexcept>
#include <vector>

#include "encoder/fold_encoder.h"
#include "tests/support/container_builder.h"

namespace romfold::test {

Bytes compressed(const Bytes& block) {
    static std::vector<std::uint8_t> memory(197920 + 256);
    auto allocate = [](void*, std::uint32_t) -> void* { return memory.data(); };
    EncoderHandle* handle = FoldEncodeCreate(65536, nullptr, allocate);
    Bytes out(65536);
    const std::int32_t c = FoldEncode(handle, out.data(), 65536, block.data(), static_cast<std::int32_t>(block.size()));
    out.resize(c > 0 && c < static_cast<std::int32_t>(block.size()) ? static_cast<std::size_t>(c) : 0);
    return out;
}

OneCompressedBlock one_compressed_block(std::uint32_t remainder) {
    // 200 zeros and a few distinct bytes: the number of literals moves the
    // compressed size one byte at a time.
    for (std::uint8_t literals = 1; literals < 40; ++literals) {
        Bytes image(200, 0);
        const Bytes tail = random_bytes(literals, literals);
        image.insert(image.end(), tail.begin(), tail.end());
        Bytes block = compressed(image);
        if (block.empty() || block.size() % 4 != remainder) continue;
        const auto size = static_cast<std::uint32_t>(image.size());
        return {image, block, ContainerBuilder(size).compressed_block(block, size, true).bytes()};
    }
    throw std::logic_error("no image compresses to 4k + " + std::to_string(remainder) + " bytes");
}

}  // namespace romfold::test
