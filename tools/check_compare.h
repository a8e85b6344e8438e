// --compare: reads the reference image in step with the decoded blocks and
// reports the first offset at which they differ, one block of memory at most.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/check_verify.h"
#include "tools/input_file.h"

namespace romfold::check {

class ImageComparer : public CheckObserver {
public:
    explicit ImageComparer(std::string path) : path_(std::move(path)) {}

    // Opens the reference image; call before the check.
    bool open(CheckError& error);

    bool begin(const CheckSummary& summary, CheckError& error) override;
    bool block(const ContainerBlock& block, CheckError& error) override;
    bool end(const CheckSummary& summary, CheckError& error) override;

    const std::string& path() const { return path_; }

private:
    std::string path_;
    InputFile file_;
    std::uint32_t image_size_ = 0;  // of the decoded image
    std::uint64_t position_ = 0;    // bytes of the reference compared so far
    std::vector<std::uint8_t> buffer_;
};

}  // namespace romfold::check
