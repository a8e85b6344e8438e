#include "tests/support/stdout_capture.h"

#include <unistd.h>

#include <cstdio>

#include "tests/support/anonymous_file.h"

namespace romfold::test {

StdoutCapture::StdoutCapture() {
    std::fflush(stdout);
    capture_fd_ = anonymous_file("romfold_stdout");
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

    const std::string text = read_back_and_close(capture_fd_);
    capture_fd_ = -1;
    return text;
}

}  // namespace romfold::test
