// Runs a built program as a child process and collects what it printed.
#pragma once

#include <string>
#include <vector>

namespace romfold::test {

struct ProgramResult {
    std::string out;  // standard output, byte for byte
    std::string err;  // standard error
    int status = -1;  // exit status 0..255, or 1000 + signal number when killed
};

// Runs `program` with `args` (argv[1...]) in the directory `cwd`, with the
// environment of the test plus `extra_env` entries "NAME=value".
ProgramResult run_program(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                          const std::vector<std::string>& extra_env = {});

}  // namespace romfold::test
