#include "tests/support/fault_streams.h"

#include <cerrno>
#include <cstdlib>
#include <map>

#include "container/stream_ops.h"

namespace romfold::test {
namespace {

struct State {
    std::optional<Fault> fault;
    unsigned matching_calls = 0;              // calls of the fault's op on the fault's file so far
    std::map<std::FILE*, std::string> names;  // open stream -> file name
    std::vector<std::string> log;
};

State& state() {
    static State instance;
    return instance;
}

std::string base_name(const char* path) {
    const std::string text = path;
    const std::size_t slash = text.rfind('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

std::string name_of(std::FILE* stream) {
    const auto found = state().names.find(stream);
    return found == state().names.end() ? std::string("?") : found->second;
}

// Counts the call and tells whether it is the one to fail.
bool strikes(FaultOp op, const std::string& file) {
    State& s = state();
    if (!s.fault || s.fault->op != op || s.fault->file != file) {
        return false;
    }
    return ++s.matching_calls == s.fault->nth;
}

void record(std::string entry, bool failed) {
    if (failed) {
        entry += " !";
    }
    state().log.push_back(std::move(entry));
}

const romfold::StreamOps& real() { return romfold::standard_stream_ops(); }

std::FILE* fault_open(const char* path, const char* mode) {
    const std::string file = base_name(path);
    const bool fail = strikes(FaultOp::open, file);
    record("open " + file + " " + mode, fail);
    if (fail) {
        errno = EIO;
        return nullptr;
    }
    std::FILE* stream = real().open(path, mode);
    if (stream != nullptr) {
        state().names[stream] = file;
    }
    return stream;
}

std::size_t fault_read(void* buffer, std::size_t size, std::FILE* stream) {
    const std::string file = name_of(stream);
    const bool fail = strikes(FaultOp::read, file);
    record("read " + file + " " + std::to_string(size), fail);
    if (fail) {
        const std::size_t keep = state().fault->keep < size ? state().fault->keep : size;
        return keep == 0 ? 0 : real().read(buffer, keep, stream);
    }
    return real().read(buffer, size, stream);
}

std::size_t fault_write(const void* buffer, std::size_t size, std::FILE* stream) {
    const std::string file = name_of(stream);
    const bool fail = strikes(FaultOp::write, file);
    record("write " + file + " " + std::to_string(size), fail);
    if (fail) {
        const std::size_t keep = state().fault->keep < size ? state().fault->keep : size;
        return keep == 0 ? 0 : real().write(buffer, keep, stream);
    }
    return real().write(buffer, size, stream);
}

int fault_seek(std::FILE* stream, std::int64_t offset, int origin) {
    const std::string file = name_of(stream);
    const bool fail = strikes(FaultOp::seek, file);
    record("seek " + file, fail);
    return fail ? -1 : real().seek(stream, offset, origin);
}

std::int64_t fault_tell(std::FILE* stream) {
    const std::string file = name_of(stream);
    const bool fail = strikes(FaultOp::tell, file);
    record("tell " + file, fail);
    return fail ? -1 : real().tell(stream);
}

int fault_error(std::FILE* stream) {
    const std::string file = name_of(stream);
    const bool fail = strikes(FaultOp::error, file);
    record("error " + file, fail);
    return fail ? 1 : real().error(stream);
}

int fault_flush(std::FILE* stream) {
    const std::string file = name_of(stream);
    const bool fail = strikes(FaultOp::flush, file);
    record("flush " + file, fail);
    const int result = real().flush(stream);
    return fail ? EOF : result;
}

int fault_close(std::FILE* stream) {
    const std::string file = name_of(stream);
    const bool fail = strikes(FaultOp::close, file);
    record("close " + file, fail);
    state().names.erase(stream);
    const int result = real().close(stream);
    return fail ? EOF : result;
}

constexpr romfold::StreamOps fault_ops = {fault_open, fault_read,  fault_write, fault_seek,
                                          fault_tell, fault_error, fault_flush, fault_close};

bool parse_op(const std::string& text, FaultOp* op) {
    static const std::map<std::string, FaultOp> ops = {
        {"open", FaultOp::open}, {"read", FaultOp::read},   {"write", FaultOp::write}, {"seek", FaultOp::seek},
        {"tell", FaultOp::tell}, {"error", FaultOp::error}, {"flush", FaultOp::flush}, {"close", FaultOp::close},
    };
    const auto found = ops.find(text);
    if (found == ops.end()) {
        return false;
    }
    *op = found->second;
    return true;
}

bool parse_count(const std::string& text, unsigned long long* value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    *value = std::strtoull(text.c_str(), nullptr, 10);
    return true;
}

}  // namespace

std::optional<Fault> parse_fault(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = text.find(':', start);
        fields.push_back(text.substr(start, colon - start));
        if (colon == std::string::npos) {
            break;
        }
        start = colon + 1;
    }
    if (fields.size() < 3 || fields.size() > 4 || fields[1].empty()) {
        return std::nullopt;
    }
    Fault fault;
    unsigned long long nth = 0;
    unsigned long long keep = 0;
    if (!parse_op(fields[0], &fault.op) || !parse_count(fields[2], &nth) || nth == 0) {
        return std::nullopt;
    }
    if (fields.size() == 4 && !parse_count(fields[3], &keep)) {
        return std::nullopt;
    }
    fault.file = fields[1];
    fault.nth = static_cast<unsigned>(nth);
    fault.keep = static_cast<std::size_t>(keep);
    return fault;
}

void install_fault_streams(const std::optional<Fault>& fault) {
    State& s = state();
    s.fault = fault;
    s.matching_calls = 0;
    s.names.clear();
    s.log.clear();
    romfold::set_stream_ops(&fault_ops);
}

void remove_fault_streams() { romfold::set_stream_ops(nullptr); }

const std::vector<std::string>& stream_log() { return state().log; }

std::vector<std::string> stream_log_of(const std::vector<std::string>& ops) {
    std::vector<std::string> selected;
    for (const std::string& entry : state().log) {
        for (const std::string& op : ops) {
            if (entry.compare(0, op.size() + 1, op + " ") == 0) {
                selected.push_back(entry);
                break;
            }
        }
    }
    return selected;
}

std::size_t open_stream_count() { return state().names.size(); }

}  // namespace romfold::test
