// The one way the file readers report a fault.
#pragma once

#include <cstdint>
#include <string>

namespace romfold {

struct DecodeFailure {
    std::string message;       // short English text, no line end
    std::uint64_t offset = 0;  // byte offset in the file where the fault was found
    bool io_error = false;     // the file could not be opened or read, as opposed to holding bad data
};

// "1 byte", "N bytes": counts in failure messages.
inline std::string byte_count(std::uint64_t count) { return std::to_string(count) + (count == 1 ? " byte" : " bytes"); }

}  // namespace romfold
