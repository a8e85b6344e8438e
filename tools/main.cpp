// romfold-check: verifies a packed image or a bare block container, and on
// request lists its blocks, compares its image with a reference and extracts
// the image and the splash screen.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "container/console_text.h"
#include "container/utf8_paths.h"
#include "container/worker_count.h"
#include "tools/check_compare.h"
#include "tools/check_extract.h"
#include "tools/check_listing.h"
#include "tools/check_options.h"
#include "tools/check_verify.h"

namespace {

using namespace romfold::check;

int fail(const CheckError& error) {
    std::fflush(stdout);
    std::fputs(format_error(error).c_str(), stderr);
    return error.status;
}

int run(const CheckOptions& options, unsigned workers) {
    std::vector<CheckObserver*> observers;

    BlockTable table(stdout);
    if (options.verbose) observers.push_back(&table);

    CheckError error;
    ImageComparer comparer(options.compare_path);
    if (!options.compare_path.empty()) {
        if (!comparer.open(error)) return fail(error);
        observers.push_back(&comparer);
    }

    Extractor extractor(options.extract_dir, options.force);
    if (!options.extract_dir.empty()) observers.push_back(&extractor);

    CheckSummary summary;
    if (!check_file(options.file, observers, summary, error, workers)) return fail(error);
    if (!options.extract_dir.empty() && !extractor.commit(error)) return fail(error);

    std::string text = format_summary(options.file, summary);
    if (!options.compare_path.empty()) text += "  equals  " + options.compare_path + "\n";
    for (const Extractor::Output& output : extractor.outputs()) {
        text += "  wrote   " + output.path + " (" + byte_count(output.size) + ")\n";
    }
    if (extractor.splash_empty()) text += "  note    the splash screen has no pixels: no bitmap\n";
    std::fputs(text.c_str(), stdout);
    return status_valid;
}

}  // namespace

int main(int argc, char** argv) {
    const romfold::ConsoleText console;  // lines end in "\n" alone on every platform
    romfold::Utf8Arguments arguments(argc, argv);
    const std::vector<std::string> args(arguments.argv() + (arguments.argc() > 0 ? 1 : 0),
                                        arguments.argv() + arguments.argc());
    const ParseResult parsed = parse_check_options(args);
    int status = status_valid;
    if (!parsed.ok) {
        std::fputs(("romfold-check: " + parsed.error + "\n" + try_help_text()).c_str(), stderr);
        status = status_error;
    } else if (parsed.options.help) {
        std::fputs(usage_text().c_str(), stdout);
    } else if (parsed.options.version) {
        std::fputs(version_text().c_str(), stdout);
    } else {
        // The worker count, before any file is opened: a value that is not
        // one stops the run rather than being guessed at.
        const char* threads = std::getenv("ROMFOLD_THREADS");
        unsigned setting = 0;
        if (romfold::parse_worker_setting(threads, &setting)) {
            status = run(parsed.options, romfold::resolve_workers(setting));
        } else {
            std::fprintf(
                stderr,
                "romfold-check: ROMFOLD_THREADS=%s is not a worker count: give 1 to %u, or 0 for one per CPU.\n",
                threads, romfold::max_workers);
            status = status_error;
        }
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("romfold-check: cannot write to standard output\n", stderr);
        if (status == status_valid) status = status_error;
    }
    return status;
}
