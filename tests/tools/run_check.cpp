#include "tests/tools/run_check.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace romfold::test {

ProgramResult run_check(const std::vector<std::string>& args, const std::string& cwd) {
    return run_program(ROMFOLD_CHECK_BIN, args, cwd);
}

std::string pack_sample(const ScratchDir& dir, const std::string& name, bool with_splash, const Bytes& splash) {
    namespace fs = std::filesystem;
    const std::string release = dir.file(name);
    fs::create_directory(release);
    for (const char* name : {"nk.bin", "nk.nb0", "nk.nb1", "nk.nb2"}) {
        fs::copy_file(std::string(ROMFOLD_SAMPLE_DIR) + "/" + name, release + "/" + name);
    }
    if (!splash.empty()) {
        write_file(release + "/splash.tss", splash);
    } else if (with_splash) {
        fs::copy_file(std::string(ROMFOLD_SAMPLE_DIR) + "/splash.tss", release + "/splash.tss");
    }
    const ProgramResult packed = run_program(ROMFOLD_BIN, {name}, dir.path());
    if (packed.status != 0) throw std::runtime_error("romfold failed: " + packed.out);
    return release;
}

std::string find_on_path(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return {};
    std::string list = path;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        const std::string candidate =
            (end == start ? std::string(".") : list.substr(start, end - start)) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

}  // namespace romfold::test
