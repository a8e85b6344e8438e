// The packing pipeline: one run of the tool over a release directory.
#pragma once

namespace romfold {

// Runs the stages in their fixed order and stops at the first failure.
// argv[1] is the release directory; any other argument count prints the usage
// text. Returns the process status: 0 on success, -1 on any failure.
int run_pipeline(int argc, char** argv);

}  // namespace romfold
