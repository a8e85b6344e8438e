#include "tools/check_options.h"

#include <cstddef>

#ifndef ROMFOLD_VERSION
#error "ROMFOLD_VERSION must be defined by the build"
#endif

namespace romfold::check {

namespace {

enum class Option { help, version, verbose, force, compare, extract };

struct OptionName {
    char short_name;
    const char* long_name;
    Option option;
    bool takes_value;
};

constexpr OptionName option_names[] = {
    {'h', "help", Option::help, false},       {'V', "version", Option::version, false},
    {'v', "verbose", Option::verbose, false}, {'f', "force", Option::force, false},
    {'c', "compare", Option::compare, true},  {'x', "extract", Option::extract, true},
};

const OptionName* find_short(char name) {
    for (const OptionName& entry : option_names) {
        if (entry.short_name == name) return &entry;
    }
    return nullptr;
}

const OptionName* find_long(const std::string& name) {
    for (const OptionName& entry : option_names) {
        if (name == entry.long_name) return &entry;
    }
    return nullptr;
}

ParseResult failed(std::string error) {
    ParseResult result;
    result.error = std::move(error);
    return result;
}

// Records one option; spelled is the option as the user wrote it, for the
// error messages. Returns an error text, or an empty string.
std::string apply(CheckOptions& options, const OptionName& entry, const std::string& spelled,
                  const std::string& value) {
    switch (entry.option) {
        case Option::help: options.help = true; return {};
        case Option::version: options.version = true; return {};
        case Option::verbose: options.verbose = true; return {};
        case Option::force: options.force = true; return {};
        case Option::compare:
        case Option::extract: {
            std::string& target = entry.option == Option::compare ? options.compare_path : options.extract_dir;
            if (value.empty()) return "option '" + spelled + "' needs a non-empty argument";
            if (!target.empty()) return "option '" + spelled + "' given more than once";
            target = value;
            return {};
        }
    }
    return {};
}

}  // namespace

ParseResult parse_check_options(const std::vector<std::string>& args) {
    CheckOptions options;
    std::vector<std::string> operands;
    bool options_ended = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // "/?" asks for help as Windows programs are asked (no file is named so
        // there, and one in the root directory would be a strange name here).
        if (!options_ended && arg == "/?") {
            options.help = true;
            continue;
        }
        if (options_ended || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }

        if (arg[1] == '-') {
            const std::size_t equals = arg.find('=');
            const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            const std::string spelled = "--" + name;
            const OptionName* entry = find_long(name);
            if (entry == nullptr) return failed("unknown option '" + spelled + "'");
            std::string value;
            if (entry->takes_value) {
                if (equals != std::string::npos) {
                    value = arg.substr(equals + 1);
                } else if (i + 1 < args.size()) {
                    value = args[++i];
                } else {
                    return failed("option '" + spelled + "' needs an argument");
                }
            } else if (equals != std::string::npos) {
                return failed("option '" + spelled + "' takes no argument");
            }
            std::string error = apply(options, *entry, spelled, value);
            if (!error.empty()) return failed(std::move(error));
            continue;
        }

        // A bundle of short options; one that takes a value ends the bundle.
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const std::string spelled = std::string("-") + arg[k];
            const OptionName* entry = find_short(arg[k]);
            if (entry == nullptr) return failed("unknown option '" + spelled + "'");
            std::string value;
            if (entry->takes_value) {
                if (k + 1 < arg.size()) {
                    value = arg.substr(k + 1);
                } else if (i + 1 < args.size()) {
                    value = args[++i];
                } else {
                    return failed("option '" + spelled + "' needs an argument");
                }
                k = arg.size();
            }
            std::string error = apply(options, *entry, spelled, value);
            if (!error.empty()) return failed(std::move(error));
        }
    }

    if (!options.help && !options.version) {
        if (operands.empty()) return failed("missing FILE");
        if (operands.size() > 1) return failed("unexpected argument '" + operands[1] + "'");
        if (operands[0].empty()) return failed("FILE is an empty string");
        options.file = operands[0];
    }
    ParseResult result;
    result.ok = true;
    result.options = std::move(options);
    return result;
}

std::string usage_text() {
    return "Usage: romfold-check [OPTION]... FILE\n"
           "Check a packed image (nk.nbx) or a bare block container (nbx.tmp) before it is\n"
           "flashed: every header field, every block record, every compressed block and the\n"
           "splash block. Prints a summary, or what is wrong and at which offset.\n"
           "\n"
           "  -v, --verbose        also list the blocks: offset, kind, sizes and ratio\n"
           "  -c, --compare IMAGE  check that the decoded image equals IMAGE (e.g. nk.tmp)\n"
           "  -x, --extract DIR    write the decoded image to DIR/image.bin and the splash\n"
           "                       screen to DIR/splash.bmp and DIR/splash.raw\n"
           "  -f, --force          let --extract replace files that already exist\n"
           "  -h, --help           show this help and exit\n"
           "  -V, --version        show the version and exit\n"
           "\n"
           "ROMFOLD_THREADS=N decodes on N workers (1 to 1024; 0 or unset: one per CPU).\n"
           "\n"
           "Exit status: 0 if FILE is valid (and equals IMAGE), 1 if it is not,\n"
           "2 on a usage or I/O error.\n";
}

std::string version_text() { return std::string("romfold-check ") + ROMFOLD_VERSION + "\n"; }

std::string try_help_text() { return "Try 'romfold-check --help' for more information.\n"; }

}  // namespace romfold::check
