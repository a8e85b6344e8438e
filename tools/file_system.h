// The file-system calls of romfold-check, for Linux and Windows: what a path
// names, creating a directory and a private temporary file, flushing a file
// to the disk, and putting a finished file in place of another. Every call
// that fails leaves errno set, so the caller can say why.
#pragma once

#include <cstdio>
#include <string>

#include "container/utf8_paths.h"

namespace romfold::check {

// dir + separator + name; no second separator when dir ends in one.
std::string join_path(const std::string& dir, const std::string& name);

enum class PathKind { missing, regular, directory, other };

// What path names, following symbolic links (or, with follow_links false, the
// link itself). `missing` also stands for a path that cannot be examined:
// errno tells which (ENOENT when there is nothing there).
PathKind path_kind(const std::string& path, bool follow_links = true);

// Creates the directory; false (errno set) when it cannot.
bool make_directory(const std::string& path);

// Creates a new file with a unique name that starts with `prefix` and opens it
// for binary writing, with the permissions a new file gets by default; stores
// its name in `path`. Null (errno set) when it cannot.
std::FILE* create_unique_file(const std::string& prefix, std::string& path);

// Writes the stream's buffer out and asks the system to put the file's bytes
// on the disk before it returns.
bool flush_to_disk(std::FILE* stream);

// Gives the file `from` the name `to`, replacing a file of that name.
bool replace_file(const std::string& from, const std::string& to);

void remove_file(const std::string& path);
void remove_directory(const std::string& path);

}  // namespace romfold::check
