#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace romfold_test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
#ifdef _WIN32
    // A name no other directory has: fs::create_directory says whether it
    // made the directory or found one there already.
    static unsigned counter = 0;
    std::string pattern;
    do {
        pattern = ::testing::TempDir() + "romfold_" + std::to_string(::_getpid()) + "_" + std::to_string(counter++);
    } while (!fs::create_directory(pattern));
#else
    std::string pattern = ::testing::TempDir() + "romfold_XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed for " + pattern);
    }
#endif
    path_ = fs::canonical(pattern).string();
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void ScratchDir::write(const std::string& name, const Bytes& bytes) const { write_file(file(name), bytes); }

void ScratchDir::write(const std::string& name, const std::string& text) const { write(name, to_bytes(text)); }

void ScratchDir::symlink(const std::string& name, const std::string& target) const {
    fs::create_symlink(target, file(name));
}

void ScratchDir::make_directory(const std::string& name) const { fs::create_directory(file(name)); }

void ScratchDir::make_sparse(const std::string& name, std::uint64_t size) const {
    write(name, Bytes{});
    fs::resize_file(file(name), size);
}

std::map<std::string, Bytes> ScratchDir::entries() const {
    std::map<std::string, Bytes> result;
    for (const fs::directory_entry& entry : fs::directory_iterator(path_)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_symlink()) {
            result[name] = to_bytes("-> " + fs::read_symlink(entry.path()).string());
        } else if (entry.is_directory()) {
            result[name] = to_bytes("<dir>");
        } else {
            result[name] = read_file(entry.path().string());
        }
    }
    return result;
}

Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

Bytes to_bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

void append_le32(Bytes& bytes, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

std::uint32_t load_le32(const Bytes& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes.at(at)) | static_cast<std::uint32_t>(bytes.at(at + 1)) << 8 |
           static_cast<std::uint32_t>(bytes.at(at + 2)) << 16 | static_cast<std::uint32_t>(bytes.at(at + 3)) << 24;
}

void store_le32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

Bytes pattern_bytes(std::size_t size, std::uint32_t seed) {
    Bytes bytes(size);
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::uint8_t& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

}  // namespace romfold_test
