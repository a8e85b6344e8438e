// The command line of romfold-check.
#pragma once

#include <string>
#include <vector>

namespace romfold::check {

struct CheckOptions {
    bool help = false;
    bool version = false;
    bool verbose = false;      // -v: list the blocks
    bool force = false;        // -f: let --extract replace existing files
    std::string file;          // the packed image or container to check
    std::string compare_path;  // -c IMAGE, empty when not given
    std::string extract_dir;   // -x DIR, empty when not given
};

struct ParseResult {
    bool ok = false;
    CheckOptions options;
    std::string error;  // what is wrong with the command line, when not ok
};

// Parses argv[1..argc). Accepts short options, also bundled (-vf) and with
// their argument attached (-cIMAGE), long options with "=VALUE" or the value
// as the next argument, and "--" before a FILE that starts with "-". With
// --help or --version the rest of the line is not checked for FILE.
ParseResult parse_check_options(const std::vector<std::string>& args);

// The --help text and the --version line, each ending in "\n".
std::string usage_text();
std::string version_text();

// The line that follows a usage error on standard error.
std::string try_help_text();

}  // namespace romfold::check
