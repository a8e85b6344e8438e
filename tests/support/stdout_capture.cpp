#include "tests/support/stdout_capture.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace romfold_test {

StdoutCapture::StdoutCapture() {
    std::fflush(stdout);
    char name[] = "/tmp/romfold_stdout_XXXXXX";
    capture_fd_ = ::mkstemp(name);
    if (capture_fd_ < 0) {
        throw std::runtime_error("mkstemp failed");
    }
    ::unlink(name);
    saved_fd_ = ::dup(STDOUT_FILENO);
    ::dup2(capture_fd_, STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture() {
    if (saved_fd_ >= 0) {
        finish();
    }
}

std::string StdoutCapture::finish() {
    std::fflush(stdout);
    ::dup2(saved_fd_, STDOUT_FILENO);
    ::close(saved_fd_);
    saved_fd_ = -1;

    std::string text;
    ::lseek(capture_fd_, 0, SEEK_SET);
    char chunk[4096];
    ssize_t got = 0;
    while ((got = ::read(capture_fd_, chunk, sizeof chunk)) > 0) {
        text.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(capture_fd_);
    capture_fd_ = -1;
    return text;
}

}  // namespace romfold_test
