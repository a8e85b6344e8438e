#include "tests/support/anonymous_file.h"

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace romfold::test {

int anonymous_file(const char* prefix) {
    std::string name = std::string("/tmp/") + prefix + "_XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        throw std::runtime_error("mkstemp failed");
    }
    ::unlink(name.c_str());
    return fd;
}

std::string read_back_and_close(int fd) {
    std::string text;
    ::lseek(fd, 0, SEEK_SET);
    char chunk[65536];
    ssize_t got = 0;
    while ((got = ::read(fd, chunk, sizeof chunk)) > 0) {
        text.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return text;
}

}  // namespace romfold::test
