#include "tests/support/run_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "tests/support/anonymous_file.h"

namespace romfold::test {

ProgramResult run_program(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                          const std::vector<std::string>& extra_env) {
    const int out_fd = anonymous_file("romfold_child");
    const int err_fd = anonymous_file("romfold_child");

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        ::dup2(out_fd, STDOUT_FILENO);
        ::dup2(err_fd, STDERR_FILENO);
        const int null_fd = ::open("/dev/null", O_RDONLY);
        ::dup2(null_fd, STDIN_FILENO);
        if (::chdir(cwd.c_str()) != 0) {
            ::_exit(126);
        }
        for (const std::string& entry : extra_env) {
            ::putenv(const_cast<char*>(entry.c_str()));
        }
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }

    int wait_status = 0;
    while (::waitpid(child, &wait_status, 0) < 0) {
    }
    ProgramResult result;
    result.out = read_back_and_close(out_fd);
    result.err = read_back_and_close(err_fd);
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 1000 + WTERMSIG(wait_status);
    return result;
}

}  // namespace romfold::test
