// Captures what the code under test prints on standard output, byte for
// byte, by pointing file descriptor 1 at a temporary file for a while.
#pragma once

#include <string>

namespace romfold::test {

class StdoutCapture {
public:
    StdoutCapture();   // starts capturing
    ~StdoutCapture();  // restores stdout if finish() was not called
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Stops capturing and returns everything printed since construction.
    std::string finish();

private:
    int saved_fd_ = -1;
    int capture_fd_ = -1;
};

}  // namespace romfold::test
