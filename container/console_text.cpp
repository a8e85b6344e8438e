#include "container/console_text.h"

#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "container/utf8_paths.h"  // windows.h
#endif

namespace romfold {

std::size_t whole_utf8_length(const char* text, std::size_t size) {
    // A lead byte within the last three bytes whose sequence does not fit.
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(text[size - back]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back && byte < 0xF8 ? size - back : size;
    }
    return size;
}

#ifdef _WIN32

// When standard output or error is a console, both descriptors that are one
// are pointed at a pipe, and a relay thread turns what comes through it into
// the console's wide-character output. One pipe keeps the order in which the
// two streams were written. The relay ends when the pipe's last writer closes.
struct ConsoleText::Relay {
    int saved_out = -1;  // the console descriptors, to restore at the end
    int saved_err = -1;
    HANDLE console = INVALID_HANDLE_VALUE;
    int pipe_read = -1;                  // the pipe's reading end
    HANDLE pipe = INVALID_HANDLE_VALUE;  // the same, as the system's handle
    HANDLE thread = nullptr;

    static DWORD WINAPI run(void* context) {
        auto* relay = static_cast<Relay*>(context);
        char bytes[4096];
        wchar_t wide[4096];
        std::size_t held = 0;  // bytes of a cut-off character from the last read
        for (;;) {
            DWORD read = 0;
            const bool ok =
                ::ReadFile(relay->pipe, bytes + held, static_cast<DWORD>(sizeof bytes - held), &read, nullptr) != 0 &&
                read != 0;
            const std::size_t size = held + read;
            // At the end, whatever is held goes out as it is.
            const std::size_t whole = ok ? whole_utf8_length(bytes, size) : size;
            if (whole != 0) {
                const int count = ::MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(whole), wide, 4096);
                DWORD written = 0;
                ::WriteConsoleW(relay->console, wide, static_cast<DWORD>(count), &written, nullptr);
            }
            held = size - whole;
            for (std::size_t i = 0; i < held; ++i) bytes[i] = bytes[whole + i];
            if (!ok) return 0;
        }
    }
};

namespace {

bool is_console(int descriptor) {
    DWORD mode = 0;
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

ConsoleText::ConsoleText() {
    const int out = ::_fileno(stdout);
    const int err = ::_fileno(stderr);
    ::_setmode(out, _O_BINARY);
    ::_setmode(err, _O_BINARY);
    const bool out_console = is_console(out);
    const bool err_console = is_console(err);
    if (!out_console && !err_console) return;

    int pipe[2];
    if (::_pipe(pipe, 4096, _O_BINARY | _O_NOINHERIT) != 0) return;  // then the bytes go as they are
    auto* relay = new Relay;
    relay->saved_out = out_console ? ::_dup(out) : -1;
    relay->saved_err = err_console ? ::_dup(err) : -1;
    relay->console = reinterpret_cast<HANDLE>(::_get_osfhandle(out_console ? relay->saved_out : relay->saved_err));
    relay->pipe_read = pipe[0];
    relay->pipe = reinterpret_cast<HANDLE>(::_get_osfhandle(pipe[0]));
    relay->thread = ::CreateThread(nullptr, 0, &Relay::run, relay, 0, nullptr);
    if (relay->thread == nullptr) {
        if (relay->saved_out >= 0) ::_close(relay->saved_out);
        if (relay->saved_err >= 0) ::_close(relay->saved_err);
        ::_close(pipe[0]);
        ::_close(pipe[1]);
        delete relay;
        return;
    }
    if (out_console) ::_dup2(pipe[1], out);
    if (err_console) ::_dup2(pipe[1], err);
    ::_close(pipe[1]);
    relay_ = relay;
}

ConsoleText::~ConsoleText() {
    if (relay_ == nullptr) return;
    std::fflush(stdout);
    std::fflush(stderr);
    // Putting the consoles back closes the pipe's writers: the relay writes
    // what is left and ends.
    if (relay_->saved_out >= 0) ::_dup2(relay_->saved_out, ::_fileno(stdout));
    if (relay_->saved_err >= 0) ::_dup2(relay_->saved_err, ::_fileno(stderr));
    ::WaitForSingleObject(relay_->thread, INFINITE);
    ::CloseHandle(relay_->thread);
    if (relay_->saved_out >= 0) ::_close(relay_->saved_out);
    if (relay_->saved_err >= 0) ::_close(relay_->saved_err);
    ::_close(relay_->pipe_read);
    delete relay_;
}

#else

ConsoleText::ConsoleText() = default;
ConsoleText::~ConsoleText() = default;

#endif

}  // namespace romfold
