#include "tools/file_system.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#ifdef _WIN32
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "container/utf8_paths.h"

namespace romfold::check {

std::string join_path(const std::string& dir, const std::string& name) {
    if (!dir.empty() && (dir.back() == path_separator || dir.back() == '/')) return dir + name;
    return dir + path_separator + name;
}

#ifdef _WIN32

// Paths are UTF-8, which Windows takes only through its wide-character calls.

PathKind path_kind(const std::string& path, bool) {
    // Unlike the C library's stat, this takes a directory written with a
    // separator at its end ("out\\").
    const DWORD attributes = ::GetFileAttributesW(widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
        return PathKind::missing;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::directory;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return PathKind::other;
    return PathKind::regular;
}

bool make_directory(const std::string& path) { return ::_wmkdir(widen(path).c_str()) == 0; }

std::FILE* create_unique_file(const std::string& prefix, std::string& path) {
    static std::atomic<std::uint32_t> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = prefix + "." + std::to_string(::_getpid()) + "." + std::to_string(counter++);
        const int fd = ::_wopen(widen(path).c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd >= 0) {
            std::FILE* stream = ::_fdopen(fd, "wb");
            if (stream == nullptr) ::_close(fd);
            return stream;
        }
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

bool flush_to_disk(std::FILE* stream) { return std::fflush(stream) == 0 && ::_commit(::_fileno(stream)) == 0; }

bool replace_file(const std::string& from, const std::string& to) {
    if (::MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
        return true;
    errno = ::GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return false;
}

void remove_file(const std::string& path) { ::_wunlink(widen(path).c_str()); }

void remove_directory(const std::string& path) { ::_wrmdir(widen(path).c_str()); }

#else

PathKind path_kind(const std::string& path, bool follow_links) {
    struct stat info {};
    if ((follow_links ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) != 0) return PathKind::missing;
    if (S_ISDIR(info.st_mode)) return PathKind::directory;
    if (S_ISREG(info.st_mode)) return PathKind::regular;
    return PathKind::other;
}

bool make_directory(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

std::FILE* create_unique_file(const std::string& prefix, std::string& path) {
    path = prefix + ".XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0) return nullptr;
    // mkstemp makes the file readable by its owner only; give it the
    // permissions of any new file under the current umask.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    std::FILE* stream = nullptr;
    if (::fchmod(fd, 0666 & ~mask) != 0 || (stream = ::fdopen(fd, "wb")) == nullptr) {
        const int saved = errno;
        ::close(fd);
        ::unlink(path.c_str());
        errno = saved;
    }
    return stream;
}

bool flush_to_disk(std::FILE* stream) { return std::fflush(stream) == 0 && ::fsync(::fileno(stream)) == 0; }

bool replace_file(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

void remove_file(const std::string& path) { ::unlink(path.c_str()); }

void remove_directory(const std::string& path) { ::rmdir(path.c_str()); }

#endif

}  // namespace romfold::check
