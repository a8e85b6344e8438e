// --extract: writes the decoded image and the splash screen into a directory
// as the check goes, one block or one row at a time:
//
//   image.bin    the decoded image, byte for byte what the packer compressed
//   splash.bmp   the splash screen as a standard 16-bit bitmap ("BM",
//                bit fields 5-6-5), when there is a splash block with pixels
//   splash.raw   the splash pixels exactly as stored, when there is a splash block
//
// Each file is written under a temporary name in the directory and renamed
// only when the whole input has been found valid, so that a damaged input
// leaves no partial output behind and replaces nothing.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/check_verify.h"

namespace romfold::check {

constexpr const char* image_file_name = "image.bin";
constexpr const char* bitmap_file_name = "splash.bmp";
constexpr const char* raw_pixels_file_name = "splash.raw";

// The file header, the 40-byte information header and the three colour masks
// of a bottom-up 16-bit bit-field bitmap of width x height pixels; the pixel
// rows follow at offset 66, each padded to a multiple of 4 bytes.
constexpr std::uint32_t bitmap_header_size = 66;
std::array<std::uint8_t, bitmap_header_size> bitmap_header(std::int32_t width, std::int32_t height);
std::uint32_t bitmap_row_stride(std::int32_t width);

class Extractor : public CheckObserver {
public:
    Extractor(std::string dir, bool force) : dir_(std::move(dir)), force_(force) {}
    Extractor(const Extractor&) = delete;
    Extractor& operator=(const Extractor&) = delete;
    ~Extractor() override;  // removes whatever was not committed

    bool begin(const CheckSummary& summary, CheckError& error) override;
    bool block(const ContainerBlock& block, CheckError& error) override;
    bool splash_row(const std::uint8_t* row, std::uint32_t size, CheckError& error) override;
    bool end(const CheckSummary& summary, CheckError& error) override;

    // Gives the finished files their names; call after a successful check.
    bool commit(CheckError& error);

    struct Output {
        std::string path;
        std::uint64_t size = 0;
    };
    // The files written, in the order above; valid after commit.
    const std::vector<Output>& outputs() const { return committed_; }
    // True when the splash block holds no pixels, so no bitmap was written.
    bool splash_empty() const { return splash_empty_; }

private:
    struct Pending {
        bool active = false;  // created in this run and not yet committed
        std::string final_path;
        std::string temporary_path;
        std::FILE* stream = nullptr;
        std::uint64_t size = 0;
    };

    std::string path_of(const char* name) const;
    bool create(Pending& file, const char* name, CheckError& error);
    bool write(Pending& file, const std::uint8_t* bytes, size_t size, CheckError& error);

    std::string dir_;
    bool force_;
    bool created_dir_ = false;
    bool splash_empty_ = false;
    std::uint32_t row_padding_ = 0;
    Pending image_;
    Pending bitmap_;
    Pending raw_;
    std::vector<Output> committed_;
};

}  // namespace romfold::check
