#include "app/release_paths.h"

namespace romfold {
namespace {

std::string join(const std::string& directory, const char* name) {
    std::string path;
    path.reserve(directory.size() + 1 + std::char_traits<char>::length(name));
    path += directory;
    path += path_separator;
    path += name;
    return path;
}

}  // namespace

ReleasePaths make_release_paths(const std::string& directory) {
    return ReleasePaths{
        directory,
        join(directory, "nk.bin"),
        join(directory, "nk.tmp"),
        join(directory, "nbx.tmp"),
        join(directory, "splash.tss"),
        join(directory, "nk.nbx"),
    };
}

std::string segment_path(const std::string& directory, int n) { return join(directory, "nk.nb") + std::to_string(n); }

}  // namespace romfold
