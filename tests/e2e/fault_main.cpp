// romfold with a fault planted in its file layer, for the cases that real
// files cannot provoke (a segment that shrinks after it was measured, a close
// that meets a full disk). ROMFOLD_FAULT="op:name:nth[:keep]" chooses the
// fault (see tests/support/fault_streams.h); without it the run is plain.
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "app/pipeline.h"
#include "tests/support/fault_streams.h"

int main(int argc, char** argv) {
    std::optional<romfold_test::Fault> fault;
    if (const char* text = std::getenv("ROMFOLD_FAULT"); text != nullptr) {
        fault = romfold_test::parse_fault(text);
        if (!fault) {
            std::fprintf(stderr, "romfold_fault: malformed ROMFOLD_FAULT \"%s\"\n", text);
            return 2;
        }
    }
    romfold_test::install_fault_streams(fault);
    const int status = romfold::run_pipeline(argc, argv);
    std::fflush(stdout);
    romfold_test::remove_fault_streams();
    return status;
}
