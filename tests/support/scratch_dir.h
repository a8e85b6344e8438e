// A scratch directory for one test, removed again when the test ends, and
// the few file operations the tests need on it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace romfold::test {

using Bytes = std::vector<std::uint8_t>;

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

Bytes read_file(const std::string& path);
void write_file(const std::string& path, const Bytes& bytes);  // replaces what was there
Bytes to_bytes(const std::string& text);

// Little-endian 32-bit value appended to bytes, read from bytes at `at`, or
// written over the four bytes at `at`; out-of-range offsets throw.
void append_le32(Bytes& bytes, std::uint32_t value);
std::uint32_t load_le32(const Bytes& bytes, std::size_t at);
void store_le32(Bytes& bytes, std::size_t at, std::uint32_t value);

// Deterministic bytes that differ from segment to segment (seed), so that a
// misplaced chunk shows.
Bytes pattern_bytes(std::size_t size, std::uint32_t seed);

}  // namespace romfold::test
