// What romfold-check prints about a valid file: the block table of -v,
// printed row by row as the blocks are checked, and the summary.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/check_verify.h"

namespace romfold::check {

// Prints the table header when the check begins and one row per block.
class BlockTable : public CheckObserver {
public:
    explicit BlockTable(std::FILE* out) : out_(out) {}
    bool begin(const CheckSummary& summary, CheckError& error) override;
    bool block(const ContainerBlock& block, CheckError& error) override;

private:
    std::FILE* out_;
};

// part as a percentage of whole with two decimals ("55.79%"); "-" when whole
// is 0.
std::string percentage(std::uint64_t part, std::uint64_t whole);

// The summary of a valid file, one line per fact, each ending in "\n".
std::string format_summary(const std::string& path, const CheckSummary& summary);

}  // namespace romfold::check
