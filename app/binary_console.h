// Standard output and error carry the tool's console text byte for byte.
#pragma once

namespace romfold {

// On Windows switches standard output and error to binary, so that no "\r" is
// added before a "\n" (the messages write their own "\r\n"); elsewhere they
// are binary already and nothing happens.
void use_binary_console();

}  // namespace romfold
