#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace romfold::test {

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

void ScratchDir::write(const std::string& name, const std::string& text) const { write(name, bytes_of(text)); }

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
            result[name] = bytes_of("-> " + fs::read_symlink(entry.path()).string());
        } else if (entry.is_directory()) {
            result[name] = bytes_of("<dir>");
        } else {
            result[name] = read_file(entry.path().string());
        }
    }
    return result;
}

ScratchFile::ScratchFile(const Bytes& contents) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    static int serial = 0;
    std::string name = std::string(info->test_suite_name()) + "_" + info->name() + "_" + std::to_string(getpid()) +
                       "_" + std::to_string(serial++);
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    path_ = ::testing::TempDir() + "romfold_" + name;
    write_file(path_, contents);
}

ScratchFile::~ScratchFile() { std::remove(path_.c_str()); }

std::filesystem::path utf8_path(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

Bytes read_file(const std::string& path) {
    std::ifstream in(utf8_path(path), std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const Bytes& bytes) {
    std::ofstream out(utf8_path(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

}  // namespace romfold::test
