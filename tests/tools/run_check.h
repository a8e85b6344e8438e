// Runs romfold-check as a child process, and builds packed images with the
// real packer on scratch copies of the sample.
#pragma once

#include <string>
#include <vector>

#include "tests/support/bytes.h"
#include "tests/support/run_program.h"
#include "tests/support/scratch_dir.h"

namespace romfold::test {

// Runs romfold-check with args in cwd.
ProgramResult run_check(const std::vector<std::string>& args, const std::string& cwd);

// The sample release directory copied into dir/name (without splash.tss when
// with_splash is false, with splash in its place when that is not empty),
// then packed by romfold; returns the release directory's path.
std::string pack_sample(const ScratchDir& dir, const std::string& name, bool with_splash, const Bytes& splash = {});

// The full path of program when it is on PATH, or an empty string.
std::string find_on_path(const std::string& program);

}  // namespace romfold::test
