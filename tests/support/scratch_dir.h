// A scratch directory or file for one test, removed again when the test
// ends, and the few file operations the tests need.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "tests/support/bytes.h"

namespace romfold::test {

class ScratchDir {
public:
    ScratchDir();  // a fresh, empty directory under the test temp folder
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    void write(const std::string& name, const Bytes& bytes) const;
    void write(const std::string& name, const std::string& text) const;
    void symlink(const std::string& name, const std::string& target) const;
    void make_directory(const std::string& name) const;
    // A file of `size` bytes that are never written (a sparse file of zeros).
    void make_sparse(const std::string& name, std::uint64_t size) const;

    // Each entry of the directory: its bytes, or "-> target" for a symbolic
    // link, or "<dir>" for a directory.
    std::map<std::string, Bytes> entries() const;

private:
    std::string path_;
};

// A file of the given bytes under the test temporary directory, named after
// the test, removed when it goes out of scope.
class ScratchFile {
public:
    explicit ScratchFile(const Bytes& contents);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

Bytes read_file(const std::string& path);
void write_file(const std::string& path, const Bytes& bytes);  // replaces what was there

}  // namespace romfold::test
