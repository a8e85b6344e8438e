// Fuzz target: romfold-check's verifier (check_file) on arbitrary bytes as a
// file, packed image or bare container alike.
//
// Each input is written to an in-memory file of this process's own (memfd),
// which check_file opens by its /proc/self/fd path, so that nothing is left
// on disk even when a finding ends the process. It is checked with the block
// table printer (into /dev/null) and an observer that checks what it is
// handed. Checked:
//   - the heap: no single allocation above one block (65536 bytes) and at most
//     three blocks' worth live at once, whatever the headers claim;
//   - a rejection is bad data (never an I/O error: every read must have been
//     checked against the file's length) with an offset inside the file;
//   - the observer calls come in order with consistent fields, and every byte
//     handed over is readable;
//   - on a valid file, the summary agrees with the file and the blocks; and
//     comparing against the decoded image succeeds, while comparing against it
//     with one byte changed fails at exactly that offset;
//   - decoding on three workers gives the same verdict, the same first fault,
//     the same summary and the same observer calls, block bytes included.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "allocation_meter.h"
#include "fuzz_check.h"
#include "tools/check_compare.h"
#include "tools/check_listing.h"
#include "tools/check_verify.h"

namespace {

using namespace romfold;
using namespace romfold::check;
using romfold::fuzz::AllocationMeterPause;

constexpr std::uint32_t block_size = 65536;
constexpr size_t largest_allowed = block_size;
constexpr size_t peak_allowed = 3 * size_t(block_size);
// Decoded images up to this size are kept for the compare runs.
constexpr std::uint64_t kept_image_limit = 1u << 20;

// An in-memory file and the path by which it can be opened like any other.
struct MemoryFile {
    int fd = -1;
    std::string path;
};

MemoryFile input_file;
MemoryFile image_file;
std::FILE* null_output = nullptr;

MemoryFile create_memory_file(const char* name) {
    MemoryFile file;
    file.fd = ::memfd_create(name, MFD_CLOEXEC);
    if (file.fd < 0) {
        std::perror("memfd_create");
        std::abort();
    }
    file.path = "/proc/self/fd/" + std::to_string(file.fd);
    return file;
}

// Replaces the file's contents with bytes.
void write_file(const MemoryFile& file, const std::uint8_t* bytes, size_t size) {
    if (::ftruncate(file.fd, 0) != 0) std::abort();
    for (size_t done = 0; done < size;) {
        const ssize_t written = ::pwrite(file.fd, bytes + done, size - done, off_t(done));
        if (written <= 0) {
            std::perror("pwrite");
            std::abort();
        }
        done += size_t(written);
    }
}

// Checks each call against the ones before it and the summary, and reads
// every byte it is handed. Keeps the decoded image while it is small.
class ConsistencyObserver : public CheckObserver {
public:
    ConsistencyObserver() : scratch_(block_size) {}

    bool begin(const CheckSummary& summary, CheckError&) override {
        const AllocationMeterPause pause;
        FUZZ_REQUIRE(!begun_ && !ended_);
        begun_ = true;
        summary_ = summary;
        keep_image_ = summary.image_size <= kept_image_limit;
        return true;
    }

    bool block(const ContainerBlock& block, CheckError&) override {
        const AllocationMeterPause pause;
        FUZZ_REQUIRE(begun_ && !ended_ && rows_ == 0);
        FUZZ_REQUIRE(block.index == blocks_);
        FUZZ_REQUIRE(block.image_offset == image_offset_);
        FUZZ_REQUIRE(block.record_offset >= next_record_at_);
        FUZZ_REQUIRE(block.record_offset < summary_.file_size);
        FUZZ_REQUIRE(block.size >= 1 && block.size <= block_size);
        FUZZ_REQUIRE(block.image_offset + block.size <= summary_.image_size);
        FUZZ_REQUIRE(block.image_offset + block.size == summary_.image_size || block.size == block_size);
        FUZZ_REQUIRE(block.stored ? block.data_size == block.size : block.data_size < block.size);
        FUZZ_REQUIRE(block.bytes != nullptr);
        std::memcpy(scratch_.data(), block.bytes, block.size);
        if (keep_image_) image_.insert(image_.end(), block.bytes, block.bytes + block.size);
        ++blocks_;
        image_offset_ += block.size;
        next_record_at_ = block.record_offset + 4 + block.data_size;
        return true;
    }

    bool splash_row(const std::uint8_t* row, std::uint32_t size, CheckError&) override {
        const AllocationMeterPause pause;
        FUZZ_REQUIRE(begun_ && !ended_);
        FUZZ_REQUIRE(summary_.has_splash && summary_.width > 0);
        FUZZ_REQUIRE(size == 2u * std::uint32_t(summary_.width));
        FUZZ_REQUIRE(image_offset_ == summary_.image_size);
        std::memcpy(scratch_.data(), row, size);
        ++rows_;
        return true;
    }

    bool end(const CheckSummary& summary, CheckError&) override {
        const AllocationMeterPause pause;
        FUZZ_REQUIRE(begun_ && !ended_);
        ended_ = true;
        FUZZ_REQUIRE(image_offset_ == summary.image_size);
        FUZZ_REQUIRE(blocks_ == summary.blocks);
        FUZZ_REQUIRE(rows_ == (summary.has_splash && summary.width > 0 ? std::uint32_t(summary.height) : 0u));
        return true;
    }

    bool ended() const { return ended_; }
    bool image_kept() const { return keep_image_; }
    std::vector<std::uint8_t>& image() { return image_; }

private:
    bool begun_ = false;
    bool ended_ = false;
    CheckSummary summary_;
    std::uint32_t blocks_ = 0;
    std::uint32_t rows_ = 0;
    std::uint64_t image_offset_ = 0;
    std::uint64_t next_record_at_ = 0;
    bool keep_image_ = false;
    std::vector<std::uint8_t> image_;
    std::vector<std::uint8_t> scratch_;
};

// A digest of every call an observer gets and of the bytes handed over, so
// that two checks of one file can be compared without keeping either.
class TraceObserver : public CheckObserver {
public:
    bool begin(const CheckSummary& summary, CheckError&) override {
        mix_values({0, std::uint64_t(summary.kind), summary.stream_size, summary.image_size,
                    std::uint64_t(summary.has_splash), std::uint64_t(std::uint32_t(summary.width)),
                    std::uint64_t(std::uint32_t(summary.height))});
        return true;
    }
    bool block(const ContainerBlock& block, CheckError&) override {
        mix_values({1, block.index, block.record_offset, block.image_offset, std::uint64_t(block.stored),
                    block.data_size, block.size});
        mix(block.bytes, block.size);
        return true;
    }
    bool splash_row(const std::uint8_t* row, std::uint32_t size, CheckError&) override {
        mix_values({2, size});
        mix(row, size);
        return true;
    }
    bool end(const CheckSummary& summary, CheckError&) override {
        mix_values({3, summary.blocks, summary.compressed_blocks, summary.stored_blocks});
        return true;
    }
    std::uint64_t digest() const { return digest_; }

private:
    // FNV-1a over the bytes.
    void mix(const std::uint8_t* bytes, size_t size) {
        for (size_t i = 0; i < size; ++i) digest_ = (digest_ ^ bytes[i]) * 0x100000001B3ull;
    }
    void mix_values(std::initializer_list<std::uint64_t> values) {
        for (const std::uint64_t value : values) {
            std::uint8_t bytes[8];
            for (int i = 0; i < 8; ++i) bytes[i] = std::uint8_t(value >> (8 * i));
            mix(bytes, sizeof bytes);
        }
    }
    std::uint64_t digest_ = 0xCBF29CE484222325ull;
};

void check_valid_summary(const CheckSummary& summary, const std::uint8_t* data, size_t size) {
    FUZZ_REQUIRE(summary.blocks == summary.compressed_blocks + summary.stored_blocks);
    FUZZ_REQUIRE(summary.blocks == summary.image_size / block_size + (summary.image_size % block_size != 0));
    if (summary.kind == FileKind::container) {
        FUZZ_REQUIRE(std::memcmp(data, "XPRS", 4) == 0);
        FUZZ_REQUIRE(summary.stream_size == size);
        FUZZ_REQUIRE(!summary.has_splash);
    } else {
        FUZZ_REQUIRE(std::memcmp(data, "IORW", 4) == 0);
        FUZZ_REQUIRE(16 + summary.stream_size + summary.splash_size == size);
        FUZZ_REQUIRE(summary.has_splash == (summary.splash_size != 0));
        if (summary.has_splash) {
            FUZZ_REQUIRE(summary.width >= 0 && summary.height >= 0);
            FUZZ_REQUIRE(12 + 2 * std::uint64_t(summary.width) * std::uint64_t(summary.height) == summary.splash_size);
        }
    }
    FUZZ_REQUIRE(!format_summary(input_file.path, summary).empty());
}

// Checks the input again, comparing it with image; returns the result.
bool compare_with(const std::vector<std::uint8_t>& image, CheckError& error) {
    write_file(image_file, image.data(), image.size());
    ImageComparer comparer(image_file.path);
    FUZZ_REQUIRE(comparer.open(error));
    CheckSummary summary;
    return check_file(input_file.path, {&comparer}, summary, error);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    input_file = create_memory_file("romfold-check-fuzz-input");
    image_file = create_memory_file("romfold-check-fuzz-image");
    null_output = std::fopen("/dev/null", "w");
    if (null_output == nullptr) std::abort();
    romfold::fuzz::install_allocation_meter();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    write_file(input_file, data, size);

    BlockTable table(null_output);
    ConsistencyObserver observer;
    TraceObserver trace;
    CheckSummary summary;
    CheckError error;
    romfold::fuzz::start_allocation_meter();
    const bool valid = check_file(input_file.path, {&table, &observer, &trace}, summary, error);
    const romfold::fuzz::HeapUse heap = romfold::fuzz::stop_allocation_meter();

    // Three workers change nothing (a file of fewer than two records takes
    // the serial walk again; the others decode on threads, outside the
    // meter: each worker has two blocks in flight).
    {
        TraceObserver parallel_trace;
        CheckSummary parallel_summary;
        CheckError parallel_error;
        const bool parallel_valid = check_file(input_file.path, {&parallel_trace}, parallel_summary, parallel_error, 3);
        FUZZ_REQUIRE(parallel_valid == valid);
        FUZZ_REQUIRE(parallel_trace.digest() == trace.digest());
        FUZZ_REQUIRE(parallel_summary.blocks == summary.blocks);
        FUZZ_REQUIRE(parallel_summary.stored_blocks == summary.stored_blocks);
        FUZZ_REQUIRE(parallel_error.status == error.status);
        FUZZ_REQUIRE(parallel_error.file == error.file);
        FUZZ_REQUIRE(parallel_error.offset == error.offset);
        FUZZ_REQUIRE(parallel_error.message == error.message);
    }

    FUZZ_REQUIRE(!heap.overflowed);
    FUZZ_REQUIRE(heap.largest <= largest_allowed);
    FUZZ_REQUIRE(heap.peak <= peak_allowed);
    FUZZ_REQUIRE(summary.file_size == size);
    FUZZ_REQUIRE(observer.ended() == valid);

    if (!valid) {
        FUZZ_REQUIRE(error.status == status_invalid);
        FUZZ_REQUIRE(error.file == input_file.path);
        FUZZ_REQUIRE(error.offset.has_value() && *error.offset <= size);
        FUZZ_REQUIRE(!error.message.empty());
        FUZZ_REQUIRE(error.message.find('\n') == std::string::npos);
    } else {
        check_valid_summary(summary, data, size);
        if (observer.image_kept()) {
            std::vector<std::uint8_t>& image = observer.image();
            CheckError compare_error;
            FUZZ_REQUIRE(compare_with(image, compare_error));
            if (!image.empty()) {
                const size_t changed = image.size() / 2;
                image[changed] ^= 0x5A;
                FUZZ_REQUIRE(!compare_with(image, compare_error));
                FUZZ_REQUIRE(compare_error.status == status_invalid);
                FUZZ_REQUIRE(compare_error.file == image_file.path);
                FUZZ_REQUIRE(compare_error.offset.has_value() && *compare_error.offset == changed);
            }
        }
    }
    return 0;
}
