// The names of every file a run touches, all derived from the one directory
// argument and joined with the platform's separator (a backslash on Windows,
// a slash elsewhere). The argument is used exactly as given: it is never
// inspected or normalised, so "rel/" yields "rel//nk.bin". Paths are plain strings with no
// length limit of their own; a path the platform cannot open simply fails to
// open, with the usual messages.
#pragma once

#include <string>

#include "container/utf8_paths.h"

namespace romfold {

struct ReleasePaths {
    std::string directory;     // the argument, as given
    std::string kernel_image;  // nk.bin: the header is checked
    std::string merged_image;  // nk.tmp: the segments joined
    std::string container;     // nbx.tmp: the compressed blocks
    std::string splash;        // splash.tss: optional boot screen
    std::string packed_image;  // nk.nbx: the product
};

ReleasePaths make_release_paths(const std::string& directory);

// directory + separator + "nk.nb" + n in decimal without padding (nk.nb0, nk.nb10, ...).
std::string segment_path(const std::string& directory, int n);

}  // namespace romfold
