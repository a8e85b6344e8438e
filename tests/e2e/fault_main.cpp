// romfold with a fault planted in its file layer, for the cases that real
// files cannot provoke (a segment that shrinks after it was measured, a close
// that meets a full disk). ROMFOLD_FAULT="op:name:nth[:keep]" chooses the
// fault (see tests/support/fault_streams.h); without it the run is plain.
// ROMFOLD_FAULT_LOG=path writes every stream call of the run to path, one a
// line, then "open at exit: N" with the number of streams left open.
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "app/pipeline.h"
#include "container/console_text.h"
#include "container/utf8_paths.h"
#include "tests/support/fault_streams.h"

namespace {

bool write_log(const char* path) {
    std::FILE* log = std::fopen(path, "wb");  // lines end in "\n" on every system
    if (log == nullptr) {
        return false;
    }
    for (const std::string& entry : romfold::test::stream_log()) {
        std::fprintf(log, "%s\n", entry.c_str());
    }
    std::fprintf(log, "open at exit: %zu\n", romfold::test::open_stream_count());
    return std::fclose(log) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const romfold::ConsoleText console;
    std::optional<romfold::test::Fault> fault;
    if (const char* text = std::getenv("ROMFOLD_FAULT"); text != nullptr) {
        fault = romfold::test::parse_fault(text);
        if (!fault) {
            std::fprintf(stderr, "romfold_fault: malformed ROMFOLD_FAULT \"%s\"\n", text);
            return 2;
        }
    }
    romfold::test::install_fault_streams(fault);
    romfold::Utf8Arguments arguments(argc, argv);
    const int status = romfold::run_pipeline(arguments.argc(), arguments.argv());
    std::fflush(stdout);
    if (const char* path = std::getenv("ROMFOLD_FAULT_LOG"); path != nullptr && !write_log(path)) {
        std::fprintf(stderr, "romfold_fault: cannot write the log %s\n", path);
        return 2;
    }
    romfold::test::remove_fault_streams();
    return status;
}
