#include "tests/support/anonymous_file.h"

#include <cstdlib>
#include <stdexcept>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace romfold::test {

#ifdef _WIN32

// Windows cannot remove an open file from its directory; a file opened to be
// deleted when its last handle closes serves the same purpose.
int anonymous_file(const char* prefix) {
    char directory[MAX_PATH + 1];
    char name[MAX_PATH + 1];
    if (::GetTempPathA(sizeof directory, directory) == 0 || ::GetTempFileNameA(directory, prefix, 0, name) == 0) {
        throw std::runtime_error("GetTempFileName failed");
    }
    const int fd = ::_open(name, _O_RDWR | _O_BINARY | _O_TRUNC | _O_TEMPORARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        throw std::runtime_error(std::string("cannot open ") + name);
    }
    return fd;
}

#else

int anonymous_file(const char* prefix) {
    std::string name = std::string("/tmp/") + prefix + "_XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        throw std::runtime_error("mkstemp failed");
    }
    ::unlink(name.c_str());
    return fd;
}

#endif

std::string read_back_and_close(int fd) {
    std::string text;
    ::lseek(fd, 0, SEEK_SET);
    char chunk[65536];
    long long got = 0;
    while ((got = ::read(fd, chunk, sizeof chunk)) > 0) {
        text.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return text;
}

}  // namespace romfold::test
