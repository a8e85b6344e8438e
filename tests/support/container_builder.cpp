#include "tests/support/container_builder.h"

#include <algorithm>
#include <cstddef>

namespace romfold::test {

ContainerBuilder::ContainerBuilder(std::uint32_t total_size) : bytes_(bytes_of("XPRS")) {
    append_le32(bytes_, total_size);
}

ContainerBuilder& ContainerBuilder::stored_block(const Bytes& data, bool is_last) {
    append_le32(bytes_, std::uint32_t(data.size()) | stored | (is_last ? last : 0));
    if (is_last) append_le32(bytes_, std::uint32_t(data.size()));
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
}

ContainerBuilder& ContainerBuilder::compressed_block(const Bytes& block, std::uint32_t size, bool is_last) {
    append_le32(bytes_, std::uint32_t(block.size()) | (is_last ? last : 0));
    if (is_last) append_le32(bytes_, size);
    bytes_.insert(bytes_.end(), block.begin(), block.end());
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
    return *this;
}

ContainerBuilder& ContainerBuilder::raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

Bytes stored_container(const Bytes& image) {
    ContainerBuilder container(static_cast<std::uint32_t>(image.size()));
    for (std::size_t at = 0; at < image.size(); at += 65536) {
        const std::size_t n = std::min<std::size_t>(image.size() - at, 65536);
        container.stored_block(
            Bytes(image.begin() + static_cast<std::ptrdiff_t>(at), image.begin() + static_cast<std::ptrdiff_t>(at + n)),
            at + n == image.size());
    }
    return container.bytes();
}

Bytes container_of_words(std::initializer_list<std::uint32_t> words, const Bytes& tail) {
    Bytes bytes = bytes_of("XPRS");
    for (const std::uint32_t word : words) append_le32(bytes, word);
    return concat(bytes, tail);
}

}  // namespace romfold::test
