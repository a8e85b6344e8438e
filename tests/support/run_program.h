// Runs a built program as a child process and collects what it printed.
#pragma once

#include <string>
#include <vector>

namespace romfold::test {

struct ProgramResult {
    std::string out;  // standard output, byte for byte
    std::string err;  // standard error
    int status = -1;  // exit status 0..255, or 1000 + signal number when killed (see below on Windows)
};

// A Windows program's 32-bit exit code as `status`: the -1 (0xFFFFFFFF) with
// which the tools fail is 255, as a Linux parent sees it, so that one
// expectation serves both systems; 0 to 254 stay; any other code, 255 among
// them, is 1000 + the code, so that it can never pass for -1.
constexpr int windows_exit_status(unsigned long code) {
    if (code == 0xFFFFFFFFul) return 255;
    return code < 255 ? static_cast<int>(code) : 1000 + static_cast<int>(code & 0x7FFFFFFF);
}

// Runs `program` with `args` (argv[1...]) in the directory `cwd`, with the
// environment of the test plus `extra_env` entries "NAME=value".
ProgramResult run_program(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                          const std::vector<std::string>& extra_env = {});

}  // namespace romfold::test
