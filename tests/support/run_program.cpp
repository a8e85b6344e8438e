#include "tests/support/run_program.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "app/release_paths.h"
#include "container/utf8_paths.h"
#include "tests/support/anonymous_file.h"

namespace romfold::test {

std::string native(std::string text) {
    for (char& c : text) {
        if (c == '/') c = romfold::path_separator;
    }
    return text;
}

#ifdef _WIN32

namespace {

// One argument quoted for the command line of a Windows program, so that the
// C runtime of the child splits the line back into the same arguments.
std::string quoted(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string text = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, the quote escaped.
        text.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        text += c;
    }
    text.append(2 * backslashes, '\\');
    return text + "\"";
}

HANDLE inheritable(int fd) {
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return handle;
}

}  // namespace

ProgramResult run_program(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                          const std::vector<std::string>& extra_env) {
    const int out_fd = anonymous_file("rfo");
    const int err_fd = anonymous_file("rfe");

    std::string command_line = quoted(program);
    for (const std::string& arg : args) command_line += " " + quoted(arg);

    // The test's environment without the names the extra entries set, then
    // the extra entries, as a block of NUL-terminated strings. (With a name
    // twice in the block, the child would see the first.)
    auto replaced = [&](const wchar_t* entry) {
        for (const std::string& extra : extra_env) {
            const std::wstring name = widen(extra.substr(0, extra.find('=') + 1));
            if (::_wcsnicmp(entry, name.c_str(), name.size()) == 0) return true;
        }
        return false;
    };
    std::wstring environment;
    if (wchar_t* block = ::GetEnvironmentStringsW(); block != nullptr) {
        for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
            if (!replaced(entry)) environment.append(entry, std::wcslen(entry) + 1);
        }
        ::FreeEnvironmentStringsW(block);
    }
    for (const std::string& entry : extra_env) environment += widen(entry) + L'\0';
    environment += L'\0';

    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE null_input =
        ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = null_input;
    startup.hStdOutput = inheritable(out_fd);
    startup.hStdError = inheritable(err_fd);
    PROCESS_INFORMATION process{};
    std::fflush(nullptr);
    // Wide calls: the arguments and the directory are UTF-8. A start can fail
    // for a moment when the system is short of resources (seen under Wine with
    // every core busy); only a missing program or directory fails at once.
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 1; attempt <= 5; ++attempt) {
        std::wstring wide_command_line = widen(command_line);
        if (::CreateProcessW(nullptr, wide_command_line.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                             environment.data(), widen(cwd).c_str(), &startup, &process)) {
            error = ERROR_SUCCESS;
            break;
        }
        error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_DIRECTORY) break;
        ::Sleep(DWORD(200 * attempt));
    }
    ::CloseHandle(null_input);
    if (error != ERROR_SUCCESS) {
        throw std::runtime_error("cannot start " + program + " (error " + std::to_string(error) + ")");
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exit_code = 0;
    ::GetExitCodeProcess(process.hProcess, &exit_code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);

    ProgramResult result;
    result.out = read_back_and_close(out_fd);
    result.err = read_back_and_close(err_fd);
    result.status = windows_exit_status(exit_code);
    return result;
}

#else

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

#endif

}  // namespace romfold::test
