#include "container/transfer_buffer.h"

namespace romfold {

std::uint8_t transfer_buffer[transfer_buffer_size];

}  // namespace romfold
