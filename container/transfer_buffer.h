// The one 64 KB buffer through which every copy loop of the file stages and
// the container writer's block reader move data. The stages run one after
// another, so it never has two users at once, and the tool's memory does not
// grow with the image.
#pragma once

#include <cstddef>
#include <cstdint>

namespace romfold {

inline constexpr std::size_t transfer_buffer_size = 65536;
extern std::uint8_t transfer_buffer[transfer_buffer_size];

}  // namespace romfold
