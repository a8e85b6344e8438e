// SHA-256 of a byte string, as lowercase hex; for golden output digests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace romfold::test {

std::string sha256_hex(const std::vector<std::uint8_t>& bytes);

}  // namespace romfold::test
