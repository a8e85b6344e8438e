// Reads back the version resource of each Windows program or DLL named on the
// command line, through the system's own calls, and prints one line a file:
//   NAME FILEVERSION PRODUCTVERSION|Key=value|Key=value...
// with the fixed part's numbers and every string the resource should carry.
// A file without a version resource prints "NAME none" and the exit status is 1.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string narrow(const wchar_t* wide) {
    std::string text;
    for (; *wide != L'\0'; ++wide) text += *wide < 0x80 ? static_cast<char>(*wide) : '?';
    return text;
}

std::string version_of(DWORD most, DWORD least) {
    return std::to_string(HIWORD(most)) + "." + std::to_string(LOWORD(most)) + "." + std::to_string(HIWORD(least)) +
           "." + std::to_string(LOWORD(least));
}

}  // namespace

int main(int argc, char** argv) {
    static const wchar_t* const keys[] = {L"ProductName", L"ProductVersion", L"FileVersion",      L"FileDescription",
                                          L"CompanyName", L"LegalCopyright", L"OriginalFilename", L"InternalName"};
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        std::string line = argv[i];
        DWORD ignored = 0;
        const DWORD size = ::GetFileVersionInfoSizeA(argv[i], &ignored);
        std::vector<unsigned char> data(size);
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT fixed_size = 0;
        if (size == 0 || !::GetFileVersionInfoA(argv[i], 0, size, data.data()) ||
            !::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size) ||
            fixed_size < sizeof *fixed) {
            std::printf("%s none\n", line.c_str());
            status = 1;
            continue;
        }
        line += " " + version_of(fixed->dwFileVersionMS, fixed->dwFileVersionLS) + " " +
                version_of(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
        for (const wchar_t* key : keys) {
            const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
            wchar_t* value = nullptr;
            UINT length = 0;
            line += "|" + narrow(key) + "=";
            if (::VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) && length > 0) {
                line += narrow(value);
            }
        }
        std::printf("%s\n", line.c_str());
    }
    return status;
}
