// An unlinked temporary file to collect a stream's bytes in: what a child
// process or the code under test writes to it is read back whole at the end.
#pragma once

#include <string>

namespace romfold::test {

// Creates the file (already removed from the directory) and returns its
// descriptor; throws when it cannot.
int anonymous_file(const char* prefix);

// Everything written to fd, read from its start; closes fd.
std::string read_back_and_close(int fd);

}  // namespace romfold::test
