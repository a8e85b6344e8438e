// Paths and program arguments in UTF-8 on every system, and the separator
// that joins a directory and a file name.
//
// Linux takes a UTF-8 path as it is. Windows takes a path in UTF-8 only
// through its wide-character calls, and hands a program its arguments in
// UTF-8 only through its wide command line; these few helpers are the whole
// difference, so that a release directory such as "build\relé-µ" works the
// same on both. Header-only: romfold, romfold-check and the tests share it.
#pragma once

#include <string>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#endif

namespace romfold {

// The separator that joins a directory and a file name on this platform.
#ifdef _WIN32
inline constexpr char path_separator = '\\';
#else
inline constexpr char path_separator = '/';
#endif

#ifdef _WIN32

// UTF-8 to UTF-16, for the wide-character calls.
inline std::wstring widen(const std::string& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int count = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), count);
    return wide;
}

// UTF-16 to UTF-8.
inline std::string narrow(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int count = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(count), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), count, nullptr, nullptr);
    return text;
}

#endif

// The program's arguments in UTF-8: on Windows read again from the wide
// command line (the narrow argv holds them in the system's code page), on
// Linux the argv given.
class Utf8Arguments {
public:
    Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
        (void)argc;
        (void)argv;
        int count = 0;
        if (wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count); wide != nullptr) {
            for (int i = 0; i < count; ++i) strings_.push_back(narrow(wide[i]));
            ::LocalFree(wide);
        }
#else
        strings_.assign(argv, argv + argc);
#endif
        for (std::string& text : strings_) pointers_.push_back(text.data());
        pointers_.push_back(nullptr);
    }
    Utf8Arguments(const Utf8Arguments&) = delete;
    Utf8Arguments& operator=(const Utf8Arguments&) = delete;

    int argc() const { return static_cast<int>(strings_.size()); }
    char** argv() { return pointers_.data(); }

private:
    std::vector<std::string> strings_;
    std::vector<char*> pointers_;
};

}  // namespace romfold
